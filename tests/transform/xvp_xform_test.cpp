// A transform run from script to rewritten job: edits at perl's match
// offsets, repeated jobs counted by Ghostscript and qpdf, the job header
// stripped with other edits placed at the original offsets (each copy of a
// stripped PCL XL job read by the strict reader), test mode, and the runs
// that must fail and leave the job as it is.
#include "transform/xvp_xform.h"

#include <filesystem>
#include <string>

#include "foundation/ja_languages.h"
#include "modify/replacement_list.h"
#include "support/pxl_strict_assert.h"
#include "transform_test_support.h"

namespace {

using transform_test::TransformTest;

const std::string UEL = "\x1B%-12345X";

class TransformRunTest : public TransformTest {
 protected:
  // Runs `script` as the target's script over `bytes`; the rewritten job, or
  // "<failed>", or "<unchanged>" for an empty list.
  std::string transformed(const std::string& bytes, int language, const std::string& script) {
    spool(bytes);
    ja_->language = language;
    const std::string path = script_file("custom/x/q2.name.transform", script);
    ReplacementList* raw = nullptr;
    const int ok = xvp_generate_replacements(ja_.get(), "q2", "", path.c_str(),
                                             spool_path_.c_str(), &raw, 1);
    ReplacementListPtr list(raw);
    if (!ok) {
      EXPECT_EQ(raw, nullptr);
      return "<failed>";
    }
    inline_copies_ = list->inline_copies;
    if (replacement_list_size(list.get()) == 0 && !replacement_list_has_modified_file(list.get()) &&
        list->inline_copies == 1) {
      return "<unchanged>";
    }
    if (!replacement_list_force_apply(list.get(), spool_path_.c_str())) return "<not applied>";
    return sw_test::read_file(replacement_list_get_modified_file(list.get()));
  }

  // Pages of a PostScript job: Ghostscript writes it as PDF, qpdf counts.
  int pdf_pages(const std::string& postscript) {
    const std::string ps = temp_.write("out.ps", postscript);
    const std::string pdf = temp_.file("out.pdf");
    sw_test::command_output("gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -o " +
                                   sw_test::shell_quote(pdf) + " " +
                                   sw_test::shell_quote(ps) + " 2>/dev/null");
    const std::string out =
        sw_test::command_output("qpdf --show-npages " + sw_test::shell_quote(pdf));
    return out.empty() ? -1 : std::stoi(out);
  }

