// A scripted HTTP peer for the client tests: a thread with a listening socket
// on 127.0.0.1 that, for each connection, reads one whole request, records
// it, answers with the scripted pieces (pausing between them so that they
// arrive in separate reads) and closes.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback.h"

namespace http_test {

class RawHttpServer {
 public:
  // Every connection is answered with `pieces`, sent one after the other.
  explicit RawHttpServer(std::vector<std::string> pieces, int pause_ms = 30)
      : pieces_(std::move(pieces)), pause_ms_(pause_ms) {
    fd_ = sw_test::bind_loopback(&port_);
    if (fd_ >= 0) listen(fd_, 8);
    thread_ = std::thread([this] { serve(); });
  }
  RawHttpServer(const RawHttpServer&) = delete;
  RawHttpServer& operator=(const RawHttpServer&) = delete;
  ~RawHttpServer() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }

  int port() const { return port_; }
  // The requests received so far, byte for byte.
  std::vector<std::string> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  void serve() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      const int peer = accept(fd_, nullptr, nullptr);
      if (peer < 0) continue;
      std::string request = read_request(peer);
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(std::move(request));
      }
      for (std::size_t i = 0; i < pieces_.size(); ++i) {
        if (i > 0 && !pause()) break;
        // A client that gave up closed its end: stop trickling.
        if (!send_all(peer, pieces_[i])) break;
      }
      close(peer);
    }
  }

  // Up to the blank line, then Content-Length bytes of body.
  static std::string read_request(int peer) {
    std::string data;
    std::size_t wanted = std::string::npos;
    char buffer[4096];
    while (data.size() < wanted) {
      pollfd p{peer, POLLIN, 0};
      if (poll(&p, 1, 2000) <= 0) break;
      const ssize_t got = recv(peer, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      data.append(buffer, static_cast<std::size_t>(got));
      const std::size_t end = data.find("\r\n\r\n");
      if (end != std::string::npos && wanted == std::string::npos) {
        const std::size_t at = data.find("Content-Length: ");
        const std::size_t body = at != std::string::npos && at < end
                                     ? std::strtoul(data.c_str() + at + 16, nullptr, 10)
                                     : 0;
        wanted = end + 4 + body;
      }
    }
    return data;
  }

  // The pause between two pieces, cut short when the server stops; false
  // then.
  bool pause() const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(pause_ms_);
    while (std::chrono::steady_clock::now() < end) {
      if (stop_) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  static bool send_all(int peer, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t put = send(peer, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (put <= 0) return false;
      done += static_cast<std::size_t>(put);
    }
    return true;
  }

  std::vector<std::string> pieces_;
  int pause_ms_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
};

}  // namespace http_test
