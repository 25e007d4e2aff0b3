// The HTTP client's connection: attempts with random waits, the one send,
// and reading the reply up to its declared end.
#include "server/http.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "foundation/log.h"
#include "foundation/os_stop.h"
#include "foundation/os_tcp.h"
#include "foundation/os_time.h"
#include "foundation/util.h"

namespace {

// Body reads need not keep to the header's small pieces.
constexpr std::size_t BODY_READ_PIECE = 64 * 1024;

void default_sleep(int milliseconds) { usleep(static_cast<useconds_t>(milliseconds) * 1000); }

HttpSleepFunction retry_sleep = default_sleep;

// The one deadline of an exchange: every wait of the call (connection
// attempts and the pauses between them, the send, every read of the reply)
// gets only the time that is left, so that a server that answers slowly, or
// trickles its reply a byte at a time, cannot hold the call past it.
class Deadline {
 public:
  explicit Deadline(const HttpRequest& request)
      : limit_ms_(std::max(0, request.connect_timeout) +
                  static_cast<std::int64_t>(std::max(0, request.send_timeout))),
        end_(os_monotonic_millis() + limit_ms_) {}

  // Milliseconds left, at most `cap` (a wait's own time-out); 0 when past.
  int left(int cap) const {
    const std::int64_t left = end_ - os_monotonic_millis();
    if (left <= 0) return 0;
    return static_cast<int>(std::min<std::int64_t>(left, std::max(0, cap)));
  }
  bool passed() const { return end_ - os_monotonic_millis() <= 0; }
  std::int64_t limit_ms() const { return limit_ms_; }

