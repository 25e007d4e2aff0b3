// The CPCA packet model: real PCL XL and PCL5 jobs wrapped in packets by the
// corpus generator are listed, walked and extracted byte for byte; small
// hand-made streams show the limits and the faults once found.
#include "scan/cpca.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "scan/canon.h"
#include "scan_test_util.h"

namespace {

using scan_test::Bytes;
using scan_test::bytes;
using scan_test::concat;

// The driver's file that a wrapped corpus file carries: the row with the
// same chain (before ", in CPCA packets") and source.
CorpusRow unwrapped_row(const CorpusRow& wrapped) {
  const std::string chain = wrapped.chain.substr(0, wrapped.chain.find(", in CPCA packets"));
  for (auto& row : corpus_rows()) {
    if (row.chain == chain && row.source == wrapped.source) return row;
  }
  ADD_FAILURE() << "no unwrapped row for " << wrapped.file;
  return {};
}

TEST(CpcaTest, RealJobsInPacketsComeOutWhole) {
  const auto rows = scan_test::corpus_rows_with("in CPCA packets");
  ASSERT_GE(rows.size(), 2u);
  for (const CorpusRow& row : rows) {
    SCOPED_TRACE(row.file);
    const Bytes wrapped = bytes(sw_test::read_file(row.path));
    const Bytes original = bytes(sw_test::read_file(unwrapped_row(row).path));
    ASSERT_FALSE(original.empty());

    int count = 0;
    int error = -1;
    const CpcaPacketListPtr list(get_cpca_packet_list(wrapped.data(), wrapped.size(), &count, &error));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(list.get()[0].opcode, CPCA_OP_BEGIN);
    EXPECT_EQ(list.get()[count - 1].opcode, CPCA_OP_END);
    std::int64_t last = 0;
    int valid = 0;
    EXPECT_EQ(cpca_get_packet_count(wrapped.data(), wrapped.size(), -1, &last, &valid), count);
    EXPECT_EQ(valid, 1);
    EXPECT_EQ(last, static_cast<std::int64_t>(list.get()[count - 1].offset));

    char path[1024];
    ASSERT_EQ(extract_canon_cpca_content2(wrapped.data(), wrapped.size(), path, sizeof path), 1);
    ASSERT_NE(path[0], '\0');
    EXPECT_TRUE(bytes(sw_test::read_file(path)) == original) << "extracted data differs";
    std::remove(path);

    // The settings records the generator wrote, as the recipe asked.
    EXPECT_EQ(canon_has_canon_cpca(wrapped.data(), wrapped.size()), 1);
    EXPECT_EQ(canon_get_cpca_copycount(wrapped.data(), wrapped.size()), row.copies);
    EXPECT_EQ(canon_has_cpca_duplex(wrapped.data(), wrapped.size()), row.duplex ? 1 : 0);
    EXPECT_STREQ(canon_cpca_papersize(wrapped.data(), wrapped.size()),
                 row.paper == "A4" ? "A4" : "LETTER");
  }
}

TEST(CpcaTest, UnwrappedJobsAreNotCpca) {
  const Bytes pcl = scan_test::corpus_bytes("gs-ljet4-text-a4.pcl");
  int count = -1;
  int error = -1;
  EXPECT_EQ(get_cpca_packet_list(pcl.data(), pcl.size(), &count, &error), nullptr);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(cpca_get_packet_count(pcl.data(), pcl.size(), -1, nullptr, nullptr), -1);
  char path[64] = "untouched";
  EXPECT_EQ(extract_canon_cpca_content2(pcl.data(), pcl.size(), path, sizeof path), 1);
  EXPECT_STREQ(path, "") << "not CPCA: nothing written";
  EXPECT_EQ(canon_has_canon_cpca(pcl.data(), pcl.size()), 0);
  EXPECT_EQ(canon_get_cpca_copycount(pcl.data(), pcl.size()), 1);
}

// ---- Hand-made streams (field by field) ----

// Header: CD CA, 10 00 (10 02 for print data), opcode, 00 01, length, then
// FF FF + 8 x 00 (print data: 00 00 00 96 + 6 x 00); then the parameters.
Bytes packet(std::uint16_t opcode, const Bytes& params, std::uint16_t declared = 0xFFFF) {
  const bool data = opcode == CPCA_OP_PRINT_DATA;
  const std::uint16_t length = declared == 0xFFFF ? static_cast<std::uint16_t>(params.size())
                                                  : declared;
  Bytes out = {0xCD, 0xCA, 0x10, static_cast<std::uint8_t>(data ? 0x02 : 0x00),
               static_cast<std::uint8_t>(opcode >> 8), static_cast<std::uint8_t>(opcode),
               0x00, 0x01, static_cast<std::uint8_t>(length >> 8),
               static_cast<std::uint8_t>(length)};
  const Bytes tail = data ? Bytes{0, 0, 0, 0x96, 0, 0, 0, 0, 0, 0}
                          : Bytes{0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};
  return concat({out, tail, params});
}

const Bytes BEGIN = packet(CPCA_OP_BEGIN, {0, 0});
const Bytes END = packet(CPCA_OP_END, {0, 0});

TEST(CpcaTest, StreamMustStartInTheFirstKilobyte) {
  for (const std::size_t lead : {std::size_t{1023}, std::size_t{1024}}) {
    const Bytes data = concat({Bytes(lead, '@'), BEGIN, END});
    int count = 0;
    int error = -1;
    const CpcaPacketListPtr list(get_cpca_packet_list(data.data(), data.size(), &count, &error));
    EXPECT_EQ(list != nullptr, lead == 1023) << lead;
    EXPECT_EQ(count, lead == 1023 ? 2 : 0);
    EXPECT_EQ(error, 0);
  }
  // A first packet with another opcode, and one that does not fit.
  int count = 0;
  int error = -1;
  const Bytes settings = packet(CPCA_OP_DOCUMENT, {7, 0xED});
  EXPECT_EQ(get_cpca_packet_list(settings.data(), settings.size(), &count, &error), nullptr);
  EXPECT_EQ(get_cpca_packet_list(BEGIN.data(), 19, &count, &error), nullptr);
  EXPECT_EQ(error, 0);
  const Bytes one = {0xCD};
  EXPECT_EQ(get_cpca_packet_list(one.data(), 1, &count, &error), nullptr);
  EXPECT_EQ(get_cpca_packet_list(nullptr, 0, &count, &error), nullptr);
}

TEST(CpcaTest, BrokenStreamsAndShortLastPackets) {
  int count = 0;
  int error = -1;
  // A packet followed by garbage is a broken stream.
  const Bytes garbage = concat({BEGIN, bytes("garbage-garbage-garbage")});
  EXPECT_EQ(get_cpca_packet_list(garbage.data(), garbage.size(), &count, &error), nullptr);
  EXPECT_EQ(error, 1);
  std::int64_t last = 0;
  int valid = 1;
  EXPECT_EQ(cpca_get_packet_count(garbage.data(), garbage.size(), -1, &last, &valid), 1);
  EXPECT_EQ(valid, 0);
  // So is a next header cut short.
  const Bytes cut = concat({BEGIN, Bytes(BEGIN.begin(), BEGIN.begin() + 12)});
  EXPECT_EQ(get_cpca_packet_list(cut.data(), cut.size(), &count, &error), nullptr);
  EXPECT_EQ(error, 1);

  // A last print-data packet that declares more than the buffer holds ends
  // the list; its length is clamped, so extraction stays in the buffer.
  const Bytes data = bytes("\xFF" "\x1b%-12345X@PJL");
  const Bytes long_last =
      concat({BEGIN, packet(CPCA_OP_PRINT_DATA, data, static_cast<std::uint16_t>(60000))});
  const CpcaPacketListPtr list(
      get_cpca_packet_list(long_last.data(), long_last.size(), &count, &error));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(list.get()[1].param_len, data.size());
  char path[1024];
  ASSERT_EQ(extract_canon_cpca_content2(long_last.data(), long_last.size(), path, sizeof path), 1);
  EXPECT_EQ(sw_test::read_file(path), "\x1b%-12345X@PJL");
  std::remove(path);
}

TEST(CpcaTest, ExtractionSkipsTheHeaderByteOrNot) {
  char path[1024];
  // Raw data (ESC right after the 20-byte header): written whole; a packet
  // with nothing in it is written as nothing.
  const Bytes raw = concat({BEGIN, packet(CPCA_OP_PRINT_DATA, bytes("\x1b" "E page")),
                            packet(CPCA_OP_PRINT_DATA, {}),
                            packet(CPCA_OP_PRINT_DATA, bytes(" more")), END});
  ASSERT_EQ(extract_canon_cpca_content2(raw.data(), raw.size(), path, sizeof path), 1);
  EXPECT_EQ(sw_test::read_file(path), "\x1b" "E page more");
  std::remove(path);
  // Header bytes: each packet loses its first byte; one holding only that
  // byte, or nothing at all, gives nothing (no length below zero).
  const Bytes headed = concat({BEGIN, packet(CPCA_OP_PRINT_DATA, bytes("\xFF%!PS\n")),
                               packet(CPCA_OP_PRINT_DATA, bytes("\xFF")),
                               packet(CPCA_OP_PRINT_DATA, {}),
                               packet(CPCA_OP_PRINT_DATA, bytes("\xFFshowpage\n")), END});
  ASSERT_EQ(extract_canon_cpca_content2(headed.data(), headed.size(), path, sizeof path), 1);
  EXPECT_EQ(sw_test::read_file(path), "%!PS\nshowpage\n");
  std::remove(path);
}

TEST(CpcaTest, CountStopsAfterPrintData) {
  const Bytes data = concat({BEGIN, packet(CPCA_OP_PRINT_DATA, bytes("\xFF" "a")),
                             packet(CPCA_OP_PRINT_DATA, bytes("\xFF" "b")), END});
  std::int64_t last = 0;
  int valid = 0;
  EXPECT_EQ(cpca_get_packet_count(data.data(), data.size(), 1, &last, &valid), 2);
  EXPECT_EQ(last, static_cast<std::int64_t>(BEGIN.size()));
  EXPECT_EQ(cpca_get_packet_count(data.data(), data.size(), 0, &last, &valid), 0);
  EXPECT_EQ(valid, 1);
  EXPECT_EQ(cpca_get_packet_count(data.data(), data.size(), -1, &last, &valid), 4);
}

// A stream longer than the walk's limit is refused, never cut short (the
// extraction would silently drop the rest). Anonymous memory, reserved but
// never written beyond the packet headers.
TEST(CpcaTest, StreamBeyondTheWalkLimitIsRefused) {
  const std::uint64_t size = CPCA_WALK_LIMIT + 2 * 65536;
  void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                   -1, 0);
  ASSERT_NE(map, MAP_FAILED);
  auto* data = static_cast<std::uint8_t*>(map);
  const Bytes first = packet(CPCA_OP_BEGIN, {}, 65516);
  const Bytes next = packet(CPCA_OP_PRINT_DATA, {}, 65516);
  for (std::uint64_t at = 0; at + 65536 <= size; at += 65536) {
    const Bytes& header = at == 0 ? first : next;
    std::copy(header.begin(), header.end(), data + at);
  }
  std::int64_t last = 0;
  int valid = 1;
  EXPECT_GT(cpca_get_packet_count(data, size, -1, &last, &valid), 30000);
  EXPECT_EQ(valid, 0);
  int count = 0;
  int error = 0;
  EXPECT_EQ(get_cpca_packet_list(data, size, &count, &error), nullptr);
  EXPECT_EQ(error, 1);
  munmap(map, size);
}

