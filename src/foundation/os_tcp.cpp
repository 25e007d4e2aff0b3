// Non-blocking IPv4 TCP sockets with time-outs. Waits use poll, so
// descriptors of any number work.
#include "foundation/os_tcp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <new>

#include "foundation/log.h"
#include "foundation/os_stop.h"
#include "foundation/os_time.h"

namespace {

constexpr std::size_t DOTTED_SIZE = INET_ADDRSTRLEN;

enum class Wait { ready, timeout, error };

// Waits up to timeout_ms for `events` on fd, in short slices so that a stop
// request (os_stop.h) ends the wait at once: then Wait::error with errno
// EINTR. An interrupted poll goes on with the time left; errno tells why on
// Wait::error.
Wait wait_for(int fd, short events, int timeout_ms) {
  const std::int64_t deadline = os_monotonic_millis() + (timeout_ms > 0 ? timeout_ms : 0);
  for (;;) {
    if (os_stop_requested()) {
      errno = EINTR;
      return Wait::error;
    }
    const std::int64_t left = deadline - os_monotonic_millis();
    pollfd entry{fd, events, 0};
    const int n = poll(&entry, 1, os_stop_slice_ms(left));
    if (n > 0) return Wait::ready;
    if (n == 0 && left <= OS_STOP_POLL_MS) return Wait::timeout;
    if (n < 0 && errno != EINTR && errno != EAGAIN) return Wait::error;
  }
}

// The IPv4 address of `host`: a dotted address as it is, anything else
// resolved. Names may begin with a digit ("3dprint.lan").
int resolve_ipv4(const char* host, in_addr* address, bool log_lookup) {
  if (inet_pton(AF_INET, host, address) == 1) return 1;
  if (log_lookup) LOG_DEV("Lookup hostname: %s", host);
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* answer = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &answer) != 0 || answer == nullptr) return 0;
  *address = reinterpret_cast<const sockaddr_in*>(answer->ai_addr)->sin_addr;
  freeaddrinfo(answer);
  return 1;
}

// Step 4 of a connection: wait, then read the pending error. 1 connected,
// 0 time-out, -1 failure.
int finish_connect(int fd, int timeout_ms) {
  LOG_DEV("Wait for connect %d millis.", timeout_ms);
  Wait waited = wait_for(fd, POLLOUT, timeout_ms);
  if (waited == Wait::timeout) return 0;
  if (waited == Wait::error) {
    LOG_LAST_SYSTEM_ERROR("Error waiting for connection.");
    return -1;
  }
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  if (error == 0 || error == EISCONN) return 1;
  LOG_SYSTEM_ERROR_AS_DEBUG(error, "Error initiating connection");
  return -1;
}

}  // namespace

