// The job's CUPS control file "c%05d": a binary IPP attribute file. It is not
// parsed as IPP; its bytes are scanned for the attribute names we want, each
// followed by a two-byte big-endian value length and the value, and for a
// few "name=value" texts that clients put into string values. Every length
// read from the file is checked against what remains of it.
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstring>

#include "foundation/ascii.h"
#include "foundation/config.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/mapped_mem.h"
#include "foundation/os_file.h"
#include "foundation/regex.h"
#include "foundation/util.h"
#include "job/cups_intake.h"
#include "job/cups_intake_internal.h"
#include "scan/byte_cursor.h"

namespace {

// Page sizes above this many millimetres are not paper; they are ignored
// rather than converted to an integer that cannot hold them.
constexpr double MAX_PAGE_MM = 100000.0;
constexpr std::size_t COLOR_VALUE_SIZE = 6;
constexpr std::size_t DUPLEX_VALUE_SIZE = 10;
constexpr int MAX_NUMBER_UP = 100;
// "number-up=" is followed by one or two digits and white space; four
// characters are looked at to tell a longer value apart.
constexpr std::size_t NUMBER_UP_LOOK = 4;
constexpr std::size_t NUMBER_UP_DIGITS_MAX = 2;
// IPP integer values (copies) are four bytes long.
constexpr std::uint16_t IPP_INTEGER_SIZE = 4;

using namespace std::string_view_literals;

constexpr std::string_view HOST_NAME = "job-originating-host-name";
constexpr std::string_view MEDIA = "media";
constexpr std::string_view PAPER_NAME = "com.apple.print.PaperInfo.PMPaperName";
constexpr std::string_view PAPER_RECT[4] = {
    "com.apple.print.PageFormat.PMAdjustedPaperRect..a.0..n.",
    "com.apple.print.PageFormat.PMAdjustedPaperRect..a.1..n.",
    "com.apple.print.PageFormat.PMAdjustedPaperRect..a.2..n.",
    "com.apple.print.PageFormat.PMAdjustedPaperRect..a.3..n.",
};
constexpr std::string_view FX_COLOR_MODE = "FXColorMode";
constexpr std::string_view AR_DOC_COLOR = "ARDocColor";
constexpr std::string_view DUPLEX = "Duplex";
constexpr std::string_view SIDES_IMAGED = "com.apple.print.PrintSettings.PMTotalSidesImaged..n.=";
constexpr std::string_view COPIES = "copies";
constexpr std::string_view DUPLEXING = "com.apple.print.PaperInfo..PMDuplexing..n.=";
constexpr std::string_view SIDES = "sides=";
constexpr std::string_view TWO_SIDED = "two-sided";
constexpr std::string_view NUMBER_UP = "number-up=";
constexpr std::string_view COLOR_GRAY = "ColorModel=Gray";
constexpr std::string_view COLOR_MONO = "ColorModel=Mono";
constexpr char CUSTOM_MEDIA[] = "Custom\\.(\\d+\\.?\\d*)x(\\d+\\.?\\d*)";

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

// An IPP attribute name is preceded by its own two-byte length; a name that
// is only the start of a longer one ("media-source") or lies inside a value
// is not the attribute.
bool has_name_length(const ByteCursor& s, std::size_t n) {
  const auto length = s.pos() >= 2 ? scan_be16_at(s.data(), s.pos() - 2) : std::nullopt;
  return length.has_value() && *length == n;
}

// A string attribute whose length field begins `offset` bytes past the
// cursor, read into `buffer` (see read_str_attribute).
int read_value_at(const ByteCursor& s, std::size_t offset, char* buffer, std::size_t size) {
  const ByteSpan file = s.data();
  return read_str_attribute(file.data() + s.pos() + offset, file.data() + file.size(), buffer,
                            size);
}

enum class Step { NONE, TAKEN, FATAL };

// Moves past an attribute name that was read.
Step taken(ByteCursor& s, std::size_t n) {
  (void)s.skip(n);
  return Step::TAKEN;
}

Step read_host(ByteCursor& s, ControlInfo& info) {
  if (s.remaining() < 28 || !s.looking_at(HOST_NAME)) return Step::NONE;
  if (read_value_at(s, HOST_NAME.size(), info.host, sizeof info.host) == 0) {
    LOG_DEBUG("Error reading host name attribute");
  }
  return taken(s, HOST_NAME.size());
}

Step read_media(ByteCursor& s, ControlInfo& info) {
  if (info.media_taken || s.remaining() <= 7 || !s.looking_at(MEDIA) ||
      !has_name_length(s, MEDIA.size())) {
    return Step::NONE;
  }
  info.media_taken = read_value_at(s, MEDIA.size(), info.media, sizeof info.media) != 0;
  return taken(s, MEDIA.size());
}

Step read_text(ByteCursor& s, std::string_view name, std::uint64_t more_than, char* buffer,
               std::size_t size) {
  if (buffer[0] != '\0' || s.remaining() <= more_than || !s.looking_at(name)) return Step::NONE;
  if (read_value_at(s, name.size(), buffer, size) == 0) buffer[0] = '\0';
  return taken(s, name.size());
}

// A short string attribute; true when it was read and holds `word`.
bool short_value_holds(const ByteCursor& s, std::size_t n, std::size_t size, const char* word) {
  char value[DUPLEX_VALUE_SIZE] = {};
  if (read_value_at(s, n, value, size) == 0) return false;
  return std::strstr(value, word) != nullptr;
}

Step read_color_mode(ByteCursor& s, ControlInfo& info) {
  if (info.grayscale) return Step::NONE;
  std::string_view name;
  if (s.remaining() > 21 && s.looking_at(FX_COLOR_MODE)) {
    name = FX_COLOR_MODE;
  } else if (s.remaining() > 20 && s.looking_at(AR_DOC_COLOR)) {
    name = AR_DOC_COLOR;
  } else {
    return Step::NONE;
  }
  if (short_value_holds(s, name.size(), COLOR_VALUE_SIZE, "Black")) info.grayscale = true;
  return taken(s, name.size());
}

Step read_duplex(ByteCursor& s, ControlInfo& info) {
  if (info.duplex || s.remaining() <= 20 || !s.looking_at(DUPLEX)) return Step::NONE;
  if (short_value_holds(s, DUPLEX.size(), DUPLEX_VALUE_SIZE, "Duplex")) info.duplex = true;
  return taken(s, DUPLEX.size());
}

// The count of sides: decimal digits right after the name (no sign),
// saturated to int.
Step read_sides_imaged(ByteCursor& s, ControlInfo& info) {
  if (info.sides >= 0 || s.peek() != 'c' || s.remaining() <= 63 || !s.looking_at(SIDES_IMAGED)) {
    return Step::NONE;
  }
  const DecimalRead sides =
      decimal_read(s.rest().subspan(SIDES_IMAGED.size()), DecimalSign::NONE);
  if (sides.length == 0) {
    LOG_DEBUG("Error reading pm_total_sides_imaged");
  } else {
    info.sides = decimal_clamp<int>(sides.value);
    LOG_DEBUG("pm_total_sides_imaged=%d", info.sides);
  }
  return taken(s, SIDES_IMAGED.size());
}

Step read_copies(ByteCursor& s) {
  if (s.peek() != 'c' || s.remaining() <= 8 || !s.looking_at(COPIES) ||
      !has_name_length(s, COPIES.size())) {
    return Step::NONE;
  }
  const std::uint64_t length_at = s.pos() + COPIES.size();
  const std::uint16_t length = scan_be16_at(s.data(), length_at).value_or(0);
  if (length != IPP_INTEGER_SIZE) {
    LOG_DEBUG("Error: copies is no of expected size: %d", length);
    return Step::FATAL;
  }
  const auto copies = scan_be32_at(s.data(), length_at + 2);
  if (!copies) {
    LOG_DEBUG("Error: Length off end of file");
    return Step::FATAL;
  }
  LOG_DEBUG("Found control files copies of: '%d'", static_cast<std::int32_t>(*copies));
  return taken(s, COPIES.size() + 2);
}

Step read_duplexing(ByteCursor& s, ControlInfo& info) {
  if (info.duplex || s.remaining() < 46 || !s.looking_at(DUPLEXING)) return Step::NONE;
  const int code = s.peek(DUPLEXING.size());
  if (!ascii_is_digit(code)) {
    LOG_DEBUG("Error reading PMDuplexing, plex_code=0x%02X", code);
    return Step::FATAL;
  }
  if (code != '0') info.duplex = true;
  return taken(s, DUPLEXING.size());
}

Step read_sides(ByteCursor& s, ControlInfo& info) {
  if (s.peek() != 's' || info.duplex || s.remaining() < 23 || !s.looking_at(SIDES)) {
    return Step::NONE;
  }
  if (!scan_bytes_at(s.data(), s.pos() + SIDES.size(), TWO_SIDED)) return Step::NONE;
  LOG_DEBUG("Matched 'sides=two-sided'");
  info.duplex = true;
  return taken(s, SIDES.size());
}

// "number-up=" with one or two digits before white space, 1 to MAX_NUMBER_UP.
Step read_number_up(ByteCursor& s, ControlInfo& info) {
  if (s.peek() != 'n' || info.n_up != 0 || s.remaining() < 15 || !s.looking_at(NUMBER_UP)) {
    return Step::NONE;
  }
  const ByteSpan value = s.rest().subspan(NUMBER_UP.size(), NUMBER_UP_LOOK);
  std::size_t length = 0;
  while (length < value.size() && !ascii_is_space(value[length])) ++length;
  if (length < 1 || length > NUMBER_UP_DIGITS_MAX) {
    LOG_DEBUG("Error reading n_up_attr: String too long");
    return Step::FATAL;
  }
  const DecimalRead n_up = decimal_read(value.first(length), DecimalSign::NONE);
  if (n_up.length != length) {
    LOG_DEBUG("Error reading n_up_attr: Not a number");
    return Step::FATAL;
  }
  if (n_up.value < 1 || n_up.value > MAX_NUMBER_UP) {
    LOG_DEBUG("Error reading n_up_attr: Implausible n_up=%d", static_cast<int>(n_up.value));
    return Step::FATAL;
  }
  LOG_DEBUG("n_up=%d", static_cast<int>(n_up.value));
  info.n_up = static_cast<int>(n_up.value);
  return taken(s, NUMBER_UP.size());
}

Step read_color_model(ByteCursor& s, ControlInfo& info) {
  if (s.peek() != 'C' || info.grayscale || s.remaining() <= 15) return Step::NONE;
  if (!s.looking_at(COLOR_GRAY) && !s.looking_at(COLOR_MONO)) return Step::NONE;
  info.grayscale = true;
  return taken(s, COLOR_GRAY.size());
}

// One position: the tests in order until one takes an attribute.
Step scan_position(ByteCursor& s, ControlInfo& info) {
  Step step = read_host(s, info);
  if (step == Step::NONE) step = read_media(s, info);
  if (step == Step::NONE) {
    step = read_text(s, PAPER_NAME, 39, info.paper_name, sizeof info.paper_name);
  }
  for (int i = 0; i < 4 && step == Step::NONE; ++i) {
    step = read_text(s, PAPER_RECT[i], 57, info.rect[i], sizeof info.rect[i]);
  }
  if (step == Step::NONE) step = read_color_mode(s, info);
  if (step == Step::NONE) step = read_duplex(s, info);
  if (step == Step::NONE) step = read_sides_imaged(s, info);
  if (step == Step::NONE) step = read_copies(s);
  if (step == Step::NONE) step = read_duplexing(s, info);
  if (step == Step::NONE) step = read_sides(s, info);
  if (step == Step::NONE) step = read_number_up(s, info);
  if (step == Step::NONE) step = read_color_model(s, info);
  return step;
}

bool scan_control_data(ByteSpan data, ControlInfo& info) {
  ByteCursor s(data);
  while (!s.at_end()) {
    const Step step = scan_position(s, info);
    if (step == Step::FATAL) return false;
    if (step == Step::NONE) (void)s.skip(1);
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
  if (!(mm > 0) || mm > MAX_PAGE_MM) return 0;
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
  const RegexPtr custom(regex_compile(CUSTOM_MEDIA, PCRE_CASELESS | PCRE_ANCHORED));
  ScopedMatchInfo match;
  bool is_custom = false;
  if (custom && info.media[0] != '\0' &&
      regex_match_with_info(custom.get(), info.media, std::strlen(info.media), &match) != 0 &&
      match.texts[1] != nullptr && match.texts[2] != nullptr) {
    int width = points_to_mm(parse_number(match.texts[1]));
    int height = points_to_mm(parse_number(match.texts[2]));
    if (width > 0 && height > 0) {
      is_custom = true;
      LOG_DEBUG("Custom size of %dmm x %dmm", height, width);
      ja_set_page_width_height_mm(ja, width, height);
    }
  }
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
  if (!scan_control_data(scan_bytes(data, size), info)) {
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
  const MappedMemPtr mm(create_mapped_mem(path));
  if (!mm) {
    LOG_ERROR("Unable to map file: %s", path);
    return 0;
  }
  return common_extract_cups_control_data(ja, mm->data, mm->size);
}
