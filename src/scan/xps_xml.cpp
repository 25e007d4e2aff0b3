// Start tags and attributes in one pass over an XML text.
#include "scan/xps_xml.h"

#include <cstring>

#include "foundation/ascii.h"

namespace {

bool is_name_end(char c) { return ascii_is_space(c) || c == '>' || c == '/'; }

// Offset one past the ">" that closes a tag opened at `from`, stepping over
// quoted attribute values; none when the text ends first.
std::optional<std::uint64_t> tag_end(std::string_view text, std::uint64_t from) {
  char quote = 0;
  for (std::uint64_t i = from; i < text.size(); ++i) {
    const char c = text[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return i + 1;
    }
  }
  return std::nullopt;
}

// Offset one past `terminator` at or after `from`, or the end of the text.
std::uint64_t skip_past(std::string_view text, std::uint64_t from, std::string_view terminator) {
  const std::size_t found = text.find(terminator, from);
  return found == std::string_view::npos ? text.size() : found + terminator.size();
}

}  // namespace

bool XmlTagScanner::next(XmlTag* tag) {
  while (pos_ < text_.size()) {
    const void* lt = std::memchr(text_.data() + pos_, '<', text_.size() - pos_);
    if (lt == nullptr) break;
    const std::uint64_t start = static_cast<const char*>(lt) - text_.data();
    const std::string_view rest = text_.substr(start);
    if (rest.starts_with("<!--")) {
      pos_ = skip_past(text_, start + 4, "-->");
      continue;
    }
    if (rest.starts_with("<![CDATA[")) {
      pos_ = skip_past(text_, start + 9, "]]>");
      continue;
    }
    if (rest.starts_with("<?")) {
      pos_ = skip_past(text_, start + 2, "?>");
      continue;
    }
    const std::optional<std::uint64_t> end = tag_end(text_, start + 1);
    if (!end) break;
    pos_ = *end;
    if (rest.size() < 2 || rest[1] == '/' || rest[1] == '!') continue;
    std::uint64_t name_end = start + 1;
    while (name_end < *end - 1 && !is_name_end(text_[name_end])) ++name_end;
    tag->name = text_.substr(start + 1, name_end - start - 1);
    std::uint64_t attr_end = *end - 1;
    if (attr_end > name_end && text_[attr_end - 1] == '/') --attr_end;
    tag->attributes = text_.substr(name_end, attr_end - name_end);
    tag->start = start;
    tag->end = *end;
    return true;
  }
  pos_ = text_.size();
  return false;
}

std::optional<std::string_view> xml_attribute(std::string_view attributes, std::string_view name) {
  std::size_t i = 0;
  while (i < attributes.size()) {
    while (i < attributes.size() && ascii_is_space(attributes[i])) ++i;
    const std::size_t name_start = i;
    while (i < attributes.size() && attributes[i] != '=' && !ascii_is_space(attributes[i])) ++i;
    const std::string_view found = attributes.substr(name_start, i - name_start);
    while (i < attributes.size() && ascii_is_space(attributes[i])) ++i;
    if (i >= attributes.size() || attributes[i] != '=') {
      if (i == name_start) ++i;  // a stray character: step over it
      continue;
    }
    ++i;
    while (i < attributes.size() && ascii_is_space(attributes[i])) ++i;
    if (i >= attributes.size() || (attributes[i] != '"' && attributes[i] != '\'')) continue;
    const char quote = attributes[i++];
    const std::size_t close = attributes.find(quote, i);
    if (close == std::string_view::npos) return std::nullopt;
    if (found == name) return attributes.substr(i, close - i);
    i = close + 1;
  }
  return std::nullopt;
}
