// IPv4 TCP sockets with time-outs in milliseconds, and host-name lookups.
// Results are 1 for success and 0 for failure.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/owned.h"

// A non-blocking IPv4 stream socket. Freed by os_tcp_close.
struct OsTcpSocket {
  int fd;
};

// A new non-blocking socket into *handle.
[[nodiscard]] int os_tcp_socket_create(OsTcpSocket** handle);
// Connects to `host` (dotted address or name) within `timeout_ms`.
[[nodiscard]] int os_tcp_connect(OsTcpSocket* handle, const char* host, int port, int timeout_ms);
// Writes all `count` bytes, waiting up to `timeout_ms` for each readiness;
// *sent gets the bytes written in any case. Never raises SIGPIPE.
[[nodiscard]] int os_tcp_send(OsTcpSocket* handle, const void* bytes, std::size_t count,
                              std::int64_t* sent, int timeout_ms);
// Reads what is available (waiting up to `timeout_ms` when nothing is) into
// buffer; *received gets the count (0: the peer closed). 0 on time-out, on
// error and when nothing is available with a time-out of 0 or below; then
// *received is -1.
[[nodiscard]] int os_tcp_recv(OsTcpSocket* handle, void* buffer, std::size_t size,
                              std::int64_t* received, int timeout_ms);
// Closes and frees; null is ignored.
void os_tcp_close(OsTcpSocket* handle);
using OsTcpSocketPtr = Owned<OsTcpSocket, os_tcp_close>;

// First IPv4 address of `host` in dotted form.
[[nodiscard]] int os_host_to_ip(const char* host, char* buffer, std::size_t size);
[[nodiscard]] int os_host_to_ip_timeout(const char* host, char* buffer, std::size_t size);
// Host name of a dotted IPv4 address by reverse lookup.
[[nodiscard]] int os_ip_to_host(const char* ip, char* buffer, std::size_t size);
[[nodiscard]] int os_ip_to_host_timeout(const char* ip, char* buffer, std::size_t size);
