// Rows of the print-data corpus for analyzer tests.
//
// The corpus is made by tests/corpus/generate into the build tree (the CTest
// fixture "corpus"; a suite that reads it declares FIXTURES_REQUIRED corpus).
// tests/corpus/manifest.tsv lists each file with the language code that
// detection gives it and the truths of its source document, taken from
// Ghostscript and poppler, never from our own analyzers.
//
//   for (const auto& row : corpus_rows())
//     if (row.lang == 5) { ... read row.path, compare with row.pages ... }
//
// The manifest is read from SW_SOURCE_DIR, the files from SW_CORPUS_DIR in the
// environment when set, else SW_BINARY_DIR/corpus (both compile definitions
// of every test executable).
#pragma once

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct CorpusRow {
  std::string file;        // name inside the corpus directory
  std::string path;        // absolute path of the generated file
  std::string chain;       // the tool chain that made it
  int lang = -1;           // language code that detection gives the file
  std::string source;      // source variant, e.g. "mixed-a4", "command-clean"
  int pages = 0;           // pages of the source (0 for printer commands)
  int colour_pages = 0;    // colour pages of the source (inkcov)
  std::string paper;       // "A4", "Letter", "<w>x<h>pt" for a paper without a name,
                           // "-" for printer commands, or every page's, comma-separated
                           // ("A4,Letter,A4"), where the pages set their own
  bool colour_out = false; // the chain keeps colour
  int copies = 1;          // copies the recipe asked for
  bool duplex = false;     // the recipe asked for two-sided printing
  std::string note;        // why the code is what it is, where not plain

  // Colour pages that an analyzer of this file should report.
  [[nodiscard]] int expected_colour_pages() const { return colour_out ? colour_pages : 0; }
  // The first page's paper (rows whose pages set their own papers list them,
  // comma-separated).
  [[nodiscard]] std::string first_paper() const { return paper.substr(0, paper.find(',')); }
};

// Directory of the generated files.
inline std::string corpus_dir() {
  if (const char* env = std::getenv("SW_CORPUS_DIR"); env != nullptr && *env != '\0')
    return env;
  return std::string(SW_BINARY_DIR) + "/corpus";
}

// Path of the committed manifest.
inline std::string corpus_manifest_path() {
  return std::string(SW_SOURCE_DIR) + "/tests/corpus/manifest.tsv";
}

namespace corpus_detail {
inline std::vector<std::string> split_tabs(std::string_view line) {
  std::vector<std::string> cells;
  for (;;) {
    auto tab = line.find('\t');
    cells.emplace_back(line.substr(0, tab));
    if (tab == std::string_view::npos) return cells;
    line.remove_prefix(tab + 1);
  }
}

inline int to_int(const std::string& s) {
  int v = -1;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return (ec == std::errc{} && end == s.data() + s.size()) ? v : -1;
}
}  // namespace corpus_detail

// Every row of the manifest, in manifest order; empty when the manifest cannot
// be read or its column header is not the expected one.
inline std::vector<CorpusRow> corpus_rows() {
  static constexpr std::string_view HEADER =
      "file\tchain\tlang\tsource\tpages\tcolour_pages\tpaper\tcolour_out\tcopies\tduplex\tnote";
  std::vector<CorpusRow> rows;
  std::ifstream in(corpus_manifest_path());
  std::string line;
  bool header_seen = false;
  const std::string dir = corpus_dir();
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (!header_seen) {
      if (line != HEADER) return {};
      header_seen = true;
      continue;
    }
    auto c = corpus_detail::split_tabs(line);
    if (c.size() != 11) return {};
    CorpusRow r;
    r.file = c[0];
    r.path = dir + "/" + c[0];
    r.chain = c[1];
    r.lang = corpus_detail::to_int(c[2]);
    r.source = c[3];
    r.pages = corpus_detail::to_int(c[4]);
    r.colour_pages = corpus_detail::to_int(c[5]);
    r.paper = c[6];
    r.colour_out = c[7] == "1";
    r.copies = corpus_detail::to_int(c[8]);
    r.duplex = c[9] == "1";
    r.note = c[10];
    rows.push_back(std::move(r));
  }
  return rows;
}

// The row of the corpus file named `file`; empty when the manifest has none.
inline std::optional<CorpusRow> corpus_row_named(std::string_view file) {
  for (auto& r : corpus_rows()) {
    if (r.file == file) return std::move(r);
  }
  return std::nullopt;
}

// The rows whose detected language code is lang.
inline std::vector<CorpusRow> corpus_rows_for_lang(int lang) {
  std::vector<CorpusRow> out;
  for (auto& r : corpus_rows())
    if (r.lang == lang) out.push_back(std::move(r));
  return out;
}

// The number of a "key=N" word in a row's note (ink_colour=3, ...), or -1
// when the note has none.
inline int corpus_note_value(const CorpusRow& row, std::string_view key) {
  std::string_view note = row.note;
  while (!note.empty()) {
    const auto space = note.find(' ');
    const std::string_view word = note.substr(0, space);
    if (word.size() > key.size() && word.substr(0, key.size()) == key && word[key.size()] == '=') {
      return corpus_detail::to_int(std::string(word.substr(key.size() + 1)));
    }
    if (space == std::string_view::npos) break;
    note.remove_prefix(space + 1);
  }
  return -1;
}