 private:
  std::int64_t limit_ms_;
  std::int64_t end_;
};

// The reason a wait ended early, logged once.
void log_cut_short(const HttpRequest& request, const Deadline& deadline) {
  if (os_stop_requested()) {
    LOG_DEBUG("http call to %s:%d ended by a stop request", request.host, request.port);
  } else if (deadline.passed()) {
    LOG_DEBUG("http call to %s:%d ran past its deadline of %lld ms", request.host, request.port,
              static_cast<long long>(deadline.limit_ms()));
  }
}

OsTcpSocketPtr connect_with_retry(const HttpRequest& request, int retries, const Deadline& deadline) {
  const int attempts = std::max(1, retries + 1);
  for (int attempt = 1; attempt <= attempts; ++attempt) {
    OsTcpSocket* raw = nullptr;
    if (os_tcp_socket_create(&raw) == 0) {
      LOG_DEBUG("unable to create socket");
    } else {
      OsTcpSocketPtr socket(raw);
      const int timeout = deadline.left(request.connect_timeout);
      if (timeout > 0 && os_tcp_connect(socket.get(), request.host, request.port, timeout) != 0) {
        return socket;
      }
    }
    if (attempt < attempts && !deadline.passed() && !os_stop_requested()) {
      LOG_DEBUG("http call to %s:%d failed, retrying soon (retry %d of %d)", request.host,
                request.port, attempt, retries);
      retry_sleep(deadline.left(HTTP_RETRY_SLEEP_MIN_MS +
                                std::rand() % (HTTP_RETRY_SLEEP_MAX_MS - HTTP_RETRY_SLEEP_MIN_MS + 1)));
    }
    if (deadline.passed() || os_stop_requested()) break;
  }
  log_cut_short(request, deadline);
  LOG_DEBUG("unable to establish TCP connection");
  return nullptr;
}

int send_request(OsTcpSocket* socket, const HttpRequest& request, const Deadline& deadline,
                 int* request_sent) {
  std::size_t length = 0;
  const TextPtr text(http_build_request(&request, &length));
  if (text == nullptr) {
    LOG_DEBUG("unable to send http request");
    return -1;
  }
  std::int64_t sent = 0;
  const int ok =
      os_tcp_send(socket, text.get(), length, &sent, deadline.left(request.send_timeout));
  if (ok != 0 && sent == static_cast<std::int64_t>(length)) {
    if (request_sent != nullptr) *request_sent = 1;
    return 0;
  }
  log_cut_short(request, deadline);
  if (sent > 0) {
    LOG_DEBUG("unable to send the entire http request: sent=%lu,s->slen=%lu",
              static_cast<unsigned long>(sent), static_cast<unsigned long>(length));
  } else {
    LOG_DEBUG("unable to send http request");
  }
  return -1;
}

// What every read of one reply needs: the request's read time-out and the
// exchange's deadline.
struct Reading {
  const HttpRequest& request;
  const Deadline& deadline;
};

// Appends one read of up to `piece` bytes; 1 with data, 0 when the peer
// closed, -1 on a read failure or when the deadline has passed.
int read_piece(OsTcpSocket* socket, std::vector<std::uint8_t>& reply, std::size_t piece,
               const Reading& reading) {
  const std::size_t old_size = reply.size();
  const int timeout = reading.deadline.left(reading.request.send_timeout);
  if (timeout <= 0) {
    log_cut_short(reading.request, reading.deadline);
    LOG_DEBUG("error reading http response");
    return -1;
  }
  reply.resize(old_size + piece);
  std::int64_t received = -1;
  const int ok = os_tcp_recv(socket, reply.data() + old_size, piece, &received, timeout);
  if (ok == 0 || received < 0 || static_cast<std::uint64_t>(received) > piece) {
    reply.resize(old_size);
    log_cut_short(reading.request, reading.deadline);
    LOG_DEBUG("error reading http response");
    return -1;
  }
  reply.resize(old_size + static_cast<std::size_t>(received));
  return received > 0 ? 1 : 0;
}

// Reads until the header block has ended; its length, or -1.
std::int64_t read_header(OsTcpSocket* socket, std::vector<std::uint8_t>& reply,
                         const Reading& reading) {
  HttpHeaderScan scan{};
  for (;;) {
    const std::size_t from = reply.size();
    const int got = read_piece(socket, reply, HTTP_READ_PIECE, reading);
    if (got < 0) return -1;
    if (got == 0) {
      LOG_DEBUG("unexpected end of http response");
      return -1;
    }
    const std::int64_t end = http_find_header_end(reply, from, &scan);
    if (end >= 0 && static_cast<std::uint64_t>(end) <= HTTP_MAX_HEADER) return end;
    if (end >= 0 || reply.size() >= HTTP_MAX_HEADER) {
      LOG_DEBUG("http response header is longer than %zu bytes", HTTP_MAX_HEADER);
      return -1;
    }
  }
}

// Reads the body: the declared length, or up to the peer's close. Stops one
// byte past the cap so that an over-long reply is seen as such.
int read_body(OsTcpSocket* socket, std::vector<std::uint8_t>& reply, std::size_t header_length,
              int content_length, const Reading& reading) {
  if (content_length >= 0 && static_cast<std::size_t>(content_length) > HTTP_MAX_BODY) {
    LOG_DEBUG("http response body of %d bytes is above the limit of %zu bytes", content_length,
              HTTP_MAX_BODY);
    return -1;
  }
  const std::size_t wanted =
      header_length + (content_length >= 0 ? static_cast<std::size_t>(content_length)
                                           : HTTP_MAX_BODY + 1);
  while (reply.size() < wanted) {
    const int got =
        read_piece(socket, reply, std::min(BODY_READ_PIECE, wanted - reply.size()), reading);
    if (got < 0) return -1;
    if (got == 0) break;  // the peer closed; a short body is found below
  }
  return 0;
}

int receive_response(OsTcpSocket* socket, const Reading& reading, HttpResponse** response) {
  std::vector<std::uint8_t> reply;
  reply.reserve(HTTP_READ_PIECE);
  const std::int64_t end = read_header(socket, reply, reading);
  if (end < 0) return -1;
  const auto header_length = static_cast<std::size_t>(end);
  HttpResponse* raw = nullptr;
  if (http_parse_header(std::span(reply).first(header_length), &raw) != 0) return -1;
  HttpResponsePtr parsed(raw);
  if (read_body(socket, reply, header_length, parsed->content_length, reading) != 0) return -1;
  if (http_set_body(parsed.get(), std::span(reply).subspan(header_length)) != 0) return -1;
  *response = parsed.release();
  return 0;
}

int do_request(const HttpRequest* request, HttpResponse** response, int retries,
               int* request_sent) {
  if (request_sent != nullptr) *request_sent = 0;
  if (!TV_ASSERT(request != nullptr && response != nullptr)) return -1;
  *response = nullptr;
  if (request->method != HTTP_METHOD_GET && request->method != HTTP_METHOD_POST) {
    LOG_DEBUG("invalid http method %d", request->method);
    return -1;
  }
  if (!TV_ASSERT(request->host != nullptr && request->path != nullptr)) return -1;
  const Deadline deadline(*request);
  OsTcpSocketPtr socket = connect_with_retry(*request, retries, deadline);
  if (socket == nullptr) return -1;
  if (send_request(socket.get(), *request, deadline, request_sent) != 0) return -1;
  if (receive_response(socket.get(), Reading{*request, deadline}, response) != 0) {
    LOG_DEBUG("unable to parse response");
    return -1;
  }
  return 0;
}

}  // namespace

int http_do_request_with_retry(const HttpRequest* request, HttpResponse** response, int retries,
                               int* request_sent) {
  try {
    return do_request(request, response, retries, request_sent);
  } catch (const std::bad_alloc&) {
    LOG_DEBUG("unable to allocate memory for the http response");
    return -1;
  }
}

int http_do_request(const HttpRequest* request, HttpResponse** response) {
  return http_do_request_with_retry(request, response, 0);
}

HttpSleepFunction http_set_retry_sleep(HttpSleepFunction function) {
  const HttpSleepFunction previous = retry_sleep;
  retry_sleep = function != nullptr ? function : default_sleep;
  return previous;
}
