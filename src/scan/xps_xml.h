// Start tags and attributes of the XML parts of an XPS package (relationships,
// content types, document sequences, documents and pages), read in one
// linear pass: no pattern runs ahead over the rest of a part, whatever order
// the attributes come in or whichever quote encloses their values.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// One start tag (or empty-element tag).
struct XmlTag {
  std::string_view name;        // the element name, prefix included ("psf:Feature")
  std::string_view attributes;  // the text between the name and the closing ">"
  std::uint64_t start = 0;      // offset of "<" in the text
  std::uint64_t end = 0;        // offset one past ">"
};

// Walks the start tags of a text in order; end tags, comments, processing
// instructions and declarations are stepped over. A tag without its ">"
// ends the walk.
class XmlTagScanner {
 public:
  explicit XmlTagScanner(std::string_view text, std::uint64_t from = 0) : text_(text), pos_(from) {}
  // The next start tag; false at the end of the text.
  bool next(XmlTag* tag);
  [[nodiscard]] std::uint64_t position() const { return pos_; }

 private:
  std::string_view text_;
  std::uint64_t pos_;
};

// The value of attribute `name` in a tag's attribute text (between its
// quotes, entities left as they are); none when the tag has no such attribute.
[[nodiscard]] std::optional<std::string_view> xml_attribute(std::string_view attributes,
                                                            std::string_view name);
