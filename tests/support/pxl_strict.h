// A strict reader of PCL XL print jobs: the oracle of every test that
// rewrites PCL XL. Where the planner's own item walk (modify/pcl6_items.h)
// and the analyzer read leniently, to find pages in whatever a driver wrote,
// this reader accepts only what a printer's interpreter must accept, and
// says where and why it stopped:
//   - jobs: universal exits (ESC %-12345X) with PJL lines between them; a
//     PCL XL stream begins with its header line ("<binding> <class>;
//     <protocol>;<revision>[;<comment>]" and a line feed), right after an
//     "@PJL ENTER LANGUAGE=PCLXL" line when the job has one, and ends at a
//     universal exit or at the end of the data; a PCL reset (ESC E) may stand
//     between jobs, nothing else;
//   - items: every data type tag is followed by its whole value, every value
//     by an attribute identifier, and the attributes by an operator of the
//     language (no value or attribute is left over when the next value or
//     operator comes); arrays have a ubyte or uint16 length; embedded data
//     has its declared length and follows an operator that reads data, while
//     a data source is open;
//   - sessions and pages: BeginSession .. EndSession, BeginPage .. EndPage,
//     nested as the language says; every stream ends outside a session, and
//     a second stream begins only after a universal exit;
//   - user-defined streams: the data that BeginStream, ReadStream and
//     EndStream define is itself a PCL XL stream (header line and items,
//     without session or page operators), its ReadStream data as long as
//     its StreamDataLength says, and ExecStream runs only a stream defined
//     before in its session.
// It accepts Ghostscript's pxlmono and pxlcolor output and cupsfilter's and
// hpcups' PCL XL unchanged (tests/modify/pxl_strict_reader_test.cpp). Every
// read stays within the bytes given.
#pragma once

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace sw_test {

// One attribute of an operator: its identifier, the data type tag of its
// value and the value's bytes (for an array, its elements).
struct PxlStrictAttribute {
  std::uint16_t id = 0;
  std::uint8_t tag = 0;
  std::string value;
};

struct PxlStrictOperator {
  std::uint8_t op = 0;
  std::uint64_t offset = 0;  // of the operator byte in the data read
  std::vector<PxlStrictAttribute> attrs;

  [[nodiscard]] const PxlStrictAttribute* find(std::uint16_t id) const {
    for (const PxlStrictAttribute& a : attrs) {
      if (a.id == id) return &a;
    }
    return nullptr;
  }
};

struct PxlStrictStream {
  std::string header;  // the header line, without its line feed
  bool big_endian = false;
  bool entered = false;     // announced by "@PJL ENTER LANGUAGE=PCLXL"
  std::uint64_t begin = 0;  // offset of the header line
  int sessions = 0;
  int pages = 0;
  std::vector<PxlStrictOperator> ops;  // every operator, in order
};

struct PxlStrictRead {
  bool ok = false;
  std::string error;  // "offset N: what was wrong", when not ok
  std::uint64_t error_offset = 0;
  std::vector<PxlStrictStream> streams;
  int universal_exits = 0;
  std::vector<std::string> stream_names;  // user-defined streams, in order

  [[nodiscard]] int pages() const {
    int n = 0;
    for (const PxlStrictStream& s : streams) n += s.pages;
    return n;
  }
};

namespace pxl_strict {

inline constexpr std::string_view UEL = "\x1b%-12345X";
inline constexpr std::uint8_t OP_BEGIN_SESSION = 0x41, OP_END_SESSION = 0x42, OP_BEGIN_PAGE = 0x43,
                              OP_END_PAGE = 0x44, OP_VENDOR_UNIQUE = 0x46, OP_COMMENT = 0x47,
                              OP_OPEN_DATA_SOURCE = 0x48, OP_CLOSE_DATA_SOURCE = 0x49,
                              OP_READ_FONT_HEADER = 0x50, OP_READ_CHAR = 0x53,
                              OP_BEGIN_STREAM = 0x5b, OP_READ_STREAM = 0x5c, OP_END_STREAM = 0x5d,
                              OP_EXEC_STREAM = 0x5e, OP_REMOVE_STREAM = 0x5f, OP_READ_IMAGE = 0xb1,
                              OP_READ_RAST_PATTERN = 0xb4, OP_SCAN_LINE_REL = 0xb9,
                              OP_PASS_THROUGH = 0xbf, OP_BEZIER_PATH = 0x93,
                              OP_BEZIER_REL_PATH = 0x95, OP_LINE_PATH = 0x9b,
                              OP_LINE_REL_PATH = 0x9d;
inline constexpr std::uint16_t ATTR_STREAM_NAME = 0x8b, ATTR_STREAM_DATA_LENGTH = 0x8c,
                               ATTR_VU_DATA_LENGTH = 0x92;

// The operators of PCL XL (class 3.0), by their byte.
inline bool is_operator(std::uint8_t b) {
  static constexpr std::uint8_t KNOWN[] = {
      0x41, 0x42, 0x43, 0x44, 0x46, 0x47, 0x48, 0x49, 0x4f, 0x50, 0x51, 0x52, 0x53,
      0x54, 0x55, 0x56, 0x57, 0x58, 0x5b, 0x5c, 0x5d, 0x5e, 0x5f, 0x60, 0x61, 0x62,
      0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x6b, 0x6c, 0x6d, 0x6e, 0x6f,
      0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x7b, 0x7c,
      0x7d, 0x7e, 0x7f, 0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x91, 0x92, 0x93,
      0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9b, 0x9d, 0x9e, 0x9f, 0xa0, 0xa1, 0xa2,
      0xa3, 0xa8, 0xa9, 0xb0, 0xb1, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb8, 0xb9, 0xbf};
  for (std::uint8_t k : KNOWN) {
    if (k == b) return true;
  }
  return false;
}

// Operators that must be followed by embedded data, and those that may be.
inline bool needs_data(std::uint8_t op) {
  return op == OP_READ_FONT_HEADER || op == OP_READ_CHAR || op == OP_READ_STREAM ||
         op == OP_READ_IMAGE || op == OP_READ_RAST_PATTERN;
}
// (The path operators take their points as embedded data when their
// attributes say how many points of which type follow.)
inline bool may_take_data(std::uint8_t op) {
  return needs_data(op) || op == OP_VENDOR_UNIQUE || op == OP_SCAN_LINE_REL ||
         op == OP_PASS_THROUGH || op == OP_BEZIER_PATH || op == OP_BEZIER_REL_PATH ||
         op == OP_LINE_PATH || op == OP_LINE_REL_PATH;
}

// Bytes of one element of a scalar, xy or box tag; 0 for other tags.
inline std::uint64_t element_size(std::uint8_t tag) {
  static constexpr std::uint8_t SCALAR[6] = {1, 2, 4, 2, 4, 4};
  const int low = tag & 0x0f;
  if (low > 5) return 0;
  if ((tag & 0xf0) == 0xc0) return SCALAR[low];
  if ((tag & 0xf0) == 0xd0) return 2u * SCALAR[low];
  if ((tag & 0xf0) == 0xe0) return 4u * SCALAR[low];
  return 0;
}

inline bool is_whitespace(std::uint8_t b) {
  return b == 0x00 || (b >= 0x09 && b <= 0x0d) || b == 0x20;
}

inline char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// `text` without blanks, in lower case.
inline std::string squeezed(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\r') out += lower(c);
  }
  return out;
}

// Reads a PCL XL stream's items over data[p, end): the top level of a job
// (stops at a universal exit) or the data of a user-defined stream.
class ItemReader {
 public:
  ItemReader(std::string_view data, bool big_endian, bool user_stream, PxlStrictRead* read,
             PxlStrictStream* stream)
      : d_(data), big_(big_endian), user_(user_stream), read_(read), stream_(stream) {}

  // Reads from `p` to `end`; false with `error` set at the first fault.
  // `*stop` is where reading ended (a universal exit or `end`).
  bool run(std::uint64_t p, std::uint64_t end, std::uint64_t* stop, std::string* error) {
    p_ = p;
    end_ = end;
    while (p_ < end_) {
      const auto b = static_cast<std::uint8_t>(d_[p_]);
      if (b == 0x1b) {
        if (user_ || d_.substr(p_, UEL.size()) != UEL) return fail("ESC inside PCL XL", error);
        break;
      }
      if (!item(b, error)) return false;
    }
    *stop = p_;
    if (pending_value_ || !attrs_.empty())
      return fail("values or attributes without operator", error);
    if (in_page_) return fail("stream ends inside a page", error);
    if (in_session_) return fail("stream ends inside a session", error);
    if (defining_) return fail("stream ends inside a stream definition", error);
    return true;
  }

 private:
  bool fail(const std::string& what, std::string* error) {
    char at[48];
    std::snprintf(at, sizeof at, "offset %" PRIu64 ": ", p_);
    *error = at + what;
    failed_at_ = p_;
    return false;
  }

  bool take(std::uint64_t n) {
    if (n > end_ - p_) return false;
    p_ += n;
    return true;
  }
  std::uint64_t number(std::uint64_t at, int bytes) const {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) {
      const auto byte = static_cast<std::uint8_t>(d_[at + (big_ ? i : bytes - 1 - i)]);
      v = v << 8 | byte;
    }
    return v;
  }

  bool item(std::uint8_t b, std::string* error) {
    if (is_whitespace(b)) {
      ++p_;
      return true;
    }
    if (b >= 0xc0 && b <= 0xef) return value(b, error);
    if (b == 0xf8 || b == 0xf9) return attribute(b, error);
    if (b == 0xfa || b == 0xfb) return embedded(b, error);
    if (b >= 0x40 && b <= 0xbf && is_operator(b)) return operator_byte(b, error);
    char what[48];
    std::snprintf(what, sizeof what, "byte %02X is no PCL XL item", b);
    return fail(what, error);
  }

  bool value(std::uint8_t tag, std::string* error) {
    if (pending_value_) return fail("a value without its attribute", error);
    const std::uint64_t at = p_;
    ++p_;
    std::uint64_t bytes = element_size(tag);
    if (tag >= 0xc8 && tag <= 0xcd) {
      const std::uint8_t length_tag = p_ < end_ ? static_cast<std::uint8_t>(d_[p_]) : 0;
      if (length_tag != 0xc0 && length_tag != 0xc1) {
        p_ = at;
        return fail("array without a ubyte or uint16 length", error);
      }
      const int n = length_tag == 0xc0 ? 1 : 2;
      if (!take(1 + n)) return fail("array length cut off", error);
      bytes = number(p_ - n, n) * element_size(static_cast<std::uint8_t>(tag - 8));
    } else if (bytes == 0) {
      char what[48];
      std::snprintf(what, sizeof what, "byte %02X is no data type", tag);
      return fail(what, error);
    }
    const std::uint64_t value_at = p_;
    if (!take(bytes)) return fail("value cut off", error);
    pending_value_ = true;
    value_.tag = tag;
    value_.value.assign(d_.substr(value_at, bytes));
    return true;
  }

  bool attribute(std::uint8_t tag, std::string* error) {
    if (!pending_value_) return fail("an attribute without a value", error);
    const int n = tag == 0xf8 ? 1 : 2;
    if (!take(1 + n)) return fail("attribute identifier cut off", error);
    value_.id = static_cast<std::uint16_t>(number(p_ - n, n));
    attrs_.push_back(value_);
    pending_value_ = false;
    return true;
  }

  bool embedded(std::uint8_t tag, std::string* error) {
    if (!data_allowed_) return fail("embedded data where no operator reads it", error);
    if (!source_open_ && !user_) return fail("embedded data without an open data source", error);
    const int n = tag == 0xfa ? 4 : 1;
    if (!take(1 + n)) return fail("embedded data length cut off", error);
    const std::uint64_t length = number(p_ - n, n);
    const std::uint64_t at = p_;
    if (!take(length)) return fail("embedded data runs past the end", error);
    data_allowed_ = false;
    data_needed_ = false;
    if (last_op_ == OP_READ_STREAM) return stream_data(at, length, error);
    return true;
  }

  // ReadStream: its data as long as StreamDataLength says, kept for the
  // stream's definition.
  bool stream_data(std::uint64_t at, std::uint64_t length, std::string* error) {
    if (length != read_stream_length_) {
      return fail("ReadStream data of " + std::to_string(length) + " bytes, StreamDataLength " +
                      std::to_string(read_stream_length_),
                  error);
    }
    definition_.append(d_.substr(at, length));
    return true;
  }

  std::uint64_t uint_value(const PxlStrictAttribute& a) const {
    const int n = a.tag == 0xc0 ? 1 : a.tag == 0xc1 ? 2 : a.tag == 0xc2 ? 4 : 0;
    std::uint64_t v = 0;
    for (int i = 0; i < n && i < static_cast<int>(a.value.size()); ++i) {
      const auto byte = static_cast<std::uint8_t>(a.value[big_ ? i : n - 1 - i]);
      v = v << 8 | byte;
    }
    return v;
  }

  bool operator_byte(std::uint8_t op, std::string* error) {
    if (pending_value_) return fail("a value without its attribute", error);
    if (data_needed_) return fail("operator that reads data without its data", error);
    PxlStrictOperator o;
    o.op = op;
    o.offset = p_;
    o.attrs = std::move(attrs_);
    attrs_.clear();
    if (!nesting(o, error) || !data_source(o, error) || !user_streams(o, error)) return false;
    ++p_;
    last_op_ = op;
    data_allowed_ = may_take_data(op);
    data_needed_ = needs_data(op);
    if (op == OP_VENDOR_UNIQUE && !vendor_data(o, error)) return false;
    stream_->ops.push_back(std::move(o));
    return true;
  }

  // A vendor-unique operator may announce raw data in VUDataLength.
  bool vendor_data(const PxlStrictOperator& o, std::string* error) {
    const PxlStrictAttribute* length = o.find(ATTR_VU_DATA_LENGTH);
    if (length == nullptr || (p_ < end_ && (d_[p_] == '\xfa' || d_[p_] == '\xfb'))) return true;
    data_allowed_ = false;
    if (!take(uint_value(*length))) return fail("vendor-unique data runs past the end", error);
    return true;
  }

  bool nesting(const PxlStrictOperator& o, std::string* error) {
    const std::uint8_t op = o.op;
    if (user_ && (op == OP_BEGIN_SESSION || op == OP_END_SESSION || op == OP_BEGIN_PAGE ||
                  op == OP_END_PAGE)) {
      return fail("session or page operator inside a user-defined stream", error);
    }
    if (user_) return true;
    switch (op) {
      case OP_BEGIN_SESSION:
        if (in_session_) return fail("BeginSession inside a session", error);
        in_session_ = true;
        ++stream_->sessions;
        return true;
      case OP_END_SESSION:
        if (!in_session_ || in_page_)
          return fail("EndSession outside a session or in a page", error);
        if (source_open_) return fail("EndSession with its data source open", error);
        in_session_ = false;
        defined_.clear();  // user-defined streams live as long as their session
        return true;
      case OP_BEGIN_PAGE:
        if (!in_session_ || in_page_)
          return fail("BeginPage outside a session or in a page", error);
        in_page_ = true;
        return true;
      case OP_END_PAGE:
        if (!in_page_) return fail("EndPage outside a page", error);
        in_page_ = false;
        ++stream_->pages;
        return true;
      case OP_COMMENT:
        return true;
      default:
        if (!in_session_) return fail("operator outside a session", error);
        return true;
    }
  }

  bool data_source(const PxlStrictOperator& o, std::string* error) {
    if (user_) return true;
    if (o.op == OP_OPEN_DATA_SOURCE) {
      if (source_open_) return fail("OpenDataSource with a data source open", error);
      source_open_ = true;
    } else if (o.op == OP_CLOSE_DATA_SOURCE) {
      if (!source_open_) return fail("CloseDataSource without an open data source", error);
      source_open_ = false;
    }
    return true;
  }

  bool user_streams(const PxlStrictOperator& o, std::string* error) {
    const PxlStrictAttribute* name = o.find(ATTR_STREAM_NAME);
    switch (o.op) {
      case OP_BEGIN_STREAM:
        if (defining_) return fail("BeginStream inside a stream definition", error);
        if (name == nullptr) return fail("BeginStream without StreamName", error);
        defining_ = true;
        definition_name_ = name->value;
        definition_.clear();
        return true;
      case OP_READ_STREAM: {
        if (!defining_) return fail("ReadStream outside a stream definition", error);
        const PxlStrictAttribute* length = o.find(ATTR_STREAM_DATA_LENGTH);
        if (length == nullptr) return fail("ReadStream without StreamDataLength", error);
        read_stream_length_ = uint_value(*length);
        return true;
      }
      case OP_END_STREAM:
        if (!defining_) return fail("EndStream outside a stream definition", error);
        defining_ = false;
        return define_stream(error);
      case OP_EXEC_STREAM:
        if (name == nullptr) return fail("ExecStream without StreamName", error);
        if (defined_.count(name->value) == 0) {
          return fail("ExecStream of a stream not defined: " + name->value, error);
        }
        return true;
      case OP_REMOVE_STREAM:
        if (name != nullptr) defined_.erase(name->value);
        return true;
      default:
        return true;
    }
  }

  bool define_stream(std::string* error);

 public:
  std::set<std::string> defined_;  // names of the streams defined so far
  std::uint64_t failed_at_ = 0;

 private:
  std::string_view d_;
  bool big_;
  bool user_;
  PxlStrictRead* read_;
  PxlStrictStream* stream_;
  std::uint64_t p_ = 0;
  std::uint64_t end_ = 0;
  bool pending_value_ = false;
  PxlStrictAttribute value_;
  std::vector<PxlStrictAttribute> attrs_;
  bool in_session_ = false;
  bool in_page_ = false;
  bool source_open_ = false;
  std::uint8_t last_op_ = 0;
  bool data_allowed_ = false;
  bool data_needed_ = false;
  bool defining_ = false;
  std::string definition_name_;
  std::string definition_;
  std::uint64_t read_stream_length_ = 0;
};

