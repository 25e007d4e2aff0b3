// The job's CUPS control file "c%05d": a binary IPP attribute file. It is not
// parsed as IPP; its bytes are scanned for the attribute names we want, each
// followed by a two-byte big-endian value length and the value, and for a
// few "name=value" texts that clients put into string values. Every length
// read from the file is checked against what remains of it.
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstring>

#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/mapped_mem.h"
#include "foundation/os_file.h"
#include "foundation/regex.h"
#include "foundation/util.h"
#include "job/cups_intake.h"
#include "job/cups_intake_internal.h"

namespace {

// Page sizes above this many millimetres are not paper; they are ignored
// rather than converted to an integer that cannot hold them.
constexpr double kMaxPageMm = 100000.0;
constexpr std::size_t kColorValueSize = 6;
constexpr std::size_t kDuplexValueSize = 10;
constexpr int kMaxNumberUp = 100;

constexpr char kHostName[] = "job-originating-host-name";
constexpr char kMedia[] = "media";
constexpr char kPaperName[] = "com.apple.print.PaperInfo.PMPaperName";
constexpr const char* kPaperRect[4] = {
    "com.apple.print.PageFormat.PMAdjustedPaperRect..a.0..n.",
    "com.apple.print.PageFormat.PMAdjustedPaperRect..a.1..n.",
    "com.apple.print.PageFormat.PMAdjustedPaperRect..a.2..n.",
    "com.apple.print.PageFormat.PMAdjustedPaperRect..a.3..n.",
};
constexpr char kFxColorMode[] = "FXColorMode";
constexpr char kArDocColor[] = "ARDocColor";
constexpr char kDuplex[] = "Duplex";
constexpr char kSidesImaged[] = "com.apple.print.PrintSettings.PMTotalSidesImaged..n.=";
constexpr char kCopies[] = "copies";
constexpr char kDuplexing[] = "com.apple.print.PaperInfo..PMDuplexing..n.=";
constexpr char kSides[] = "sides=";
constexpr char kTwoSided[] = "two-sided";
constexpr char kNumberUp[] = "number-up=";
constexpr char kColorGray[] = "ColorModel=Gray";
constexpr char kColorMono[] = "ColorModel=Mono";
constexpr char kCustomMedia[] = "Custom\\.(\\d+\\.?\\d*)x(\\d+\\.?\\d*)";

// What the scan found, applied to the job record only when the whole scan
// succeeded.
struct ControlInfo {
  char host[CUPS_ATTR_TEXT_SIZE] = {};
  char media[CUPS_ATTR_TEXT_SIZE] = {};
  char paper_name[CUPS_ATTR_TEXT_SIZE] = {};
  char rect[4][CUPS_ATTR_RECT_SIZE] = {};
  bool media_taken = false;
  bool grayscale = false;
  bool duplex = false;
  int sides = -1;  // -1: not known
  int n_up = 0;    // 0: not known
};

// A cursor over the mapped file.
struct Scan {
  const std::uint8_t* p;
  const std::uint8_t* end;

