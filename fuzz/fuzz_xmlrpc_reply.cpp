// Feeds arbitrary bytes as a server reply through the HTTP reply reader and
// the XML-RPC reply checks. Small bodies are also matched against the
// regular expressions that the reply shapes stand for, and the input as a
// request text must come out as well-formed XML character data.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "server/http.h"
#include "server/xml_text.h"
#include "server/xmlrpc.h"
#include "server/xmlrpc_reply_match.h"

namespace {

struct Oracle {
  XmlrpcReplyShape shape;
  const char* pattern;
  std::uint32_t options;
  int group;
  pcre2_code* code;
};

Oracle oracles[] = {
    {XmlrpcReplyShape::String,
     R"(<param>\s*<value>\s*<string>(.*?)</string>\s*</value>\s*</param>)",
     PCRE2_CASELESS | PCRE2_DOTALL, 1, nullptr},
    {XmlrpcReplyShape::Int,
     R"(<param>\s*<value>\s*<(?:int|i4)>(.+?)</(?:int|i4)>\s*</value>\s*</param>)",
     PCRE2_CASELESS, 1, nullptr},
    {XmlrpcReplyShape::Boolean,
     R"(<param>\s*<value>\s*<boolean>(.+?)</boolean>\s*</value>\s*</param>)", PCRE2_CASELESS, 1,
     nullptr},
    {XmlrpcReplyShape::Untyped, R"(<param>\s*<value>(.*?)</value>\s*</param>)",
     PCRE2_CASELESS | PCRE2_DOTALL, 1, nullptr},
    {XmlrpcReplyShape::FaultString,
     R"(<name>faultString</name>\s*<value>\s*(<string>)?(.*?)(</string>)?\s*</value>)",
     PCRE2_CASELESS, 2, nullptr},
    {XmlrpcReplyShape::FaultCode,
     R"(<name>faultCode</name>\s*<value>\s*(<int>|<i4>)?(.*?)(</int>|</i4>)?\s*</value>)",
     PCRE2_CASELESS, 2, nullptr},
};

void check_against_oracles(std::string_view body) {
  std::string lower(body);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  for (Oracle& oracle : oracles) {
    if (oracle.code == nullptr) {
      int error = 0;
      PCRE2_SIZE offset = 0;
      oracle.code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(oracle.pattern),
                                  PCRE2_ZERO_TERMINATED, oracle.options, &error, &offset, nullptr);
      if (oracle.code == nullptr) std::abort();
    }
    pcre2_match_data* data = pcre2_match_data_create_from_pattern(oracle.code, nullptr);
    const int rc = pcre2_match(oracle.code, reinterpret_cast<PCRE2_SPTR>(body.data()), body.size(),
                               0, 0, data, nullptr);
    std::size_t start = 0;
    std::size_t end = 0;
    const bool found = xmlrpc_reply_find(oracle.shape, lower, &start, &end);
    if (rc > 0) {
      const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(data);
      if (!found || vector[2 * oracle.group] != start || vector[2 * oracle.group + 1] != end) {
        std::abort();
      }
    } else if (rc == PCRE2_ERROR_NOMATCH && found) {
      std::abort();
    }
    pcre2_match_data_free(data);
  }
}

// Well-formed character data: valid UTF-8 of XML characters, markup escaped.
void check_xml_text(std::string_view input) {
  std::string out;
  xml_append_text(out, input);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto c = static_cast<unsigned char>(out[i]);
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') std::abort();
    if (c == '<' || c == '>') std::abort();
    if (c == '&') {
      const std::string_view rest = std::string_view(out).substr(i);
      if (!rest.starts_with("&amp;") && !rest.starts_with("&lt;") && !rest.starts_with("&gt;")) {
        std::abort();
      }
    }
  }
  // Every cut point that utf8_cut_length gives leaves valid UTF-8 behind.
  const std::size_t cut = utf8_cut_length(out, out.size() / 2);
  if (cut > out.size() / 2 || (cut < out.size() && (out[cut] & 0xC0) == 0x80)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size heap copy, so a one-byte over-read is caught.
  auto* reply = static_cast<std::uint8_t*>(std::malloc(size == 0 ? 1 : size));
  if (reply == nullptr) return 0;
  if (size > 0) std::memcpy(reply, data, size);
  const std::string_view text(reinterpret_cast<const char*>(reply), size);

  HttpResponse* response = nullptr;
  if (http_parse_response({reply, size}, &response) == 0) {
    XMLRPCClient* client = XMLRPCClientNew("h", 1, "/");
    XMLRPCParameterList* result = nullptr;
    if (XMLRPCParseResponse(client, "m", response, &result) == 0 && result->count != 1) {
      std::abort();
    }
    XMLRPCParameterListFree(result);
    XMLRPCClientFree(client);
    http_free_response(response);
  }
  if (size <= 4096) check_against_oracles(text);
  check_xml_text(text);
  std::free(reply);
  return 0;
}
