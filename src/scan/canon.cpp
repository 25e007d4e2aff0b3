// The Canon record tests: byte patterns at fixed offsets from each position
// p of the head window where p + 25 lies inside it.
#include "scan/canon.h"

#include <algorithm>
#include <string_view>

#include "foundation/log.h"
#include "foundation/util.h"
#include "scan/byte_cursor.h"
#include "scan/cpca.h"
#include "scan/scan_regex.h"

namespace {

constexpr std::uint64_t RECORD_REACH = 25;

// Bytes at offset `at` from p equal `bytes`.
bool bytes_at(ByteSpan data, std::uint64_t p, std::uint64_t at, std::string_view bytes) {
  return scan_bytes_at(data, p + at, bytes);
}
bool byte_at(ByteSpan data, std::uint64_t p, std::uint64_t at, std::uint8_t value) {
  return p + at < data.size() && data[p + at] == value;
}

// Calls test(p) for each record position of the head window until it
// returns true; true when one did.
template <typename Test>
bool any_record(ByteSpan data, Test test) {
  const std::uint64_t window = std::min<std::uint64_t>(data.size(), CANON_HEAD_WINDOW);
  for (std::uint64_t p = 0; p + RECORD_REACH < window; ++p) {
    if (test(p)) return true;
  }
  return false;
}

bool packet_of(ByteSpan data, std::uint64_t p, std::uint8_t opcode_low) {
  return bytes_at(data, p, 0, "\xCD\xCA") && byte_at(data, p, 5, opcode_low);
}

// Step 1 of the colour test: the driver's PAGEHINT. -1 when it decides
// nothing.
int pagehint(ByteSpan data, int* color) {
  const std::string_view head =
      scan_text(data.first(std::min<std::uint64_t>(data.size(), CANON_HEAD_WINDOW)));
  const ScanMatch m =
      ScanRegex(R"re(CANONSTRING\s+PAGEHINT_COLOR=(\w+))re", PCRE_MULTILINE | PCRE_DOTALL)
          .match(head);
  if (!m.matched) return -1;
  const std::string value(m.group(1));
  LOG_DEBUG("Matched Canon PAGEHINT: '%s'", value.c_str());
  if (util_case_equal_str(value.c_str(), "NONE")) {
    *color = 1;
    return 0;
  }
  if (util_case_equal_str(value.c_str(), "MONO")) return 1;
  return -1;
}

// Step 2: grayscale and colour records in the head. -1 when none.
int head_colour_record(ByteSpan data, int* color) {
  int result = -1;
  (void)any_record(data, [&](std::uint64_t p) {
    if (bytes_at(data, p, 0, "\x08\x38\x02\xCD\xCA")) {
      LOG_DEBUG("Canon CPCA grayscale found (type 1)");
      result = 1;
    } else if (packet_of(data, p, 0x18) && bytes_at(data, p, 21, "\x2E\x03\x02\x35\x65")) {
      LOG_DEBUG("Canon CPCA grayscale found (type 2)");
      result = 1;
    } else if (bytes_at(data, p, 0, "\xCD\xCA") && byte_at(data, p, 20, 0x08) &&
               bytes_at(data, p, 21, std::string_view("\xCB\x00", 2))) {
      LOG_DEBUG("Canon CPCA grayscale found (type 3)");
      result = 1;
    } else if (packet_of(data, p, 0x18) && byte_at(data, p, 4, 0x00) &&
               byte_at(data, p, 8, 0x00) && byte_at(data, p, 9, 0x09) &&
               byte_at(data, p, 20, 0x08) &&
               bytes_at(data, p, 21, std::string_view("\xCF\x03\x01\x01\x02\x00\x03\x00", 8))) {
      LOG_DEBUG("Canon CPCA color found");
      *color = 1;
      result = 0;
    }
    return result >= 0;
  });
  return result;
}

// Step 3: the trailing colour record, searched back from 23 bytes before the
// end over at most 1000 bytes. -1 when none.
int tail_colour_record(ByteSpan data) {
  if (data.size() < 23) return -1;
  const std::uint64_t lowest = data.size() > CANON_TAIL_WINDOW ? data.size() - CANON_TAIL_WINDOW : 0;
  for (std::uint64_t r = data.size() - 23 + 1; r-- > lowest;) {
    if (packet_of(data, r, 0x12) && bytes_at(data, r, 20, "\x09\x6E")) {
      LOG_DEBUG("Canon CPCA. Traling color byte. p[22]=%d", data[r + 22]);
      if (data[r + 22] != 0x03) return 0;
      LOG_DEBUG("Canon CPCA grayscale found (type 3)");
      return 1;
    }
  }
  return -1;
}

}  // namespace

