// The HTTP client's connection: attempts with random waits, the one send,
// and reading the reply up to its declared end.
#include "server/http.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "foundation/log.h"
#include "foundation/os_tcp.h"
#include "foundation/util.h"

namespace {

// Body reads need not keep to the header's small pieces.
constexpr std::size_t kBodyReadPiece = 64 * 1024;

void default_sleep(int milliseconds) { usleep(static_cast<useconds_t>(milliseconds) * 1000); }

HttpSleepFunction retry_sleep = default_sleep;

OsTcpSocketPtr connect_with_retry(const HttpRequest& request, int retries) {
  const int attempts = std::max(1, retries + 1);
  for (int attempt = 1; attempt <= attempts; ++attempt) {
    OsTcpSocket* raw = nullptr;
    if (os_tcp_socket_create(&raw) == 0) {
      LOG_DEBUG("unable to create socket");
    } else {
      OsTcpSocketPtr socket(raw);
      if (os_tcp_connect(socket.get(), request.host, request.port, request.connect_timeout) != 0) {
        return socket;
      }
    }
    if (attempt < attempts) {
      LOG_DEBUG("http call to %s:%d failed, retrying soon (retry %d of %d)", request.host,
                request.port, attempt, retries);
      retry_sleep(HTTP_RETRY_SLEEP_MIN_MS +
                  std::rand() % (HTTP_RETRY_SLEEP_MAX_MS - HTTP_RETRY_SLEEP_MIN_MS + 1));
    }
  }
  LOG_DEBUG("unable to establish TCP connection");
  return nullptr;
}

int send_request(OsTcpSocket* socket, const HttpRequest& request, int* request_sent) {
  std::size_t length = 0;
  const TextPtr text(http_build_request(&request, &length));
  if (text == nullptr) {
    LOG_DEBUG("unable to send http request");
    return -1;
  }
  std::int64_t sent = 0;
  const int ok = os_tcp_send(socket, text.get(), length, &sent, request.send_timeout);
  if (ok != 0 && sent == static_cast<std::int64_t>(length)) {
    if (request_sent != nullptr) *request_sent = 1;
    return 0;
  }
  if (sent > 0) {
    LOG_DEBUG("unable to send the entire http request: sent=%lu,s->slen=%lu",
              static_cast<unsigned long>(sent), static_cast<unsigned long>(length));
  } else {
    LOG_DEBUG("unable to send http request");
  }
  return -1;
}

// Appends one read of up to `piece` bytes; 1 with data, 0 when the peer
// closed, -1 on a read failure.
int read_piece(OsTcpSocket* socket, std::vector<std::uint8_t>& reply, std::size_t piece,
               int timeout) {
  const std::size_t old_size = reply.size();
  reply.resize(old_size + piece);
  std::int64_t received = -1;
  const int ok = os_tcp_recv(socket, reply.data() + old_size, piece, &received, timeout);
  if (ok == 0 || received < 0 || static_cast<std::uint64_t>(received) > piece) {
    reply.resize(old_size);
    LOG_DEBUG("error reading http response");
    return -1;
  }
  reply.resize(old_size + static_cast<std::size_t>(received));
  return received > 0 ? 1 : 0;
}

// Reads until the header block has ended; its length, or -1.
std::int64_t read_header(OsTcpSocket* socket, std::vector<std::uint8_t>& reply, int timeout) {
  HttpHeaderScan scan{};
  for (;;) {
    const std::size_t from = reply.size();
    const int got = read_piece(socket, reply, HTTP_READ_PIECE, timeout);
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
              int content_length, int timeout) {
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
        read_piece(socket, reply, std::min(kBodyReadPiece, wanted - reply.size()), timeout);
    if (got < 0) return -1;
    if (got == 0) break;  // the peer closed; a short body is found below
  }
  return 0;
}

int receive_response(OsTcpSocket* socket, int timeout, HttpResponse** response) {
  std::vector<std::uint8_t> reply;
  reply.reserve(HTTP_READ_PIECE);
  const std::int64_t end = read_header(socket, reply, timeout);
  if (end < 0) return -1;
  const auto header_length = static_cast<std::size_t>(end);
  HttpResponse* raw = nullptr;
  if (http_parse_header(std::span(reply).first(header_length), &raw) != 0) return -1;
  HttpResponsePtr parsed(raw);
  if (read_body(socket, reply, header_length, parsed->content_length, timeout) != 0) return -1;
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
  OsTcpSocketPtr socket = connect_with_retry(*request, retries);
  if (socket == nullptr) return -1;
  if (send_request(socket.get(), *request, request_sent) != 0) return -1;
  if (receive_response(socket.get(), request->send_timeout, response) != 0) {
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
