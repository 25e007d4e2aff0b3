// The planners every job gets before its page-language planner: XPIF
// tickets, Ricoh RPJL colour comments and NEC NPDL binding. Each rewrite is
// a splice of the real job; a flag is set only for a setting rewritten.
#include <cstring>
#include <string>

#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/watermark.h"
#include "modify/planner.h"
#include "modify/planner_before.h"
#include "modify/planner_xpif.h"
#include "modify/replacement_list.h"
#include "modify_test_support.h"

namespace {

using modify_test::ModifyTest;

struct Planned {
  int ok = 0;
  std::string out;
  msf_state state{};
};

Planned plan(replacement_planner planner, const std::string& input,
             const watermark_params& request, std::int64_t end_of_pjl, int language) {
  JobAttribsPtr job(analyzer_create_job_attribs());
  job->language = language;
  ReplacementListPtr list(replacement_list_create(input.size(), end_of_pjl, nullptr));
  const auto* data = reinterpret_cast<const std::uint8_t*>(input.data());
  Planned result;
  result.ok = planner(&request, job.get(), data, input.size(), list.get());
  get_msf_state(list.get(), &result.state);
  BstringPtr out(replacement_list_flatten(data, input.size(), list.get()));
  if (out != nullptr) result.out.assign(bdata(out.get()), blength(out.get()));
  return result;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// hand-made: an XPIF ticket in PJL XCPT lines as Xerox drivers write it (no
// Debian tool writes XPIF), before a real PostScript job.
std::string xpif_job(const std::string& template_attributes) {
  return "\x1b%-12345X@PJL JOB\n"
         "@PJL XCPT <?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "@PJL XCPT <!DOCTYPE xpif SYSTEM \"xpif-v02076.dtd\">\n"
         "@PJL XCPT <xpif version=\"1.0\" cpss-version=\"2.07\" xml:lang=\"en\">\n"
         "@PJL XCPT <job-template-attributes>\n" +
         template_attributes +
         "@PJL XCPT </job-template-attributes>\n"
         "@PJL XCPT </xpif>\n"
         "@PJL ENTER LANGUAGE=POSTSCRIPT\n" +
         sw_test::corpus_bytes("gs-ps2write-text-letter.ps");
}

constexpr char SIDES[] = "<sides syntax=\"keyword\">one-sided</sides>";
constexpr char COPIES[] = "<copies syntax=\"integer\">1</copies>";
constexpr char EFFECTS[] = "<color-effects-type syntax=\"keyword\">color</color-effects-type>";

TEST_F(ModifyTest, XpifTicketElementsAreRewrittenAndOnlyThoseFlagged) {
  const std::string full = xpif_job(std::string("@PJL XCPT ") + COPIES + "\n@PJL XCPT " + SIDES +
                                    "\n@PJL XCPT " + EFFECTS + "\n");
  const std::string no_sides =
      xpif_job(std::string("@PJL XCPT ") + COPIES + "\n@PJL XCPT " + EFFECTS + "\n");
  struct Case {
    const char* name;
    const std::string* input;
    watermark_params request;
    std::string want;
    msf_state flags;
  };
  const Case cases[] = {
      {"duplex", &full, {.force_duplex = 1},
       replaced(full, SIDES, "<sides syntax=\"keyword\">two-sided-long-edge</sides>"),
       {.duplex = 1}},
      {"grayscale", &full, {.force_grayscale = 1},
       replaced(full, EFFECTS,
                "<color-effects-type syntax=\"keyword\">monochrome-grayscale</color-effects-type>"),
       {.grayscale = 1}},
      {"copies", &full, {.copies = 12},
       replaced(full, COPIES, "<copies syntax=\"integer\">12</copies>"), {.copies = 1}},
      // No sides element: nothing rewritten, nothing claimed.
      {"duplex without sides", &no_sides, {.force_duplex = 1}, no_sides, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Planned p = plan(plan_replacements_xpif, *c.input, c.request, -1, LANG_POSTSCRIPT);
    EXPECT_EQ(p.ok, 1);
    EXPECT_EQ(p.out, c.want);
    EXPECT_EQ(p.state.duplex, c.flags.duplex);
    EXPECT_EQ(p.state.grayscale, c.flags.grayscale);
    EXPECT_EQ(p.state.copies, c.flags.copies);
  }
  // A job without a ticket is left alone.
  const std::string plain = sw_test::corpus_bytes("gs-ps2write-text-letter.ps");
  const Planned p = plan(plan_replacements_xpif, plain, {.force_duplex = 1}, -1, LANG_POSTSCRIPT);
  EXPECT_EQ(p.ok, 1);
  EXPECT_EQ(p.out, plain);
}

// hand-made: a Ricoh RPJL header (no Debian tool writes RPJL) before a real
// PCL XL job; the ENTER LANGUAGE line ends the header.
std::string rpjl_job(const char* mode) {
  return std::string("\x1b%-12345X@PJL JOB\r\n@PJL COMMENT RPJL,WIN2000,PCL6C,Aficio,") + mode +
         "\r\n@PJL ENTER LANGUAGE=PCLXL\r\n" + sw_test::corpus_bytes("gs-pxlcolor-mixed-a4.pxl");
}

TEST_F(ModifyTest, RicohColourCommentTurnsGrayOnlyInsideThePjlHeader) {
  for (const char* mode : {"COLOR", "AUTO"}) {
    SCOPED_TRACE(mode);
    const std::string input = rpjl_job(mode);
    const auto end_of_pjl = static_cast<std::int64_t>(input.find("@PJL ENTER LANGUAGE"));
    const Planned p = plan(plan_replacements_before, input, {.force_grayscale = 1}, end_of_pjl,
                           LANG_PCL6);
    EXPECT_EQ(p.ok, 1);
    EXPECT_EQ(p.out, replaced(input, std::string("Aficio,") + mode, "Aficio,GRAYSCALE"));
    EXPECT_EQ(p.state.grayscale, 1);
  }
  // Without a PJL header the planner has nothing to look at.
  const std::string input = rpjl_job("COLOR");
  const Planned p = plan(plan_replacements_before, input, {.force_grayscale = 1}, -1, LANG_PCL6);
  EXPECT_EQ(p.out, input);
  EXPECT_EQ(p.state.grayscale, 0);
}

// hand-made: an NPDL job for NEC printers (Ghostscript's npdl device writes
// no PJL header and no binding command): PJL header, ENTER LANGUAGE=NPDL,
// FS "'S" "0." FS selecting one-sided printing, then page data.
std::string npdl_job(bool with_simplex) {
  std::string job = "\x1b%-12345X@PJL JOB\r\n@PJL ENTER LANGUAGE=NPDL\r\n";
  if (with_simplex) job += "\x1c'S0\x1c";
  return job + sw_test::corpus_bytes("gs-npdl-text-a4.prn");
}

TEST_F(ModifyTest, NecBindingBecomesLongEdgeWhenTheJobSelectsOneSided) {
  const std::string input = npdl_job(true);
  const auto end_of_pjl = static_cast<std::int64_t>(input.find("@PJL ENTER LANGUAGE"));
  Planned p = plan(plan_replacements_before, input, {.force_duplex = 1}, end_of_pjl, 0);
  EXPECT_EQ(p.ok, 1);
  EXPECT_EQ(p.out, replaced(input, "\x1c'S0\x1c", "\x1c'B,F,3,0.\x1c"));
  EXPECT_EQ(p.state.duplex, 1);
  EXPECT_TRUE(logged("Found NPDL for duplex replacement"));
  // No one-sided command: nothing rewritten and duplex not claimed.
  const std::string plain = npdl_job(false);
  p = plan(plan_replacements_before, plain, {.force_duplex = 1}, end_of_pjl, 0);
  EXPECT_EQ(p.out, plain);
  EXPECT_EQ(p.state.duplex, 0);
}

}  // namespace
