// TCP sockets on 127.0.0.1 for tests and benchmarks (no test framework).
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sw_test {

// A TCP socket bound to a free port on 127.0.0.1 (close-on-exec); its port
// into `port`. -1 (and port 0) when no socket can be had.
inline int bind_loopback(int* port) {
  *port = 0;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    return -1;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

// A port on 127.0.0.1 where nothing listens (it was free a moment ago and
// the socket is closed again); 0 when none could be had.
inline int unused_port() {
  int port = 0;
  const int fd = bind_loopback(&port);
  if (fd >= 0) close(fd);
  return port;
}

}  // namespace sw_test
