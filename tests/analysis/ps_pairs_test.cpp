// The literal filter of the PostScript walk: the positions it skips to must
// be every position where one of the walk's literals begins, whatever the
// case of a caseless literal, wherever the literal stands in the buffer (the
// vector test reads blocks of 32 positions; the last bytes go through the
// byte pairs), and with the literal sets the walk really uses (pages only,
// with colour tests, with a showpage procedure learnt from the job).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "analysis/analysis_test_util.h"
#include "analysis/ps_color.h"
#include "analysis/ps_scan.h"
#include "corpus/corpus.h"
#include "support/files.h"

namespace {

using analysis_test::ExactBuffer;

// Every position of [0, n) where a literal of `filter` begins, found by
// testing each position.
std::vector<std::uint64_t> every_begin(const PsLiteralFilter& filter, const std::uint8_t* d, std::uint64_t n) {
  std::vector<std::uint64_t> out;
  for (std::uint64_t p = 0; p < n; ++p) {
    if (filter.may_begin(d + p, n - p)) out.push_back(p);
  }
  return out;
}

// The same positions as the walk reaches them: skipping from one to the
// next in stretches of `stretch` bytes (the walk stops at each poll of its
// time limit).
std::vector<std::uint64_t> skipped_to(const PsLiteralFilter& filter, const std::uint8_t* d, std::uint64_t n,
                                      std::uint64_t stretch) {
  std::vector<std::uint64_t> out;
  for (std::uint64_t p = 0; p < n;) {
    const std::uint64_t stop = std::min(n, p + stretch);
    p = filter.next_begin(d, p, stop, n);
    if (p >= stop) continue;
    out.push_back(p);
    ++p;
  }
  return out;
}

// The walk's literal sets.
struct LiteralSet {
  const char* name;
  bool colour;
  const char* macro;  // a procedure name that calls showpage, or ""
};
constexpr LiteralSet SETS[] = {
    {"pages only", false, ""},
    {"with colour tests", true, ""},
    {"with a showpage procedure", false, "pgsv"},
};

std::unique_ptr<PsScan> scan_with(const LiteralSet& set, PSColor* color) {
  auto s = std::make_unique<PsScan>();
  s->color = set.colour ? color : nullptr;
  s->macro_name = set.macro;
  ps_update_interesting(s.get());
  return s;
}

void expect_same_positions(const PsLiteralFilter& filter, std::string_view bytes) {
  const ExactBuffer buffer(bytes);
  const auto expected = every_begin(filter, buffer.data(), buffer.size());
  for (const std::uint64_t stretch : {std::uint64_t{10000}, std::uint64_t{7}, std::uint64_t{33}}) {
    SCOPED_TRACE("stretch " + std::to_string(stretch));
    EXPECT_EQ(skipped_to(filter, buffer.data(), buffer.size(), stretch), expected);
  }
}

TEST(PsLiteralFilter, SkipsToEveryLiteralOfTheCorpusJobs) {
  const auto rows = corpus_rows_for_lang(1);
  ASSERT_GE(rows.size(), 20u);
  PSColorPtr color(PSColorNew(0));
  ASSERT_NE(color, nullptr);
  for (const LiteralSet& set : SETS) {
    SCOPED_TRACE(set.name);
    const auto s = scan_with(set, color.get());
    for (const CorpusRow& row : rows) {
      SCOPED_TRACE(row.file);
      const std::string bytes = sw_test::read_file(row.path);
      ASSERT_FALSE(bytes.empty()) << "corpus file missing";
      expect_same_positions(s->filter, bytes);
    }
  }
}

TEST(PsLiteralFilter, SkipsToLiteralsInAnyCaseAndAtTheEnd) {
  // Literals in the other case, in mixed case where only one case counts,
  // cut by the end of the buffer, and bytes above 0x7f (one colour literal
  // is one).
  const std::string filler(70, 'x');
  const std::vector<std::string> jobs = {
      filler + "COPIES 2" + filler + "Copies" + filler + "NUMCOPIES 3" + filler,
      filler + "DUPLEX /duplex /Duplex /DUPLEX" + filler,
      filler + "SHOWPAGE ShowPage showpage" + filler,
      filler + "%%Page: 1 1\n%%PAGE: 2 2\n%%page" + filler,
      filler + "\x8b\xcb\xab\xeb " + filler + "\x85\x01\x41" + filler,
      filler + "<~<<<0<a<A<F<G<\n" + filler,
      filler + "pgsv pgsv" + filler,
      filler + "0 1 0 sc [1 0 0] SC /cs CS 1 0 0 rg RG Rg scale descent argument" + filler,
      filler + "%%",
      filler + "%",
      filler + "showp",
      filler + "@PJL",
      filler + "stre",
      filler + "definenu",
      filler + "<",
      filler + "rg",
      filler + "S",
      "%%",
      "s",
      "",
  };
  PSColorPtr color(PSColorNew(0));
  ASSERT_NE(color, nullptr);
  for (const LiteralSet& set : SETS) {
    SCOPED_TRACE(set.name);
    const auto s = scan_with(set, color.get());
    for (const std::string& job : jobs) {
      SCOPED_TRACE(job);
      // At every offset from the start of a block of 32, and with the end
      // at every distance from the last block.
      for (std::size_t shift = 0; shift < 40; ++shift) {
        expect_same_positions(s->filter, std::string(shift, ' ') + job);
        if (shift < job.size()) expect_same_positions(s->filter, job.substr(0, job.size() - shift));
      }
    }
  }
}

TEST(PsLiteralFilter, SkipsToEveryTwoLetterLiteralBeyondTheWholeCompares) {
  // Two-letter literals are compared whole by the vector test while there
  // is room; the others go through the nibble groups with the longer words.
  PsLiteralFilter filter;
  filter.clear();
  for (std::string_view literal : {"sc", "cs", "rg", "pg", "Ab", "cd", "setcolor", "count"}) filter.add(literal, true);
  const std::string filler(70, 'x');
  const std::string job = filler + "SC cS Rg pG ab AB Cd cD setColor COUNT copy scx" + filler + "ab";
  for (std::size_t shift = 0; shift < 40; ++shift) {
    expect_same_positions(filter, std::string(shift, ' ') + job);
    expect_same_positions(filter, job.substr(0, job.size() - shift));
  }
}

}  // namespace

