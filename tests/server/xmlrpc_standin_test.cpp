// Round trips through the application server's stand-in (Python's standard
// XML-RPC server): its replies put line feeds between elements and a strict
// XML parser reads our requests.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "server/xmlrpc.h"
#include "support/appserver_standin.h"
#include "support/test_support.h"

namespace {

using sw_test::TempDir;

constexpr const char* PATH = "/rpc/providers/xmlrpc";

// One stand-in for the whole suite, in a temp directory of its own.
class Standin : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    server_ = new sw_test::AppServerStandin(*dir_ / "server");
    port_ = server_->port();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override { ASSERT_NE(port_, 0) << "the stand-in did not start"; }

  static void script(const std::string& json) { server_->write_script(json); }
  static std::string calls() { return sw_test::read_file(server_->log_path()); }

  // Calls `method` with the parameters; the result list or null.
  static XMLRPCParameterListPtr call(XMLRPCClient* client, const char* method,
                                     const XMLRPCParameterList* params) {
    XMLRPCParameterList* result = nullptr;
    const int rc = XMLRPCCallMethod(client, method, params, &result, 0);
    EXPECT_EQ(rc == 0, result != nullptr);
    return XMLRPCParameterListPtr(result);
  }

  static XMLRPCClientPtr client() {
    return XMLRPCClientPtr(XMLRPCClientNew("127.0.0.1", port_, PATH));
  }

  static inline TempDir* dir_ = nullptr;
  static inline sw_test::AppServerStandin* server_ = nullptr;
  static inline int port_ = 0;
};

}  // namespace

TEST_F(Standin, TypedResultsAndFaults) {
  const std::string big(100000, 'q');  // far past the old 16384-byte reply limit
  script(R"({"methods": {"t.string": "PRINT", "t.int": -12, "t.true": true, "t.false": false,
    "t.empty": "", "t.markup": "a<b>&c", "t.big": ")" + big + R"(",
    "t.fault": {"answer": {"fault": [1000, "127.0.0.1:9192 <moved>"]}}}})");
  struct Case {
    const char* method;
    int type;
    std::string text;
    int number;
  } cases[] = {
      {"t.string", XMLRPC_TYPE_STRING, "PRINT", 0}, {"t.int", XMLRPC_TYPE_INT, "", -12},
      {"t.true", XMLRPC_TYPE_BOOLEAN, "", 1},       {"t.false", XMLRPC_TYPE_BOOLEAN, "", 0},
      {"t.empty", XMLRPC_TYPE_STRING, "", 0},       {"t.markup", XMLRPC_TYPE_STRING, "a<b>&c", 0},
      {"t.big", XMLRPC_TYPE_STRING, big, 0},
  };
  for (const auto& c : cases) {
    XMLRPCClientPtr rpc = client();
    XMLRPCParameterListPtr result = call(rpc.get(), c.method, nullptr);
    ASSERT_NE(result, nullptr) << c.method;
    EXPECT_EQ(rpc->request_sent, 1);
    ASSERT_EQ(XMLRPCParameterListGetType(result.get(), 0), c.type) << c.method;
    if (c.type == XMLRPC_TYPE_STRING) {
      EXPECT_EQ(std::string(result->first->text), c.text) << c.method;
    } else {
      EXPECT_EQ(result->first->value, c.number) << c.method;
    }
  }
  XMLRPCClientPtr rpc = client();
  EXPECT_EQ(call(rpc.get(), "t.fault", nullptr), nullptr);
  EXPECT_STREQ(rpc->fault_string, "127.0.0.1:9192 <moved>");
  EXPECT_EQ(rpc->fault_code, 1000);
  EXPECT_EQ(rpc->request_sent, 1);
}

