// The PCL XL item walk (see pcl6_items.h).
#include "modify/pcl6_items.h"

#include <cinttypes>

#include "foundation/ascii.h"
#include "foundation/log.h"

namespace {

constexpr std::string_view UEL = "\x1b%-12345X";
constexpr std::uint8_t PXL_OP_VENDOR_UNIQUE = 0x46;
constexpr std::uint16_t PXL_ATTR_VU_DATA_LENGTH = 0x92;
// A stream header line is short; a longer "line" is binary data.
constexpr std::uint64_t HEADER_LINE_MAX = 1024;
// Version and revision are small; a longer number is kept at this.
constexpr std::int64_t VERSION_MAX = 9999;

bool is_pxl_whitespace(std::uint8_t b) {
  return b == 0x00 || (b >= 0x09 && b <= 0x0d) || b == 0x20;
}

// Bytes of one element of the scalar, xy and box types (tags C0-C5, D0-D5,
// E0-E5); 0 for a tag that is none of them.
std::uint64_t element_size(std::uint8_t tag) {
  static constexpr std::uint8_t SCALAR[6] = {1, 2, 4, 2, 4, 4};
  const int low = tag & 0x0f;
  if (low > 5) return 0;
  switch (tag & 0xf0) {
    case 0xc0:
      return tag <= 0xc5 ? SCALAR[low] : 0;
    case 0xd0:
      return 2u * SCALAR[low];
    case 0xe0:
      return 4u * SCALAR[low];
    default:
      return 0;
  }
}

bool read_u16(ByteCursor* c, bool little, std::uint16_t* v) {
  return little ? c->next_le16(v) : c->next_be16(v);
}
bool read_u32(ByteCursor* c, bool little, std::uint32_t* v) {
  return little ? c->next_le32(v) : c->next_be32(v);
}

// Skips an array item (tag C8-CD already read): its length item, then the
// elements.
bool skip_array(ByteCursor* c, std::uint8_t tag, bool little) {
  static constexpr std::uint8_t ELEMENT[6] = {1, 2, 4, 2, 4, 4};
  std::uint8_t length_tag = 0;
  if (!c->next_u8(&length_tag)) return false;
  std::uint64_t count = 0;
  if (length_tag == 0xc0) {
    std::uint8_t n = 0;
    if (!c->next_u8(&n)) return false;
    count = n;
  } else if (length_tag == 0xc1) {
    std::uint16_t n = 0;
    if (!read_u16(c, little, &n)) return false;
    count = n;
  } else if (length_tag == 0xc2) {
    std::uint32_t n = 0;
    if (!read_u32(c, little, &n)) return false;
    count = n;
  } else {
    return false;
  }
  return c->skip(count * ELEMENT[tag - 0xc8]);
}

// Skips embedded data (tag FA or FB already read).
bool skip_embedded(ByteCursor* c, std::uint8_t tag, bool little) {
  if (tag == 0xfb) {
    std::uint8_t n = 0;
    return c->next_u8(&n) && c->skip(n);
  }
  std::uint32_t n = 0;
  return read_u32(c, little, &n) && c->skip(n);
}

bool at_line_start(ByteSpan data, std::uint64_t p, std::uint64_t from) {
  if (p == from || data[p - 1] == '\n') return true;
  return p >= UEL.size() && scan_bytes_at(data, p - UEL.size(), UEL);
}

// Reads "<binding> descriptor;version;revision[;comment]" ending in a line
// feed at `p`; the offset after the line feed, or -1.
std::int64_t read_header_line(ByteSpan data, std::uint64_t p, PxlStreamHeader* header) {
  const std::uint64_t limit = data.size() - p < HEADER_LINE_MAX ? data.size() : p + HEADER_LINE_MAX;
  const auto lf = scan_find_byte(data.first(static_cast<std::size_t>(limit)), p, '\n');
  if (!lf) return -1;
  std::string_view line = scan_text(data.subspan(p + 1, *lf - p - 1));
  const auto semi = line.find(';');
  if (semi == std::string_view::npos || semi == 0) return -1;
  std::string_view descriptor = line.substr(0, semi);
  while (!descriptor.empty() && ascii_is_space(descriptor.front())) descriptor.remove_prefix(1);
  while (!descriptor.empty() && ascii_is_space(descriptor.back())) descriptor.remove_suffix(1);
  if (descriptor.empty()) return -1;
  ByteCursor numbers(data, p + 1 + semi + 1);
  const DecimalRead version = numbers.read_decimal(DecimalSign::NONE);
  if (version.length == 0 || !numbers.skip_if(";")) return -1;
  const DecimalRead revision = numbers.read_decimal(DecimalSign::NONE);
  if (revision.length == 0 || numbers.pos() > *lf) return -1;
  header->found = true;
  header->descriptor = std::string(descriptor.substr(0, PXL_DESCRIPTOR_MAX));
  header->version = static_cast<int>(version.value < VERSION_MAX ? version.value : VERSION_MAX);
  header->revision = static_cast<int>(revision.value < VERSION_MAX ? revision.value : VERSION_MAX);
  return static_cast<std::int64_t>(*lf + 1);
}

// The walk over one stream's items.
class ItemWalk {
 public:
  ItemWalk(ByteSpan data, std::uint64_t start, bool little, PxlScan* scan)
      : c_(data, start), little_(little), scan_(scan) {}

