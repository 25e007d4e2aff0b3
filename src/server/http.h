// A minimal HTTP/1.0 client for the application server: one TCP connection
// per request, a bounded number of connection attempts with random waits
// between them, the request sent in one piece and the whole reply read into
// memory. GET or POST only, no Host line, no keep-alive, no chunked transfer.
// Results: 0 for success, -1 for failure (logged at DEBUG level).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "foundation/owned.h"

// Request methods.
inline constexpr int HTTP_METHOD_GET = 0;
inline constexpr int HTTP_METHOD_POST = 1;

// Replies are read in pieces of this size.
inline constexpr std::size_t HTTP_READ_PIECE = 1024;
// The header block may hold at most this many bytes; a longer one fails.
inline constexpr std::size_t HTTP_MAX_HEADER = 64 * 1024;
// A body may hold at most this many bytes: a larger declared length, or a
// reply without length that goes on past it, fails (never cut silently).
inline constexpr std::size_t HTTP_MAX_BODY = 16 * 1024 * 1024;
// Random wait between connection attempts, in milliseconds.
inline constexpr int HTTP_RETRY_SLEEP_MIN_MS = 1000;
inline constexpr int HTTP_RETRY_SLEEP_MAX_MS = 4000;

// What the caller asks for; never changed here. Texts are not copied.
struct HttpRequest {
  int method;                // HTTP_METHOD_GET or HTTP_METHOD_POST
  const char* host;          // name or dotted address
  int port;
  const char* path;          // request target
  const char* content_type;  // null or empty: no Content-Type line
  int send_timeout;          // ms; bounds the send and every read of the reply
  int connect_timeout;       // ms; bounds each connection attempt
  const char* body;          // null or empty: no body, no Content-Length line
};

// A reply, owned by the caller and freed with http_free_response. Texts are
// malloc'ed and zero-terminated; header and body may hold zero bytes, so
// their lengths are given too.
struct HttpResponse {
  int status_code;
  char* reason_phrase;       // the rest of the status line after the code
  char* content_type;        // null when the header is absent
  int content_length;        // -1 when absent or not a number
  char* header;              // the status line through the end of the header block
  std::size_t header_length;
  char* body;                // the declared body, leading CR/LF bytes dropped
  std::size_t body_length;
};

// Sends the request and reads the reply, making up to max(1, retries + 1)
// connection attempts. The whole exchange (attempts and the waits between
// them, the send, the header and the body) ends by one deadline, the connect
// time-out plus the send time-out after the call began; a stop request
// (os_stop.h) ends it at once. 0 with *response set, or -1 with *response
// null.
// `request_sent` (optional) becomes 1 once every byte of the request was
// written, else stays 0: a caller may repeat a failed call only when it is 0,
// since the server cannot have acted on a request it did not receive whole.
[[nodiscard]] int http_do_request_with_retry(const HttpRequest* request, HttpResponse** response,
                                             int retries, int* request_sent = nullptr);
// The same with one connection attempt.
[[nodiscard]] int http_do_request(const HttpRequest* request, HttpResponse** response);
// Frees the texts and the record; null is accepted.
void http_free_response(HttpResponse* response);
using HttpResponsePtr = Owned<HttpResponse, http_free_response>;

// The value of header `name` (case ignored) in the header text as a new
// malloc'ed text, or null. The name counts only at the start of a line other
// than the first (a longer name there is another header), its first such
// occurrence only, and must be followed by ": ". The value runs to the first line break that is not followed by a tab
// or blank; a folded break becomes blanks in the value. A value without a
// line break after it is not found.
[[nodiscard]] char* get_header(const char* header, const char* name);

// The request as sent: request line, Content-Length and Content-Type when
// set, the User-Agent line and the body. A new malloc'ed text with its
// length in *length, or null for an unknown method or no memory.
[[nodiscard]] char* http_build_request(const HttpRequest* request, std::size_t* length);

// Reply reading without a socket, in the order the bytes arrive.

// Where the header block ends: the counters of line feeds and carriage
// returns since the last other byte.
struct HttpHeaderScan {
  int line_feeds;
  int carriage_returns;
};

// Scans bytes from `from` on; returns the length of the header block (one
// past its last byte) or -1 when it has not ended yet. `scan` carries the
// counters between calls (start it zeroed).
[[nodiscard]] std::int64_t http_find_header_end(std::span<const std::uint8_t> bytes,
                                                std::size_t from, HttpHeaderScan* scan);

// Parses a complete header block into a new response (status code, reason,
// content type and length; header text copied; body empty). 0 or -1.
[[nodiscard]] int http_parse_header(std::span<const std::uint8_t> header, HttpResponse** response);

// Takes the body from the bytes after the header: with a content length, its
// first content-length bytes (-1 when fewer arrived: the peer closed early);
// without one, all of them. Leading CR and LF bytes are dropped. Fails when
// the body exceeds HTTP_MAX_BODY. 0 or -1.
[[nodiscard]] int http_set_body(HttpResponse* response, std::span<const std::uint8_t> rest);

// Parses a whole reply as received up to the peer's close (header and body):
// the socket-free core of the reply reader. 0 with *response set, or -1.
[[nodiscard]] int http_parse_response(std::span<const std::uint8_t> reply, HttpResponse** response);

// The wait between connection attempts; replaceable so that tests need not
// sleep. Returns the previous function; null restores the default.
using HttpSleepFunction = void (*)(int milliseconds);
HttpSleepFunction http_set_retry_sleep(HttpSleepFunction function);
