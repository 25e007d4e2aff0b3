// Feeds arbitrary bytes as a server reply through the HTTP reply reader and
// the XML-RPC reply checks. Small bodies are also matched against the
// regular expressions that the reply shapes stand for, and the input as a
// request text must come out as well-formed XML character data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include "server/http.h"
#include "server/xml_text.h"
#include "server/xmlrpc.h"
#include "server/xmlrpc_reply_oracle.h"

namespace {

// The matcher finds what the expressions find, wherever PCRE2 gives an
// answer (its match limit may give up on long bodies).
void check_against_oracles(std::string_view body) {
  for (std::size_t i = 0; i < std::size(reply_oracle::ORACLES); ++i) {
    const std::string expected = reply_oracle::oracle_find(i, body);
    if (expected == "error") {
      if (reply_oracle::compiled(i) == nullptr) std::abort();
      continue;
    }
    if (reply_oracle::own_find(reply_oracle::ORACLES[i].shape, body) != expected) std::abort();
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