  // Reads items up to a universal exit (left at the cursor) or the end.
  bool run() {
    while (!c_.at_end()) {
      const std::uint64_t at = c_.pos();
      const std::uint8_t b = static_cast<std::uint8_t>(c_.peek());
      if (b == 0x1b) return true;
      c_.skip(1);
      if (!item(b, at)) {
        scan_->stop_offset = at;
        return false;
      }
    }
    return true;
  }
  [[nodiscard]] std::uint64_t pos() const { return c_.pos(); }

 private:
  bool item(std::uint8_t b, std::uint64_t at) {
    if (is_pxl_whitespace(b)) return true;
    if (b >= 0x40 && b <= 0xbf) {
      if (b == PXL_OP_VENDOR_UNIQUE && !skip_vendor_data()) return false;
      operator_byte(b, at);
      return true;
    }
    if (b == 0xf8 || b == 0xf9) return attribute(b, at);
    if (b == 0xfa || b == 0xfb) {
      attrs_.clear();
      value_start_ = -1;
      attrs_start_ = -1;
      return skip_embedded(&c_, b, little_);
    }
    note_value(at);
    if (b >= 0xc8 && b <= 0xcd) return skip_array(&c_, b, little_);
    const std::uint64_t size = element_size(b);
    return size > 0 && c_.skip(size);
  }

  // A vendor-unique operator announces raw data (without an embedded-data
  // tag) in its VUDataLength attribute.
  bool skip_vendor_data() {
    const int next = c_.peek();
    if (next == 0xfa || next == 0xfb) return true;
    for (const PxlAttribute& a : attrs_) {
      if (a.id != PXL_ATTR_VU_DATA_LENGTH || a.value_start == a.start) continue;
      const std::uint8_t tag = c_.data()[a.start];
      std::uint64_t n = 0;
      if (tag == 0xc0) {
        n = c_.data()[a.value_start];
      } else if (tag == 0xc1) {
        n = little_ ? scan_le16_at(c_.data(), a.value_start).value_or(0)
                    : scan_be16_at(c_.data(), a.value_start).value_or(0);
      } else if (tag == 0xc2) {
        n = little_ ? scan_le32_at(c_.data(), a.value_start).value_or(0)
                    : scan_be32_at(c_.data(), a.value_start).value_or(0);
      }
      return c_.skip(n);
    }
    return true;
  }

  void note_value(std::uint64_t at) {
    if (attrs_start_ < 0) attrs_start_ = static_cast<std::int64_t>(at);
    value_start_ = static_cast<std::int64_t>(at);
  }

