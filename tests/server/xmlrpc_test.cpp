// XML-RPC parameter lists, request bodies and reply reading (no socket).
#include "server/xmlrpc.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>

#include "support/test_support.h"

namespace {

std::string body_of(const char* method, const XMLRPCParameterList* params) {
  return sw_test::take_text(XMLRPCBuildRequestBody(method, params), "<null>");
}

}  // namespace

TEST(XmlrpcParams, ListsKeepOrderTypesAndValues) {
  XMLRPCParameterListPtr list(XMLRPCParameterListNew());
  ASSERT_NE(list, nullptr);
  const tm when = sw_test::calendar_time(2024, 1, 5, 7, 8, 9);
  ASSERT_EQ(XMLRPCParameterListAddString(list.get(), "doc"), 0);
  ASSERT_EQ(XMLRPCParameterListAddInt(list.get(), -42), 0);
  ASSERT_EQ(XMLRPCParameterListAddBoolean(list.get(), 5), 0);
  ASSERT_EQ(XMLRPCParameterListAddDate(list.get(), &when), 0);
  ASSERT_EQ(XMLRPCParameterListAddString(list.get(), nullptr), 0);
  EXPECT_EQ(list->count, 5);

  const int types[] = {XMLRPC_TYPE_STRING, XMLRPC_TYPE_INT, XMLRPC_TYPE_BOOLEAN, XMLRPC_TYPE_DATE,
                       XMLRPC_TYPE_STRING, XMLRPC_TYPE_NONE};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(XMLRPCParameterListGetType(list.get(), i), types[i]) << i;
  EXPECT_EQ(XMLRPCParameterListGetType(list.get(), -1), XMLRPC_TYPE_NONE);
  EXPECT_EQ(XMLRPCParameterListGetType(nullptr, 0), XMLRPC_TYPE_NONE);

  const char* text = nullptr;
  int value = 0;
  ASSERT_EQ(XMLRPCParameterListReadString(list.get(), 0, &text), 0);
  EXPECT_STREQ(text, "doc");
  ASSERT_EQ(XMLRPCParameterListReadInt(list.get(), 1, &value), 0);
  EXPECT_EQ(value, -42);
  ASSERT_EQ(XMLRPCParameterListReadBoolean(list.get(), 2, &value), 0);
  EXPECT_EQ(value, 1);
  ASSERT_EQ(XMLRPCParameterListReadString(list.get(), 4, &text), 0);
  EXPECT_STREQ(text, "");
  EXPECT_STREQ(list->first->next->next->next->text, "20240105T07:08:09");

  // Wrong type or index.
  EXPECT_EQ(XMLRPCParameterListReadInt(list.get(), 0, &value), -1);
  EXPECT_EQ(XMLRPCParameterListReadString(list.get(), 1, &text), -1);
  EXPECT_EQ(XMLRPCParameterListReadBoolean(list.get(), 1, &value), -1);
  EXPECT_EQ(XMLRPCParameterListReadInt(list.get(), 9, &value), -1);
  EXPECT_EQ(XMLRPCParameterListReadInt(nullptr, 0, &value), -1);

  // A boolean node reads true only for a stored 1.
  list->first->next->next->value = 2;
  ASSERT_EQ(XMLRPCParameterListReadBoolean(list.get(), 2, &value), 0);
  EXPECT_EQ(value, 0);

  EXPECT_EQ(XMLRPCParameterListAddInt(nullptr, 1), -1);
  EXPECT_EQ(XMLRPCParameterListAddDate(list.get(), nullptr), -1);
  XMLRPCParameterListFree(nullptr);
}

