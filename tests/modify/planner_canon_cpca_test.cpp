// The CPCA planner and the packet fix-up, over Canon-style jobs made by the
// corpus generator (driver output from Ghostscript wrapped in CPCA packets
// by the packet model): settings edits, unwrapping, language edits on the
// inner data, re-wrapping with the packet lengths put right. The truth of a
// rewrite is the rewrite unwrapped again by the extraction and compared with
// the inner data edited by the same edits.
#include "modify/planner_canon_cpca.h"

#include <cstring>
#include <string>
#include <vector>

#include "foundation/bstrlib.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/mapped_mem.h"
#include "foundation/watermark.h"
#include "modify/cpca_packet_structure.h"
#include "modify/cpca_rewrite_check.h"
#include "modify/replacement_list.h"
#include "modify_test_support.h"
#include "support/cpca_packet.h"
#include "scan/cpca.h"

namespace {

using modify_test::ModifyTest;
using modify_test::asking;
using modify_test::extracted;

constexpr char PXL_JOB[] = "cpca-gs-pxlmono-text-a4.pxl";  // header byte, copies 2, 1 packet
constexpr char PCL_JOB[] = "cpca-gs-ljet4-text-a4.pcl";    // raw, duplex 02, 3 packets

struct Packet {
  std::uint16_t opcode;
  std::uint64_t offset;
  std::string params;
};

// The packets of a stream (none when it is not one).
std::vector<Packet> packets_of(const std::string& bytes) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  int count = 0;
  int error = 0;
  const CpcaPacketListPtr list(get_cpca_packet_list(data, bytes.size(), &count, &error));
  std::vector<Packet> out;
  for (int i = 0; list != nullptr && i < count; ++i) {
    const CpcaPacket& p = list.get()[i];
    out.push_back({p.opcode, p.offset, bytes.substr(p.offset + CPCA_HEADER_SIZE, p.param_len)});
  }
  return out;
}

std::string flattened(const std::uint8_t* data, std::uint64_t length, const ReplacementList* list) {
  const ReplacementListPtr sorted(replacement_list_clone(list));
  replacement_list_sort(sorted.get());
  const BstringPtr out(replacement_list_flatten(data, length, sorted.get()));
  if (out == nullptr) return "<not flattened>";
  return std::string(reinterpret_cast<const char*>(out->data), static_cast<std::size_t>(out->slen));
}

class CpcaPlannerTest : public ModifyTest {
 protected:
  // Maps `bytes` and runs the planner for a job of `language`.
  int plan(const std::string& bytes, const watermark_params& request, int language,
           const char* printer = "") {
    mm_.reset(create_mapped_mem(write("job.cpca", bytes).c_str()));
    if (mm_ == nullptr) return -1;
    list_.reset(replacement_list_create(mm_->size, -1, nullptr));
    job_.reset(analyzer_create_job_attribs());
    job_->language = language;
    std::snprintf(job_->printer_type, sizeof job_->printer_type, "%s", printer);
    allow_ = 1;
    is_cpca_ = 0;
    return plan_replacements_canon_cpca(&request, job_.get(), mm_.get(), list_.get(), &allow_,
                                        &is_cpca_);
  }
  std::string inner() const {
    return std::string(reinterpret_cast<const char*>(mm_->data), mm_->size);
  }
  // The inner data with the list's normal edits only.
  std::string inner_edited() const {
    const ReplacementListPtr normal(replacement_list_clone(list_.get()));
    std::erase_if(normal->replacements, [](const replacement_request& r) {
      return r.priority != REPLACEMENT_PRIORITY_NORMAL;
    });
    return flattened(mm_->data, mm_->size, normal.get());
  }
  // The re-wrapped job after the fix-up; "<failed>" when it fails.
  std::string rewrapped() {
    if (!replacement_list_adjust_packet_structure(mm_->data, mm_->size, list_.get())) {
      return "<failed>";
    }
    EXPECT_EQ(cpca_is_valid(mm_->data, mm_->size, list_.get()), 1);
    return flattened(mm_->data, mm_->size, list_.get());
  }
  msf_state state() const {
    msf_state s{};
    get_msf_state(list_.get(), &s);
    return s;
  }
  bool add(std::uint64_t offset, std::uint64_t len, const std::string& text) {
    return replacement_list_append2(list_.get(), static_cast<std::int64_t>(offset), len,
                                    text.data(), text.size()) == 1;
  }