  std::uint64_t left() const { return static_cast<std::uint64_t>(end - p); }
  bool at_n(const char* text, std::size_t n, std::size_t offset = 0) const {
    return left() >= offset + n && std::memcmp(p + offset, text, n) == 0;
  }
  template <std::size_t N>
  bool at(const char (&text)[N], std::size_t offset = 0) const {
    return at_n(text, N - 1, offset);
  }
};

bool is_space(std::uint8_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool is_digit(std::uint8_t c) { return c >= '0' && c <= '9'; }

// An IPP attribute name is preceded by its own two-byte length; a name that
// is only the start of a longer one ("media-source") or lies inside a value
// is not the attribute.
bool has_name_length(const std::uint8_t* file_start, const std::uint8_t* name, std::size_t n) {
  if (name - file_start < 2) return false;
  return name[-2] == static_cast<std::uint8_t>(n >> 8) && name[-1] == static_cast<std::uint8_t>(n);
}

enum class Step { kNone, kTaken, kFatal };

Step read_host(Scan& s, ControlInfo& info) {
  constexpr std::size_t n = sizeof kHostName - 1;
  if (s.left() < 28 || !s.at(kHostName)) return Step::kNone;
  if (read_str_attribute(s.p + n, s.end, info.host, sizeof info.host) == 0) {
    LOG_DEBUG("Error reading host name attribute");
  }
  s.p += n;
  return Step::kTaken;
}

Step read_media(Scan& s, const std::uint8_t* start, ControlInfo& info) {
  constexpr std::size_t n = sizeof kMedia - 1;
  if (info.media_taken || s.left() <= 7 || !s.at(kMedia) || !has_name_length(start, s.p, n)) {
    return Step::kNone;
  }
  info.media_taken = read_str_attribute(s.p + n, s.end, info.media, sizeof info.media) != 0;
  s.p += n;
  return Step::kTaken;
}

Step read_text(Scan& s, const char* name, std::uint64_t more_than, char* buffer,
               std::size_t size) {
  std::size_t n = std::strlen(name);
  if (buffer[0] != '\0' || s.left() <= more_than || !s.at_n(name, n)) return Step::kNone;
  if (read_str_attribute(s.p + n, s.end, buffer, size) == 0) buffer[0] = '\0';
  s.p += n;
  return Step::kTaken;
}

// A short string attribute; true when it was read and holds `word`.
bool short_value_holds(const Scan& s, std::size_t n, std::size_t size, const char* word) {
  char value[kDuplexValueSize] = {};
  if (read_str_attribute(s.p + n, s.end, value, size) == 0) return false;
  return std::strstr(value, word) != nullptr;
}

Step read_color_mode(Scan& s, ControlInfo& info) {
  if (info.grayscale) return Step::kNone;
  const char* name = nullptr;
  if (s.left() > 21 && s.at(kFxColorMode)) {
    name = kFxColorMode;
  } else if (s.left() > 20 && s.at(kArDocColor)) {
    name = kArDocColor;
  } else {
    return Step::kNone;
  }
  std::size_t n = std::strlen(name);
  if (short_value_holds(s, n, kColorValueSize, "Black")) info.grayscale = true;
  s.p += n;
  return Step::kTaken;
}

Step read_duplex(Scan& s, ControlInfo& info) {
  constexpr std::size_t n = sizeof kDuplex - 1;
  if (info.duplex || s.left() <= 20 || !s.at(kDuplex)) return Step::kNone;
  if (short_value_holds(s, n, kDuplexValueSize, "Duplex")) info.duplex = true;
  s.p += n;
  return Step::kTaken;
}

Step read_sides_imaged(Scan& s, ControlInfo& info) {
  constexpr std::size_t n = sizeof kSidesImaged - 1;
  if (info.sides >= 0 || *s.p != 'c' || s.left() <= 63 || !s.at(kSidesImaged)) {
    return Step::kNone;
  }
  const auto* digits = reinterpret_cast<const char*>(s.p + n);
  const auto* limit = reinterpret_cast<const char*>(s.end);
  int sides = 0;
  auto [stop, ec] = std::from_chars(digits, limit, sides);
  if (stop == digits || !is_digit(s.p[n])) {
    LOG_DEBUG("Error reading pm_total_sides_imaged");
  } else {
    if (ec == std::errc::result_out_of_range) sides = 2147483647;
    info.sides = sides;
    LOG_DEBUG("pm_total_sides_imaged=%d", sides);
  }
  s.p += n;
  return Step::kTaken;
}

Step read_copies(Scan& s, const std::uint8_t* start) {
  constexpr std::size_t n = sizeof kCopies - 1;
  if (*s.p != 'c' || s.left() <= 8 || !s.at(kCopies) || !has_name_length(start, s.p, n)) {
    return Step::kNone;
  }
  const std::uint8_t* len_field = s.p + n;
  int length = (len_field[0] << 8) | len_field[1];
  if (length != 4) {
    LOG_DEBUG("Error: copies is no of expected size: %d", length);
    return Step::kFatal;
  }
  if (static_cast<std::uint64_t>(s.end - (len_field + 2)) < 4) {
    LOG_DEBUG("Error: Length off end of file");
    return Step::kFatal;
  }
  const std::uint8_t* v = len_field + 2;
  auto copies = static_cast<std::int32_t>((std::uint32_t{v[0]} << 24) | (std::uint32_t{v[1]} << 16) |
                                          (std::uint32_t{v[2]} << 8) | std::uint32_t{v[3]});
  LOG_DEBUG("Found control files copies of: '%d'", copies);
  s.p += n + 2;
  return Step::kTaken;
}

Step read_duplexing(Scan& s, ControlInfo& info) {
  constexpr std::size_t n = sizeof kDuplexing - 1;
  if (info.duplex || s.left() < 46 || !s.at(kDuplexing)) return Step::kNone;
  std::uint8_t code = s.p[n];
  if (!is_digit(code)) {
    LOG_DEBUG("Error reading PMDuplexing, plex_code=0x%02X", code);
    return Step::kFatal;
  }
  if (code != '0') info.duplex = true;
  s.p += n;
  return Step::kTaken;
}

Step read_sides(Scan& s, ControlInfo& info) {
  if (*s.p != 's' || info.duplex || s.left() < 23 || !s.at(kSides)) return Step::kNone;
  if (!s.at(kTwoSided, sizeof kSides - 1)) return Step::kNone;
  LOG_DEBUG("Matched 'sides=two-sided'");
  info.duplex = true;
  s.p += sizeof kSides - 1;
  return Step::kTaken;
}

Step read_number_up(Scan& s, ControlInfo& info) {
  constexpr std::size_t n = sizeof kNumberUp - 1;
  if (*s.p != 'n' || info.n_up != 0 || s.left() < 15 || !s.at(kNumberUp)) return Step::kNone;
  const std::uint8_t* v = s.p + n;  // at least 5 bytes remain
  int digits = 0;
  while (digits < 4 && !is_space(v[digits])) ++digits;
  if (digits < 1 || digits > 2) {
    LOG_DEBUG("Error reading n_up_attr: String too long");
    return Step::kFatal;
  }
  if (!is_digit(v[0]) || (digits == 2 && !is_digit(v[1]))) {
    LOG_DEBUG("Error reading n_up_attr: Not a number");
    return Step::kFatal;
  }
  int n_up = digits == 1 ? v[0] - '0' : (v[0] - '0') * 10 + (v[1] - '0');
  if (n_up < 1 || n_up > kMaxNumberUp) {
    LOG_DEBUG("Error reading n_up_attr: Implausible n_up=%d", n_up);
    return Step::kFatal;
  }
  LOG_DEBUG("n_up=%d", n_up);
  info.n_up = n_up;
  s.p += n;
  return Step::kTaken;
}

Step read_color_model(Scan& s, ControlInfo& info) {
  if (*s.p != 'C' || info.grayscale || s.left() <= 15) return Step::kNone;
  if (!s.at(kColorGray) && !s.at(kColorMono)) return Step::kNone;
  info.grayscale = true;
  s.p += sizeof kColorGray - 1;
  return Step::kTaken;
}

// One position: the tests in order until one takes an attribute.
Step scan_position(Scan& s, const std::uint8_t* start, ControlInfo& info) {
  Step step = read_host(s, info);
  if (step == Step::kNone) step = read_media(s, start, info);
  if (step == Step::kNone) step = read_text(s, kPaperName, 39, info.paper_name, sizeof info.paper_name);
  for (int i = 0; i < 4 && step == Step::kNone; ++i) {
    step = read_text(s, kPaperRect[i], 57, info.rect[i], sizeof info.rect[i]);
  }
  if (step == Step::kNone) step = read_color_mode(s, info);
  if (step == Step::kNone) step = read_duplex(s, info);
  if (step == Step::kNone) step = read_sides_imaged(s, info);
  if (step == Step::kNone) step = read_copies(s, start);
  if (step == Step::kNone) step = read_duplexing(s, info);
  if (step == Step::kNone) step = read_sides(s, info);
  if (step == Step::kNone) step = read_number_up(s, info);
  if (step == Step::kNone) step = read_color_model(s, info);
  return step;
}

bool scan_control_data(const std::uint8_t* data, std::uint64_t size, ControlInfo& info) {
  Scan s{data, data + size};
  while (s.p < s.end) {
    Step step = scan_position(s, data, info);
    if (step == Step::kFatal) return false;
    if (step == Step::kNone) ++s.p;
  }
  return true;
}

double parse_number(const char* text) {
  double value = 0;
  auto [end, ec] = std::from_chars(text, text + std::strlen(text), value);
  (void)end;
  return ec == std::errc() && std::isfinite(value) ? value : 0.0;
}

// Millimetres of a length in points, rounded half up; 0 when implausible.
int points_to_mm(double points) {
  double mm = points / 72.0 * 25.4;
  if (!(mm > 0) || mm > kMaxPageMm) return 0;
  return static_cast<int>(std::floor(mm + 0.5));
}

void apply_page_rect(JobAttribs* ja, const ControlInfo& info) {
  if (info.rect[0][0] == '\0' && info.rect[1][0] == '\0' && info.rect[2][0] == '\0' &&
      info.rect[3][0] == '\0') {
    return;
  }
  double a[4];
  for (int i = 0; i < 4; ++i) a[i] = parse_number(info.rect[i]);
  LOG_DEBUG("Apple page dimensions of %f, %f, %f, %f", a[0], a[1], a[2], a[3]);
  int height = points_to_mm(a[3] - a[1]);
  int width = points_to_mm(a[2] - a[0]);
  if (height > 0 && width > 0) {
    LOG_DEBUG("PageRect size of %dmm x %dmm", height, width);
    ja_set_page_width_height_mm(ja, width, height);
  }
}

void apply_media(JobAttribs* ja, const ControlInfo& info) {
  Regex* custom = regex_compile(kCustomMedia, PCRE_CASELESS | PCRE_ANCHORED);
  RegexMatchInfo match{};
  bool is_custom = false;
  if (custom != nullptr && info.media[0] != '\0' &&
      regex_match_with_info(custom, info.media, std::strlen(info.media), &match) != 0 &&
      match.texts[1] != nullptr && match.texts[2] != nullptr) {
    int width = points_to_mm(parse_number(match.texts[1]));
    int height = points_to_mm(parse_number(match.texts[2]));
    if (width > 0 && height > 0) {
      is_custom = true;
      LOG_DEBUG("Custom size of %dmm x %dmm", height, width);
      ja_set_page_width_height_mm(ja, width, height);
    }
  }
  regex_free_match_info(&match);
  regex_free(custom);
  if (is_custom) return;
  const char* name = info.paper_name[0] != '\0' ? info.paper_name : info.media;
  if (name[0] == '\0') return;
  ja_set_paper_size_name(ja, name);
  LOG_DEBUG("Cups paper size is: %s", name);
}

void apply_client_machine(JobAttribs* ja, const ControlInfo& info) {
  if (info.host[0] == '\0') {
    LOG_DEBUG("Unable to extract machine name so passing null");
    ja->client_machine[0] = '\0';
    return;
  }
  util_safe_strncpy(ja->client_machine, info.host, sizeof ja->client_machine);
  if (common_is_local_host_name(info.host)) {
    LOG_DEBUG("CUPS reported hostname of localhost");
    common_replace_local_client_machine(ja);
  }
  LOG_DEBUG("Found client name of: '%s'", ja->client_machine);
}

void apply_control_info(JobAttribs* ja, const ControlInfo& info) {
  apply_client_machine(ja, info);
  apply_page_rect(ja, info);
  apply_media(ja, info);
  if (info.duplex) ja_set_is_duplex(ja, 1);
  if (info.grayscale) ja_set_is_grayscale(ja, 1);
  if (info.sides >= 1) {
    ja_set_pages(ja, info.sides);
  } else if (info.n_up >= 2) {
    ja_set_pages(ja, static_cast<int>((static_cast<std::int64_t>(ja->pages) + info.n_up - 1) /
                                      info.n_up));
  }
  if (ja->color_pages > ja->pages) ja_set_color_pages(ja, ja->pages);
}

// Where the control file of the job is; false when none is readable.
bool find_control_file(char* path, std::size_t size, int job_id) {
  if (global_ctx.cups_spool_dir[0] != '\0') {
    std::snprintf(path, size, "%s/c%05d", global_ctx.cups_spool_dir, job_id);
    if (access(path, R_OK) == 0) return true;
  }
  for (const char* dir : CUPS_SPOOL_DIRS) {
    std::snprintf(path, size, "%s/c%05d", dir, job_id);
    LOG_DEBUG("Searching for cups control file at: %s", path);
    if (access(path, R_OK) == 0) return true;
  }
  return false;
}

}  // namespace

int read_str_attribute(const std::uint8_t* pos, const std::uint8_t* end, char* buffer,
                       std::size_t size) {
  if (pos == nullptr || end == nullptr || buffer == nullptr || size == 0) return 0;
  if (pos > end || end - pos < 2) {
    LOG_DEBUG("Error: Length off end of file");
    return 0;
  }
  std::size_t length = (static_cast<std::size_t>(pos[0]) << 8) | pos[1];
  const std::uint8_t* value = pos + 2;
  if (static_cast<std::size_t>(end - value) < length) {
    LOG_DEBUG("Error: Length off end of file");
    return 0;
  }
  if (length + 1 > size) {
    LOG_DEBUG("Error: supplied buffer is not large enough");
    return 0;
  }
  if (length == 0 || value[0] < 0x21 || value[0] > 0x7E) {
    LOG_DEBUG("Error: found leading control char.");
    return 0;
  }
  std::memcpy(buffer, value, length);
  buffer[length] = '\0';
  return 1;
}

int common_extract_cups_control_data(JobAttribs* ja, const std::uint8_t* data,
                                     std::uint64_t size) {
  if (!TV_ASSERT(ja != nullptr) || data == nullptr) return 0;
  ControlInfo info;
  if (!scan_control_data(data, size, info)) {
    LOG_DEBUG("Unable to extract cups info");
    return 0;
  }
  apply_control_info(ja, info);
  return 1;
}

int common_extract_cups_control_file_info(JobAttribs* ja, int job_id) {
  if (!TV_ASSERT(ja != nullptr)) return 0;
  char path[OS_PATH_BUFFER_SIZE];
  if (!find_control_file(path, sizeof path, job_id)) {
    LOG_DEBUG("Unable to find CUPS control file for job: %d", job_id);
    return 0;
  }
  LOG_DEBUG("Found control file at: %s", path);
  mapped_mem* mm = create_mapped_mem(path);
  if (mm == nullptr) {
    LOG_ERROR("Unable to map file: %s", path);
    return 0;
  }
  int result = common_extract_cups_control_data(ja, mm->data, mm->size);
  free_mapped_mem(&mm);
  return result;
}