// The stream header line at data[p]: its length with the line feed, or 0.
inline std::uint64_t header_line(std::string_view data, std::uint64_t p, std::string* line) {
  const std::uint64_t lf = data.find('\n', p);
  if (lf == std::string_view::npos || lf - p > 256) return 0;
  const std::string_view text = data.substr(p, lf - p);
  if (text.size() < 2 || (text[0] != ')' && text[0] != '(') || text[1] != ' ') return 0;
  // <class>;<protocol>;<revision>[;<comment>]
  const std::string_view rest = text.substr(2);
  const std::size_t a = rest.find(';');
  if (a == 0 || a == std::string_view::npos) return 0;
  std::size_t i = a + 1;
  for (int field = 0; field < 2; ++field) {
    const std::size_t digits = i;
    while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9') ++i;
    if (i == digits) return 0;
    if (field == 0) {
      if (i >= rest.size() || rest[i] != ';') return 0;
      ++i;
    }
  }
  if (i != rest.size() && rest[i] != ';') return 0;
  *line = std::string(text);
  return lf - p + 1;
}

inline bool ItemReader::define_stream(std::string* error) {
  PxlStrictStream inner;
  std::string line;
  const std::uint64_t header = header_line(definition_, 0, &line);
  if (header == 0) return fail("user-defined stream without a stream header", error);
  ItemReader reader(definition_, line[0] == '(', true, read_, &inner);
  reader.defined_ = defined_;
  std::uint64_t stop = 0;
  std::string inner_error;
  if (!reader.run(header, definition_.size(), &stop, &inner_error)) {
    return fail("user-defined stream '" + definition_name_ + "', " + inner_error, error);
  }
  defined_.insert(definition_name_);
  read_->stream_names.push_back(definition_name_);
  return true;
}