TEST(CpcaTest, PacketLengthField) {
  Bytes header = BEGIN;
  cpca_put_packet_length(header.data(), MAX_CPCA_PACKET);
  EXPECT_EQ(cpca_get_packet_length(header.data()), MAX_CPCA_PACKET);
  cpca_put_packet_length(header.data(), MAX_CPCA_PACKET + 1);  // refused, not written
  EXPECT_EQ(cpca_get_packet_length(header.data()), MAX_CPCA_PACKET);
  EXPECT_EQ(cpca_get_packet_size(header.data()), CPCA_HEADER_SIZE);
  EXPECT_EQ(cpca_get_packet_size(packet(CPCA_OP_PRINT_DATA, {}).data()),
            CPCA_PRINT_DATA_HEADER_SIZE);
}

// ---- Record tests ----

TEST(CanonRecordsTest, PaperCodesAndShortBuffers) {
  EXPECT_STREQ(canon_int_to_papersize(11), "11x17");
  EXPECT_STREQ(canon_int_to_papersize(13), "LETTER");
  EXPECT_STREQ(canon_int_to_papersize(4), "");
  const Bytes short_stream = concat({BEGIN, Bytes(1023 - BEGIN.size(), 0)});
  ASSERT_EQ(short_stream.size(), 1023u);
  EXPECT_EQ(canon_has_canon_cpca(short_stream.data(), short_stream.size()), 0);
  // The trailing colour scan on buffers shorter than its reach.
  for (std::size_t n : {0u, 1u, 22u, 23u, 24u}) {
    const Bytes tiny(n, 0xCD);
    int color = 0;
    EXPECT_EQ(canon_has_cpca_grayscale(tiny.data(), tiny.size(), &color), 0) << n;
  }
}