  MappedMemPtr mm_;
  ReplacementListPtr list_;
  JobAttribsPtr job_;
  int allow_ = 1;
  int is_cpca_ = 0;
};

TEST_F(CpcaPlannerTest, UnwrapsTheDriversDataAndWrapsItAgainUnchanged) {
  struct Case {
    const char* file;
    const char* plain;  // the driver's output that the generator wrapped
    int language;
  };
  const Case cases[] = {{PXL_JOB, "gs-pxlmono-text-a4.pxl", LANG_PCL6},
                        {PCL_JOB, "gs-ljet4-text-a4.pcl", LANG_PCL5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string input = sw_test::corpus_bytes(c.file);
    ASSERT_EQ(plan(input, asking(0, 0, 0), c.language), 1);
    EXPECT_EQ(is_cpca_, 1);
    EXPECT_EQ(inner(), sw_test::corpus_bytes(c.plain));
    EXPECT_EQ(rewrapped(), input);
  }
}

// ---- hand-made streams (no tool here writes these packet layouts) ----

std::string packet(std::uint16_t opcode, const std::string& params) {
  return sw_test::cpca_packet(opcode, params);
}

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

const std::string BEGIN = packet(CPCA_OP_BEGIN, bytes({0, 0}));
const std::string END = packet(CPCA_OP_END, bytes({0, 0}));
// PostScript after the FF header byte.
const std::string DATA = packet(CPCA_OP_PRINT_DATA, "\xFF%!PS\n/x 1 def showpage\n");
const std::string PRE2 = packet(CPCA_OP_PREAMBLE_2, bytes({0, 0}));
const std::string PRE3 = packet(CPCA_OP_PREAMBLE_3, bytes({0, 0}));

std::string doc(std::initializer_list<int> params) {
  return packet(CPCA_OP_DOCUMENT, bytes(params));
}
std::string binder(std::initializer_list<int> params) {
  return packet(CPCA_OP_BINDER, bytes(params));
}

TEST_F(CpcaPlannerTest, SettingsEdits) {
  struct Case {
    const char* name;
    std::string input;
    watermark_params request;
    std::string expected;
    msf_state state;
    int language = LANG_CUPS_RASTER;  // not unwrapped: the settings edits alone
    const char* printer = "";
    int allow = 1;
  };
  const std::string dup1 = doc({0x07, 0xDF, 0x01});
  const std::string dup4 = doc({0x07, 0xDF, 0x04});
  const std::string setdoc1 = doc({0x00, 0x2E, 0x03, 0x02, 0x35, 0x63, 0x00});
  const std::string setdoc1_gray = doc({0x00, 0x2E, 0x03, 0x02, 0x35, 0x65, 0x00});
  const std::string setdoc3 = doc({0x09, 0x5B, 0x03, 0x00, 0x00});
  const std::string setdoc3_gray =
      doc({0x09, 0x5B, 0x02, 0x00, 0x00}) + doc({0x09, 0x4F, 0x01, 0x04, 0x02});
  const Case cases[] = {
      {"duplex 1 becomes 4",
       BEGIN + dup1 + DATA + END,
       asking(1, 0, 0),
       BEGIN + dup4 + DATA + END,
       {.duplex = 1}},
      {"duplex 3 is kept",
       BEGIN + doc({7, 0xDF, 3}) + DATA + END,
       asking(1, 0, 0),
       BEGIN + doc({7, 0xDF, 3}) + DATA + END,
       {.duplex = 1}},
      // An unknown value is left alone and duplex is not reported as done.
      {"duplex 2 unknown",
       BEGIN + doc({7, 0xDF, 2}) + DATA + END,
       asking(1, 0, 0),
       BEGIN + doc({7, 0xDF, 2}) + DATA + END,
       {}},
      {"duplex inserted",
       BEGIN + PRE3 + DATA + END,
       asking(1, 0, 0),
       BEGIN + PRE3 + dup4 + DATA + END,
       {.duplex = 1}},
      {"no place for duplex", BEGIN + DATA + END, asking(1, 0, 0), BEGIN + DATA + END, {}},
      {"copies and collation",
       BEGIN + PRE2 + binder({7, 0xD7, 0, 1}) + binder({7, 0xD8, 1}) + PRE3 + DATA + END,
       asking(0, 0, 3),
       BEGIN + PRE2 + binder({7, 0xD7, 0, 3}) + binder({7, 0xD8, 0x0B}) + PRE3 + DATA + END,
       {.copies = 1}},
      {"collation inserted",
       BEGIN + PRE2 + binder({7, 0xD7, 0, 1}) + PRE3 + DATA + END,
       asking(0, 0, 3),
       BEGIN + PRE2 + binder({7, 0xD7, 0, 3}) + binder({7, 0xD8, 0x0B}) + PRE3 + DATA + END,
       {.copies = 1}},
      {"copies inserted",
       BEGIN + PRE2 + PRE3 + DATA + END,
       asking(0, 0, 1),
       BEGIN + PRE2 + binder({7, 0xD7, 0, 1}) + PRE3 + DATA + END,
       {.copies = 1}},
      // The copy count fits the packet's 16 bits.
      {"copies capped",
       BEGIN + PRE2 + binder({7, 0xD7, 0, 1}) + binder({7, 0xD8, 0x0B}) + PRE3 + DATA + END,
       asking(0, 0, 1000000),
       BEGIN + PRE2 + binder({7, 0xD7, 0xFF, 0xFF}) + binder({7, 0xD8, 0x0B}) + PRE3 + DATA + END,
       {.copies = 1}},
      {"copies set elsewhere",
       BEGIN + binder({7, 0xD7, 0, 1}) + doc({7, 0xD7, 0, 2}) + DATA + END,
       asking(0, 0, 3),
       BEGIN + binder({7, 0xD7, 0, 1}) + doc({7, 0xD7, 0, 2}) + DATA + END,
       {}},
      // Grayscale on a printer of neither family: nothing changes, and the
      // change is not reported as done.
      {"grayscale elsewhere",
       BEGIN + setdoc1 + DATA + END,
       asking(0, 1, 0),
       BEGIN + setdoc1 + DATA + END,
       {}},
      {"grayscale first family",
       BEGIN + setdoc1 + DATA + END,
       asking(0, 1, 0),
       BEGIN + setdoc1_gray + DATA + END,
       {.grayscale = 1},
       LANG_PCL5,
       "Canon iR C4080 PCL5c"},
      {"grayscale second family",
       BEGIN + setdoc3 + DATA + END,
       asking(0, 1, 0),
       BEGIN + setdoc3_gray + DATA + END,
       {.grayscale = 1},
       LANG_POSTSCRIPT,
       "Canon iR-ADV C5535 PS",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(plan(c.input, c.request, c.language, c.printer), 1);
    if (c.language == LANG_CUPS_RASTER) {
      EXPECT_EQ(flattened(mm_->data, mm_->size, list_.get()), c.expected);
    } else {
      EXPECT_EQ(rewrapped(), c.expected);
    }
    EXPECT_EQ(state().duplex, c.state.duplex);
    EXPECT_EQ(state().grayscale, c.state.grayscale);
    EXPECT_EQ(state().copies, c.state.copies);
    EXPECT_EQ(allow_, c.allow);
  }
}

TEST_F(CpcaPlannerTest, SettingsForcedOnCorpusJobs) {
  // The PCL XL job has no duplex packet (one is inserted before its print
  // data) and copies 2 in its binder packet (3 asked for).
  const std::string input = sw_test::corpus_bytes(PXL_JOB);
  ASSERT_EQ(plan(input, asking(1, 0, 3), LANG_PCL6), 1);
  const std::string out = rewrapped();
  const std::vector<Packet> before = packets_of(input);
  const std::vector<Packet> after = packets_of(out);
  ASSERT_EQ(after.size(), before.size() + 1);
  std::size_t data = 0;
  while (before[data].opcode != CPCA_OP_PRINT_DATA) ++data;
  EXPECT_EQ(after[data].opcode, CPCA_OP_DOCUMENT);
  EXPECT_EQ(after[data].params, bytes({0x07, 0xDF, 0x04}));
  for (const Packet& p : after) {
    if (p.opcode == CPCA_OP_BINDER) {
      EXPECT_EQ(p.params, bytes({0x07, 0xD7, 0x00, 0x03}));
    }
  }
  EXPECT_EQ(extracted(out), sw_test::corpus_bytes("gs-pxlmono-text-a4.pxl"));
  EXPECT_EQ(state().duplex, 1);
  EXPECT_EQ(state().copies, 1);
}

// Language edits on the inner data: the re-wrapped job, unwrapped again,
// is the inner data with the same edits, whatever the packets' sizes.
TEST_F(CpcaPlannerTest, EditsInsideThePrintDataKeepTheStreamWhole) {
  const std::string big(10000, 'X');
  struct Edit {
    std::uint64_t offset;
    std::uint64_t len;
    std::string text;
  };
  struct Case {
    const char* name;
    const char* file;
    int language;
    std::vector<Edit> edits;
  };
  const Case cases[] = {
      {"one packet grows", PXL_JOB, LANG_PCL6, {{100, 0, std::string(30, 'w')}}},
      // Raw packets of 65516 bytes: any growth splits them.
      {"full packets split",
       PCL_JOB,
       LANG_PCL5,
       {{100, 0, std::string(30, 'w')}, {100000, 0, big}, {100000, 10, big}, {110000, 0, big}}},
      // A deletion over the boundary of the first two packets is charged to
      // both; shrinking edits count in a split.
      {"deletions",
       PCL_JOB,
       LANG_PCL5,
       {{1000, 0, big}, {2000, 9000, ""}, {65000, 5000, "d"}, {140000, 15000, ""}}},
      {"inserts at a packet's first byte",
       PCL_JOB,
       LANG_PCL5,
       {{65516, 0, big}, {65516, 0, big}, {65516, 3, big}}},
      {"header byte packets split",
       PXL_JOB,
       LANG_PCL6,
       {{10, 0, big},
        {20, 0, big},
        {30, 0, big},
        {40, 0, big},
        {50, 0, big},
        {50000, 0, big},
        {50001, 0, big}}},
      {"all data deleted", PXL_JOB, LANG_PCL6, {{0, 56754, "short"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(plan(sw_test::corpus_bytes(c.file), asking(0, 0, 0), c.language), 1);
    for (const Edit& e : c.edits) ASSERT_TRUE(add(e.offset, e.len, e.text));
    const std::string expected = inner_edited();
    const std::string out = rewrapped();
    ASSERT_NE(out, "<failed>");
    EXPECT_EQ(extracted(out), expected);
    for (const Packet& p : packets_of(out)) EXPECT_LE(p.params.size(), MAX_CPCA_PACKET);
  }
}

TEST_F(CpcaPlannerTest, EditsMadeBeforeUnwrappingFollowTheData) {
  // A PJL planner edits the PJL header inside the first print-data packet
  // of the wrapped job, and a settings byte before it.
  const std::string input = sw_test::corpus_bytes(PXL_JOB);
  const std::string plain = sw_test::corpus_bytes("gs-pxlmono-text-a4.pxl");
  const std::size_t enter = input.find("@PJL ENTER LANGUAGE");
  ASSERT_NE(enter, std::string::npos);
  mm_.reset(create_mapped_mem(write("job.cpca", input).c_str()));
  list_.reset(replacement_list_create(mm_->size, -1, nullptr));
  ASSERT_TRUE(add(enter, 0, "@PJL SET DUPLEX=ON\n"));
  job_.reset(analyzer_create_job_attribs());
  job_->language = LANG_PCL6;
  const watermark_params request = asking(0, 0, 0);
  ASSERT_EQ(plan_replacements_canon_cpca(&request, job_.get(), mm_.get(), list_.get(), &allow_,
                                         &is_cpca_),
            1);
  std::string expected = plain;
  expected.insert(plain.find("@PJL ENTER LANGUAGE"), "@PJL SET DUPLEX=ON\n");
  EXPECT_EQ(extracted(rewrapped()), expected);
}

TEST_F(CpcaPlannerTest, SettingsPacketsBetweenPrintDataStay) {
  // Raw PCL data (ESC right after the 20-byte headers) in two packets with
  // a settings packet between them.
  const std::string first = packet(CPCA_OP_PRINT_DATA,
                                   "\x1B"
                                   "E first page\x0C");
  const std::string second = packet(CPCA_OP_PRINT_DATA,
                                    "second page\x0C\x1B"
                                    "E");
  const std::string input =
      BEGIN + doc({7, 0xDF, 1}) + first + doc({7, 0xED, 0, 1, 0, 4}) + second + END;
  ASSERT_EQ(plan(input, asking(0, 0, 0), LANG_PCL5), 1);
  EXPECT_EQ(inner(),
            "\x1B"
            "E first page\x0C"
            "second page\x0C\x1B"
            "E");
  EXPECT_EQ(rewrapped(), input);
  // An edit in the second packet lands after the kept packet.
  ASSERT_EQ(plan(input, asking(0, 0, 0), LANG_PCL5), 1);
  ASSERT_TRUE(add(14, 0, "NEW "));
  const std::string out = rewrapped();
  EXPECT_EQ(out, BEGIN + doc({7, 0xDF, 1}) + first + doc({7, 0xED, 0, 1, 0, 4}) +
                     packet(CPCA_OP_PRINT_DATA,
                            "NEW second page\x0C\x1B"
                            "E") +
                     END);
}

TEST_F(CpcaPlannerTest, BadStreamsFailCleanly) {
  const std::string input = sw_test::corpus_bytes(PCL_JOB);
  struct Case {
    const char* name;
    std::string input;
    int result;
    const char* log;
  };
  const Case cases[] = {
      {"length past the end", input.substr(0, input.size() - 100), 0, "declares"},
      {"preamble after data", BEGIN + DATA + PRE2 + END, 0,
       "CPCA: Preamble after data or postamable"},
      {"data after postamble", BEGIN + DATA + END + DATA, 0, "CPCA: DAta after postamable"},
      {"no postamble", BEGIN + DATA, 0, "CPCA: Could not find data_index or postamble_index"},
      {"broken stream", BEGIN + "\xCD\xCB" + DATA.substr(2) + END, 0, "broken CPCA stream"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(plan(c.input, asking(1, 0, 2), LANG_PCL5), c.result);
    EXPECT_TRUE(logged(c.log));
    EXPECT_EQ(mm_->size, c.input.size());  // still the spool file
    mm_.reset();
    EXPECT_TRUE(temp_files().empty());
  }
}

TEST_F(CpcaPlannerTest, JobsLeftWrapped) {
  // Not CPCA: nothing to do.
  ASSERT_EQ(plan("%!PS\nshowpage\n", asking(1, 1, 2), LANG_POSTSCRIPT), 1);
  EXPECT_EQ(is_cpca_, 0);
  EXPECT_EQ(replacement_list_size(list_.get()), 0);
  // A language that is not unwrapped keeps its settings edits only.
  const std::string input = BEGIN + doc({7, 0xDF, 1}) + DATA + END;
  ASSERT_EQ(plan(input, asking(1, 0, 0), LANG_CUPS_RASTER), 1);
  EXPECT_EQ(is_cpca_, 1);
  EXPECT_EQ(mm_->size, input.size());
  EXPECT_TRUE(logged("Cannot re-assemble language"));
  EXPECT_EQ(replacement_list_adjust_packet_structure(mm_->data, mm_->size, list_.get()), 1);
}

TEST_F(CpcaPlannerTest, FixUpRefusals) {
  // Seven insertions of 10000 bytes at one offset cannot share a packet:
  // the fix-up fails and leaves the list as it was.
  ASSERT_EQ(plan(sw_test::corpus_bytes(PXL_JOB), asking(0, 0, 0), LANG_PCL6), 1);
  for (int i = 0; i < 7; ++i) ASSERT_TRUE(add(500, 0, std::string(10000, 'x')));
  const ReplacementListPtr before(replacement_list_clone(list_.get()));
  EXPECT_EQ(replacement_list_adjust_packet_structure(mm_->data, mm_->size, list_.get()), 0);
  EXPECT_EQ(replacement_list_equal(before.get(), list_.get()), 1);

  // An edit before the first packet header.
  const std::string data(100, 'a');
  const ReplacementListPtr list(replacement_list_create(data.size(), -1, nullptr));
  replacement_list_set_packet_adjuster(list.get(), cpca_packet_adjuster, cpca_packet_inserter);
  ASSERT_EQ(cpca_packet_inserter(list.get(), 10, 91, nullptr, 0), 1);
  ASSERT_EQ(replacement_list_append2(list.get(), 5, 1, "b", 1), 1);
  const auto* bytes_in = reinterpret_cast<const std::uint8_t*>(data.data());
  EXPECT_EQ(replacement_list_adjust_packet_structure(bytes_in, data.size(), list.get()), 0);
  EXPECT_TRUE(logged("Found a normal replacement without a packet header"));
  // A list without packet headers is left alone.
  const ReplacementListPtr plain(replacement_list_create(data.size(), -1, nullptr));
  ASSERT_EQ(replacement_list_append2(plain.get(), 5, 1, "b", 1), 1);
  EXPECT_EQ(replacement_list_adjust_packet_structure(bytes_in, data.size(), plain.get()), 1);
  EXPECT_EQ(replacement_list_size(plain.get()), 1);
}

}  // namespace
