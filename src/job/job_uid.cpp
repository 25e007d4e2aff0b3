#include "job/job_uid.h"

#include <cstdio>
#include <cstring>

#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/sha1.h"

namespace {

constexpr std::size_t UID_SIZE = 41;
constexpr int DAYS_PER_WEEK = 7;

// Digests `text` into `buffer` as 40 hexadecimal digits.
int digest_into(char* buffer, std::size_t size, const char* text) {
  if (buffer == nullptr || size < UID_SIZE) {
    TV_ASSERT(buffer != nullptr && size >= UID_SIZE);
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return 0;
  }
  char hex[UID_SIZE];
  if (!util_digest_sha1_hex(reinterpret_cast<const std::uint8_t*>(text),
                            static_cast<std::uint32_t>(std::strlen(text)), hex)) {
    buffer[0] = '\0';
    return 0;
  }
  std::memcpy(buffer, hex, UID_SIZE);
  return 1;
}

}  // namespace

int analyzer_build_job_uid_with_estimated_time(char* buffer, std::size_t size,
                                               const JobAttribs* ja) {
  if (ja == nullptr) {
    TV_ASSERT(ja != nullptr);
    return 0;
  }
  // The week of the year keeps the uid stable while a job is replayed or
  // re-sent within a few days, yet lets job ids that CUPS reuses part later.
  // The text is cut at JOB_UID_TEXT_MAX characters, as the uid is defined.
  char text[JOB_UID_TEXT_MAX + 1];
  if (std::snprintf(text, sizeof text, "%04d-%02d-%s-%s-%s-%s", ja->submit_time.tm_year + 1900,
                ja->submit_time.tm_yday / DAYS_PER_WEEK, ja->job_id, ja->server_name,
                ja->printer_name, ja->username) < 0) {
    return 0;
  }
  return digest_into(buffer, size, text);
}

int analyzer_build_job_uid(char* buffer, std::size_t size, const JobAttribs* ja) {
  if (ja == nullptr) {
    TV_ASSERT(ja != nullptr);
    return 0;
  }
  const std::tm& t = ja->submit_time;
  char text[JOB_UID_TEXT_MAX + 1];
  if (std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d-%s-%s-%s-%s", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, ja->job_id,
                ja->server_name, ja->printer_name, ja->username) < 0) {
    return 0;
  }
  return digest_into(buffer, size, text);
}
