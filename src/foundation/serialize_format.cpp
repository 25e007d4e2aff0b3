// Line-level pieces of the serialize file format.
#include "foundation/serialize_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>

#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/log.h"
#include "foundation/os_dir.h"
#include "foundation/util.h"

namespace {

// A fixed-width field of a date: white space, then [sign]digits within
// `width` characters (sign included), at text[*pos].
bool scan_field(std::string_view text, std::size_t* pos, std::size_t width, int* value) {
  std::size_t start = *pos;
  while (start < text.size() && ascii_is_space(text[start])) ++start;
  const DecimalRead read = decimal_read(text.substr(std::min(start, text.size()), width));
  if (read.length == 0) return false;
  *value = decimal_clamp<int>(read.value);
  *pos = start + read.length;
  return true;
}

}  // namespace

bool serialize_read_line(std::FILE* stream, std::string* line) {
  line->clear();
  bool any = false;
  bool too_long = false;
  std::array<char, 4096> chunk{};
  while (std::fgets(chunk.data(), static_cast<int>(chunk.size()), stream) != nullptr) {
    any = true;
    std::string_view part(chunk.data());
    bool ended = !part.empty() && part.back() == '\n';
    if (ended) part.remove_suffix(1);
    if (line->size() + part.size() > SERIALIZE_MAX_LINE) {
      too_long = true;
    } else {
      line->append(part);
    }
    if (ended) break;
  }
  if (!any) return false;
  if (too_long) {
    LOG_ERROR("Serialize file line longer than %zu bytes", SERIALIZE_MAX_LINE);
    line->clear();
    return false;
  }
  std::size_t start = line->find_first_not_of(" \t");
  line->erase(0, start == std::string::npos ? line->size() : start);
  return true;
}

std::string serialize_escape_value(std::string_view value) {
  std::string out;
  out.reserve(value.size() + 8);
  for (char c : value) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string serialize_unescape_value(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size() && (value[i + 1] == 'n' || value[i + 1] == '\\')) {
      out += value[i + 1] == 'n' ? '\n' : '\\';
      ++i;
    } else {
      out += value[i];
    }
  }
  return out;
}

// White space, a sign and digits, saturated: the files may have been edited
// by hand.
bool serialize_parse_int(std::string_view text, int* value) {
  const DecimalRead read = decimal_read_after_space(text);
  if (read.length == 0) return false;
  *value = decimal_clamp<int>(read.value);
  return true;
}

bool serialize_parse_double(std::string_view text, double* value) {
  text = ascii_trim_space_left(text);
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  double number = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  (void)end;
  if (ec != std::errc{} || !std::isfinite(number)) return false;
  *value = number;
  return true;
}

int serialize_parse_date(std::string_view text, int fields[6]) {
  static constexpr std::array<std::size_t, 6> WIDTHS{4, 2, 2, 2, 2, 2};
  static constexpr std::array<char, 6> BEFORE{0, 0, 0, 'T', ':', ':'};
  std::size_t pos = 0;
  for (int i = 0; i < 6; ++i) {
    if (BEFORE[i] != 0) {
      if (pos >= text.size() || text[pos] != BEFORE[i]) return i;
      ++pos;
    }
    if (!scan_field(text, &pos, WIDTHS[i], &fields[i])) return i;
  }
  return 6;
}

bool serialize_file_path(const char* dir, const std::string& name, char* path) {
  if (name.size() > SERIALIZE_MAX_FILE_NAME) {
    LOG_ERROR("Serialize file name too long (%zu characters, at most %zu): %s", name.size(),
              SERIALIZE_MAX_FILE_NAME, name.c_str());
    return false;
  }
  std::string sanitized = name;
  (void)util_sanitize_fname(sanitized.data());
  if (!os_cat_path(path, SERIALIZE_PATH_SIZE, dir, sanitized.c_str())) {
    LOG_ERROR("Serialize file path too long: dir='%s',name='%s'", dir != nullptr ? dir : "",
              sanitized.c_str());
    return false;
  }
  return true;
}
