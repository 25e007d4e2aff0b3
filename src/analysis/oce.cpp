// The Oce job wrapper. Both marks are also written in upper case ("*OCE...")
// by some drivers.
#include "analysis/oce.h"

#include <cinttypes>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "analysis/pcl5.h"
#include "analysis/pcl6.h"
#include "analysis/postscript.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "foundation/regex.h"
#include "foundation/search.h"
#include "foundation/util.h"
#include "scan/lang_detect.h"
#include "scan/scan_regex.h"

namespace {

constexpr std::string_view BEGIN_MARK = "*OceJobBegin";
constexpr std::string_view BEGIN_MARK_UPPER = "*OCEJobBegin";
constexpr std::string_view DATA_MARK = "*OceJobData";
constexpr std::string_view DATA_MARK_UPPER = "*OCEJobData";
// Longest job name taken from the header.
constexpr int JOB_NAME_MAX = 40;

// Offset of the first of the two spellings, -1 when neither occurs.
std::int64_t find_mark(const std::uint8_t* data, std::uint64_t length, std::string_view mark,
                       std::string_view upper) {
  std::int64_t at = -1;
  if (util_contains_string_offset(data, length, std::string(mark).c_str(), &at) == 1) return at;
  if (util_contains_string_offset(data, length, std::string(upper).c_str(), &at) == 1) return at;
  return -1;
}

struct Wrapper {
  std::uint64_t header_start;  // behind the begin mark
  std::uint64_t header_end;    // behind the data mark: where the job begins
};

bool read_marks(const std::uint8_t* data, std::uint64_t length, Wrapper* w) {
  const std::int64_t begin = find_mark(data, length, BEGIN_MARK, BEGIN_MARK_UPPER);
  if (begin < 0) {
    LOG_DEBUG("oce_read_header: Could not find *OceJobBegin ");
    return false;
  }
  const std::int64_t mark = find_mark(data, length, DATA_MARK, DATA_MARK_UPPER);
  if (mark < 0) {
    LOG_DEBUG("oce_read_header: Could not find *OceJobData");
    return false;
  }
  w->header_start = static_cast<std::uint64_t>(begin) + BEGIN_MARK.size();
  if (static_cast<std::uint64_t>(mark) < w->header_start) {
    LOG_DEBUG("oce_read_header: No room for header");
    return false;
  }
  w->header_end = static_cast<std::uint64_t>(mark) + DATA_MARK.size();
  return true;
}

// The analyzer of the embedded job's language, nullptr when there is none here.
AnalyzerFunc embedded_analyzer(int lang) {
  switch (lang) {
    case LANG_POSTSCRIPT:
      return POSTSCRIPT_ANALYZER.analyze;
    case LANG_PCL6:
      return PCL6_ANALYZER.analyze;
    case LANG_PCL5:
    case LANG_HPGL:
    case LANG_PCL3GUI:
      return PCL5_ANALYZER.analyze;
    default:
      return nullptr;
  }
}

// The header's settings, read from its text (bytes 01 to 7F only);
// `monochrome` tells whether the header prints the job in monochrome.
int parse_header(const std::uint8_t* header, std::uint64_t length, JobAttribs* ja,
                 bool* monochrome) {
  const ScanRegex monochrome_mode("ColorMode\\s+monochrome", PCRE_CASELESS);
  const ScanRegex copies("Copies\\s+(\\d+)", PCRE_CASELESS);
  const ScanRegex job_name("JobName\\s+\"([^\"]{1,40})\"", PCRE_CASELESS);
  if (!monochrome_mode.ok() || !copies.ok() || !job_name.ok()) {
    LOG_ERROR("oce_parse_header: regex_compile() failed");
    return -1;
  }
  const std::unique_ptr<char[]> text(new (std::nothrow) char[length + 1]);
  if (!text) {
    LOG_ERROR("Could not allocate %" PRIu64 " bytes for header", length + 1);
    return -1;
  }
  std::uint64_t n = 0;
  for (std::uint64_t i = 0; i < length; ++i) {
    if (header[i] >= 0x01 && header[i] <= 0x7f) text[n++] = static_cast<char>(header[i]);
  }
  const std::string_view subject(text.get(), n);
  *monochrome = monochrome_mode.match(subject).matched;
  if (*monochrome) {
    LOG_DEV("oce_parse_header: Found monochrome");
    ja_set_is_grayscale(ja, 1);
  }
  if (const ScanMatch m = copies.match(subject); m.matched) {
    const int count =
        decimal_clamp<int>(decimal_read(m.group(1), DecimalSign::NONE).value);
    LOG_DEV("oce_parse_header: Found copies=%d", count);
    ja_set_copy_count(ja, count);
  }
  if (ja->document_name[0] == '\0') {
    if (const ScanMatch m = job_name.match(subject); m.matched) {
      const std::string name(m.group(1).substr(0, JOB_NAME_MAX));
      LOG_DEV("oce_parse_header: Found jobname='%s'", name.c_str());
      util_safe_strncpy(ja->document_name, name.c_str(), sizeof ja->document_name);
    }
  }
  return 0;
}

}  // namespace

int oce_process_job(const std::uint8_t* data, std::uint64_t length, int detect_color,
                    JobAttribs* ja) {
  LOG_DEV("entering oce_process_job");
  Wrapper w{};
  if (data == nullptr || !read_marks(data, length, &w)) return -1;
  const std::uint8_t* job = data + w.header_end;
  const std::uint64_t job_length = length - w.header_end;
  const int lang = analyzer_lang_detect(job, job_length);
  const AnalyzerFunc analyze = embedded_analyzer(lang);
  if (analyze == nullptr) {
    LOG_DEBUG("oce_process_job: Unsupported embedded printer language %s (%d)",
              analyzer_lang_to_string(lang), lang);
    return 0;
  }
  const int result = analyze(job, job_length, detect_color, ja);
  // The merge reports the embedded language, not the wrapper's.
  ja->language = lang;
  if (result != 0) return result;
  bool monochrome = false;
  if (parse_header(data + w.header_start, w.header_end - w.header_start, ja, &monochrome) != 0) {
    return -1;
  }
  // A job the wrapper prints in monochrome has no colour page, whatever the
  // embedded data holds or whether its analyzer could judge it.
  if (monochrome && detect_color != 0) {
    LOG_DEBUG("oce_process_job: monochrome job: no colour page");
    ja_set_color_pages(ja, 0);
  }
  return 0;
}

const AnalyzerEntry OCE_ANALYZER{"oce_process_job", oce_process_job};