  bool attribute(std::uint8_t tag, std::uint64_t at) {
    std::uint16_t id = 0;
    if (tag == 0xf8) {
      std::uint8_t one = 0;
      if (!c_.next_u8(&one)) return false;
      id = one;
    } else if (!read_u16(&c_, little_, &id)) {
      return false;
    }
    if (attrs_start_ < 0) attrs_start_ = static_cast<std::int64_t>(at);
    PxlAttribute a;
    a.id = id;
    a.start = value_start_ >= 0 ? static_cast<std::uint64_t>(value_start_) : at;
    a.value_start = value_start_ >= 0 ? a.start + 1 : at;
    a.end = c_.pos();
    attrs_.push_back(a);
    value_start_ = -1;
    return true;
  }

  void operator_byte(std::uint8_t op, std::uint64_t at) {
    if (op == PXL_OP_BEGIN_SESSION || op == PXL_OP_BEGIN_PAGE || op == PXL_OP_END_PAGE) {
      PxlOperator o;
      o.op = op;
      o.offset = at;
      o.attrs_start = attrs_start_ >= 0 ? static_cast<std::uint64_t>(attrs_start_) : at;
      o.attrs = std::move(attrs_);
      record(std::move(o));
    }
    attrs_.clear();
    value_start_ = -1;
    attrs_start_ = -1;
  }

  void record(PxlOperator o) {
    if (o.op == PXL_OP_BEGIN_SESSION) {
      scan_->sessions.push_back(std::move(o));
    } else if (o.op == PXL_OP_BEGIN_PAGE) {
      scan_->pages.push_back(PxlPage{std::move(o), PxlOperator{}});
      open_page_ = true;
    } else if (open_page_) {
      scan_->pages.back().end = std::move(o);
      open_page_ = false;
    }
  }

  ByteCursor c_;
  bool little_;
  PxlScan* scan_;
  std::vector<PxlAttribute> attrs_;
  std::int64_t attrs_start_ = -1;
  std::int64_t value_start_ = -1;
  bool open_page_ = false;
};

}  // namespace

const PxlAttribute* PxlOperator::find(std::uint16_t id) const {
  for (const PxlAttribute& a : attrs) {
    if (a.id == id) return &a;
  }
  return nullptr;
}

std::int64_t pxl_find_stream(ByteSpan data, std::uint64_t from, PxlStreamHeader* header,
                             bool* little_endian) {
  const std::uint64_t end =
      data.size() - from < PXL_HEADER_WINDOW ? data.size() : from + PXL_HEADER_WINDOW;
  for (std::uint64_t p = from; p < end; ++p) {
    const std::uint8_t b = data[p];
    if ((b != ')' && b != '(') || !at_line_start(data, p, from)) continue;
    PxlStreamHeader h;
    const std::int64_t body = read_header_line(data, p, &h);
    if (body < 0) continue;
    *header = h;
    *little_endian = b == ')';
    return body;
  }
  return -1;
}

bool pxl_scan_items(ByteSpan data, PxlScan* scan) {
  *scan = PxlScan{};
  PxlStreamHeader header;
  bool little = true;
  std::int64_t body = pxl_find_stream(data, 0, &header, &little);
  if (body < 0) {
    LOG_DEBUG("pxl_scan_items: no PCL XL stream header");
    return false;
  }
  scan->header = header;
  scan->little_endian = little;
  while (body >= 0) {
    ItemWalk walk(data, static_cast<std::uint64_t>(body), little, scan);
    if (!walk.run()) {
      if (scan->stop_offset == 0) scan->stop_offset = walk.pos();
      LOG_INFO("pxl_scan_items: PCL XL data ends or breaks off at offset %" PRIu64,
               scan->stop_offset);
      return false;
    }
    if (walk.pos() >= data.size()) break;
    bool next_little = true;
    PxlStreamHeader next;
    body = pxl_find_stream(data, walk.pos() + 1, &next, &next_little);
    if (body >= 0 && next_little != scan->little_endian) scan->mixed_binding = true;
    little = next_little;
  }
  scan->complete = true;
  return true;
}