int os_tcp_socket_create(OsTcpSocket** handle) {
  if (handle == nullptr) return 0;
  *handle = nullptr;
  auto* created = new (std::nothrow) OsTcpSocket{-1};
  if (created == nullptr) {
    LOG_ERROR("Unable to allocate memory for socket.");
    return 0;
  }
  created->fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (created->fd < 0) {
    LOG_LAST_SYSTEM_ERROR("Unable to create socket.");
    delete created;
    return 0;
  }
  int flags = fcntl(created->fd, F_GETFL);
  if (flags < 0 || fcntl(created->fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    LOG_LAST_SYSTEM_ERROR("Unable to setup non-blocking socket.");
    os_tcp_close(created);
    return 0;
  }
  *handle = created;
  return 1;
}

int os_tcp_connect(OsTcpSocket* handle, const char* host, int port, int timeout_ms) {
  if (handle == nullptr || host == nullptr || port < 0 || port > 65535) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (!resolve_ipv4(host, &address.sin_addr, true)) {
    LOG_ERROR("Unable to resolve hostname: %s.", host);
    return 0;
  }
  char dotted[DOTTED_SIZE];
  inet_ntop(AF_INET, &address.sin_addr, dotted, sizeof dotted);
  LOG_DEV("Connect to: %s(%s):%d", host, dotted, port);
  int state = 1;
  if (connect(handle->fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINTR && errno != EAGAIN && errno != EINPROGRESS) {
      LOG_DEBUG("Unable to connect to %s:%d", host, port);
      return 0;
    }
    state = finish_connect(handle->fd, timeout_ms);
  }
  if (state == 1) {
    LOG_DEV("Successfully connected to: %s:%d", host, port);
    return 1;
  }
  if (state == 0) {
    LOG_DEBUG("Timeout connecting to %s:%d", host, port);
  } else {
    LOG_DEV("Unable to connect to %s:%d", host, port);
  }
  return 0;
}

int os_tcp_send(OsTcpSocket* handle, const void* bytes, std::size_t count, std::int64_t* sent,
                int timeout_ms) {
  if (sent != nullptr) *sent = 0;
  if (count == 0) {
    LOG_DEBUG("os_tcp_send: overall wrote total buf data of %d bytes of requested %d bytes", 0, 0);
    return 1;
  }
  if (handle == nullptr || bytes == nullptr || sent == nullptr) return 0;
  const auto* data = static_cast<const char*>(bytes);
  std::size_t total = 0;
  while (total < count) {
    Wait waited = wait_for(handle->fd, POLLOUT, timeout_ms);
    if (waited == Wait::error) {
      LOG_LAST_SYSTEM_ERROR("os_tcp_send: select error");
      return 0;
    }
    if (waited == Wait::timeout) {
      LOG_ERROR("os_tcp_send: select timed out - timeout: %d ms", timeout_ms);
      return 0;
    }
    // MSG_NOSIGNAL: a peer that has gone away gives EPIPE, not SIGPIPE.
    ssize_t n = send(handle->fd, data + total, count - total, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      LOG_LAST_SYSTEM_ERROR("os_tcp_send: write failed for size: %d", static_cast<int>(count - total));
      return 0;
    }
    total += static_cast<std::size_t>(n);
    *sent = static_cast<std::int64_t>(total);
    if (total < count) {
      LOG_DEV("os_tcp_send: wrote intermediate buf data of %d bytes of requested %d bytes",
              static_cast<int>(n), static_cast<int>(count));
    }
  }
  LOG_DEBUG("os_tcp_send: overall wrote total buf data of %d bytes of requested %d bytes",
            static_cast<int>(total), static_cast<int>(count));
  return 1;
}

int os_tcp_recv(OsTcpSocket* handle, void* buffer, std::size_t size, std::int64_t* received,
                int timeout_ms) {
  if (received != nullptr) *received = -1;
  if (handle == nullptr || buffer == nullptr || received == nullptr) return 0;
  std::int64_t deadline = os_monotonic_millis() + (timeout_ms > 0 ? timeout_ms : 0);
  for (;;) {
    ssize_t n = recv(handle->fd, buffer, size, 0);
    if (n >= 0) {
      *received = n;
      return 1;
    }
    if (errno == EINTR && !os_stop_requested()) continue;
    if ((errno != EAGAIN && errno != EWOULDBLOCK) || timeout_ms <= 0) return 0;
    std::int64_t left = deadline - os_monotonic_millis();
    Wait waited = left > 0 ? wait_for(handle->fd, POLLIN, static_cast<int>(left)) : Wait::timeout;
    if (waited == Wait::timeout) {
      LOG_DEBUG("timeout on socket receive");
      return 0;
    }
    if (waited == Wait::error) {
      LOG_LAST_SYSTEM_ERROR("Error waiting for socket.");
      LOG_DEBUG("error receiving data");
      return 0;
    }
  }
}

void os_tcp_close(OsTcpSocket* handle) {
  if (handle == nullptr) return;
  if (handle->fd >= 0) close(handle->fd);
  delete handle;
}

int os_host_to_ip(const char* host, char* buffer, std::size_t size) {
  if (host == nullptr || buffer == nullptr || size == 0) return 0;
  in_addr address{};
  char dotted[DOTTED_SIZE];
  if (!resolve_ipv4(host, &address, false) ||
      inet_ntop(AF_INET, &address, dotted, sizeof dotted) == nullptr ||
      std::strlen(dotted) >= size) {
    return 0;
  }
  std::memcpy(buffer, dotted, std::strlen(dotted) + 1);
  return 1;
}

int os_host_to_ip_timeout(const char* host, char* buffer, std::size_t size) {
  return os_host_to_ip(host, buffer, size);
}

int os_ip_to_host(const char* ip, char* buffer, std::size_t size) {
  if (ip == nullptr || buffer == nullptr || size == 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  if (inet_pton(AF_INET, ip, &address.sin_addr) != 1) {
    LOG_SYSTEM_ERROR(EINVAL, "Error");
    return 0;
  }
  char name[NI_MAXHOST];
  int error = getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, name,
                          sizeof name, nullptr, 0, NI_NAMEREQD);
  if (error != 0) {
    LOG_SYSTEM_ERROR(error == EAI_SYSTEM ? errno : ENOENT, "Error");
    return 0;
  }
  if (std::strlen(name) >= size) return 0;
  std::memcpy(buffer, name, std::strlen(name) + 1);
  return 1;
}

int os_ip_to_host_timeout(const char* ip, char* buffer, std::size_t size) {
  return os_ip_to_host(ip, buffer, size);
}
