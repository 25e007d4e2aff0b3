#include "job/redirect.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/util.h"
#include "job/print_command.h"
#include "server/rpc_calls.h"

namespace {

constexpr std::size_t DOC_NAME_MAX = REDIRECT_DOC_NAME_SIZE - 1;

}  // namespace

char* extract_redirect_uid(char* buffer, std::size_t size, const char* document_name) {
  if (global_ctx.env_version < REDIRECT_MIN_ENV_VERSION) {
    LOG_DEBUG("Environment version %d. We don't support redirect so just assume no redirection.",
              global_ctx.env_version);
    return nullptr;
  }
  if (buffer == nullptr || size == 0 || document_name == nullptr) return nullptr;
  if (document_name[0] != 'R' || (document_name[1] != ':' && document_name[1] != '_')) {
    return nullptr;
  }
  const char separator = document_name[1];
  const char* uid = document_name + 2;
  const char* end = std::strchr(uid, separator);
  if (end == nullptr) return nullptr;
  const auto length = static_cast<std::size_t>(end - uid);
  if (length < REDIRECT_DOC_UID_MIN || length > REDIRECT_DOC_UID_MAX || length >= size) {
    return nullptr;
  }
  std::memcpy(buffer, uid, length);
  buffer[length] = '\0';
  return buffer;
}

int redirect_is_potentially_a_redirected_job(const char* document_name) {
  char uid[REDIRECT_DOC_UID_SIZE];
  return extract_redirect_uid(uid, sizeof uid, document_name) != nullptr ? 1 : 0;
}

int redirect_is_redirected_job(const char* document_name, const char* job_id) {
  char uid[REDIRECT_DOC_UID_SIZE];
  if (extract_redirect_uid(uid, sizeof uid, document_name) == nullptr) return 0;
  LOG_DEBUG("Found Redirect UID of '%s'", uid);
  int valid = 0;
  if (rpc_validate_and_register_redirected_job(uid, job_id != nullptr ? job_id : "", &valid) !=
      0) {
    LOG_DEBUG("Unable to make RCP call to server to validate redirection job.");
    return 0;
  }
  LOG_DEBUG("Redirected job status is: %d", valid);
  return valid != 0 ? 1 : 0;
}

int redirect_build_redir_doc_name(char* buffer, std::size_t size, const char* document_name,
                                  const char* uid) {
  // The name is cut at DOC_NAME_MAX characters; the caller learns the full length.
  const std::string full = std::string("R:") + (uid != nullptr ? uid : "") + ":" +
                           (document_name != nullptr ? document_name : "");
  const std::string name = full.substr(0, DOC_NAME_MAX);
  if (buffer != nullptr && size > 0) util_safe_strncpy(buffer, name.c_str(), size);
  return static_cast<int>(std::min<std::size_t>(full.size(), INT32_MAX));
}

int redirect_job(const JobAttribs* ja, const char* file, const char* target_server,
                 const char* target_printer, const char* redirect_uid) {
  if (ja == nullptr) {
    TV_ASSERT(ja != nullptr);
    return 0;
  }
  char name[REDIRECT_DOC_NAME_SIZE];
  (void)redirect_build_redir_doc_name(name, sizeof name, ja->document_name, redirect_uid);
  const char* path = file != nullptr && file[0] != '\0' ? file : ja_get_spool_file(ja);
  return print_command(global_ctx.redirect_cmd, target_printer, target_server, name, path,
                       ja->username, nullptr);
}
