// The linear reply matcher must find exactly what the equivalent regular
// expressions find (PCRE2 as the oracle), and keep finding it where the
// expression engine's match limit gives up.
#include "server/xmlrpc_reply_match.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <gtest/gtest.h>
#include <pcre2.h>

#include <random>
#include <string>
#include <vector>

namespace {

struct Oracle {
  XmlrpcReplyShape shape;
  const char* pattern;
  std::uint32_t options;
  int group;
};

const Oracle kOracles[] = {
    {XmlrpcReplyShape::String,
     R"(<param>\s*<value>\s*<string>(.*?)</string>\s*</value>\s*</param>)",
     PCRE2_CASELESS | PCRE2_DOTALL, 1},
    {XmlrpcReplyShape::Int,
     R"(<param>\s*<value>\s*<(?:int|i4)>(.+?)</(?:int|i4)>\s*</value>\s*</param>)",
     PCRE2_CASELESS, 1},
    {XmlrpcReplyShape::Boolean,
     R"(<param>\s*<value>\s*<boolean>(.+?)</boolean>\s*</value>\s*</param>)", PCRE2_CASELESS, 1},
    {XmlrpcReplyShape::Untyped, R"(<param>\s*<value>(.*?)</value>\s*</param>)",
     PCRE2_CASELESS | PCRE2_DOTALL, 1},
    {XmlrpcReplyShape::FaultString,
     R"(<name>faultString</name>\s*<value>\s*(<string>)?(.*?)(</string>)?\s*</value>)",
     PCRE2_CASELESS, 2},
    {XmlrpcReplyShape::FaultCode,
     R"(<name>faultCode</name>\s*<value>\s*(<int>|<i4>)?(.*?)(</int>|</i4>)?\s*</value>)",
     PCRE2_CASELESS, 2},
};

std::string lowered(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return text;
}

// "-" for no match, else "start,end".
std::string oracle_find(const Oracle& oracle, const std::string& body) {
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(oracle.pattern),
                                   PCRE2_ZERO_TERMINATED, oracle.options, &error, &offset, nullptr);
  EXPECT_NE(code, nullptr) << oracle.pattern;
  if (code == nullptr) return "error";
  pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
  const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(body.data()), body.size(), 0, 0,
                             data, nullptr);
  std::string result = "-";
  if (rc > 0) {
    const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(data);
    result = std::to_string(vector[2 * oracle.group]) + "," +
             std::to_string(vector[2 * oracle.group + 1]);
  } else {
    EXPECT_EQ(rc, PCRE2_ERROR_NOMATCH) << body;
  }
  pcre2_match_data_free(data);
  pcre2_code_free(code);
  return result;
}

std::string own_find(XmlrpcReplyShape shape, const std::string& body) {
  std::size_t start = 0;
  std::size_t end = 0;
  if (!xmlrpc_reply_find(shape, lowered(body), &start, &end)) return "-";
  return std::to_string(start) + "," + std::to_string(end);
}

void expect_same_as_oracle(const std::string& body) {
  for (const Oracle& oracle : kOracles) {
    ASSERT_EQ(own_find(oracle.shape, body), oracle_find(oracle, body))
        << "pattern " << oracle.pattern << "\nbody [" << body << "]";
  }
}

}  // namespace

TEST(XmlrpcReplyMatch, AgreesWithTheExpressionsOnChosenBodies) {
  const std::string bodies[] = {
      "<methodResponse><params><param><value><string>x</string></value></param></params>",
      "<param>\n<value><string>a\nb</string></value>\n</param>",
      "<param><value><string>a</string></value><param><value><string>b</string></value></param>",
      "<PARAM> <Value>\t<STRING>up</String> </VALUE>\r\n</param>",
      "<param><value><int></int></value></param><param><value><int>5</int></value></param>",
      "<param><value><int>1\n2</int></value></param><param><value><i4>3</i4></value></param>",
      "<param><value><int>4</i4></value></param>",
      "<param><value><boolean>1</boolean> </value></param>",
      "<param><value>bare</value></param>",
      "<param><value></value></param>",
      "<param><value><string>unclosed</value></param>",
      "<param><value><string>a</string></value>x</param><param><value>b</value></param>",
      "<name>faultString</name>\n<value><string>text</string></value>",
      "<name>faultString</name><value>  spaced  </value>",
      "<name>faultString</name><value><string>two\nlines</string></value>",
      "<name>faultString</name><value><string>a</string>b</string></value>",
      "<name>faultString</name><value><string></value><name>faultString</name><value>x</value>",
      "<name>faultCode</name>\n<value><int>1000</int></value>",
      "<name>faultCode</name><value><i4>-2</int>\n</value>",
      "<name>faultCode</name><value>7</value>",
      "<name>faultCode</name><value><int>1\n</int></value><name>faultCode</name><value>9</value>",
      "<name>faultcode</name><value>\n\n</value>",
      "<param><value><int> </int></value></param>",
      "<param><value><string>&lt;</string></value></param></param>",
      "",
      "<",
  };
  for (const std::string& body : bodies) expect_same_as_oracle(body);
}

// Bodies made of the pieces that matter, in random order.
TEST(XmlrpcReplyMatch, AgreesWithTheExpressionsOnRandomBodies) {
  const std::vector<std::string> pieces = {
      "<param>", "</param>", "<value>", "</value>", "<string>", "</string>", "<int>", "</int>",
      "<i4>", "</i4>", "<boolean>", "</boolean>", "<name>faultString</name>",
      "<name>faultCode</name>", " ", "\n", "\r", "\t", "a", "7", "<", "<VALUE>", "</STRING>",
  };
  std::mt19937 random(20240605);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(1, 14);
  for (int round = 0; round < 4000; ++round) {
    std::string body;
    for (int i = length(random); i > 0; --i) body += pieces[pick(random)];
    expect_same_as_oracle(body);
    if (HasFatalFailure()) return;
  }
}

// A queued-events answer of several megabytes: far past where a lazy
// expression stops for its match limit.
TEST(XmlrpcReplyMatch, FindsHugeValues) {
  const std::string value(6 << 20, 'e');
  const std::string body = "<methodResponse>\n<params>\n<param>\n<value><string>" + value +
                           "</string></value>\n</param>\n</params>\n</methodResponse>\n";
  std::size_t start = 0;
  std::size_t end = 0;
  ASSERT_TRUE(xmlrpc_reply_find(XmlrpcReplyShape::String, body, &start, &end));
  EXPECT_EQ(body.substr(start, end - start), value);
}