  int inline_copies_ = 0;
};

TEST_F(TransformRunTest, NoScriptForTheLanguageLeavesTheJobAlone) {
  spool("%!PS\nshowpage\n");
  ReplacementList* raw = nullptr;
  ASSERT_EQ(xvp_generate_replacements(ja_.get(), "q2", "", nullptr, spool_path_.c_str(), &raw, 1),
            1);
  ReplacementListPtr list(raw);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(replacement_list_size(list.get()), 0);
  EXPECT_EQ(list->buffer_len, 14u);
  EXPECT_TRUE(logged("There are no transforms for printer language 'PostScript'"));
}

TEST_F(TransformRunTest, EditsAtTheirMatchesAndTheJobRepeated) {
  const std::string job = sw_test::corpus_bytes("gs-ps2write-text-letter.ps");
  const std::string out = transformed(job, LANG_POSTSCRIPT,
                                      "FIND /%%Creator: ([^\\n]*)/ REPLACE \"%%Creator: q2 for %tv_user%\"\n"
                                      "FIND \"%%EOF\" 0 LAST REPLACE \"%%EOF\"\n"
                                      "REPEAT_ALL 3\n");
  EXPECT_EQ(inline_copies_, 3);
  const std::string path = temp_.write("job.ps", job);
  const std::vector<std::string> creator = transform_test::perl_matches(path, "%%Creator: ([^\\n]*)");
  ASSERT_EQ(creator.size(), 1u);
  const std::size_t start = std::stoul(creator[0]);
  const std::size_t end = std::stoul(creator[0].substr(creator[0].find(' ') + 1));
  const std::string once = job.substr(0, start) + "%%Creator: q2 for alice" + job.substr(end);
  EXPECT_EQ(out, once + once + once);
  EXPECT_EQ(pdf_pages(out), 6);
}

TEST_F(TransformRunTest, StrippedHeaderWithANewOneAndEditsAtOriginalOffsets) {
  const std::string job = sw_test::corpus_bytes("cf-pstops-pjl-mixed-a4.ps");
  const std::size_t ps = job.find("%!PS");
  const std::size_t trailer = job.find("\x1B%-12345X", ps);
  const std::size_t title = job.find("%%Title:");
  const std::string out = transformed(job, LANG_POSTSCRIPT,
                                      "STRIP_HEADER\n"
                                      "ADD_HEADER \"%!PS-Adobe-3.0\\n%%For: q2\\n\"\n"
                                      "FIND \"%%Title:\" REPLACE \"%%Title: moved,\"\n"
                                      "REPEAT_ALL 2\n");
  const std::string once = "%!PS-Adobe-3.0\n%%For: q2\n" + job.substr(ps, title - ps) +
                           "%%Title: moved," + job.substr(title + 8, trailer - title - 8);
  EXPECT_EQ(out, once + once);
  EXPECT_EQ(pdf_pages(out), 8);
}

// The PCL XL of each copy, as the strip leaves it: the job's PJL header (or
// the one a job without it is given), the stream and the universal exit
// that ends it, no trailer.
TEST_F(TransformRunTest, StrippedPclXlCopiesAreEachAJobThePrinterReads) {
  const std::string header = "\x1B%-12345X@PJL JOB\n@PJL SET QTY=1\n@PJL ENTER LANGUAGE=PCLXL\n";
  const std::string gs = sw_test::corpus_bytes("gs-pxlcolor-mixed-a4.pxl");
  const std::size_t stream = gs.find(") HP-PCL XL");
  // Ghostscript's stream without the PJL around it (cut from its job).
  const std::string raw = gs.substr(stream, gs.rfind(UEL) - stream);
  struct Case {
    const char* name;
    std::string job;
    std::string once;  // one stripped copy
  };
  const std::string mono = sw_test::corpus_bytes("gs-pxlmono-text-a4.pxl");
  const std::string hpcups = sw_test::corpus_bytes("cf-hpcups-clj3600-text-a4.pcl");
  const Case cases[] = {
      // Ghostscript's job ends with the exit; hpcups' goes on with
      // "@PJL EOJ" and another exit, and its next copy opens with ESC E.
      {"gs-pxlmono-text-a4.pxl", mono, mono},
      {"cf-hpcups-clj3600-text-a4.pcl", hpcups,
       hpcups.substr(0, hpcups.find(UEL, hpcups.size() - 100) + UEL.size())},
      {"stream without PJL", raw, header + raw},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = transformed(c.job, LANG_PCL6, "STRIP_HEADER\nREPEAT_ALL 2\n");
    EXPECT_TRUE(out == c.once + c.once) << out.size() << " bytes, not twice " << c.once.size();
    EXPECT_TRUE(sw_test::is_strict_pcl_xl(out));
    const sw_test::PxlStrictRead read = sw_test::pxl_strict_read(out);
    ASSERT_EQ(read.streams.size(), 2u);
    for (const sw_test::PxlStrictStream& s : read.streams) EXPECT_TRUE(s.entered);
    EXPECT_EQ(read.pages(), 2 * sw_test::pxl_strict_read(c.once).pages());
  }
}

// STRIP_HEADER and a DELETE_UNTIL of the same header delete the same bytes:
// that is one deletion, and the job goes out stripped once. A deletion that
// cuts into another has no single meaning: the run fails and the log names
// both.
TEST_F(TransformRunTest, TheSameBytesDeletedTwiceAreOneDeletion) {
  const std::string job = sw_test::corpus_bytes("cf-pstops-pjl-mixed-a4.ps");
  const std::size_t ps = job.find("%!PS");
  const std::size_t trailer = job.find(UEL, ps);
  ASSERT_NE(ps, std::string::npos);
  const std::string stripped = job.substr(ps, trailer - ps);
  struct Case {
    const char* name;
    const char* script;
    std::string want;
  };
  const Case cases[] = {
      {"strip, then delete until", "STRIP_HEADER\nDELETE_UNTIL \"%!PS\"\n", stripped},
      {"delete until, then strip", "DELETE_UNTIL \"%!PS\"\nSTRIP_HEADER\n", stripped},
      {"with a new header", "STRIP_HEADER\nDELETE_UNTIL \"%!PS\"\nADD_HEADER \"%%x\\n\"\n",
       "%%x\n" + stripped},
      {"the same DELETE twice", "DELETE 10 10\nDELETE 10 10\n", job.substr(0, 10) + job.substr(20)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = transformed(job, LANG_POSTSCRIPT, c.script);
    EXPECT_TRUE(out == c.want) << out.substr(0, 200);
  }
  EXPECT_EQ(pdf_pages(stripped), 4);
  struct Partial {
    const char* script;
    std::string message;
  };
  const Partial partial[] = {
      {"STRIP_HEADER\nDELETE 0 10\n",
       "DELETE: deleting bytes 0 to 10 cuts into the deletion of bytes 0 to " + std::to_string(ps) +
           " by another edit or the stripped job header"},
      {"DELETE 10 10\nDELETE 15 10\n",
       "DELETE: deleting bytes 15 to 25 cuts into the deletion of bytes 10 to 20"},
  };
  for (const Partial& c : partial) {
    SCOPED_TRACE(c.script);
    EXPECT_EQ(transformed(job, LANG_POSTSCRIPT, c.script), "<failed>");
    EXPECT_TRUE(logged(c.message)) << c.message;
  }
}

TEST_F(TransformRunTest, ACanonJobIsStrippedOutOfItsPacketsButTakesNoOtherEdits) {
  const std::string cpca = sw_test::corpus_bytes("cpca-gs-pxlmono-text-a4.pxl");
  const std::string plain = sw_test::corpus_bytes("gs-pxlmono-text-a4.pxl");
  const std::string out = transformed(cpca, LANG_PCL6, "STRIP_HEADER\nREPEAT_ALL 2\n");
  EXPECT_TRUE(out == plain + plain);
  EXPECT_TRUE(sw_test::is_strict_pcl_xl(out));
  // Offsets of the wrapped job do not fit the unwrapped data.
  EXPECT_EQ(transformed(cpca, LANG_PCL6, "STRIP_HEADER\nINSERT 0 0 \"x\"\n"), "<failed>");
  EXPECT_TRUE(logged("STRIP_HEADER: the job was unwrapped, so other edits cannot be placed"));
}

TEST_F(TransformRunTest, StrippingALanguageWithoutHeaderDoesNothing) {
  const std::string job = sw_test::corpus_bytes("gs-pdfwrite-text-a4.pdf");
  const std::string out = transformed(job, LANG_PDF, "STRIP_HEADER\nINSERT -1 0 \"%tail\"\n");
  EXPECT_EQ(out, job + "%tail");
  EXPECT_TRUE(logged("STRIP_HEADER: PDF jobs have no job header to strip"));
}

TEST_F(TransformRunTest, RunsThatFailLeaveTheJobAsItIs) {
  const std::string pjl = sw_test::corpus_bytes("cf-pstops-pjl-mixed-a4.ps");
  std::string big = pjl;
  while (big.size() < (11u << 20)) big += pjl;  // 11 MiB
  struct Case {
    const char* name;
    const std::string* job;
    const char* script;
    const char* message;
  };
  const Case cases[] = {
      {"syntax", &pjl, "x = 1 +\n", "xvp_cook_mem failed!"},
      {"edit inside the stripped header", &pjl,
       "STRIP_HEADER\nFIND \"@PJL SET USERNAME\" REPLACE \"@PJL SET USERNAME=\\\"q2\\\"\"\n",
       "the edits overlap each other or the stripped job header"},
      {"overlapping edits", &pjl, "DELETE 10 10\nDELETE 15 10\n",
       "the edits overlap each other or the stripped job header"},
      {"too large when repeated", &big, "REPEAT_ALL 1000\n", "exceed the limit of 10737418240 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = transformed(*c.job, LANG_POSTSCRIPT, c.script);
    EXPECT_EQ(out, "<failed>");
    EXPECT_TRUE(logged(c.message)) << c.message;
  }
  EXPECT_TRUE(std::filesystem::is_empty(temp_.file("tmp")));
}

TEST_F(TransformRunTest, TestModeKeepsTheJobLogAndBothSpoolFiles) {
  const std::string job = sw_test::corpus_bytes("gs-ps2write-text-letter.ps");
  const std::string out = transformed(job, LANG_POSTSCRIPT, "ENABLE_TEST_MODE\nINSERT 0 0 \"%%x\\n\"\n");
  EXPECT_EQ(out, "%%x\n" + job);
  const std::string logs = temp_.file("transforms/logs/");
  EXPECT_EQ(sw_test::read_file(logs + "42.before"), job);
  EXPECT_EQ(sw_test::read_file(logs + "42.after"), out);
  const std::string job_log = sw_test::read_file(logs + "42.log");
  EXPECT_NE(job_log.find("Date/time: "), std::string::npos);
  EXPECT_NE(job_log.find("INSERT:       0   0: \"\"\"%%x"), std::string::npos);
  EXPECT_TRUE(logged("TRANSFORM LOGGING IS ENABLED! server='srv',printer='q1'"));
  // Without test mode the job log goes with the run; a missing logs
  // directory is made.
  std::filesystem::remove_all(logs);
  (void)transformed(job, LANG_POSTSCRIPT, "INSERT 0 0 \"%%x\\n\"\n");
  EXPECT_TRUE(std::filesystem::is_empty(logs));
}

TEST_F(TransformRunTest, ARepeatCountOutsideItsRangeIsRefused) {
  spool("0123456789");
  ReplacementList* out = nullptr;
  for (std::int32_t n : {0, 1001}) {
    EXPECT_EQ(insertion_list_apply(nullptr, {}, mm_, n, LANG_PCL5, &out), 0);
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_TRUE(logged("insertion_list_apply: invalid params: n_repeats=0"));
}

}  // namespace