TEST(XmlrpcParams, ClientDefaultsAndFaultAccess) {
  XMLRPCClientPtr client(XMLRPCClientNew("host", 9191, "/rpc"));
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(client->send_timeout, XMLRPC_DEFAULT_SEND_TIMEOUT_MS);
  EXPECT_EQ(client->connect_timeout, XMLRPC_DEFAULT_CONNECT_TIMEOUT_MS);
  XMLRPCClientSetSendTimeout(client.get(), 5);
  XMLRPCClientSetConnectTimeout(client.get(), 6);
  XMLRPCClientSetSendTimeout(nullptr, 5);
  EXPECT_EQ(client->send_timeout, 5);
  EXPECT_EQ(client->connect_timeout, 6);
  const char* text = nullptr;
  int code = -1;
  EXPECT_EQ(XMLRPCGetFaultString(client.get(), &text), -1);
  EXPECT_EQ(XMLRPCGetFaultCode(client.get(), &code), 0);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(XMLRPCGetFaultCode(nullptr, &code), -1);
  EXPECT_EQ(XMLRPCGetFaultString(nullptr, &text), -1);
  XMLRPCClientFree(nullptr);
}

TEST(XmlrpcRequest, BodyBytes) {
  XMLRPCParameterListPtr list(XMLRPCParameterListNew());
  const tm when = sw_test::calendar_time(1999, 12, 31, 23, 59, 58);
  ASSERT_EQ(XMLRPCParameterListAddString(list.get(), "a<b&c>d &amp;"), 0);
  ASSERT_EQ(XMLRPCParameterListAddInt(list.get(), INT_MIN), 0);
  ASSERT_EQ(XMLRPCParameterListAddBoolean(list.get(), 0), 0);
  ASSERT_EQ(XMLRPCParameterListAddDate(list.get(), &when), 0);
  ASSERT_EQ(XMLRPCParameterListAddInt(list.get(), 0), 0);
  list->last->type = XMLRPC_TYPE_UNSUPPORTED;  // no Add for it: as a caller's bad node
  ASSERT_EQ(XMLRPCParameterListAddString(list.get(), ""), 0);
  EXPECT_EQ(body_of("spoolwarden.processPrintJob6", list.get()),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><methodCall><methodName>"
            "spoolwarden.processPrintJob6</methodName><params>"
            "<param><value><string>a&lt;b&amp;c&gt;d &amp;amp;</string></value></param>"
            "<param><value><int>-2147483648</int></value></param>"
            "<param><value><boolean>0</boolean></value></param>"
            "<param><value><dateTime.iso8601>19991231T23:59:58</dateTime.iso8601></value></param>"
            "<param></param>"
            "<param><value><string></string></value></param>"
            "</params></methodCall>");
  EXPECT_EQ(body_of("m", nullptr),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><methodCall><methodName>m</methodName>"
            "<params></params></methodCall>");
}

// Texts from print jobs carry any bytes; the body must stay well-formed.
TEST(XmlrpcRequest, TextsAreMadeXmlSafe) {
  struct Case {
    const char* name;
    const char* method;
    const char* text;
    const char* method_xml;
    const char* text_xml;
  } cases[] = {
      {"control characters", "m", "a\x01\x1b" "b", "m", "a\xEF\xBF\xBD\xEF\xBF\xBD" "b"},
      {"latin-1 document name", "m", "r\xE9sum\xE9.doc", "m", "r\xC3\xA9sum\xC3\xA9.doc"},
      {"utf-8 cut by a fixed length", "m", "ab\xE2\x82", "m", "ab\xC3\xA2\xC2\x82"},
      {"method name with markup", "a<b>&\x02", "x", "a&lt;b&gt;&amp;\xEF\xBF\xBD", "x"},
  };
  for (const auto& c : cases) {
    XMLRPCParameterListPtr list(XMLRPCParameterListNew());
    ASSERT_EQ(XMLRPCParameterListAddString(list.get(), c.text), 0);
    EXPECT_EQ(body_of(c.method, list.get()),
              std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><methodCall><methodName>") +
                  c.method_xml + "</methodName><params><param><value><string>" + c.text_xml +
                  "</string></value></param></params></methodCall>")
        << c.name;
  }
}

