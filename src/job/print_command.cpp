#include "job/print_command.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "foundation/config.h"
#include "foundation/log.h"
#include "foundation/os.h"
#include "foundation/util.h"

namespace {

constexpr const char SHELL[] = "/bin/sh";
constexpr const char LOCAL_HOST[] = "127.0.0.1";
// Exit status of the child when the shell could not be executed.
constexpr int EXEC_FAILED_STATUS = 127;

// A placeholder and the positional parameter that carries its value.
struct Placeholder {
  const char* name;
  int position;
};
constexpr Placeholder PLACEHOLDERS[] = {
    {PRINT_CMD_PRINTER, 1}, {PRINT_CMD_SERVER, 2},  {PRINT_CMD_DOCNAME, 3},
    {PRINT_CMD_SPOOLFILE, 4}, {PRINT_CMD_OPTIONS, 5}, {PRINT_CMD_USERNAME, 6},
};
constexpr int VALUE_COUNT = 6;

enum class Quote { NONE, SINGLE, DOUBLE };

// Drops every double quote, backslash and semicolon (the values' old
// cleaning, kept so that commands see the same texts as before).
std::string clean(const char* text) {
  std::string out;
  for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
    if (*p != '"' && *p != '\\' && *p != ';') out.push_back(*p);
  }
  return out;
}

// The reference to parameter `n` that the shell expands to exactly the
// value, one word, whatever the quoting state at that point of the template.
std::string reference(int n, Quote state) {
  const std::string ref = "${" + std::to_string(n) + "}";
  switch (state) {
    case Quote::DOUBLE: return ref;
    case Quote::SINGLE: return "'\"" + ref + "\"'";
    case Quote::NONE: break;
  }
  return "\"" + ref + "\"";
}

const Placeholder* placeholder_at(const char* p) {
  for (const Placeholder& ph : PLACEHOLDERS) {
    if (std::strncmp(p, ph.name, std::strlen(ph.name)) == 0) return &ph;
  }
  return nullptr;
}

// The template with each placeholder replaced by a quoted reference to its
// positional parameter. The scan follows the shell's quoting so the
// reference is quoted in every context; no value text enters the script.
std::string build_script(const char* template_text, bool with_user) {
  std::string out;
  Quote state = Quote::NONE;
  for (const char* p = template_text; *p != '\0';) {
    const Placeholder* ph = placeholder_at(p);
    if (ph != nullptr && (with_user || std::strcmp(ph->name, PRINT_CMD_USERNAME) != 0)) {
      out += reference(ph->position, state);
      p += std::strlen(ph->name);
      continue;
    }
    const char c = *p++;
    out.push_back(c);
    if (c == '\\' && state != Quote::SINGLE && *p != '\0') {
      out.push_back(*p++);
    } else if (c == '\'' && state != Quote::DOUBLE) {
      state = state == Quote::SINGLE ? Quote::NONE : Quote::SINGLE;
    } else if (c == '"' && state != Quote::SINGLE) {
      state = state == Quote::DOUBLE ? Quote::NONE : Quote::DOUBLE;
    }
  }
  return out;
}

bool lacks(const char* template_text, const char* name) {
  return std::strstr(template_text, name) == nullptr;
}

// Runs the script with the values as $1..$6; 1 when it exited with 0.
int run_script(const std::string& script, const std::string (&values)[VALUE_COUNT]) {
  const char* argv[VALUE_COUNT + 5] = {"sh", "-c", script.c_str(), "sh"};
  for (int i = 0; i < VALUE_COUNT; ++i) argv[4 + i] = values[i].c_str();
  argv[4 + VALUE_COUNT] = nullptr;
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    LOG_LAST_SYSTEM_ERROR("Failed to execute the command: %s", script.c_str());
    return 0;
  }
  if (pid == 0) {
    execv(SHELL, const_cast<char* const*>(argv));
    _exit(EXEC_FAILED_STATUS);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      LOG_LAST_SYSTEM_ERROR("Failed to execute the command: %s", script.c_str());
      return 0;
    }
  }
  if (WIFSIGNALED(status)) {
    LOG_ERROR("Failed to execute print command: %s  Killed by signal:  %d", script.c_str(),
              WTERMSIG(status));
    return 0;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    LOG_ERROR("Failed to execute print command: %s  Exit code:  %d", script.c_str(),
              WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return 0;
  }
  LOG_DEBUG("Succeeded in running command: %s", script.c_str());
  return 1;
}

}  // namespace

int print_command(const char* template_text, const char* printer, const char* server,
                  const char* document_name, const char* spool_file, const char* user_name,
                  const char* options) {
  if (template_text == nullptr || spool_file == nullptr) {
    TV_ASSERT(template_text != nullptr && spool_file != nullptr);
    return 0;
  }
  LOG_DEBUG("Printing job: \"%s\" to printer %s\\%s", document_name != nullptr ? document_name : "",
            server != nullptr ? server : "", printer != nullptr ? printer : "");
  if (lacks(template_text, PRINT_CMD_PRINTER)) {
    LOG_ERROR("Print command missing %%printer%% replacement: %s", template_text);
    return 0;
  }
  if (lacks(template_text, PRINT_CMD_DOCNAME)) {
    LOG_ERROR("Print command missing %%docname%% replacement: %s", template_text);
    return 0;
  }
  if (lacks(template_text, PRINT_CMD_SPOOLFILE)) {
    LOG_ERROR("Print command missing %%spoolfile%% replacement: %s", template_text);
    return 0;
  }
  const bool local = server != nullptr && util_case_equal_str(server, global_ctx.server_name);
  const std::string values[VALUE_COUNT] = {
      clean(printer),    clean(local ? LOCAL_HOST : server), clean(document_name),
      spool_file,        clean(options),                     user_name != nullptr ? user_name : "",
  };
  const std::string script = build_script(template_text, user_name != nullptr);
  LOG_DEBUG("Printing job with command: %s", script.c_str());
  LOG_DEBUG("Print command values: printer='%s' server='%s' docname='%s' spoolfile='%s'",
            values[0].c_str(), values[1].c_str(), values[2].c_str(), values[3].c_str());
  if (!os_file_exists(spool_file)) {
    LOG_ERROR("Spool file does not exist. spoolfile_name='%s'", spool_file);
    return 0;
  }
  return run_script(script, values);
}
