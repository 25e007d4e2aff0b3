#include "foundation/os_tcp.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

using sw_test::LogCapture;

namespace {

// A socket bound to an ephemeral port of 127.0.0.1, listening or not.
class Listener {
 public:
  explicit Listener(int backlog, bool listening = true, int receive_buffer = 0) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receive_buffer > 0) {
      setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    if (listening) listen(fd_, backlog);
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  ~Listener() { close(fd_); }
  int port() const { return port_; }
  int accept_one() const { return accept(fd_, nullptr, nullptr); }

 private:
  int fd_ = -1;
  int port_ = 0;
};

OsTcpSocketPtr connected_to(const Listener& listener, const char* host = "127.0.0.1") {
  OsTcpSocket* handle = nullptr;
  if (!os_tcp_socket_create(&handle)) return nullptr;
  OsTcpSocketPtr owned(handle);
  if (!os_tcp_connect(handle, host, listener.port(), 2000)) return nullptr;
  return owned;
}

OsTcpSocketPtr fresh_socket() {
  OsTcpSocket* handle = nullptr;
  return os_tcp_socket_create(&handle) ? OsTcpSocketPtr(handle) : nullptr;
}

}  // namespace

TEST(OsTcp, RoundTripAndPeerClose) {
  Listener listener(4);
  for (const char* host : {"127.0.0.1", "localhost"}) {
    OsTcpSocketPtr client = connected_to(listener, host);
    ASSERT_TRUE(client) << host;
    int peer = listener.accept_one();
    ASSERT_GE(peer, 0);
    std::int64_t sent = -1;
    ASSERT_EQ(os_tcp_send(client.get(), "request", 7, &sent, 1000), 1);
    EXPECT_EQ(sent, 7);
    char buffer[64] = {};
    ASSERT_EQ(recv(peer, buffer, sizeof buffer, 0), 7);
    EXPECT_STREQ(buffer, "request");
    ASSERT_EQ(send(peer, "answer", 6, 0), 6);
    std::int64_t received = -1;
    ASSERT_EQ(os_tcp_recv(client.get(), buffer, sizeof buffer, &received, 1000), 1);
    ASSERT_EQ(received, 6);
    EXPECT_EQ(std::string(buffer, 6), "answer");
    close(peer);
    EXPECT_EQ(os_tcp_recv(client.get(), buffer, sizeof buffer, &received, 1000), 1);
    EXPECT_EQ(received, 0) << "a closed peer reads as 0 bytes";
  }
}

TEST(OsTcp, ReceiveWithNothingToRead) {
  LogCapture log(sw_test::ALL_LOG_ENTRIES);
  Listener listener(4);
  OsTcpSocketPtr client = connected_to(listener);
  ASSERT_TRUE(client);
  int peer = listener.accept_one();
  char buffer[16];
  std::int64_t received = 0;
  EXPECT_EQ(os_tcp_recv(client.get(), buffer, sizeof buffer, &received, 0), 0);
  EXPECT_EQ(received, -1);
  received = 0;
  EXPECT_EQ(os_tcp_recv(client.get(), buffer, sizeof buffer, &received, 150), 0);
  EXPECT_EQ(received, -1);
  EXPECT_TRUE(log.contains("timeout on socket receive"));
  close(peer);
}

TEST(OsTcp, RefusedAndUnresolvableTargets) {
  LogCapture log(sw_test::ALL_LOG_ENTRIES);
  Listener not_listening(0, false);  // bound, so the port stays ours, but refusing
  OsTcpSocketPtr client = fresh_socket();
  ASSERT_TRUE(client);
  EXPECT_EQ(os_tcp_connect(client.get(), "127.0.0.1", not_listening.port(), 5000), 0);

  // A name that begins with a digit is a name, not a malformed address.
  client = fresh_socket();
  EXPECT_EQ(os_tcp_connect(client.get(), "3dprint.invalid", 631, 500), 0);
  EXPECT_TRUE(log.contains("Unable to resolve hostname: 3dprint.invalid."));
  client = fresh_socket();
  EXPECT_EQ(os_tcp_connect(client.get(), "no-such-host.invalid", 631, 500), 0);
  EXPECT_TRUE(log.contains("Unable to resolve hostname: no-such-host.invalid."));
}

