// The PostScript decode filters. ASCII85 texts are Python's base64.a85encode
// output; the LZW truth is Ghostscript itself: the prolog that ps2write
// compresses must decode to the prolog it writes uncompressed.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "analysis/analysis_test_util.h"
#include "analysis/ps_filters.h"
#include "corpus/corpus.h"
#include "support/files.h"
#include "support/zlib_deflate.h"

namespace {

using analysis_test::ExactBuffer;

std::string a85(std::string_view text, std::uint64_t capacity = 64) {
  const ExactBuffer in(text);
  std::vector<std::uint8_t> out(capacity + 1, 0xEE);
  const std::int64_t n = ps_85filter(in.data(), in.size(), out.data(), capacity);
  EXPECT_EQ(out[capacity], 0xEE) << "wrote past the capacity";
  return std::string(reinterpret_cast<const char*>(out.data()), static_cast<std::size_t>(n));
}

// Everything a stage gives, read in pieces of `piece_size` bytes (small
// ones split groups, codes and runs between two reads).
std::string drain(PsSourcePtr source, bool* failed = nullptr, std::uint64_t piece_size = 7) {
  std::string out;
  std::vector<std::uint8_t> piece(piece_size);
  for (std::uint64_t n; source != nullptr && (n = source->read(piece.data(), piece.size())) > 0;) {
    out.append(reinterpret_cast<const char*>(piece.data()), n);
  }
  if (failed != nullptr) *failed = source == nullptr || source->failed();
  return out;
}

PsSourcePtr bytes_of(const std::string& text) {
  return ps_source_bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

TEST(PsFiltersTest, Ascii85DecodesAdobeText) {
  struct Case {
    const char* name;
    std::string in;
    std::string out;
    std::uint64_t capacity = 64;
  };
  const Case cases[] = {
      {.name = "full groups and a short last one", .in = "87cURD_*#4DfTZ)+T~>", .out = "Hello, World!"},
      {.name = "z is four zero bytes", .in = "z@:E_W~>", .out = std::string("\0\0\0\0abcd", 8)},
      {.name = "white space anywhere", .in = "87c UR\nD_*#4\r\nD fTZ)+T~>", .out = "Hello, World!"},
      {.name = "two digits give one byte", .in = "5l~>", .out = "A"},
      {.name = "three digits give two bytes", .in = "5sb~>", .out = "AB"},
      {.name = "four digits give three bytes", .in = "5sdp~>", .out = "ABC"},
      {.name = "input cut inside a group", .in = "87cURD_*", .out = "Hell"},
      {.name = "room for a group only while five bytes remain", .in = "87cURD_*#4DfTZ)+T~>",
       .out = "Hello, W", .capacity = 12},
      {.name = "no room at all", .in = "87cURD]", .out = "", .capacity = 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(a85(c.in, c.capacity), c.out);
    if (c.capacity == 64) {
      EXPECT_EQ(drain(ps_source_ascii85(bytes_of(c.in))), c.out);
    }
  }
}

// The compressed prolog of ps2write output and the prolog it writes
// without compression.
struct Prologs {
  std::string compressed;  // ASCII85 of LZW, up to the end of the file
  std::string plain;       // behind "%%BeginProlog\n" of the uncompressed output
};
Prologs prologs() {
  Prologs p;
  for (const CorpusRow& row : corpus_rows()) {
    if (row.file != "gs-ps2write-compressed-mixed-a4.ps" && row.file != "gs-ps2write-mixed-a4.ps") continue;
    const std::string bytes = sw_test::read_file(row.path);
    if (row.file == "gs-ps2write-compressed-mixed-a4.ps") {
      const auto at = bytes.find("/LZWDecode filter cvx exec");
      if (at != std::string::npos) p.compressed = bytes.substr(at + 27);
    } else if (row.file == "gs-ps2write-mixed-a4.ps") {
      const auto at = bytes.find("%%BeginProlog\n");
      if (at != std::string::npos) p.plain = bytes.substr(at + 14);
    }
  }
  return p;
}

TEST(PsFiltersTest, LzwDecodesWhatGhostscriptCompressed) {
  const Prologs p = prologs();
  ASSERT_FALSE(p.compressed.empty());
  ASSERT_GT(p.plain.size(), std::size_t{PS_PROLOG_DECODE_CAPACITY});
  const ExactBuffer in(p.compressed);
  const PsDecoded one_shot = decode_compressed_ps(in.data(), in.size(), 1, 1);
  ASSERT_EQ(one_shot.size, PS_PROLOG_DECODE_CAPACITY);  // cut at the buffer's capacity
  EXPECT_EQ(std::memcmp(one_shot.bytes.get(), p.plain.data(), PS_PROLOG_DECODE_CAPACITY), 0);
  // The stages decode the whole prolog, in small pieces, to its end code.
  bool failed = true;
  const std::string whole = drain(ps_source_lzw(ps_source_ascii85(bytes_of(p.compressed))), &failed, 1021);
  EXPECT_FALSE(failed);
  ASSERT_GT(whole.size(), std::size_t{PS_PROLOG_DECODE_CAPACITY});
  EXPECT_EQ(whole, p.plain.substr(0, whole.size()));
}

// Hand-made code streams (no tool writes broken LZW): 9-bit codes, most
// significant bit first.
std::string lzw_codes(std::initializer_list<int> codes) {
  std::string out;
  std::uint32_t bits = 0;
  int count = 0;
  for (int code : codes) {
    bits = (bits << 9) | static_cast<std::uint32_t>(code);
    count += 9;
    while (count >= 8) {
      out.push_back(static_cast<char>((bits >> (count - 8)) & 0xff));
      count -= 8;
    }
  }
  if (count > 0) out.push_back(static_cast<char>((bits << (8 - count)) & 0xff));
  return out;
}

TEST(PsFiltersTest, LzwCodeStreams) {
  struct Case {
    const char* name;
    std::string in;
    std::int64_t result;
    std::string out;
    int end_seen;
  };
  const Case cases[] = {
      {"clear, literals, a table code, end", lzw_codes({256, 'A', 'B', 258, 257}), 4, "ABAB", 1},
      {"no clear at the start, no end code", lzw_codes({'A', 'B', 258}), 4, "ABAB", 0},
      {"the code not yet in the table", lzw_codes({'A', 'B', 259, 257}), 4, "ABBB", 1},
      {"a code two above the table", lzw_codes({256, 'A', 'B', 260}), -1, "", 0},
      {"a table code right after a clear", lzw_codes({256, 'A', 256, 258}), -1, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ExactBuffer in(c.in);
    std::uint8_t out[32];
    int end_seen = -1;
    const std::int64_t n = ps_filter_lzw(in.data(), in.size(), out, sizeof out, &end_seen);
    EXPECT_EQ(n, c.result);
    EXPECT_EQ(end_seen, c.end_seen);
    if (n > 0) {
      EXPECT_EQ(std::string(reinterpret_cast<char*>(out), static_cast<std::size_t>(n)), c.out);
    }
  }
  const ExactBuffer bad(lzw_codes({256, 'A', 'B', 260}));
  EXPECT_EQ(decode_ascii85_lzw(bad.data(), bad.size(), 1, 1).bytes, nullptr);
}

TEST(PsFiltersTest, RunLengthCopiesWholeLiteralRuns) {
  // Hand-made: a literal run of 3 bytes whose middle byte is 128 (only the
  // length byte 128 ends the data), a repeat run, the end, one separating
  // byte, and a second stream.
  const std::string in("\x02" "A\x80" "B" "\xfe" "x" "\x80" "\n" "\x00" "C" "\x80", 11);
  EXPECT_EQ(drain(ps_source_run_length(bytes_of(in), false)), std::string("A\x80" "Bxxx", 6));
  EXPECT_EQ(drain(ps_source_run_length(bytes_of(in), true)), std::string("A\x80" "BxxxC", 7));
}

std::string deflate(const std::string& text) {
  std::string out = sw_test::zlib_deflate(text, 9);
  EXPECT_FALSE(out.empty());
  return out;
}

TEST(PsFiltersTest, FlateDataErrorsAreFailures) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "1 0 0 rg 0 0 10 10 re f ";
  const std::string good = deflate(text);
  std::string bad = good;
  bad[0] = '\0';  // not a zlib header
  std::string cut = good.substr(0, 2) + good.substr(7);  // the stream's first bytes lost
  // Room to spare: the data check at the end of the stream is read too.
  std::vector<std::uint8_t> out(text.size() + 100);
  const ExactBuffer g(good);
  EXPECT_EQ(ps_filter_inflate(g.data(), g.size(), out.data(), out.size()),
            static_cast<std::int64_t>(text.size()));
  EXPECT_EQ(std::memcmp(out.data(), text.data(), text.size()), 0);
  EXPECT_EQ(ps_filter_inflate(g.data(), g.size(), out.data(), 100), 100);  // stops when full
  const ExactBuffer b(bad);
  EXPECT_EQ(ps_filter_inflate(b.data(), b.size(), out.data(), out.size()), -1);
  const ExactBuffer c(cut);
  EXPECT_EQ(ps_filter_inflate(c.data(), c.size(), out.data(), out.size()), -1);
  bool failed = false;
  (void)drain(ps_source_inflate(bytes_of(bad)), &failed);
  EXPECT_TRUE(failed);
  EXPECT_EQ(ps_filter_inflate(nullptr, 0, out.data(), out.size()), 0);
}

// The check value at the end of a zlib stream is compared with what came
// out, wherever it falls in the pieces the stage reads its input in (the
// stage reads 512 bytes first): a changed byte of it is a failure.
TEST(PsFiltersTest, FlateCheckValuesAreComparedAcrossReads) {
  std::string random;
  std::uint32_t seed = 12345;
  for (int i = 0; i < 600; ++i) {
    seed = seed * 1103515245u + 12345u;
    random += static_cast<char>(seed >> 24);
  }
  // Samples that do not compress: zlib stores them, so the stream is 11
  // bytes longer than they are and its check value ends at byte n + 11.
  for (std::size_t n = 495; n <= 510; ++n) {
    SCOPED_TRACE(n);
    const std::string text = random.substr(0, n);
    const std::string good = deflate(text);
    ASSERT_EQ(good.size(), n + 11);
    for (std::size_t changed : {std::size_t{0}, good.size() - 4, good.size() - 1}) {
      std::string stream = good;
      if (changed > 0) stream[changed] = static_cast<char>(stream[changed] ^ 0x01);
      bool failed = true;
      const std::string out = drain(ps_source_inflate(bytes_of(stream)), &failed);
      EXPECT_EQ(failed, changed > 0) << "byte " << changed << " changed";
      EXPECT_EQ(out, text);
    }
  }
}

}  // namespace
