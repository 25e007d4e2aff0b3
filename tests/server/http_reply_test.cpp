// Reply reading without a socket: the header end, the status line, header
// values and the declared body.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>

#include "server/http.h"
#include "support/test_support.h"

namespace {

std::span<const std::uint8_t> bytes_of(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

HttpResponsePtr parse(const std::string& reply) {
  HttpResponse* response = nullptr;
  if (http_parse_response(bytes_of(reply), &response) != 0) {
    EXPECT_EQ(response, nullptr);
    return nullptr;
  }
  return HttpResponsePtr(response);
}

std::string header_value(const char* header, const char* name) {
  return sw_test::take_text(get_header(header, name), "<none>");
}

constexpr const char* NONE = nullptr;

struct ReplyCase {
  const char* name;
  std::string reply;
  bool ok;
  int status;
  const char* reason;
  const char* content_type;
  int content_length;
  std::string body;
};

}  // namespace

TEST(HttpReply, ParsesOrRefusesReplies) {
  const std::string ok = "HTTP/1.0 200 OK\r\n";
  const ReplyCase cases[] = {
      {"python server reply",
       "HTTP/1.0 200 OK\r\nServer: BaseHTTP/0.6\r\nContent-type: text/xml\r\n"
       "Content-length: 5\r\n\r\nhello",
       true, 200, "OK", "text/xml", 5, "hello"},
      {"no HTTP marker", "XTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\nx", false, 0, NONE, NONE, 0, ""},
      {"marker not at the start", " HTTP/1.0 200 OK\r\n\r\n", false, 0, NONE, NONE, 0, ""},
      {"three-field status line", "HTTP/1.1 200 OK\r\n\r\n", true, 200, "OK", NONE, -1, ""},
      {"reason phrase with blanks", "HTTP/1.1 404 Not Found\r\n\r\n", true, 404, "Not Found",
       NONE, -1, ""},
      {"no reason phrase", "HTTP/1.1 500\r\n\r\n", true, 500, "", NONE, -1, ""},
      {"status not a number", "HTTP/1.1 2x0 OK\r\n\r\n", false, 0, NONE, NONE, 0, ""},
      {"status line without blank", "HTTP/1.1\r\n\r\n", false, 0, NONE, NONE, 0, ""},
      {"two blanks before the status", "HTTP/1.1  200 OK\r\n\r\n", false, 0, NONE, NONE, 0, ""},
      {"huge status saturates", "HTTP/1.1 99999999999999999999999 X\r\n\r\n", true, INT_MAX,
       "X", NONE, -1, ""},
      {"content-length in lower case", ok + "content-length: 3\r\n\r\nabc", true, 200, "OK",
       NONE, 3, "abc"},
      {"content-length without blank is no length", ok + "Content-Length:3\r\n\r\nabcdef", true,
       200, "OK", NONE, -1, "abcdef"},
      {"content-length absent: body to the end", ok + "\r\nabcdef", true, 200, "OK", NONE, -1,
       "abcdef"},
      {"longer name does not count", ok + "X-Content-Length: 2\r\n\r\nabcdef", true, 200, "OK",
       NONE, -1, "abcdef"},
      {"real header after a longer name", ok + "X-Content-Length: 2\r\nContent-Length: 4\r\n\r\nabcdef",
       true, 200, "OK", NONE, 4, "abcd"},
      {"trailing blanks after the length", ok + "Content-Length: 2 \t\r\n\r\nabc", true, 200, "OK",
       NONE, 2, "ab"},
      {"negative length is no length", ok + "Content-Length: -5\r\n\r\nabc", true, 200, "OK",
       NONE, -1, "abc"},
      {"garbage length is no length", ok + "Content-Length: 12abc\r\n\r\nabc", true, 200, "OK",
       NONE, -1, "abc"},
      {"overflowing length saturates and is too large",
       ok + "Content-Length: 99999999999999999999\r\n\r\nabc", false, 0, NONE, NONE, 0, ""},
      {"body shorter than declared", ok + "Content-Length: 10\r\n\r\nhello", false, 0, NONE, NONE, 0, ""},
      {"bytes past the declared body dropped", ok + "Content-Length: 3\r\n\r\nhello", true, 200,
       "OK", NONE, 3, "hel"},
      {"header ends with LF LF", "HTTP/1.0 200 OK\nContent-Length: 2\n\nab", true, 200, "OK",
       NONE, 2, "ab"},
      {"header ends with CR CR", "HTTP/1.0 200 OK\rContent-Length: 2\r\rab", true, 200, "OK",
       NONE, 2, "ab"},
      {"CR LF LF does not end the header", "HTTP/1.0 200 OK\r\n\nab", false, 0, NONE, NONE, 0, ""},
      {"leading line breaks of the body dropped", ok + "Content-Length: 5\r\n\r\n\r\nabc", true,
       200, "OK", NONE, 5, "abc"},
      {"content type with charset kept", ok + "Content-Type: text/xml; charset=utf-8\r\n\r\n",
       true, 200, "OK", "text/xml; charset=utf-8", -1, ""},
      {"folded CR LF header line", ok + "Content-Type: text/xml\r\n ;charset=x\r\n\r\n", true, 200,
       "OK", "text/xml   ;charset=x", -1, ""},
      {"folded LF header line", "HTTP/1.0 200 OK\nContent-Type: a\n\tb\n\n", true, 200, "OK",
       "a \tb", -1, ""},
      {"no header end at all", "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n", false, 0, NONE, NONE, 0, ""},
      {"empty reply", "", false, 0, NONE, NONE, 0, ""},
  };
  for (const ReplyCase& c : cases) {
    SCOPED_TRACE(c.name);
    HttpResponsePtr response = parse(c.reply);
    ASSERT_EQ(response != nullptr, c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(response->status_code, c.status);
    EXPECT_STREQ(response->reason_phrase, c.reason);
    EXPECT_STREQ(response->content_type, c.content_type);
    EXPECT_EQ(response->content_length, c.content_length);
    EXPECT_EQ(std::string(response->body, response->body_length), c.body);
    EXPECT_EQ(response->body[response->body_length], '\0');
    const std::string header(response->header, response->header_length);
    EXPECT_EQ(c.reply.substr(0, header.size()), header);
  }
}

TEST(HttpReply, BodyAndHeaderCaps) {
  const std::string ok = "HTTP/1.0 200 OK\r\n\r\n";
  EXPECT_NE(parse(ok + std::string(HTTP_MAX_BODY, 'a')), nullptr);
  EXPECT_EQ(parse(ok + std::string(HTTP_MAX_BODY + 1, 'a')), nullptr);
  const std::string declared =
      "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(HTTP_MAX_BODY + 1) + "\r\n\r\n";
  EXPECT_EQ(parse(declared + std::string(HTTP_MAX_BODY + 1, 'a')), nullptr);
  const std::string long_header = "HTTP/1.0 200 OK\r\nX-Pad: " + std::string(HTTP_MAX_HEADER, 'p');
  EXPECT_EQ(parse(long_header + "\r\n\r\nbody"), nullptr);
  EXPECT_NE(parse("HTTP/1.0 200 OK\r\nX-Pad: " + std::string(1000, 'p') + "\r\n\r\nbody"), nullptr);
}

TEST(HttpReply, GetHeaderMatchesWholeNamesAtLineStarts) {
  struct Case {
    const char* name;
    const char* header;
    const char* field;
    const char* expected;
  } cases[] = {
      {"plain value", "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n", "Content-Type",
       "text/xml"},
      {"name case ignored", "HTTP/1.0 200 OK\r\ncontent-TYPE: a\r\n\r\n", "Content-Type", "a"},
      {"first line never matches", "Content-Type: a\r\n\r\n", "Content-Type", "<none>"},
      {"inside another name", "HTTP/1.0 200 OK\r\nX-Content-Type: a\r\n\r\n", "Content-Type",
       "<none>"},
      {"inside a value", "HTTP/1.0 200 OK\r\nX: Content-Type: a\r\n\r\n", "Content-Type",
       "<none>"},
      {"only the first occurrence", "HTTP/1.0 200 OK\r\nA:x\r\nA: y\r\n\r\n", "A", "<none>"},
      {"a longer name is another header",
       "HTTP/1.0 200 OK\r\nContent-Type-Options: nosniff\r\nContent-Type: text/xml\r\n\r\n",
       "Content-Type", "text/xml"},
      {"blank before the colon", "HTTP/1.0 200 OK\r\nA : x\r\nA: y\r\n\r\n", "A", "<none>"},
      {"no line break after the value", "HTTP/1.0 200 OK\r\nA: x", "A", "<none>"},
      {"lone CR line ends", "HTTP/1.0 200 OK\rA: x\rB: y\r\r", "B", "y"},
      {"empty value", "HTTP/1.0 200 OK\r\nA: \r\n\r\n", "A", ""},
      {"folded twice", "HTTP/1.0 200 OK\r\nA: x\r\n y\n\tz\r\n\r\n", "A", "x   y \tz"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(header_value(c.header, c.field), c.expected) << c.name;
  }
  EXPECT_EQ(get_header(nullptr, "A"), nullptr);
  EXPECT_EQ(get_header("HTTP\r\nA: x\r\n", ""), nullptr);
}

// The end of the header block must be found the same way whichever pieces
// the reply arrives in.
TEST(HttpReply, HeaderEndDoesNotDependOnPieces) {
  const std::string replies[] = {
      "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nab",
      "HTTP/1.0 200 OK\nA: b\n\nab",
      "HTTP/1.0 200 OK\rA: b\r\rab",
      "HTTP/1.0 200 OK\r\n \r\n\r\nab",
      "HTTP/1.0 200 OK\n\r\n\rab",
      "HTTP/1.0 200 OK\r\n\nno end",
  };
  for (const std::string& reply : replies) {
    HttpHeaderScan whole{};
    const std::int64_t expected = http_find_header_end(bytes_of(reply), 0, &whole);
    for (std::size_t split = 0; split <= reply.size(); ++split) {
      HttpHeaderScan scan{};
      std::int64_t end = http_find_header_end(bytes_of(reply).first(split), 0, &scan);
      if (end < 0) end = http_find_header_end(bytes_of(reply), split, &scan);
      ASSERT_EQ(end, expected) << reply << " split at " << split;
    }
  }
}