namespace {

struct ReplyCase {
  const char* name;
  std::string reply;
  int result;            // 0 or -1
  int type;              // of the value on success
  std::string text;      // string value, or fault text ("<null>": none)
  int number;            // int/boolean value, or fault code
};

std::string xml_reply(const std::string& body, const std::string& type = "text/xml") {
  return "HTTP/1.0 200 OK\r\nServer: BaseHTTP/0.6 Python/3\r\nContent-type: " + type +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string python_value(const std::string& value) {
  return "<?xml version='1.0'?>\n<methodResponse>\n<params>\n<param>\n" + value +
         "\n</param>\n</params>\n</methodResponse>\n";
}

std::string python_fault(const std::string& code, const std::string& text) {
  return "<?xml version='1.0'?>\n<methodResponse>\n<fault>\n<value><struct>\n<member>\n"
         "<name>faultCode</name>\n" + code + "\n</member>\n<member>\n<name>faultString</name>\n" +
         text + "\n</member>\n</struct></value>\n</fault>\n</methodResponse>\n";
}

std::string renamed(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

}  // namespace

TEST(XmlrpcReply, ChecksAndReadsReplies) {
  const std::string compact =
      "<?xml version=\"1.0\"?><methodResponse><params><param><value><string>HOLD</string>"
      "</value></param></params></methodResponse>";
  const ReplyCase cases[] = {
      {"string, compact", xml_reply(compact), 0, XMLRPC_TYPE_STRING, "HOLD", 0},
      {"string, python layout", xml_reply(python_value("<value><string>PRINT</string></value>")),
       0, XMLRPC_TYPE_STRING, "PRINT", 0},
      {"string over several lines with entities",
       xml_reply(python_value("<value><string>a &lt;b&gt;\nc &amp;amp; &#233;</string></value>")),
       0, XMLRPC_TYPE_STRING, "a <b>\nc &amp; \xC3\xA9", 0},
      {"empty string", xml_reply(python_value("<value><string></string></value>")), 0,
       XMLRPC_TYPE_STRING, "", 0},
      {"int", xml_reply(python_value("<value><int>-17</int></value>")), 0, XMLRPC_TYPE_INT, "", -17},
      {"i4", xml_reply(python_value("<value><i4>42</i4></value>")), 0, XMLRPC_TYPE_INT, "", 42},
      {"int with white space everywhere",
       xml_reply(python_value("<value>\r\n\t<INT> 7 </INT>\n</value>")), 0, XMLRPC_TYPE_INT, "", 7},
      {"int saturates", xml_reply(python_value("<value><int>99999999999</int></value>")), 0,
       XMLRPC_TYPE_INT, "", INT_MAX},
      {"int that is no number", xml_reply(python_value("<value><int>7x</int></value>")), -1, 0,
       "<null>", 0},
      {"int with two signs", xml_reply(python_value("<value><int>+-5</int></value>")), -1, 0,
       "<null>", 0},
      {"boolean true", xml_reply(python_value("<value><boolean>1</boolean></value>")), 0,
       XMLRPC_TYPE_BOOLEAN, "", 1},
      {"boolean false", xml_reply(python_value("<value><boolean>0</boolean></value>")), 0,
       XMLRPC_TYPE_BOOLEAN, "", 0},
      {"untyped value is a string", xml_reply(python_value("<value>abc</value>")), 0,
       XMLRPC_TYPE_STRING, "abc", 0},
      {"other type comes back as markup",
       xml_reply(python_value("<value><double>1.5</double></value>")), 0, XMLRPC_TYPE_STRING,
       "<double>1.5</double>", 0},
      {"no value at all",
       xml_reply("<?xml version='1.0'?>\n<methodResponse>\n<params>\n</params>\n</methodResponse>"),
       -1, 0, "<null>", 0},
      {"fault, python layout",
       xml_reply(python_fault("<value><int>1000</int></value>",
                              "<value><string>127.0.0.1:9192</string></value>")),
       -1, 0, "127.0.0.1:9192", 1000},
      {"fault code without int element",
       xml_reply(python_fault("<value>-3</value>", "<value><string>x</string></value>")), -1, 0,
       "x", -3},
      {"fault code as i4",
       xml_reply(python_fault("<value><i4>7</i4></value>", "<value>bare &amp; text</value>")), -1,
       0, "bare & text", 7},
      {"fault without its string",
       xml_reply(renamed(python_fault("<value><int>5</int></value>", "<value>s</value>"),
                         "faultString", "other")),
       -1, 0, "Unable to extract extract fault string", 5},
      {"fault without a code",
       xml_reply(python_fault("<value><int></int></value>", "<value><string>s</string></value>")),
       -1, 0, "s", 0},
      {"status other than 200",
       "HTTP/1.0 500 Internal Server Error\r\nContent-type: text/xml\r\nContent-Length: 1\r\n\r\nx",
       -1, 0, "Unexpected HTTP status code", 0},
      {"no content length", "HTTP/1.0 200 OK\r\nContent-type: text/xml\r\n\r\n" + compact, -1, 0,
       "Unexpected HTTP body", 0},
      {"zero content length", "HTTP/1.0 200 OK\r\nContent-type: text/xml\r\nContent-Length: 0\r\n\r\n",
       -1, 0, "Unexpected HTTP body", 0},
      {"no content type", "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(compact.size()) +
                              "\r\n\r\n" + compact,
       -1, 0, "Unexpected Content Type", 0},
      {"content type with charset", xml_reply(compact, "text/xml; charset=utf-8"), -1, 0,
       "Unexpected Content Type", 0},
      {"no params", xml_reply("<?xml version='1.0'?><methodResponse></methodResponse>"), -1, 0,
       "Invalid XMLRPC data returned from server.", 0},
      {"no methodResponse", xml_reply("<?xml version='1.0'?><params></params>"), -1, 0,
       "Invalid XMLRPC data returned from server.", 0},
  };
  for (const ReplyCase& c : cases) {
    SCOPED_TRACE(c.name);
    HttpResponse* raw = nullptr;
    ASSERT_EQ(http_parse_response(
                  {reinterpret_cast<const std::uint8_t*>(c.reply.data()), c.reply.size()}, &raw),
              0);
    HttpResponsePtr response(raw);
    XMLRPCClientPtr client(XMLRPCClientNew("h", 1, "/"));
    XMLRPCParameterList* raw_result = nullptr;
    ASSERT_EQ(XMLRPCParseResponse(client.get(), "m", response.get(), &raw_result), c.result);
    XMLRPCParameterListPtr result(raw_result);
    if (c.result != 0) {
      EXPECT_EQ(result, nullptr);
      EXPECT_STREQ(client->fault_string != nullptr ? client->fault_string : "<null>",
                   c.text.c_str());
      EXPECT_EQ(client->fault_code, c.number);
      continue;
    }
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->count, 1);
    ASSERT_EQ(XMLRPCParameterListGetType(result.get(), 0), c.type);
    int number = 0;
    const char* text = nullptr;
    if (c.type == XMLRPC_TYPE_STRING) {
      ASSERT_EQ(XMLRPCParameterListReadString(result.get(), 0, &text), 0);
      EXPECT_EQ(std::string(text), c.text);
    } else if (c.type == XMLRPC_TYPE_INT) {
      ASSERT_EQ(XMLRPCParameterListReadInt(result.get(), 0, &number), 0);
      EXPECT_EQ(number, c.number);
    } else {
      ASSERT_EQ(XMLRPCParameterListReadBoolean(result.get(), 0, &number), 0);
      EXPECT_EQ(number, c.number);
    }
  }
}