int canon_has_canon_cpca(const std::uint8_t* buffer, std::uint64_t length) {
  if (buffer == nullptr || length < CPCA_SIGNATURE_WINDOW) {
    LOG_DEBUG("File not long enough to have canon CPCA data");
    return 0;
  }
  if (buffer[0] != 0xCD || buffer[1] != 0xCA) return 0;
  LOG_DEBUG("Canon CPCA data found");
  return 1;
}

int canon_get_cpca_copycount(const std::uint8_t* buffer, std::uint64_t length) {
  const ByteSpan data = scan_bytes(buffer, buffer == nullptr ? 0 : length);
  int copies = 0;
  const bool found = any_record(data, [&](std::uint64_t p) {
    if (!packet_of(data, p, CPCA_OP_BINDER) || !bytes_at(data, p, 20, "\x07\xD7")) return false;
    copies = data[p + 19] != 0 && data[p + 19] == data[p + 22] ? data[p + 23]
                                                               : data[p + 22] * 256 + data[p + 23];
    return true;
  });
  if (!found) {
    LOG_DEBUG("could not find canon copy count so assuming 1");
    return 1;
  }
  LOG_DEBUG("Canon CPCA copy count of: %d", copies);
  return copies;
}

const char* canon_int_to_papersize(int code) {
  switch (code) {
    case 1: return "A3";
    case 2: return "A4";
    case 3: return "A5";
    case 6: return "B4";
    case 7: return "B5";
    case 10: return "EXECUTIVE";
    case 11: return "11x17";
    case 12: return "LEGAL";
    case 13: return "LETTER";
    case 60: return "STATEMENT";
    default:
      LOG_DEBUG("Unable to find Canon paper size for: %d", code);
      return "";
  }
}

const char* canon_cpca_papersize(const std::uint8_t* buffer, std::uint64_t length) {
  const ByteSpan data = scan_bytes(buffer, buffer == nullptr ? 0 : length);
  int code = -1;
  (void)any_record(data, [&](std::uint64_t p) {
    if (!packet_of(data, p, CPCA_OP_DOCUMENT) || !bytes_at(data, p, 20, "\x07\xED")) return false;
    code = data[p + 25];
    return true;
  });
  if (code < 0) {
    LOG_DEBUG("Unable to find Canon paper size");
    return "";
  }
  LOG_DEBUG("Found Canon paper size: %d", code);
  return canon_int_to_papersize(code);
}

int canon_has_cpca_duplex(const std::uint8_t* buffer, std::uint64_t length) {
  const ByteSpan data = scan_bytes(buffer, buffer == nullptr ? 0 : length);
  const bool found = any_record(data, [&](std::uint64_t p) {
    return packet_of(data, p, CPCA_OP_DOCUMENT) && byte_at(data, p, 9, 0x03) &&
           bytes_at(data, p, 20, "\x07\xDF") && data[p + 22] != 0x01;
  });
  if (found) LOG_DEBUG("Canon CPCA duplex found (type 3)");
  return found ? 1 : 0;
}

int canon_has_cpca_grayscale(const std::uint8_t* buffer, std::uint64_t length, int* color) {
  int ignored = 0;
  if (color == nullptr) color = &ignored;
  const ByteSpan data = scan_bytes(buffer, buffer == nullptr ? 0 : length);
  if (const int hint = pagehint(data, color); hint >= 0) return hint;
  if (const int head = head_colour_record(data, color); head >= 0) return head;
  if (const int tail = tail_colour_record(data); tail >= 0) return tail;
  return 0;
}
