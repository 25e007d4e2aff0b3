// One request line to the print monitor and its one answer line.
//
// The answer is read from the stream's descriptor with poll(2), one byte at
// a time, never through the stream's buffer: a buffered read could take
// bytes beyond the line, and only the descriptor can be waited on with a
// time-out. Answers are a few bytes long, so the extra reads cost nothing.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "foundation/log.h"
#include "foundation/os_time.h"
#include "foundation/popen3.h"
#include "hwcheck/print_monitor.h"

namespace {

constexpr const char MONITOR[] = "ze-zorov-eredazo";

// Appends `text` without its line ends, up to `limit` characters in all.
void append_clean(char* line, std::size_t* len, std::size_t limit, const char* text) {
  for (; text != nullptr && *text != '\0' && *len < limit; ++text) {
    if (*text != '\n' && *text != '\r') line[(*len)++] = *text;
  }
}

// The request line, line feed included, at most PRINT_MONITOR_LINE_MAX bytes.
std::size_t format_request(char* line, const char* name, const char* value) {
  constexpr std::size_t limit = PRINT_MONITOR_LINE_MAX - 1;  // room for "\n"
  std::size_t len = 0;
  append_clean(line, &len, limit, name);
  if (value != nullptr) {
    if (len < limit) line[len++] = '=';
    append_clean(line, &len, limit, value);
  }
  line[len++] = '\n';
  line[len] = '\0';
  return len;
}

enum class ReadResult { LINE, END, TIMEOUT, ERROR };

// Reads one answer line (without its line feed) into `line`; characters
// beyond the buffer are read and dropped. A last line without a line feed
// still counts.
ReadResult read_answer(int fd, char* line, std::size_t size, int timeout_ms) {
  std::size_t len = 0;
  // On the monotonic clock: a clock step must not end or stretch the wait.
  const std::int64_t deadline = os_monotonic_millis() + timeout_ms;
  for (;;) {
    const std::int64_t remaining = deadline - os_monotonic_millis();
    if (remaining <= 0) return ReadResult::TIMEOUT;
    pollfd pfd{fd, POLLIN, 0};
    int ready = poll(&pfd, 1, static_cast<int>(remaining));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return ReadResult::ERROR;
    if (ready == 0) return ReadResult::TIMEOUT;
    char c = 0;
    ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ReadResult::ERROR;
    if (n == 0 || c == '\n') {
      line[len] = '\0';
      return n == 0 && len == 0 ? ReadResult::END : ReadResult::LINE;
    }
    if (len + 1 < size) line[len++] = c;
  }
}

bool begins_with(const char* text, const char* word) {
  return std::strncmp(text, word, std::strlen(word)) == 0;
}

}  // namespace

int print_monitor_write_command_check_response_ex(FILE* to_monitor, FILE* from_monitor,
                                                  const char* name, const char* value,
                                                  int* delete_job, int timeout_ms) {
  if (delete_job != nullptr) *delete_job = 0;
  if (!TV_ASSERT(to_monitor != nullptr && from_monitor != nullptr && name != nullptr)) return 0;
  char request[PRINT_MONITOR_LINE_MAX + 1];
  std::size_t len = format_request(request, name, value);
  LOG_DEBUG("write command/variable to %s: %s%s%s", MONITOR, name, value != nullptr ? "=" : "",
            value != nullptr ? value : "");
  if (popen3_fwrite(to_monitor, request, len) == 0) {
    LOG_ERROR("unable to write command %s to %s", name, MONITOR);
    return 0;
  }
  char answer[PRINT_MONITOR_LINE_MAX + 1];
  ReadResult got = read_answer(fileno(from_monitor), answer, sizeof answer, timeout_ms);
  if (got == ReadResult::TIMEOUT) {
    LOG_ERROR("No answer from %s to %s within %d ms", MONITOR, name, timeout_ms);
    return 0;
  }
  if (got != ReadResult::LINE) {
    LOG_ERROR("Failed to read in %s response", MONITOR);
    return 0;
  }
  if (begins_with(answer, "OK")) {
    LOG_DEBUG("Received OK from %s", MONITOR);
    return 1;
  }
  if (begins_with(answer, "DELETE")) {
    LOG_DEBUG("Received DELETE from %s", MONITOR);
    if (delete_job != nullptr) *delete_job = 1;
    return 1;
  }
  if (begins_with(answer, "ERROR")) {
    LOG_DEBUG("Received ERROR from %s", MONITOR);
    return 0;
  }
  LOG_DEBUG("Did NOT receive valid response from %s: %s", MONITOR, answer);
  return 0;
}

int print_monitor_write_command_check_response(FILE* to_monitor, FILE* from_monitor,
                                               const char* name, const char* value,
                                               int* delete_job) {
  return print_monitor_write_command_check_response_ex(to_monitor, from_monitor, name, value,
                                                       delete_job, PRINT_MONITOR_ANSWER_TIMEOUT_MS);
}