TEST(CanonRecordsTest, ColourModeRecords) {
  struct Case {
    const char* name;
    Bytes data;
    int gray;
    int color;
  };
  const Bytes pad(64, 0);
  const Case cases[] = {
      {"PAGEHINT MONO", concat({BEGIN, bytes("\x1b&n32WbCANONSTRING PAGEHINT_COLOR=MONO"), pad}), 1,
       0},
      {"PAGEHINT NONE is colour", concat({BEGIN, bytes("CANONSTRING PAGEHINT_COLOR=none"), pad}),
       0, 1},
      // Document settings: 2E 03 02 35 65 behind the packet's first parameter byte.
      {"type 2", concat({BEGIN, packet(CPCA_OP_DOCUMENT, {0x00, 0x2E, 0x03, 0x02, 0x35, 0x65}), pad}),
       1, 0},
      {"type 3", concat({BEGIN, packet(CPCA_OP_DOCUMENT, {0x08, 0xCB, 0x00, 0x00}), pad}), 1, 0},
      // The colour record: 08, then CF 03 01 01 02 00 03 00, nine parameters.
      {"colour", concat({BEGIN, packet(CPCA_OP_DOCUMENT, {0x08, 0xCF, 0x03, 0x01, 0x01, 0x02, 0x00,
                                                          0x03, 0x00}),
                         pad}),
       0, 1},
      // Trailing settings (opcode 0x0012) with 09 6E and mode 03 at the end.
      {"trailing gray", concat({BEGIN, pad, packet(CPCA_OP_SETTINGS, {0x09, 0x6E, 0x03, 0}), END}),
       1, 0},
      {"trailing colour", concat({BEGIN, pad, packet(CPCA_OP_SETTINGS, {0x09, 0x6E, 0x01, 0}), END}),
       0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int color = 0;
    EXPECT_EQ(canon_has_cpca_grayscale(c.data.data(), c.data.size(), &color), c.gray);
    EXPECT_EQ(color, c.color);
  }
}

}  // namespace