// The job level: universal exits, PJL lines, PCL resets and the streams.
class JobReader {
 public:
  explicit JobReader(std::string_view data) : d_(data) {}

  PxlStrictRead run() {
    PxlStrictRead read;
    bool entered = false;
    while (p_ < d_.size()) {
      const char c = d_[p_];
      bool ok = true;
      if (d_.substr(p_, UEL.size()) == UEL) {
        ++read.universal_exits;
        p_ += UEL.size();
        entered = false;
      } else if (c == '\x1b' && p_ + 1 < d_.size() && d_[p_ + 1] == 'E') {
        p_ += 2;  // a PCL reset between jobs
      } else if (c == '\n' || c == '\r' || c == ' ' || c == '\t' || c == '\f') {
        ++p_;
      } else if (c == '@') {
        ok = pjl_line(&entered, &read);
      } else if (c == ')' || c == '(') {
        ok = stream(entered, &read);
        entered = false;
      } else {
        ok = fail("neither PJL nor a PCL XL stream", &read);
      }
      if (!ok) return read;
    }
    read.ok = true;
    return read;
  }

 private:
  bool fail(const std::string& what, PxlStrictRead* read) {
    char text[48];
    std::snprintf(text, sizeof text, "offset %" PRIu64 ": ", p_);
    read->error = text + what;
    read->error_offset = p_;
    return false;
  }

