#include "formats/lips.h"

#include "foundation/decimal.h"
#include "foundation/log.h"

namespace {

constexpr std::uint8_t FORM_FEED = 0x0C;
constexpr std::uint8_t ESC = 0x1B;
constexpr std::uint8_t CSI = 0x9B;  // ESC [ in the 8-bit form
constexpr std::uint8_t DCS = 0x90;  // ESC P
constexpr std::uint8_t ST = 0x9C;   // ESC backslash

unsigned long long at(std::uint64_t p) { return static_cast<unsigned long long>(p); }

// Where a control sequence's parameters begin, 0 when none begins at `p`.
std::uint64_t introducer_end(ByteSpan d, std::uint64_t p, std::uint8_t eight_bit,
                             std::uint8_t seven_bit) {
  if (d[p] == eight_bit) return p + 1;
  if (d[p] == ESC && p + 1 < d.size() && d[p + 1] == seven_bit) return p + 2;
  return 0;
}

// Bytes that may follow raster data: the next command, or a control.
bool command_may_begin(std::uint8_t b) {
  return b == CSI || b == ESC || b == DCS || b == FORM_FEED || b == '\r' || b == '\n';
}

struct LipsWalk {
  ByteSpan d;
  LipsCount count;
  bool lined_up = true;

  // A CSI sequence: parameters, intermediates, final byte. Returns where the
  // walk goes on.
  std::uint64_t control_sequence(std::uint64_t params) {
    std::uint64_t q = params;
    while (q < d.size() && d[q] >= 0x30 && d[q] <= 0x3F) ++q;
    const std::uint64_t intermediates = q;
    while (q < d.size() && d[q] >= 0x20 && d[q] <= 0x2F) ++q;
    if (q >= d.size()) return d.size();
    const std::uint8_t final = d[q];
    const std::string_view between(reinterpret_cast<const char*>(d.data() + intermediates),
                                   q - intermediates);
    const DecimalRead first = decimal_read(d.subspan(params, intermediates - params),
                                           DecimalSign::NONE);
    if (final == '}' && between == "&") {
      LOG_DEBUG("LIPS vector mode at: %llu", at(q));
      lined_up = false;
      return d.size();
    }
    if (final == 'p' && between.empty() && first.length > 0 && count.paper < 0) {
      count.paper = decimal_clamp<int>(first.value);
    }
    if (final != 'r' || between != ".") return q + 1;
    // Raster image: its first parameter is the byte count of its data.
    const std::uint64_t bytes = first.length > 0 ? static_cast<std::uint64_t>(first.value) : 0;
    if (bytes >= d.size() - q) return d.size();
    const std::uint64_t next = q + 1 + bytes;
    if (next < d.size() && !command_may_begin(d[next])) {
      LOG_DEBUG("LIPS raster data at %llu does not end at a command", at(q));
      lined_up = false;
      return d.size();
    }
    return next;
  }

  // A DCS string runs to its string terminator.
  std::uint64_t device_control_string(std::uint64_t from) const {
    for (std::uint64_t q = from; q < d.size(); ++q) {
      if (d[q] == ST) return q + 1;
      if (d[q] == ESC && q + 1 < d.size() && d[q + 1] == '\\') return q + 2;
    }
    return d.size();
  }

  std::uint64_t step(std::uint64_t p) {
    if (d[p] == FORM_FEED) {
      ++count.pages;
      LOG_DEBUG("found LIPS page end at: %llu", at(p));
      return p + 1;
    }
    if (const std::uint64_t params = introducer_end(d, p, CSI, '['); params != 0) {
      return control_sequence(params);
    }
    if (const std::uint64_t body = introducer_end(d, p, DCS, 'P'); body != 0) {
      return device_control_string(body);
    }
    return p + 1;
  }
};

}  // namespace

bool lips_bare_job(ByteSpan data) { return scan_bytes_at(data, 0, "\x1b%@"); }

LipsCount lips_pages(ByteSpan data, WalkTimer* timer) {
  LipsWalk w{data, {}, true};
  const bool finished = format_walk(data, timer, WalkStarts{FORM_FEED, ESC, CSI, DCS},
                                    [&w](std::uint64_t p) { return w.step(p); });
  w.count.reliable = finished && w.lined_up;
  return w.count;
}