TEST(OsTcp, ConnectTimesOutWhenTheBacklogIsFull) {
  LogCapture log(sw_test::ALL_LOG_ENTRIES);
  Listener listener(0);  // never accepts
  std::vector<OsTcpSocketPtr> queued;
  bool timed_out = false;
  const int timeout_ms = 300;
  for (int attempt = 0; attempt < 64 && !timed_out; ++attempt) {
    OsTcpSocketPtr client = fresh_socket();
    ASSERT_TRUE(client);
    auto start = std::chrono::steady_clock::now();
    int connected = os_tcp_connect(client.get(), "127.0.0.1", listener.port(), timeout_ms);
    auto waited = std::chrono::steady_clock::now() - start;
    if (connected) {
      queued.push_back(std::move(client));
      continue;
    }
    timed_out = true;
    EXPECT_GE(waited, std::chrono::milliseconds(timeout_ms - 10));
  }
  ASSERT_TRUE(timed_out) << "the listener's queue never filled";
  EXPECT_TRUE(log.contains("Timeout connecting to 127.0.0.1:" + std::to_string(listener.port())));
}

TEST(OsTcp, SendTimesOutWhenThePeerNeverReads) {
  LogCapture log(sw_test::ALL_LOG_ENTRIES);
  Listener listener(4, true, 4096);
  OsTcpSocketPtr client = connected_to(listener);
  ASSERT_TRUE(client);
  int peer = listener.accept_one();
  ASSERT_GE(peer, 0);
  int small = 4096;
  setsockopt(client->fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  const std::vector<char> bytes(16 << 20, 'p');
  std::int64_t sent = -1;
  EXPECT_EQ(os_tcp_send(client.get(), bytes.data(), bytes.size(), &sent, 200), 0);
  EXPECT_GT(sent, 0);
  EXPECT_LT(sent, static_cast<std::int64_t>(bytes.size()));
  EXPECT_TRUE(log.contains("os_tcp_send: select timed out - timeout: 200 ms"));
  close(peer);
}

TEST(OsTcp, SendingToAGonePeerFailsWithoutSigpipe) {
  Listener listener(4);
  OsTcpSocketPtr client = connected_to(listener);
  ASSERT_TRUE(client);
  int peer = listener.accept_one();
  ASSERT_GE(peer, 0);
  linger reset{1, 0};
  setsockopt(peer, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  close(peer);  // reset the connection
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const std::vector<char> bytes(65536, 'x');
  int result = 1;
  for (int i = 0; i < 20 && result == 1; ++i) {
    std::int64_t sent = 0;
    result = os_tcp_send(client.get(), bytes.data(), bytes.size(), &sent, 500);
  }
  EXPECT_EQ(result, 0);  // and we are still alive
}

TEST(OsTcp, SendingNothingTouchesNoSocket) {
  OsTcpSocket none{-1};
  std::int64_t sent = -1;
  EXPECT_EQ(os_tcp_send(&none, "", 0, &sent, 0), 1);
  EXPECT_EQ(sent, 0);
  os_tcp_close(nullptr);
}

TEST(OsTcp, DescriptorsAbove1023Work) {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  if (limit.rlim_cur <= 1500) GTEST_SKIP() << "descriptor limit too low";
  Listener listener(4);
  OsTcpSocketPtr client = fresh_socket();
  ASSERT_TRUE(client);
  ASSERT_EQ(dup2(client->fd, 1500), 1500);
  close(client->fd);
  client->fd = 1500;
  ASSERT_EQ(os_tcp_connect(client.get(), "127.0.0.1", listener.port(), 2000), 1);
  int peer = listener.accept_one();
  ASSERT_GE(peer, 0);
  std::thread late_answer([peer] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    (void)send(peer, "late", 4, 0);
  });
  char buffer[8];
  std::int64_t received = 0;
  EXPECT_EQ(os_tcp_recv(client.get(), buffer, sizeof buffer, &received, 5000), 1);
  EXPECT_EQ(received, 4);
  late_answer.join();
  std::int64_t sent = 0;
  EXPECT_EQ(os_tcp_send(client.get(), "ok", 2, &sent, 1000), 1);
  close(peer);
}

TEST(OsTcp, HostLookups) {
  char buffer[64];
  struct Case {
    const char* host;
    int result;
    const char* ip;
  };
  const Case cases[] = {
      {"127.0.0.1", 1, "127.0.0.1"},
      {"localhost", 1, "127.0.0.1"},
      {"3dprint.invalid", 0, nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(os_host_to_ip(c.host, buffer, sizeof buffer), c.result) << c.host;
    if (c.ip != nullptr) { EXPECT_STREQ(buffer, c.ip); }
    EXPECT_EQ(os_host_to_ip_timeout(c.host, buffer, sizeof buffer), c.result) << c.host;
  }
  EXPECT_EQ(os_host_to_ip("127.0.0.1", buffer, 9), 0);  // does not fit

  ASSERT_EQ(os_ip_to_host("127.0.0.1", buffer, sizeof buffer), 1);
  EXPECT_GT(std::strlen(buffer), 0u);
  EXPECT_EQ(os_ip_to_host_timeout("127.0.0.1", buffer, sizeof buffer), 1);
  EXPECT_EQ(os_ip_to_host("not-an-address", buffer, sizeof buffer), 0);
}
