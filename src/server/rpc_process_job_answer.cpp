// The grammar of the server's decision answer: a decision word (PRINT,
// CANCEL, HOLD<ms>:<long-ms>, REDIRECT, ERROR) and "key=value;" items that
// ask for a watermark, forced attributes or a redirect target.
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/log.h"
#include "foundation/regex.h"
#include "foundation/util.h"
#include "server/rpc_internal.h"
#include "server/rpc_process_job.h"

const WatermarkMapEntry watermark_gray_level_map[5] = {
    {"BLACK", WATERMARK_GRAY_BLACK}, {"DARK", WATERMARK_GRAY_DARK},
    {"MEDIUM", WATERMARK_GRAY_MEDIUM}, {"LIGHT", WATERMARK_GRAY_LIGHT},
    {"OUTLINE", WATERMARK_GRAY_OUTLINE},
};

const WatermarkMapEntry watermark_position_map[3] = {
    {"BOTTOM", WATERMARK_POSITION_BOTTOM},
    {"TOP", WATERMARK_POSITION_TOP},
    {"CUSTOM", WATERMARK_POSITION_CUSTOM},
};

namespace {

constexpr double MILLIMETRES_PER_INCH = 25.4;
constexpr double POINTS_PER_INCH = 72.0;
constexpr int MIN_DECODED_BYTE = 128;
constexpr int MAX_DECODED_BYTE = 255;
constexpr std::size_t DECODED_REFERENCE_DIGITS = 3;
constexpr std::size_t MAX_REFERENCE_DIGITS = 5;

// Group 1 of the first match of `pattern` (caseless), or false.
bool match_group(const char* pattern, int options, std::string_view subject, std::string* out) {
  const RegexPtr regex(regex_compile(pattern, PCRE_CASELESS | options));
  if (!regex) return false;
  ScopedMatchInfo info;
  const bool found = regex_match_with_info(regex.get(), subject.data(), subject.size(), &info) != 0;
  if (found) *out = info.texts[1] != nullptr ? info.texts[1] : "";
  return found;
}

// The leading decimal digits (no sign) as a number, saturated; 0 without
// digits.
std::int64_t leading_number(std::string_view text) {
  return decimal_read(text, DecimalSign::NONE).value;
}

std::int64_t clamp64(std::int64_t value, std::int64_t low, std::int64_t high) {
  return value < low ? low : value > high ? high : value;
}

// A number as strtod reads it, without the locale: a text that is not a
// number gives 0. False for a value that is not finite.
bool read_double(const std::string& text, double* out) {
  const char* p = text.c_str();
  const char* end = p + text.size();
  while (p < end && ascii_is_space(*p)) ++p;
  if (p < end && *p == '+') ++p;
  double value = 0;
  auto [ptr, ec] = std::from_chars(p, end, value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) return false;
  if (ec != std::errc()) value = 0;
  if (!std::isfinite(value)) return false;
  *out = value;
  return true;
}

int map_lookup(const WatermarkMapEntry* map, std::size_t count, const std::string& name) {
  for (std::size_t i = 0; i < count; ++i) {
    if (name == map[i].name) return map[i].value;
  }
  return 0;
}

// The answer with three-digit references of 128 to 255 ("&#233;") turned into
// their byte and longer references dropped; an answer without references, or
// longer than the limit, is only cut to the limit.
std::string decoded_copy(const char* answer) {
  const std::size_t length = std::strlen(answer);
  if (std::strstr(answer, "&#") == nullptr || length > ANSWER_DECODE_MAX) {
    return std::string(answer, length < ANSWER_DECODE_MAX ? length : ANSWER_DECODE_MAX);
  }
  std::string copy;
  for (std::size_t i = 0; i < length;) {
    if (answer[i] == '&' && answer[i + 1] == '#') {
      std::size_t digits = 0;
      while (ascii_is_digit(answer[i + 2 + digits])) ++digits;
      if (digits >= DECODED_REFERENCE_DIGITS && digits <= MAX_REFERENCE_DIGITS &&
          answer[i + 2 + digits] == ';') {
        const std::int64_t value = leading_number(std::string_view(answer + i + 2, digits));
        if (digits == DECODED_REFERENCE_DIGITS && value >= MIN_DECODED_BYTE &&
            value <= MAX_DECODED_BYTE) {
          copy.push_back(static_cast<char>(value));
        }
        i += 2 + digits + 1;
        continue;
      }
    }
    copy.push_back(answer[i++]);
  }
  return copy;
}

double millimetres_to_points(const std::string& text) {
  double mm = 0;
  if (!read_double(text, &mm)) return 0;
  if (mm > ANSWER_MAX_POSITION_MM) mm = ANSWER_MAX_POSITION_MM;
  if (mm < -ANSWER_MAX_POSITION_MM) mm = -ANSWER_MAX_POSITION_MM;
  return mm / MILLIMETRES_PER_INCH * POINTS_PER_INCH;
}

void read_watermark_keys(std::string_view copy, watermark_params* wm) {
  std::string value;
  if (match_group("wm-text=(.{0,1024}?)\\;", 0, copy, &value)) {
    util_safe_strncpy(wm->text, value.c_str(), sizeof wm->text);
  }
  if (match_group("wm-font-size=(.{0,1024}?)\\;", 0, copy, &value)) {
    double size = 0;
    // A size that is not finite is refused (left 0), which turns the watermark off.
    if (read_double(value, &size)) {
      wm->font_size = size < ANSWER_MIN_FONT_SIZE   ? ANSWER_MIN_FONT_SIZE
                      : size > ANSWER_MAX_FONT_SIZE ? ANSWER_MAX_FONT_SIZE
                                                    : size;
    }
  }
  if (match_group("wm-gray-level=(.{0,1024}?)\\;", 0, copy, &value)) {
    wm->gray_level = map_lookup(watermark_gray_level_map, 5, value);
  }
  if (match_group("wm-position=(.{0,1024}?)\\;", 0, copy, &value)) {
    wm->position = map_lookup(watermark_position_map, 3, value);
  }
  if (match_group("wm-pos-x=(.{0,1024}?)\\;", 0, copy, &value)) {
    wm->x = millimetres_to_points(value);
  }
  if (match_group("wm-pos-y=(.{0,1024}?)\\;", 0, copy, &value)) {
    wm->y = millimetres_to_points(value);
  }
  if (match_group("convert-duplex\\s*=\\s*(\\d)\\s*\\;", 0, copy, &value)) {
    wm->force_duplex = value[0] - '0';
  }
  if (match_group("convert-grayscale\\s*=\\s*(\\d)\\s*\\;", 0, copy, &value)) {
    wm->force_grayscale = value[0] - '0';
  }
  if (match_group("change-copies\\s*=\\s*(\\d+)\\s*\\;", 0, copy, &value)) {
    wm->copies = static_cast<int>(clamp64(leading_number(value), 0,
                                          ANSWER_MAX_COPIES));
  }
}

void extract_watermark_params(const char* answer, ProcessJobResponse* response) {
  watermark_params* wm = &response->wm;
  const std::string copy = decoded_copy(answer);
  LOG_DEV("extract_watermark_params('%s') len = %0d", copy.c_str(),
          static_cast<int>(copy.size()));
  read_watermark_keys(copy, wm);
  std::string uid;
  const bool has_uid = match_group("redirect-uid=(.{1,1024}?)\\;", 0, copy, &uid);
  if (has_uid) util_safe_strncpy(response->redirect_uid, uid.c_str(), REDIRECT_UID_SIZE);
  if (wm->text[0] != '\0' && wm->font_size == 0) {
    LOG_ERROR("Could not parse all watermarking parameters. Turning off watermarking for this "
              "job");
    wm->text[0] = '\0';
  }
  if (modify_spool_file_has_work_to_do(wm, 1) && !has_uid) {
    LOG_ERROR("Could not parse redirect uid. Turning off force attributes for this job");
    wm->text[0] = '\0';
    wm->force_duplex = 0;
    wm->force_grayscale = 0;
    wm->copies = 0;
  }
  LOG_DEV("extract_watermark_params() returned: force_duplex=%d, force_grayscale=%d, copies=%d, "
          "text='%s', size=%.1f, gray=%d, position=%d, x=%.1f pts, y=%.1f pts, uid='%s'",
          wm->force_duplex, wm->force_grayscale, wm->copies, wm->text, wm->font_size,
          wm->gray_level, wm->position, wm->x, wm->y, response->redirect_uid);
}

// "HOLD", "HOLD<ms>" or "HOLD<ms>:<long-ms>". The long hold is read only
// right after the hold time, never from a colon elsewhere in the answer.
void read_hold(const char* answer, ProcessJobResponse* response) {
  const char* rest = answer + std::strlen("HOLD");
  std::int64_t hold = ANSWER_DEFAULT_HOLD_MS;
  std::int64_t long_hold = 0;
  if (*rest != '\0') {
    // Each number as strtol reads it: white space, a sign, digits.
    const DecimalRead read = decimal_read_after_space(rest);
    hold = clamp64(read.value, ANSWER_MIN_HOLD_MS, ANSWER_MAX_HOLD_MS);
    const char* after = rest + read.length;
    if (after[0] == ':' && after[1] != '\0') {
      long_hold = clamp64(decimal_read_after_space(after + 1).value, 0, ANSWER_MAX_HOLD_MS);
    }
  }
  response->status = PROCESS_JOB_HOLD;
  response->hold_time_ms = static_cast<int>(hold);
  response->long_hold_time_ms = static_cast<int>(long_hold);
  LOG_DEV("Holding print job for %d millis, with long hold value %d", response->hold_time_ms,
          response->long_hold_time_ms);
}

void read_redirect(const char* answer, const char* job_id, ProcessJobResponse* response) {
  LOG_DEBUG("Redirection for JobId: %s reported by server: %s", job_id, answer);
  std::string server;
  std::string printer;
  std::string uid;
  if (!match_group("server=(.{1,1024}?)\\;", 0, answer, &server) ||
      !match_group("printer=(.{1,1024}?)\\;", 0, answer, &printer) ||
      !match_group("redirect-uid=(.{1,1024}?)\\;", 0, answer, &uid)) {
    LOG_ERROR("Invalid redirection status reported by server: %s", answer);
    response->status = PROCESS_JOB_ERROR;
    return;
  }
  util_safe_strncpy(response->redirect_server, server.c_str(), REDIRECT_NAME_SIZE);
  util_safe_strncpy(response->redirect_printer, printer.c_str(), REDIRECT_NAME_SIZE);
  util_safe_strncpy(response->redirect_uid, uid.c_str(), REDIRECT_UID_SIZE);
  if (server.empty() || printer.empty() || uid.empty()) {
    LOG_ERROR("extract_redirection_params: Bad params: redirect_server='%s',redirect_printer='%s',"
              "redirect_uid='%s'",
              response->redirect_server, response->redirect_printer, response->redirect_uid);
    response->status = PROCESS_JOB_ERROR;
    return;
  }
  response->status = PROCESS_JOB_REDIRECT;
}

void read_decision(const char* answer, const char* job_id, ProcessJobResponse* response) {
  const std::string_view text(answer);
  if (text.starts_with("PRINT")) {
    response->status = PROCESS_JOB_PRINT;
  } else if (text == "CANCEL") {
    response->status = PROCESS_JOB_CANCEL;
  } else if (text == "ERROR") {
    LOG_ERROR("Server reported error status processing JobID: %s. See server logs for details.",
              job_id);
    response->status = PROCESS_JOB_ERROR;
  } else if (text.starts_with("HOLD")) {
    read_hold(answer, response);
  } else if (text.starts_with("REDIRECT")) {
    read_redirect(answer, job_id, response);
  } else {
    LOG_ERROR("Application Server returned invalid status: %s", answer);
    response->status = PROCESS_JOB_ERROR;
  }
}

}  // namespace

void rpc_process_job_decode_answer(const char* answer, int env_version, const char* job_id,
                                   ProcessJobResponse* response) {
  if (!TV_ASSERT(response != nullptr)) return;
  std::memset(response, 0, sizeof *response);
  if (answer == nullptr) answer = "";
  if (job_id == nullptr) job_id = "";
  // Servers of env_version 5 and lower never ask for watermarks or forced
  // attributes.
  constexpr int WATERMARK_ENV_VERSION = 5;
  if (env_version > WATERMARK_ENV_VERSION) extract_watermark_params(answer, response);
  read_decision(answer, job_id, response);
}
