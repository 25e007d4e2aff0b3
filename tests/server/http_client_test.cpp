// The HTTP client against a scripted peer on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "foundation/config.h"
#include "foundation/os_stop.h"
#include "foundation/util.h"
#include "raw_http_server.h"
#include "server/http.h"
#include "support/loopback.h"
#include "support/test_support.h"

using http_test::RawHttpServer;

namespace {

using Response = HttpResponsePtr;

std::vector<int> sleeps;
void record_sleep(int milliseconds) { sleeps.push_back(milliseconds); }

class HttpClient : public ::testing::Test {
 protected:
  void SetUp() override {
    sleeps.clear();
    previous_sleep_ = http_set_retry_sleep(record_sleep);
    global_ctx.env_version = 13;
  }
  void TearDown() override {
    http_set_retry_sleep(previous_sleep_);
  }

  static HttpRequest post(int port, const char* body = "<x/>") {
    return HttpRequest{HTTP_METHOD_POST, "127.0.0.1", port, "/rpc", "text/xml", 2000, 2000, body};
  }

  // Runs the request; the response or null, and whether it was sent.
  static Response run(const HttpRequest& request, int retries = 0, int* sent = nullptr) {
    HttpResponse* response = nullptr;
    int request_sent = -1;
    const int result = http_do_request_with_retry(&request, &response, retries, &request_sent);
    EXPECT_EQ(result == 0, response != nullptr);
    if (sent != nullptr) *sent = request_sent;
    return Response(response);
  }

 private:
  sw_test::ScopedGlobalContext context_;
  HttpSleepFunction previous_sleep_ = nullptr;
};

const std::string OK_HEADER = "HTTP/1.0 200 OK\r\nContent-type: text/xml\r\n";

}  // namespace

TEST_F(HttpClient, SendsTheExactRequestBytes) {
  const std::string agent = std::string("User-Agent: TV-Spoolwarden full-ver: ") +
                            UTIL_PRODUCT_VERSION + " env-ver: 13 \r\n\r\n";
  struct Case {
    const char* name;
    HttpRequest request;
    std::string expected;
  } cases[] = {
      {"post with body and type",
       {HTTP_METHOD_POST, "127.0.0.1", 0, "/rpc/providers/xmlrpc", "text/xml", 2000, 2000,
        "<a>\xC3\xBC</a>"},
       "POST /rpc/providers/xmlrpc HTTP/1.0\r\nContent-Length: 9\r\nContent-Type: text/xml\r\n" +
           agent + "<a>\xC3\xBC</a>"},
      {"get without body or type",
       {HTTP_METHOD_GET, "127.0.0.1", 0, "/x", nullptr, 2000, 2000, nullptr},
       "GET /x HTTP/1.0\r\n" + agent},
      {"empty body and type send no lines",
       {HTTP_METHOD_POST, "127.0.0.1", 0, "/", "", 2000, 2000, ""},
       "POST / HTTP/1.0\r\n" + agent},
  };
  for (auto& c : cases) {
    RawHttpServer server({OK_HEADER + "Content-Length: 2\r\n\r\nok"});
    c.request.port = server.port();
    int sent = 0;
    Response response = run(c.request, 0, &sent);
    ASSERT_NE(response, nullptr) << c.name;
    EXPECT_EQ(sent, 1) << c.name;
    ASSERT_EQ(server.requests().size(), 1u) << c.name;
    EXPECT_EQ(server.requests()[0], c.expected) << c.name;
  }
}