namespace {

// The offsets where "showpage" begins in any case.
std::vector<std::uint64_t> showpages(std::string_view bytes) {
  std::vector<std::uint64_t> out;
  for (std::uint64_t p = 0; p + 8 <= bytes.size(); ++p) {
    std::string word(bytes.substr(p, 8));
    for (char& c : word) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (word == "showpage") out.push_back(p);
  }
  return out;
}

// The walk asks for the next showpage with limits of its own: the answer is
// the word's offset (the end of the buffer when there is none) when that is
// below the limit, and at or past the limit otherwise, however the questions
// follow each other.
void expect_showpages(std::string_view bytes) {
  const ExactBuffer buffer(bytes);
  const std::uint64_t n = buffer.size();
  const std::vector<std::uint64_t> words = showpages(bytes);
  struct Asking {
    std::uint64_t step;   // how far the walk goes between questions
    std::uint64_t reach;  // how far ahead of it each question looks
  };
  for (const Asking asking : {Asking{1, 200}, Asking{13, 100}, Asking{97, 10200}, Asking{1, 1}, Asking{250, 7}}) {
    SCOPED_TRACE("step " + std::to_string(asking.step) + ", reach " + std::to_string(asking.reach));
    auto s = std::make_unique<PsScan>();
    s->start = buffer.data();
    s->end = buffer.data() + n;
    for (std::uint64_t p = 0; p < n; p += asking.step) {
      const std::uint64_t limit = p + asking.reach;
      const auto next = std::lower_bound(words.begin(), words.end(), p);
      const std::uint64_t word = next != words.end() ? *next : n;
      const std::uint64_t got = ps_next_showpage(s.get(), p, limit);
      if (word < limit) {
        ASSERT_EQ(got, word) << "at " << p;
      } else {
        ASSERT_GE(got, limit) << "at " << p;
      }
    }
  }
}

TEST(PsNextShowpage, FindsTheWordWithinEveryLimit) {
  const std::string text(300, 'x');
  const std::vector<std::string> jobs = {
      text + "showpage" + text + "ShowPage" + text.substr(0, 5) + "SHOWPAGE showpage" + text,
      text + "showpag" + text + "show page" + text,
      "showpage",
      "xshowpage",
      text + "showpage",
      text + "showpag",
      std::string(),
  };
  for (const std::string& job : jobs) {
    SCOPED_TRACE(job.size());
    expect_showpages(job);
  }
  for (const CorpusRow& row : corpus_rows_for_lang(1)) {
    SCOPED_TRACE(row.file);
    expect_showpages(sw_test::read_file(row.path));
  }
}

}  // namespace
