// The PJL planner over real drivers' headers: a job rewritten to grayscale,
// duplex or a copy count gets the header that the driver itself writes for
// that setting, and the bytes after the header are never touched. Hand-made
// headers only for what no driver in Debian writes (makers' comments,
// headers without any setting).
#include "modify/planner_pjl.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/watermark.h"
#include "modify/replacement_list.h"
#include "modify_test_support.h"

namespace {

using modify_test::ModifyTest;

struct Planned {
  int result = 0;
  std::string out;
  msf_state state{};
  std::int64_t edits = 0;
};

const std::uint8_t* bytes(const std::string& s) {
  return reinterpret_cast<const std::uint8_t*>(s.data());
}

watermark_params request_for(int duplex, int grayscale, int copies) {
  watermark_params request{};
  request.force_duplex = duplex;
  request.force_grayscale = grayscale;
  request.copies = copies;
  return request;
}

Planned plan(const std::string& input, const watermark_params& request, int language = LANG_PCL6,
             const char* printer_type = "") {
  Planned planned;
  char name[128];
  const std::int64_t end = detect_pjl_header(bytes(input), input.size(), name, sizeof name);
  ReplacementListPtr list(replacement_list_create(input.size(), end, name));
  JobAttribsPtr job(analyzer_create_job_attribs());
  job->language = language;
  std::snprintf(job->printer_type, sizeof job->printer_type, "%s", printer_type);
  planned.result =
      plan_replacements_pjl(&request, job.get(), bytes(input), input.size(), list.get());
  replacement_list_sort(list.get());
  EXPECT_EQ(replacement_list_is_valid(bytes(input), input.size(), list.get()), 1);
  get_msf_state(list.get(), &planned.state);
  planned.edits = replacement_list_size(list.get());
  BstringPtr out(replacement_list_flatten(bytes(input), input.size(), list.get()));
  if (out != nullptr) planned.out.assign(bdata(out.get()), blength(out.get()));
  return planned;
}

// The header: everything up to the end of the ENTER LANGUAGE line.
std::string header_of(const std::string& job) {
  const std::size_t enter = job.find("@PJL ENTER LANGUAGE");
  if (enter == std::string::npos) return {};
  return job.substr(0, job.find('\n', enter) + 1);
}

std::string after_header(const std::string& job) { return job.substr(header_of(job).size()); }

std::vector<std::string> sorted_lines(const std::string& header) {
  std::vector<std::string> lines;
  std::istringstream in(header);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST_F(ModifyTest, GrayscaleGivesTheHeaderTheMonochromeDriverWrites) {
  struct Case {
    const char* colour;
    const char* gray;
  };
  const Case cases[] = {
      {"gs-pxlcolor-mixed-a4.pxl", "gs-pxlmono-text-a4.pxl"},
      {"cf-pxlcolor-mixed-a4.pxl", "cf-pxlmono-text-letter.pxl"},
      {"cf-jcl-cm305-text-letter.pdf", "cf-jcl-cm305-gray-text-letter.pdf"},
  };
  for (const Case& c : cases) {
    const std::string colour = sw_test::corpus_bytes(c.colour);
    const std::string gray = sw_test::corpus_bytes(c.gray);
    const Planned planned = plan(colour, request_for(0, 1, 0));
    ASSERT_EQ(planned.result, 1) << c.colour;
    EXPECT_EQ(planned.state.grayscale, 1) << c.colour;
    EXPECT_EQ(header_of(planned.out), header_of(gray)) << c.colour;
    EXPECT_TRUE(after_header(planned.out) == after_header(colour)) << c.colour;
  }
}

TEST_F(ModifyTest, AHeaderThatAlreadyAsksForTheChangeGetsNoLines) {
  struct Case {
    const char* file;
    watermark_params request;
  };
  const Case cases[] = {
      {"gs-pxlmono-text-a4.pxl", request_for(0, 1, 0)},              // RENDERMODE=GRAYSCALE
      {"cf-jcl-cm305-gray-text-letter.pdf", request_for(0, 1, 0)},  // RENDERMODE=GRAYSCALE
      {"cf-jcl-cm3530-tumble-text-a4.pdf", request_for(1, 0, 0)},   // DUPLEX=ON, SHORTEDGE
      {"cf-hpcups-clj3700-tumble-mixed-a4.pcl", request_for(1, 0, 0)},
      {"cf-jcl-cm305-duplex-text-letter.pdf", request_for(1, 0, 0)},
  };
  for (const Case& c : cases) {
    const std::string job = sw_test::corpus_bytes(c.file);
    const Planned planned = plan(job, c.request);
    ASSERT_EQ(planned.result, 1) << c.file;
    EXPECT_TRUE(planned.out == job) << c.file;
    EXPECT_EQ(planned.state.duplex + planned.state.grayscale, 1) << c.file;
  }
}

TEST_F(ModifyTest, DuplexGivesTheHeaderTheDuplexDriverWrites) {
  {  // DUPLEX=OFF becomes ON and the binding follows it, where the PPD puts them
    const std::string simplex = sw_test::corpus_bytes("cf-jcl-cm305-text-letter.pdf");
    const std::string duplex = sw_test::corpus_bytes("cf-jcl-cm305-duplex-text-letter.pdf");
    const Planned planned = plan(simplex, request_for(1, 0, 0));
    ASSERT_EQ(planned.result, 1);
    EXPECT_EQ(planned.state.duplex, 1);
    EXPECT_EQ(header_of(planned.out), header_of(duplex));
    EXPECT_TRUE(after_header(planned.out) == after_header(simplex));
  }
  {  // no duplex line: both lines go before ENTER LANGUAGE
    const std::string simplex = sw_test::corpus_bytes("cf-hpcups-clj3600-copies3-text-a4.pxl");
    const std::string duplex = sw_test::corpus_bytes("cf-hpcups-clj3600-duplex-text-a4.pxl");
    const Planned planned = plan(simplex, request_for(1, 0, 0));
    ASSERT_EQ(planned.result, 1);
    EXPECT_EQ(sorted_lines(header_of(planned.out)), sorted_lines(header_of(duplex)));
    EXPECT_TRUE(after_header(planned.out) == after_header(simplex));
  }
}

TEST_F(ModifyTest, CopiesRewriteTheDriversCopyLine) {
  const std::string job = sw_test::corpus_bytes("cf-hpcups-clj3600-copies3-text-a4.pxl");
  const Planned planned = plan(job, request_for(0, 0, 4));
  ASSERT_EQ(planned.result, 1);
  EXPECT_EQ(planned.state.copies, 1);
  const std::string header = header_of(planned.out);
  EXPECT_NE(header.find("@PJL SET COPIES=4\n"), std::string::npos) << header;
  EXPECT_EQ(header.find("QTY"), std::string::npos) << header;  // COPIES matched: nothing added
  EXPECT_EQ(header.size(), header_of(job).size());

  // PostScript carries its copies in the job: the PJL lines stay.
  const Planned ps = plan(job, request_for(0, 0, 4), LANG_POSTSCRIPT);
  EXPECT_EQ(ps.edits, 0);
  EXPECT_EQ(ps.state.copies, 0);
}

// Hand-made headers: settings written the way drivers of other makers write
// them, which no driver in Debian produces.
TEST_F(ModifyTest, PjlRulesRewriteLinesAndInsertOnlyMissingSettings) {
  const std::string enter = "@PJL ENTER LANGUAGE=PCLXL\n";
  const std::string uel = "\x1b%-12345X";
  struct Case {
    const char* what;
    std::string header;
    watermark_params request;
    std::string expected;
  };
  const Case cases[] = {
      {"spacing around = kept, binding added",
       uel + "@PJL SET DUPLEX = OFF\n", request_for(1, 0, 0),
       uel + "@PJL SET DUPLEX = ON\n@PJL SET BINDING=LONGEDGE\n"},
      {"job's short-edge binding kept", uel + "@PJL SET DUPLEX=OFF\n@PJL SET BINDING=SHORTEDGE\n",
       request_for(1, 0, 0), uel + "@PJL SET DUPLEX=ON\n@PJL SET BINDING=SHORTEDGE\n"},
      {"no settings: the required lines", uel, request_for(1, 0, 0),
       uel + "@PJL SET DUPLEX=ON\n@PJL SET BINDING=LONGEDGE\n"},
      {"carriage returns kept", uel + "@PJL SET DUPLEX=OFF\r\n", request_for(1, 0, 0),
       uel + "@PJL SET DUPLEX=ON\r\n@PJL SET BINDING=LONGEDGE\r\n"},
      {"match limit 1: the second QTY stays",
       uel + "@PJL SET QTY=1\n@PJL SET QTY=1\n@PJL SET COPIES=1\n", request_for(0, 0, 3),
       uel + "@PJL SET QTY=3\n@PJL SET QTY=1\n@PJL SET COPIES=3\n"},
      {"no copy line: QTY inserted", uel, request_for(0, 0, 2), uel + "@PJL SET QTY=2\n"},
      {"colour planes off, black kept",
       uel + "@PJL SET SELECTCOLORC=ON\n@PJL SET SELECTCOLORK=ON\n", request_for(0, 1, 0),
       uel + "@PJL SET SELECTCOLORC=OFF\n@PJL SET SELECTCOLORK=ON\n"},
      {"black plane turned back on", uel + "@PJL SET SELECTCOLORK=OFF\n@PJL SET RENDERMODE=COLOR\n",
       request_for(0, 1, 0), uel + "@PJL SET SELECTCOLORK=ON\n@PJL SET RENDERMODE=GRAYSCALE\n"},
      {"colour mode brings its planes and K mode", uel + "@PJL SET COLORMODE=COLOR\n",
       request_for(0, 1, 0),
       uel + "@PJL SET COLORMODE=BW\n@PJL SET PLANESINUSE=1\n@PJL SET KCOLORMODE=MONO\n"},
      {"Toshiba comment", uel + "@PJL COMMENT DSSC PRINT DUPLEX=0\n", request_for(1, 0, 0),
       uel + "@PJL COMMENT DSSC PRINT DUPLEX=1\n"},
      {"Ricoh print info keeps its group",
       uel + "@PJL SET PRINTINFO=\"DUPLEX_NUP=00000000/abc\"\n", request_for(1, 0, 0),
       uel + "@PJL SET PRINTINFO=\"DUPLEX_NUP=00000001/abc\"\n"},
      {"Kyocera comment: changed items only, ;\" kept",
       uel + "@PJL COMMENT=\"DUPLEX OFF; QTY 2;COLORMODE COLOR ; x;\"\n@PJL SET QTY=2\n"
             "@PJL SET DUPLEX=OFF\n@PJL SET RENDERMODE=COLOR\n",
       request_for(1, 1, 1),
       uel + "@PJL COMMENT=\"DUPLEX ON; QTY 1;COLORMODE MONO ; x;\"\n@PJL SET QTY=1\n"
             "@PJL SET DUPLEX=ON\n@PJL SET BINDING=LONGEDGE\n@PJL SET RENDERMODE=GRAYSCALE\n"},
  };
  for (const Case& c : cases) {
    const std::string job = c.header + enter + "payload";
    const Planned planned = plan(job, c.request);
    ASSERT_EQ(planned.result, 1) << c.what;
    const std::string out = planned.out;
    EXPECT_EQ(out.substr(0, out.find("@PJL ENTER")), c.expected) << c.what;
  }
}

TEST_F(ModifyTest, AHeaderWithoutColourLinesGetsEachRequiredLineOnce) {
  const std::string job = "\x1b%-12345X@PJL ENTER LANGUAGE=PCL\nx";
  const Planned planned = plan(job, request_for(0, 1, 0), LANG_PCL5);
  ASSERT_EQ(planned.result, 1);
  EXPECT_EQ(planned.edits, 1);
  const std::string inserted = planned.out.substr(9, planned.out.size() - job.size());
  EXPECT_EQ(std::count(inserted.begin(), inserted.end(), '\n'), 13) << inserted;
  EXPECT_EQ(inserted.find("SELECTCOLORK"), std::string::npos);
}

TEST_F(ModifyTest, DetectPjlHeaderFindsTheEnterLanguageLine) {
  struct Case {
    std::string data;
    std::int64_t offset;
    const char* name;
  };
  const std::string pad(60, ' ');
  const Case cases[] = {
      {"\x1b%-12345X@PJL ENTER LANGUAGE = PCLXL\n" + pad, 9, "PCLXL"},
      {"@PJL SET A=1\n@PJL ENTER LANGUAGE=POSTSCRIPT\r\n" + pad, 13, "POSTSCRIPT"},
      {"@PJL ENTER LANGUAGE=PCL\n", 0, ""},  // within 50 bytes of the end
      {"no header at all" + pad, -1, ""},
      {std::string(20480, 'x') + "@PJL ENTER LANGUAGE=PCL\n" + pad, -1, ""},
  };
  for (const Case& c : cases) {
    char name[16] = "junk";
    EXPECT_EQ(detect_pjl_header(bytes(c.data), c.data.size(), name, sizeof name), c.offset);
    EXPECT_STREQ(name, c.name);
  }
  const std::string long_name = "@PJL ENTER LANGUAGE=AVERYLONGNAME\n" + pad;
  char small[6];
  EXPECT_EQ(detect_pjl_header(bytes(long_name), long_name.size(), small, sizeof small), 0);
  EXPECT_STREQ(small, "AVERY");
}

TEST_F(ModifyTest, AJobWithoutPjlHeaderIsLeftAlone) {
  const Planned planned = plan("%!PS-Adobe-3.0\nshowpage\n", request_for(1, 1, 2));
  EXPECT_EQ(planned.result, 1);
  EXPECT_EQ(planned.edits, 0);
  EXPECT_EQ(planned.state.duplex + planned.state.grayscale + planned.state.copies, 0);
}

}  // namespace