// The server's strict parser must accept whatever bytes a job's texts hold,
// and see the values we meant.
TEST_F(Standin, ParametersArriveTyped) {
  script("{}");
  XMLRPCParameterListPtr params(XMLRPCParameterListNew());
  const tm when = sw_test::calendar_time(2024, 2, 29, 13, 5, 0);
  ASSERT_EQ(XMLRPCParameterListAddString(params.get(), "r\xE9sum\xE9\x01<&>.pdf"), 0);
  ASSERT_EQ(XMLRPCParameterListAddString(params.get(), "\xE2\x82\xAC cut \xE2\x82"), 0);
  ASSERT_EQ(XMLRPCParameterListAddInt(params.get(), -7), 0);
  ASSERT_EQ(XMLRPCParameterListAddBoolean(params.get(), 1), 0);
  ASSERT_EQ(XMLRPCParameterListAddDate(params.get(), &when), 0);
  XMLRPCClientPtr rpc = client();
  XMLRPCParameterListPtr result = call(rpc.get(), "t.params", params.get());
  ASSERT_NE(result, nullptr) << (rpc->fault_string != nullptr ? rpc->fault_string : "");
  const std::string log = calls();
  EXPECT_NE(log.find(R"("method": "t.params", "params": [["string", "r\u00e9sum\u00e9\ufffd<&>.pdf"], )"
                     R"(["string", "\u20ac cut \u00e2\u0082"], ["int", -7], ["boolean", true], )"
                     R"(["dateTime.iso8601", "20240229T13:05:00"]])"),
            std::string::npos)
      << log;
}

// Callers tell the failures apart by the fault text, and may repeat a call
// only when its request never reached the server.
TEST_F(Standin, FailuresSetTheFaultAndTheSentFlag) {
  XMLRPCClientPtr refused(XMLRPCClientNew("127.0.0.1", 1, PATH));  // nothing listens on port 1
  EXPECT_EQ(call(refused.get(), "t.x", nullptr), nullptr);
  EXPECT_STREQ(refused->fault_string, "");
  EXPECT_EQ(refused->fault_code, 0);
  EXPECT_EQ(refused->request_sent, 0);

  XMLRPCClientPtr wrong_path(XMLRPCClientNew("127.0.0.1", port_, "/no/such/path"));
  EXPECT_EQ(call(wrong_path.get(), "t.x", nullptr), nullptr);
  EXPECT_STREQ(wrong_path->fault_string, "Unexpected HTTP status code");  // the server said 404
  EXPECT_EQ(wrong_path->request_sent, 1);

  // A client used again reports the new call only.
  script("{}");
  XMLRPCParameterListPtr result = call(wrong_path.get(), "t.x", nullptr);
  EXPECT_EQ(result, nullptr);
  wrong_path->path = PATH;
  result = call(wrong_path.get(), "t.x", nullptr);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(wrong_path->fault_string, nullptr);
  EXPECT_EQ(wrong_path->request_sent, 1);
}

// The DEBUG line of a call shows its parameters, cut short at a character
// boundary.
TEST_F(Standin, CallIsLoggedWithItsParameters) {
  sw_test::LogCapture log(sw_test::LogFlags{.debug = true});
  XMLRPCParameterListPtr params(XMLRPCParameterListNew());
  const tm when = sw_test::calendar_time(2024, 2, 29, 13);
  ASSERT_EQ(XMLRPCParameterListAddString(params.get(), "doc"), 0);
  ASSERT_EQ(XMLRPCParameterListAddInt(params.get(), 55), 0);  // a byte cut would split a sign
  ASSERT_EQ(XMLRPCParameterListAddBoolean(params.get(), 0), 0);
  ASSERT_EQ(XMLRPCParameterListAddDate(params.get(), &when), 0);
  std::string long_text;
  for (int i = 0; i < 400; ++i) long_text += "\xE2\x82\xAC";
  ASSERT_EQ(XMLRPCParameterListAddString(params.get(), long_text.c_str()), 0);
  XMLRPCClientPtr rpc(XMLRPCClientNew("127.0.0.1", 1, PATH));
  EXPECT_EQ(call(rpc.get(), "t.logged", params.get()), nullptr);
  const std::string text = log.text();
  const std::string head = "Calling t.logged('doc', 55, false, 20240229T13:00:00, '";
  const std::size_t at = text.find(head);
  ASSERT_NE(at, std::string::npos) << text;
  const std::size_t end = text.find(") on server: 127.0.0.1:1", at);
  ASSERT_NE(end, std::string::npos) << text;
  const std::string shown = text.substr(at + 17, end - at - 17);  // after "Calling t.logged("
  EXPECT_LE(shown.size(), XMLRPC_LOG_PARAMS_MAX);
  EXPECT_GE(shown.size(), XMLRPC_LOG_PARAMS_MAX - 2);
  EXPECT_EQ((shown.size() - (head.size() - 17)) % 3, 0u);  // whole euro signs only
  EXPECT_TRUE(log.contains("XMLRPC HTTP Post request failed"));
}