TEST_F(HttpClient, ReadsRepliesArrivingInPieces) {
  const std::string big(100000, 'b');  // far past one read piece
  struct Case {
    const char* name;
    std::vector<std::string> pieces;
    bool ok;
    std::string body;
  } cases[] = {
      {"header split inside the blank line",
       {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r", "\nhel", "lo"}, true, "hello"},
      {"header split inside a name", {"HTTP/1.0 200 OK\r\nConte", "nt-Length: 3\r\n\r\nabc"}, true,
       "abc"},
      {"body longer than one read", {OK_HEADER + "Content-Length: 100000\r\n\r\n", big}, true, big},
      {"no length: body to the close", {OK_HEADER + "\r\n", "abc", "def"}, true, "abcdef"},
      {"peer closes before the declared end", {OK_HEADER + "Content-Length: 10\r\n\r\n", "abc"},
       false, ""},
      {"peer closes inside the header", {"HTTP/1.0 200 OK\r\nContent-"}, false, ""},
      {"nothing at all", {}, false, ""},
      {"declared body above the cap",
       {OK_HEADER + "Content-Length: " + std::to_string(HTTP_MAX_BODY + 1) + "\r\n\r\nabc"}, false,
       ""},
      {"garbage instead of HTTP", {"<html>hello</html>\r\n\r\n"}, false, ""},
  };
  for (const auto& c : cases) {
    RawHttpServer server(c.pieces);
    int sent = 0;
    Response response = run(post(server.port()), 0, &sent);
    EXPECT_EQ(sent, 1) << c.name;  // every failure here came after the whole request
    ASSERT_EQ(response != nullptr, c.ok) << c.name;
    if (c.ok) { EXPECT_EQ(std::string(response->body, response->body_length), c.body) << c.name; }
  }
}

TEST_F(HttpClient, UnlimitedReplyOverTheCapFails) {
  std::vector<std::string> pieces{OK_HEADER + "\r\n"};
  for (std::size_t sent = 0; sent <= HTTP_MAX_BODY; sent += 1 << 20) {
    pieces.push_back(std::string(1 << 20, 'x'));
  }
  RawHttpServer server(pieces, 0);
  EXPECT_EQ(run(post(server.port())), nullptr);
}

TEST_F(HttpClient, ConnectionAttemptsAndWaits) {
  sw_test::LogCapture log(sw_test::LogFlags{.debug = true});
  const int port = sw_test::unused_port();
  struct Case {
    int retries;
    std::size_t waits;
  } cases[] = {{-3, 0}, {0, 0}, {1, 1}, {2, 2}};
  for (const auto& c : cases) {
    sleeps.clear();
    int sent = -1;
    EXPECT_EQ(run(post(port), c.retries, &sent), nullptr) << c.retries;
    EXPECT_EQ(sent, 0) << c.retries;
    ASSERT_EQ(sleeps.size(), c.waits) << c.retries;
    for (const int ms : sleeps) {
      EXPECT_GE(ms, HTTP_RETRY_SLEEP_MIN_MS);
      EXPECT_LE(ms, HTTP_RETRY_SLEEP_MAX_MS);
    }
  }
  const std::string tail = ":" + std::to_string(port) + " failed, retrying soon (retry ";
  EXPECT_TRUE(log.contains("http call to 127.0.0.1" + tail + "1 of 2)"));
  EXPECT_TRUE(log.contains("http call to 127.0.0.1" + tail + "2 of 2)"));
  EXPECT_FALSE(log.contains(tail + "3 of 2)"));
  EXPECT_TRUE(log.contains("unable to establish TCP connection"));
  // A reachable server is asked once, without waiting.
  RawHttpServer server({OK_HEADER + "Content-Length: 1\r\n\r\n1"});
  sleeps.clear();
  EXPECT_NE(run(post(server.port()), 2), nullptr);
  EXPECT_TRUE(sleeps.empty());
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(HttpClient, UnknownMethodIsRefusedBeforeConnecting) {
  RawHttpServer server({OK_HEADER + "Content-Length: 1\r\n\r\n1"});
  HttpRequest request = post(server.port());
  request.method = 2;
  int sent = -1;
  EXPECT_EQ(run(request, 0, &sent), nullptr);
  EXPECT_EQ(sent, 0);
  EXPECT_TRUE(server.requests().empty());
  std::size_t length = 0;
  EXPECT_EQ(http_build_request(&request, &length), nullptr);
  HttpResponse* response = reinterpret_cast<HttpResponse*>(1);
  EXPECT_EQ(http_do_request(&request, &response), -1);
  EXPECT_EQ(response, nullptr);
  http_free_response(nullptr);
}

// A server that accepts and then trickles its reply, or never answers, holds
// a call no longer than its one deadline (connect plus send time-out), and a
// stop request ends it at once. The peers here would hold it for a minute.
TEST_F(HttpClient, WholeExchangeEndsByOneDeadline) {
  sw_test::LogCapture log(sw_test::LogFlags{.debug = true});
  std::vector<std::string> trickle{OK_HEADER + "Content-Length: 600\r\n\r\n"};
  trickle.insert(trickle.end(), 600, "x");  // one byte every 100 ms
  const struct {
    const char* name;
    std::vector<std::string> pieces;
    int pause_ms;
    bool stop;
  } cases[] = {
      {"reply trickled a byte at a time", trickle, 100, false},
      {"header trickled a byte at a time", {"H", "T", "T", "P", "/"}, 15000, false},
      {"accepts and never answers", {"", "late"}, 60000, false},
      {"stop request while waiting", {"", "late"}, 60000, true},
  };
  for (const auto& c : cases) {
    RawHttpServer server(c.pieces, c.pause_ms);
    HttpRequest request = post(server.port());
    request.connect_timeout = 500;
    request.send_timeout = c.stop ? 60000 : 1000;
    std::thread stopper;
    if (c.stop) {
      stopper = std::thread([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        os_request_stop();
      });
    }
    const auto start = std::chrono::steady_clock::now();
    int sent = 0;
    EXPECT_EQ(run(request, 0, &sent), nullptr) << c.name;
    const auto took = std::chrono::steady_clock::now() - start;
    if (stopper.joinable()) stopper.join();
    os_clear_stop_request();
    EXPECT_EQ(sent, 1) << c.name;
    // Far below what the peer would take; the deadline itself is 1.5 s.
    EXPECT_LT(took, std::chrono::seconds(20)) << c.name;
  }
  EXPECT_TRUE(log.contains("ran past its deadline of 1500 ms"));
  EXPECT_TRUE(log.contains("ended by a stop request"));
}
