// The label languages of CUPS's Zebra drivers, each read by its commands:
// EPL2 and CPCL are lines of commands whose graphics carry binary bytes of a
// declared size; ZPL is text throughout (its graphics are hexadecimal).
#include "formats/zebra_labels.h"

#include <algorithm>
#include <string_view>

#include "foundation/decimal.h"
#include "foundation/log.h"

namespace {

using Number = std::int64_t;
// Graphics larger than this are not believed (a label is a few inches wide).
constexpr Number MAX_GRAPHIC_BYTES = Number{1} << 30;

// The line from `pos` to its line feed (a CR before it left out), and where
// the next line begins.
struct Line {
  std::string_view text;
  std::uint64_t next;
};

Line line_at(ByteSpan d, std::uint64_t pos) {
  const std::uint64_t end = scan_find_byte(d, pos, '\n').value_or(d.size());
  std::uint64_t text_end = end;
  if (text_end > pos && d[text_end - 1] == '\r') --text_end;
  return {std::string_view(reinterpret_cast<const char*>(d.data() + pos), text_end - pos),
          end < d.size() ? end + 1 : d.size()};
}

// Up to `count` numbers separated by `separator` at the start of `text`;
// the number of numbers read.
int read_numbers(std::string_view text, char separator, Number* out, int count) {
  int n = 0;
  while (n < count) {
    const DecimalRead r = decimal_read(text, DecimalSign::NONE);
    if (r.length == 0) break;
    out[n++] = r.value;
    text.remove_prefix(r.length);
    if (text.empty() || text.front() != separator) break;
    text.remove_prefix(1);
  }
  return n;
}

// rows x bytes per row, or more than MAX_GRAPHIC_BYTES when either is
// that large (the product of two saturated numbers would overflow).
Number graphic_bytes(Number bytes_per_row, Number rows) {
  if (bytes_per_row > MAX_GRAPHIC_BYTES || rows > MAX_GRAPHIC_BYTES) return MAX_GRAPHIC_BYTES + 1;
  return bytes_per_row * rows;
}

// pos + bytes, or the end of the data.
std::uint64_t skip(ByteSpan d, std::uint64_t pos, Number bytes) {
  if (bytes < 0 || bytes > MAX_GRAPHIC_BYTES) return d.size();
  const auto n = static_cast<std::uint64_t>(bytes);
  return n < d.size() - pos ? pos + n : d.size();
}

// Bytes of the EPL2 graphic that the line declares (GW x,y,bytes per
// row,rows), -1 for any other line.
Number epl2_graphic(std::string_view text) {
  if (!text.starts_with("GW")) return -1;
  Number v[4] = {};
  return read_numbers(text.substr(2), ',', v, 4) == 4 ? graphic_bytes(v[2], v[3]) : -1;
}

void count_label(LabelCount* count, Number copies) {
  ++count->labels;
  const int n = static_cast<int>(std::clamp<Number>(copies, 1, INT32_MAX));
  count->copies = std::max(count->copies, n);
}

}  // namespace

LabelCount epl2_labels(ByteSpan d, WalkTimer* timer) {
  LabelCount count;
  std::uint64_t pos = 0;
  while (pos < d.size() && !timer->expired(pos)) {
    const Line line = line_at(d, pos);
    pos = line.next;
    if (const Number graphic = epl2_graphic(line.text); graphic >= 0) {
      // CUPS puts the bytes on the lines after the command.
      pos = skip(d, pos, graphic);
      continue;
    }
    Number copies = 1;
    if (line.text.size() > 1 && line.text[0] == 'P' &&
        read_numbers(line.text.substr(1), ',', &copies, 1) == 1) {
      LOG_DEBUG("found EPL2 print command at: %llu", static_cast<unsigned long long>(pos));
      count_label(&count, copies);
    }
  }
  return count;
}

LabelCount cpcl_labels(ByteSpan d, WalkTimer* timer) {
  LabelCount count;
  Number copies = 1;
  std::uint64_t pos = 0;
  while (pos < d.size() && !timer->expired(pos)) {
    const std::uint64_t start = pos;
    std::string_view head(reinterpret_cast<const char*>(d.data() + pos),
                          std::min<std::uint64_t>(d.size() - pos, 3));
    if (head == "CG " || head == "EG ") {
      // CG bytes-per-row rows x y, then the bytes directly behind a blank.
      Number v[4] = {};
      const std::string_view rest(head.data() + 3, d.size() - pos - 3);
      if (read_numbers(rest, ' ', v, 4) == 4) {
        std::uint64_t data = pos + 3;
        for (int field = 0; field < 4; ++field) {
          data = scan_find_byte(d, data, ' ').value_or(d.size() - 1) + 1;
        }
        pos = line_at(d, skip(d, data, graphic_bytes(v[0], v[1]))).next;
        continue;
      }
    }
    const Line line = line_at(d, start);
    pos = line.next;
    if (line.text.starts_with("! ")) {
      Number v[5] = {};
      if (read_numbers(line.text.substr(2), ' ', v, 5) == 5) copies = v[4];
    } else if (line.text == "PRINT") {
      LOG_DEBUG("found CPCL print command at: %llu", static_cast<unsigned long long>(start));
      count_label(&count, copies);
    }
  }
  return count;
}

LabelCount zpl_labels(ByteSpan d, WalkTimer* timer) {
  LabelCount count;
  std::uint64_t pos = 0;
  while (!timer->expired(pos)) {
    const auto open = scan_find(d, pos, "^XA");
    if (!open) break;
    const std::uint64_t close = scan_find(d, *open, "^XZ").value_or(d.size());
    const ByteSpan format = d.subspan(*open, close - *open);
    // A format that places a field prints a label; one that only stores or
    // deletes a graphic does not.
    if (scan_find(format, 0, "^FO") || scan_find(format, 0, "^FT")) {
      Number copies = 1;
      if (const auto quantity = scan_find(format, 0, "^PQ")) {
        const ByteSpan digits = format.subspan(*quantity + 3);
        const DecimalRead r = decimal_read(digits, DecimalSign::NONE);
        if (r.length > 0) copies = r.value;
      }
      LOG_DEBUG("found ZPL label format at: %llu", static_cast<unsigned long long>(*open));
      count_label(&count, copies);
    }
    pos = close;
  }
  return count;
}
