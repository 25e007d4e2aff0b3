// The linear reply matcher must find exactly what the equivalent regular
// expressions find (PCRE2 as the oracle), and keep finding it where the
// expression engine's match limit gives up.
#include "server/xmlrpc_reply_match.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "server/xmlrpc_reply_oracle.h"

namespace {

using reply_oracle::ORACLES;
using reply_oracle::oracle_find;
using reply_oracle::own_find;

void expect_same_as_oracle(const std::string& body) {
  for (std::size_t i = 0; i < std::size(ORACLES); ++i) {
    ASSERT_EQ(own_find(ORACLES[i].shape, body), oracle_find(i, body))
        << "pattern " << ORACLES[i].pattern << "\nbody [" << body << "]";
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
