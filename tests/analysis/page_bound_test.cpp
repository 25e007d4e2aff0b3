// No analyzer reports more pages than its data could hold: every corpus
// file and every fuzz seed (fuzz/corpus/*/*), analysed through the driver,
// gives at most as many pages as its bytes have room for pages of the
// smallest kind its language knows; plain text at most one a form feed or
// line. The rule is over the whole corpus and every seed, so that rows and
// seeds added for any language are held to it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analysis_test_util.h"
#include "analysis/analyzer.h"
#include "corpus/corpus.h"
#include "formats/cupsraster.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "support/files.h"

namespace {

namespace fs = std::filesystem;
using analysis_test::AnalysisTest;

// Bytes the smallest page of a language needs: a PostScript page its
// "%%Page:" comment or "showpage", a PCL XL page its BeginPage and EndPage
// operators, a CUPS raster page its header (420 bytes in version 1, the
// smallest), a TIFF page an IFD of one
// entry. Every other language: one byte (a PCL form feed).
std::uint64_t smallest_page_bytes(int lang) {
  switch (lang) {
    case LANG_POSTSCRIPT:
    case LANG_POSTSCRIPT_CANON:
      return 7;
    case LANG_PCL6:
    case LANG_XPL2:
      return 2;
    case LANG_CUPS_RASTER:
      return CUPSRASTER_V1_HEADER;
    case LANG_TIFF6:
      return 18;
    default:
      return 1;
  }
}

// The most pages `bytes` of language `lang` can hold.
std::uint64_t page_bound(const std::string& bytes, int lang) {
  if (lang == LANG_PLAIN_TEXT) {
    const auto ends = std::count_if(bytes.begin(), bytes.end(),
                                    [](char c) { return c == '\f' || c == '\n'; });
    return static_cast<std::uint64_t>(ends) + 1;
  }
  return bytes.size() / smallest_page_bytes(lang);
}

// Files whose page count is known to run past the bound, with the reason;
// each is a fault to mend, listed so that the rest of the corpus stays held
// to the rule meanwhile. An entry that no longer runs away fails the test,
// so the list only shrinks.
struct KnownRunaway {
  std::string_view file;  // corpus file name, or "<target>/<seed>" of a fuzz seed
  std::string_view why;
};
constexpr std::array<KnownRunaway, 0> KNOWN_RUNAWAYS{};

const KnownRunaway* known_runaway(const std::string& name) {
  for (const KnownRunaway& k : KNOWN_RUNAWAYS) {
    if (!k.file.empty() && k.file == name) return &k;
  }
  return nullptr;
}

struct Input {
  std::string name;
  std::string path;
};

std::vector<Input> inputs() {
  std::vector<Input> out;
  for (const CorpusRow& row : corpus_rows()) out.push_back({row.file, row.path});
  const fs::path seeds = fs::path(SW_SOURCE_DIR) / "fuzz" / "corpus";
  std::error_code ec;
  for (const auto& target : fs::directory_iterator(seeds, ec)) {
    if (!target.is_directory()) continue;
    for (const auto& seed : fs::directory_iterator(target.path(), ec)) {
      if (!seed.is_regular_file() || seed.file_size() == 0) continue;
      out.push_back({target.path().filename().string() + "/" + seed.path().filename().string(),
                     seed.path().string()});
    }
  }
  return out;
}

class PageBoundTest : public AnalysisTest {};

TEST_F(PageBoundTest, NoAnalyzerCountsMorePagesThanTheDataHolds) {
  int corpus_files = 0;
  int seeds = 0;
  for (const Input& in : inputs()) {
    SCOPED_TRACE(in.name);
    (in.name.find('/') == std::string::npos ? corpus_files : seeds) += 1;
    const std::string bytes = sw_test::read_file(in.path);
    JobAttribsPtr ja(analyzer_create_job_attribs());
    (void)analyzer_process_spool_file_internal(in.path.c_str(), 0, 0, ja.get());
    const std::uint64_t bound = page_bound(bytes, ja->language);
    const bool within = ja->pages <= 0 || static_cast<std::uint64_t>(ja->pages) <= bound;
    if (const KnownRunaway* known = known_runaway(in.name)) {
      EXPECT_FALSE(within) << "no longer runs away: take it off KNOWN_RUNAWAYS (" << known->why
                           << ")";
      continue;
    }
    EXPECT_TRUE(within) << ja->pages << " pages of language " << ja->language << " in "
                        << bytes.size() << " bytes (at most " << bound << ")";
  }
  EXPECT_GE(corpus_files, 200);
  EXPECT_GE(seeds, 100);
}

}  // namespace