  bool pjl_line(bool* entered, PxlStrictRead* read) {
    if (*entered) return fail("PJL after ENTER LANGUAGE", read);
    std::uint64_t lf = d_.find('\n', p_);
    if (lf == std::string_view::npos) lf = d_.size();
    const std::string line = squeezed(d_.substr(p_, lf - p_));
    if (line.rfind("@pjl", 0) != 0) return fail("a line that is not PJL", read);
    if (line.rfind("@pjlenterlanguage=", 0) == 0) {
      if (line != "@pjlenterlanguage=pclxl") return fail("ENTER LANGUAGE other than PCLXL", read);
      *entered = true;
      p_ = lf + 1;
      // The stream follows the line at once.
      if (p_ >= d_.size() || (d_[p_] != ')' && d_[p_] != '(')) {
        return fail("no PCL XL stream header after ENTER LANGUAGE", read);
      }
      return true;
    }
    p_ = lf < d_.size() ? lf + 1 : lf;
    return true;
  }

  bool stream(bool entered, PxlStrictRead* read) {
    PxlStrictStream s;
    s.begin = p_;
    s.entered = entered;
    const std::uint64_t header = header_line(d_, p_, &s.header);
    if (header == 0) return fail("a malformed PCL XL stream header", read);
    s.big_endian = s.header[0] == '(';
    read->streams.push_back(std::move(s));
    PxlStrictStream* stream = &read->streams.back();
    ItemReader items(d_, stream->big_endian, false, read, stream);
    std::uint64_t stop = 0;
    std::string error;
    if (!items.run(p_ + header, d_.size(), &stop, &error)) {
      read->error = error;
      read->error_offset = items.failed_at_;
      return false;
    }
    if (stream->sessions == 0) return fail("a PCL XL stream without a session", read);
    p_ = stop;
    return true;
  }

  std::string_view d_;
  std::uint64_t p_ = 0;
};

}  // namespace pxl_strict

// Reads `data` as PCL XL print jobs; see the head of this file.
inline PxlStrictRead pxl_strict_read(std::string_view data) {
  return pxl_strict::JobReader(data).run();
}

}  // namespace sw_test
