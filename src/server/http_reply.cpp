// Reading an HTTP reply from bytes: where the header block ends, the status
// line, the header values and the declared body. No socket here, so every
// rule can be fed arbitrary bytes.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/log.h"
#include "foundation/util.h"
#include "server/http.h"

namespace {

bool is_line_break(char c) { return c == '\r' || c == '\n'; }
// Anything a header name may hold: not a separator, blank or line break.
bool is_name_char(char c) {
  return c != '\0' && c != ':' && !ascii_is_blank(c) && !is_line_break(c);
}

char* copy_text(std::string_view text) { return util_new_text(text.data(), text.size()); }

std::string_view as_text(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Decimal digits, saturated to INT_MAX. False for no digits.
bool parse_decimal(std::string_view digits, int* value) {
  return decimal_parse_whole(digits, value, DecimalSign::NONE);
}

// A Content-Length value: digits, then optional blanks. Anything else (a
// sign, garbage) counts as no length at all.
int parse_content_length(const char* value) {
  if (value == nullptr) return -1;
  std::string_view text(value);
  while (!text.empty() && ascii_is_blank(text.back())) text.remove_suffix(1);
  int length = -1;
  return parse_decimal(text, &length) ? length : -1;
}

// "HTTP-version SP status-code [SP reason-phrase]" up to the first line
// break. The reason phrase is the rest of the line and may hold blanks.
int parse_status_line(std::string_view header, HttpResponse* response) {
  if (header.size() < 4 || header.substr(0, 4) != "HTTP") {
    LOG_DEBUG("unable to find HTTP marker in header");
    return -1;
  }
  const std::size_t line_end = header.find_first_of("\r\n");
  if (line_end == std::string_view::npos) {
    LOG_DEBUG("unable to extract first line of header");
    return -1;
  }
  const std::string_view line = header.substr(0, line_end);
  const std::size_t code_start = line.find(' ');
  if (code_start == std::string_view::npos) {
    LOG_DEBUG("invalid header");
    return -1;
  }
  const std::size_t code_end = std::min(line.find(' ', code_start + 1), line.size());
  std::string_view reason;
  if (code_end < line.size()) reason = line.substr(code_end + 1);
  if (!parse_decimal(line.substr(code_start + 1, code_end - code_start - 1),
                     &response->status_code)) {
    LOG_DEBUG("invalid header");
    return -1;
  }
  response->reason_phrase = copy_text(reason);
  return response->reason_phrase != nullptr ? 0 : -1;
}

}  // namespace

std::int64_t http_find_header_end(std::span<const std::uint8_t> bytes, std::size_t from,
                                  HttpHeaderScan* scan) {
  if (!TV_ASSERT(scan != nullptr)) return -1;
  for (std::size_t i = from; i < bytes.size(); ++i) {
    const char c = static_cast<char>(bytes[i]);
    if (c == '\n') {
      ++scan->line_feeds;
    } else if (c == '\r') {
      ++scan->carriage_returns;
    } else if (!ascii_is_blank(c)) {
      scan->line_feeds = 0;
      scan->carriage_returns = 0;
      continue;
    }
    // CR LF CR LF, LF LF and CR CR end the block (blanks between allowed).
    const int lf = scan->line_feeds;
    const int cr = scan->carriage_returns;
    if ((lf == 2 && cr == 0) || (lf == 2 && cr == 2) || (lf == 0 && cr == 2)) {
      return static_cast<std::int64_t>(i + 1);
    }
  }
  return -1;
}

char* get_header(const char* header, const char* name) {
  if (header == nullptr || name == nullptr || name[0] == '\0') return nullptr;
  const std::size_t name_length = std::strlen(name);
  // Only a name at the start of a line counts, never inside another name
  // ("X-Content-Length") or a value; the first line is the status line.
  const char* line = header;
  while ((line = std::strpbrk(line, "\r\n")) != nullptr) {
    ++line;
    if (util_case_equal_bytes_str(line, name) == 0) continue;
    const char* value = line + name_length;
    // A longer name ("Content-Type-Options") is another header.
    if (is_name_char(value[0])) continue;
    if (value[0] != ':' || value[1] != ' ') return nullptr;
    value += 2;
    std::string text;
    try {
      for (const char* p = value; *p != '\0'; ++p) {
        if (!is_line_break(*p)) {
          text += *p;
          continue;
        }
        const std::size_t break_length = (p[0] == '\r' && p[1] == '\n') ? 2 : 1;
        if (!ascii_is_blank(p[break_length])) return copy_text(text);
        text.append(break_length, ' ');  // a folded line goes on after blanks
        p += break_length - 1;
      }
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    return nullptr;  // no line break after the value
  }
  return nullptr;
}

int http_parse_header(std::span<const std::uint8_t> header, HttpResponse** response) {
  if (!TV_ASSERT(response != nullptr)) return -1;
  *response = nullptr;
  auto* reply = new (std::nothrow) HttpResponse();
  if (reply == nullptr) return -1;
  reply->content_length = -1;
  reply->header = copy_text(as_text(header));
  reply->header_length = header.size();
  reply->body = copy_text({});
  if (reply->header == nullptr || reply->body == nullptr ||
      parse_status_line(as_text(header), reply) != 0) {
    http_free_response(reply);
    return -1;
  }
  char* length = get_header(reply->header, "Content-Length");
  reply->content_length = parse_content_length(length);
  std::free(length);
  reply->content_type = get_header(reply->header, "Content-Type");
  *response = reply;
  return 0;
}

int http_set_body(HttpResponse* response, std::span<const std::uint8_t> rest) {
  if (!TV_ASSERT(response != nullptr)) return -1;
  std::string_view body = as_text(rest);
  if (response->content_length < 0) {
    LOG_DEBUG("no content-length set");
  } else if (static_cast<std::size_t>(response->content_length) > body.size()) {
    LOG_DEBUG("http response body ended after %zu of %d bytes", body.size(),
              response->content_length);
    return -1;
  } else {
    body = body.substr(0, static_cast<std::size_t>(response->content_length));
  }
  if (body.size() > HTTP_MAX_BODY) {
    LOG_DEBUG("http response body of %zu bytes is above the limit of %zu bytes", body.size(),
              HTTP_MAX_BODY);
    return -1;
  }
  while (!body.empty() && is_line_break(body.front())) body.remove_prefix(1);
  char* copy = copy_text(body);
  if (copy == nullptr) return -1;
  std::free(response->body);
  response->body = copy;
  response->body_length = body.size();
  return 0;
}

int http_parse_response(std::span<const std::uint8_t> reply, HttpResponse** response) {
  if (!TV_ASSERT(response != nullptr)) return -1;
  *response = nullptr;
  HttpHeaderScan scan{};
  const std::int64_t end = http_find_header_end(reply, 0, &scan);
  if (end < 0) {
    LOG_DEBUG("unexpected end of http response");
    return -1;
  }
  const auto header_length = static_cast<std::size_t>(end);
  if (header_length > HTTP_MAX_HEADER) {
    LOG_DEBUG("http response header is longer than %zu bytes", HTTP_MAX_HEADER);
    return -1;
  }
  HttpResponse* parsed = nullptr;
  if (http_parse_header(reply.first(header_length), &parsed) != 0) return -1;
  if (http_set_body(parsed, reply.subspan(header_length)) != 0) {
    http_free_response(parsed);
    return -1;
  }
  *response = parsed;
  return 0;
}

void http_free_response(HttpResponse* response) {
  if (response == nullptr) return;
  std::free(response->reason_phrase);
  std::free(response->content_type);
  std::free(response->header);
  std::free(response->body);
  delete response;
}
