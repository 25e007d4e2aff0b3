// The regular expressions that the reply matcher's shapes stand for, run
// through PCRE2 as the oracle the matcher is checked against (by its test
// and its fuzz target).
#pragma once

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "server/xmlrpc_reply_match.h"

namespace reply_oracle {

struct Oracle {
  XmlrpcReplyShape shape;
  const char* pattern;
  std::uint32_t options;
  int group;  // the capture group whose span the matcher gives
};

inline constexpr Oracle ORACLES[] = {
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

// ASCII upper case to lower case, as the matcher expects its input.
inline std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

// The compiled pattern of ORACLES[index], compiled once; null when it does
// not compile.
inline pcre2_code* compiled(std::size_t index) {
  static pcre2_code* codes[std::size(ORACLES)] = {};
  if (codes[index] == nullptr) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    codes[index] = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(ORACLES[index].pattern),
                                 PCRE2_ZERO_TERMINATED, ORACLES[index].options, &error, &offset,
                                 nullptr);
  }
  return codes[index];
}

// What the expression of ORACLES[index] finds in `body`: "start,end" of its
// group, "-" for no match, "error" when the pattern does not compile or
// PCRE2 gives up (its match limit).
inline std::string oracle_find(std::size_t index, std::string_view body) {
  pcre2_code* code = compiled(index);
  if (code == nullptr) return "error";
  pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
  const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(body.data()), body.size(), 0, 0,
                             data, nullptr);
  std::string result = rc == PCRE2_ERROR_NOMATCH ? "-" : "error";
  if (rc > 0) {
    const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(data);
    const int group = ORACLES[index].group;
    result = std::to_string(vector[2 * group]) + "," + std::to_string(vector[2 * group + 1]);
  }
  pcre2_match_data_free(data);
  return result;
}

// What the matcher finds for `shape` in `body`, in the same form.
inline std::string own_find(XmlrpcReplyShape shape, std::string_view body) {
  std::size_t start = 0;
  std::size_t end = 0;
  if (!xmlrpc_reply_find(shape, lowered(body), &start, &end)) return "-";
  return std::to_string(start) + "," + std::to_string(end);
}

}  // namespace reply_oracle
