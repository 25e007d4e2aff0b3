// Linear-time matching of the reply shapes (see the header for the
// expressions they stand for).
#include "server/xmlrpc_reply_match.h"

#include <algorithm>
#include <array>
#include <span>

#include "foundation/ascii.h"

namespace {

constexpr std::size_t npos = std::string_view::npos;
using Alternatives = std::span<const std::string_view>;

// One shape: the opening tags (white space between them), optionally white
// space and an optional tag, the capture, optionally a tag, white space, and
// the closing tags (white space between them).
struct Shape {
  std::span<const Alternatives> open;
  bool space_after_open;
  Alternatives open_optional;
  bool dot_crosses_lines;
  std::size_t min_length;
  Alternatives close_optional;
  bool space_before_close;
  std::span<const Alternatives> close;
};

constexpr std::string_view PARAM[] = {"<param>"};
constexpr std::string_view VALUE[] = {"<value>"};
constexpr std::string_view STRING[] = {"<string>"};
constexpr std::string_view INT[] = {"<int>", "<i4>"};
constexpr std::string_view BOOLEAN[] = {"<boolean>"};
constexpr std::string_view PARAM_END[] = {"</param>"};
constexpr std::string_view VALUE_END[] = {"</value>"};
constexpr std::string_view STRING_END[] = {"</string>"};
constexpr std::string_view INT_END[] = {"</int>", "</i4>"};
constexpr std::string_view BOOLEAN_END[] = {"</boolean>"};
constexpr std::string_view FAULT_STRING_NAME[] = {"<name>faultstring</name>"};
constexpr std::string_view FAULT_CODE_NAME[] = {"<name>faultcode</name>"};

constexpr Alternatives OPEN_STRING[] = {PARAM, VALUE, STRING};
constexpr Alternatives OPEN_INT[] = {PARAM, VALUE, INT};
constexpr Alternatives OPEN_BOOLEAN[] = {PARAM, VALUE, BOOLEAN};
constexpr Alternatives OPEN_UNTYPED[] = {PARAM, VALUE};
constexpr Alternatives OPEN_FAULT_STRING[] = {FAULT_STRING_NAME, VALUE};
constexpr Alternatives OPEN_FAULT_CODE[] = {FAULT_CODE_NAME, VALUE};
constexpr Alternatives CLOSE_STRING[] = {STRING_END, VALUE_END, PARAM_END};
constexpr Alternatives CLOSE_INT[] = {INT_END, VALUE_END, PARAM_END};
constexpr Alternatives CLOSE_BOOLEAN[] = {BOOLEAN_END, VALUE_END, PARAM_END};
constexpr Alternatives CLOSE_UNTYPED[] = {VALUE_END, PARAM_END};
constexpr Alternatives CLOSE_FAULT[] = {VALUE_END};

constexpr Shape SHAPES[] = {
    {OPEN_STRING, false, {}, true, 0, {}, false, CLOSE_STRING},
    {OPEN_INT, false, {}, false, 1, {}, false, CLOSE_INT},
    {OPEN_BOOLEAN, false, {}, false, 1, {}, false, CLOSE_BOOLEAN},
    {OPEN_UNTYPED, false, {}, true, 0, {}, false, CLOSE_UNTYPED},
    {OPEN_FAULT_STRING, true, STRING, false, 0, STRING_END, true, CLOSE_FAULT},
    {OPEN_FAULT_CODE, true, INT, false, 0, INT_END, true, CLOSE_FAULT},
};

// The white space of \s (blank, tab, LF, VT, FF, CR) is ascii_is_space.
std::size_t skip_space(std::string_view text, std::size_t pos) {
  while (pos < text.size() && ascii_is_space(text[pos])) ++pos;
  return pos;
}

// End of the first alternative that stands at pos, or npos.
std::size_t match_one(std::string_view text, std::size_t pos, Alternatives alternatives) {
  for (const std::string_view tag : alternatives) {
    if (text.substr(pos).starts_with(tag)) return pos + tag.size();
  }
  return npos;
}

std::size_t match_sequence(std::string_view text, std::size_t pos,
                           std::span<const Alternatives> tags) {
  for (std::size_t i = 0; i < tags.size() && pos != npos; ++i) {
    if (i > 0) pos = skip_space(text, pos);
    pos = match_one(text, pos, tags[i]);
  }
  return pos;
}

// The capture end for a close candidate at `tag` (a "<"), or npos.
std::size_t end_for_candidate(std::string_view text, const Shape& shape, std::size_t capture,
                              std::size_t tag) {
  const std::size_t after_optional = match_one(text, tag, shape.close_optional);
  if (!shape.close_optional.empty() && after_optional != npos) {
    const std::size_t rest =
        shape.space_before_close ? skip_space(text, after_optional) : after_optional;
    if (match_sequence(text, rest, shape.close) != npos) return tag;
  }
  if (match_sequence(text, tag, shape.close) == npos) return npos;
  std::size_t end = tag;
  if (shape.space_before_close) {
    while (end > capture && ascii_is_space(text[end - 1])) --end;  // the capture is lazy
  }
  return end;
}

// The shortest capture from `capture` on: its end, or npos. Without the dot
// crossing lines the capture stops at the first line feed.
std::size_t find_capture_end(std::string_view text, const Shape& shape, std::size_t capture) {
  const std::size_t limit =
      shape.dot_crosses_lines ? text.size() : std::min(text.find('\n', capture), text.size());
  for (std::size_t tag = text.find('<', capture); tag != npos; tag = text.find('<', tag + 1)) {
    std::size_t end = end_for_candidate(text, shape, capture, tag);
    if (end != npos) {
      end = std::max(end, capture + shape.min_length);
      if (end <= tag && end <= limit) return end;
    }
    // White space before a later tag cannot reach back past this one.
    if (tag >= limit) return npos;
  }
  return npos;
}

}  // namespace

bool xmlrpc_reply_find(XmlrpcReplyShape shape_id, std::string_view text, std::size_t* start,
                       std::size_t* end) {
  const Shape& shape = SHAPES[static_cast<std::size_t>(shape_id)];
  // A search that failed from capture position c up to limit L also fails
  // from every later position up to L: its range is a part of the first.
  std::size_t failed_from = npos;
  std::size_t failed_limit = 0;
  for (std::size_t open = text.find('<'); open != npos; open = text.find('<', open + 1)) {
    std::size_t capture = match_sequence(text, open, shape.open);
    if (capture == npos) continue;
    if (shape.space_after_open) capture = skip_space(text, capture);
    if (failed_from != npos && capture >= failed_from && capture <= failed_limit) continue;
    const std::size_t after_optional = shape.open_optional.empty()
                                           ? npos
                                           : match_one(text, capture, shape.open_optional);
    for (const std::size_t from : {after_optional, capture}) {
      if (from == npos) continue;
      const std::size_t capture_end = find_capture_end(text, shape, from);
      if (capture_end != npos) {
        *start = from;
        *end = capture_end;
        return true;
      }
    }
    failed_from = capture;
    failed_limit = shape.dot_crosses_lines ? text.size()
                                           : std::min(text.find('\n', capture), text.size());
  }
  return false;
}
