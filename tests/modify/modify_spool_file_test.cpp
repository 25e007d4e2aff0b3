// The modification driver over real jobs: which languages take a
// watermark, the request's limits, compression, inline copies, each change
// checked on its own, and that a failed modification leaves no file behind
// and tells the user why.
#include "modify/modify_spool_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>

#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/mapped_mem.h"
#include "foundation/os_file.h"
#include "modify/modify_spool_file_internal.h"
#include "modify/planner_canon_ufr.h"
#include "modify/planner_inline_copies.h"
#include "modify/planner_table.h"
#include "modify_test_support.h"

namespace {

class ModifyDriverTest : public modify_test::ModifyTest {
 protected:
  void SetUp() override {
    ModifyTest::SetUp();
    set_watermark_commandline_mode(1);
    job_.reset(analyzer_create_job_attribs());
    ASSERT_NE(job_, nullptr);
    std::strcpy(job_->job_id, "42");
    std::strcpy(job_->username, "alice");
    std::strcpy(job_->printer_name, "office");
    std::strcpy(job_->document_name, "report");
  }
  void TearDown() override {
    set_watermark_commandline_mode(0);
    ModifyTest::TearDown();
  }

  // Runs the driver over `input` as a job of `language`; the output's bytes,
  // or "<failed>". What the user was told goes to told_.
  std::string modify(const std::string& input, int language, const watermark_params& request) {
    job_->language = language;
    const std::string in_path = write("job", input);
    char out[OS_PATH_BUFFER_SIZE];
    testing::internal::CaptureStderr();
    const int ok = modify_spool_file_to_temp_file(&request, job_.get(), in_path.c_str(), out,
                                                  sizeof out);
    told_ = testing::internal::GetCapturedStderr();
    if (ok != 1) {
      EXPECT_EQ(out[0], '\0');
      return "<failed>";
    }
    std::string bytes = sw_test::read_file(out);
    std::remove(out);
    return bytes;
  }

  JobAttribsPtr job_;
  std::string told_;
};

watermark_params watermark(const char* text) {
  watermark_params request{};
  std::strcpy(request.text, text);
  request.font_size = 20;
  request.gray_level = WATERMARK_GRAY_LIGHT;
  return request;
}

TEST_F(ModifyDriverTest, WatermarksGoOnlyWherePageSizeAndLanguageAllow) {
  struct Case {
    const char* file;
    int language;
    const char* paper;
    int position;
    const char* refusal;  // nullptr: the language check passes
  };
  const Case cases[] = {
      // PostScript places the mark from its own page: no paper size needed.
      {"gs-ps2write-text-letter.ps", LANG_POSTSCRIPT, "", WATERMARK_POSITION_BOTTOM, nullptr},
      {"gs-ljet4-text-a4.pcl", LANG_PCL5, "", WATERMARK_POSITION_BOTTOM,
       "Page size could not be detected"},
      {"gs-ljet4-text-a4.pcl", LANG_PCL5, "", WATERMARK_POSITION_TOP, nullptr},
      {"gs-ljet4-text-a4.pcl", LANG_PCL5, "A4", WATERMARK_POSITION_BOTTOM, nullptr},
      {"gs-pxlmono-text-a4.pxl", LANG_PCL6, "", WATERMARK_POSITION_BOTTOM, nullptr},
      {"gs-pdfwrite-text-a4.pdf", LANG_PDF, "A4", WATERMARK_POSITION_BOTTOM,
       "The print job is not PostScript or PCL which is required for watermarking."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " position " + std::to_string(c.position));
    ModifyRun run;
    run.request = watermark("DRAFT");
    run.request.position = c.position;
    run.job = job_.get();
    run.language = c.language;
    std::strcpy(job_->paper_size_name, c.paper);
    EXPECT_EQ(modify_watermark_language_ok(&run), c.refusal == nullptr ? 1 : 0);
    EXPECT_EQ(std::string(run.error_text).starts_with(c.refusal != nullptr ? c.refusal : ""),
              true)
        << run.error_text;
  }
}

TEST_F(ModifyDriverTest, AWatermarkOnPdfLeavesNoFileAndTellsTheUser) {
  const std::string input = sw_test::corpus_bytes("gs-pdfwrite-text-a4.pdf");
  watermark_params request = watermark("DRAFT");
  request.force_duplex = 1;  // a change the job could take does not save it
  EXPECT_EQ(modify(input, LANG_PDF, request), "<failed>");
  EXPECT_TRUE(temp_files().empty());
  EXPECT_NE(told_.find("Could not watermark. Please check that printer and driver are "
                       "PostScript or PCL."),
            std::string::npos)
      << told_;
  EXPECT_NE(told_.find("Did not modify spool file for job 'report' for user 'alice'"),
            std::string::npos);
  EXPECT_NE(told_.find("The print job is not PostScript or PCL"), std::string::npos);
  EXPECT_TRUE(logged("Watermarks are not supported for language 'PDF' on printer 'office'"));
}

TEST_F(ModifyDriverTest, RequestsAreBroughtIntoRange) {
  struct Case {
    double font_size;
    int gray;
    int position;
    double x;
    int copies;
    double want_font;
    int want_gray;
    int want_position;
    double want_x;
    int want_copies;
  };
  const Case cases[] = {
      {100, 7, 3, 5000, 2, 72, 2, 0, 2880, 2},
      {1, -1, -1, -5000, -3, 5, 2, 0, -2880, 0},
      {std::nan(""), 4, 2, std::nan(""), 100000, 72, 4, 2, 0, 9999},
      {12, 0, 1, -100, 9999, 12, 0, 1, -100, 9999},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.font_size);
    watermark_params r = watermark("X");
    r.font_size = c.font_size;
    r.gray_level = c.gray;
    r.position = c.position;
    r.x = c.x;
    r.y = c.x;
    r.copies = c.copies;
    modify_clamp_request(&r);
    EXPECT_DOUBLE_EQ(r.font_size, c.want_font);
    EXPECT_EQ(r.gray_level, c.want_gray);
    EXPECT_EQ(r.position, c.want_position);
    EXPECT_DOUBLE_EQ(r.x, c.want_x);
    EXPECT_DOUBLE_EQ(r.y, c.want_x);
    EXPECT_EQ(r.copies, c.want_copies);
  }
}

TEST_F(ModifyDriverTest, CompressionAloneWritesTheJobGzipped) {
  const std::string input = sw_test::corpus_bytes("gs-ljet4-text-a4.pcl");
  watermark_params request{};
  request.gzip = 1;
  const std::string out = modify(input, LANG_PCL5, request);
  const std::string zipped = write("out.gz", out);
  EXPECT_EQ(sw_test::command_output("gzip -t " + zipped + " && echo ok"), "ok\n");
  EXPECT_EQ(sw_test::command_output("gzip -dc " + zipped), input);
  EXPECT_EQ(told_, "");
  // The compressed and uncompressed intermediate files are gone.
  EXPECT_TRUE(temp_files().empty());
}

TEST_F(ModifyDriverTest, EachChangeIsCheckedAndWhatWasNotDoneIsNamed) {
  // No planner edits a PDF job's page data: forced duplex is not carried out.
  const std::string input = sw_test::corpus_bytes("gs-pdfwrite-text-a4.pdf");
  watermark_params request{};
  request.force_duplex = 1;
  EXPECT_EQ(modify(input, LANG_PDF, request), "<failed>");
  EXPECT_TRUE(logged("No attribute modifications performed."));
  EXPECT_TRUE(logged("Requested changes not performed: duplex"));
  EXPECT_NE(told_.find("Did not make any replacements in spool file"), std::string::npos);
  EXPECT_TRUE(temp_files().empty());
  // With compression there is a rewrite: it is written, and the user learns
  // that duplex was left out.
  request.gzip = 1;
  const std::string out = modify(input, LANG_PDF, request);
  EXPECT_EQ(sw_test::command_output("gzip -dc " + write("out.gz", out)), input);
  EXPECT_NE(told_.find("Modified spool file for job 'report' for user 'alice'"),
            std::string::npos)
      << told_;
  EXPECT_NE(told_.find("without: duplex"), std::string::npos);
}

TEST_F(ModifyDriverTest, NamesEveryChangeLeftUndone) {
  watermark_params request = watermark("W");
  request.force_duplex = 1;
  request.force_grayscale = 1;
  request.copies = 2;
  char out[MODIFY_NOT_DONE_SIZE];
  msf_state state{};
  state.duplex = 1;
  EXPECT_EQ(modify_changes_not_done(&request, state, out, sizeof out), 1);
  EXPECT_STREQ(out, "watermark,grayscale,copies");
  state = {.watermark = 1, .duplex = 1, .grayscale = 1, .copies = 1, .compress = 0};
  EXPECT_EQ(modify_changes_not_done(&request, state, out, sizeof out), 0);
  EXPECT_STREQ(out, "");
}

// A job of `copies` byte-identical copies of a real job, as drivers that
// print copies by repeating the job write it.
std::string repeated(const std::string& job, int copies) {
  std::string out;
  for (int i = 0; i < copies; ++i) out += job;
  return out;
}

TEST_F(ModifyDriverTest, InlineCopiesAreCutToOneAndWrittenAsOftenAsAsked) {
  const std::string one = sw_test::corpus_bytes("gs-pxlmono-text-a4.pxl");
  const std::string input = repeated(one, 3);
  const std::string in_path = write("copies.pxl", input);
  job_->language = LANG_PCL6;
  job_->pages = 3 * 2;  // the analysis counts the pages of every copy
  MappedMemPtr mm(create_mapped_mem(in_path.c_str()));
  ASSERT_NE(mm, nullptr);
  ReplacementListPtr list(replacement_list_create(mm->size, -1, nullptr));
  watermark_params request{};
  request.copies = 5;
  ASSERT_EQ(plan_replacements_inline_copies(&request, job_.get(), mm.get(), list.get()),
            one.size());
  // The mapping keeps its own length; only the list's view is one copy.
  EXPECT_EQ(mm->size, input.size());
  EXPECT_EQ(replacement_list_get_buffer_len(list.get()), one.size());
  EXPECT_EQ(list->inline_copies, 5);
  EXPECT_EQ(list->state.copies, 1);

  EXPECT_EQ(modify(input, LANG_PCL6, request), repeated(one, 5));
  // One copy asked for, compressed: the other copies must not follow it.
  request.copies = 1;
  request.gzip = 1;
  const std::string out = modify(input, LANG_PCL6, request);
  EXPECT_EQ(sw_test::command_output("gzip -dc " + write("out.gz", out)), one);
  EXPECT_TRUE(temp_files().empty());
}

TEST_F(ModifyDriverTest, AnOutputBesideTheInputIsCreatedNewOrNotAtAll) {
  // A file or a link planted at the output's name is neither followed nor
  // truncated.
  const std::string victim = write("victim", "keep");
  const std::string planted = temp_.file("planted");
  ASSERT_EQ(symlink(victim.c_str(), planted.c_str()), 0);
  // Nor is a link planted where a temporary file should be.
  EXPECT_EQ(modify_open_output(planted.c_str(), ModifyOutput::FRESH_TEMP), nullptr);
  for (const std::string& taken : {victim, planted}) {
    SCOPED_TRACE(taken);
    EXPECT_EQ(modify_open_output(taken.c_str(), ModifyOutput::CREATE_NEW), nullptr);
    EXPECT_EQ(sw_test::read_file(victim), "keep");
  }
  const std::string fresh = temp_.file("fresh.tm");
  std::FILE* out = modify_open_output(fresh.c_str(), ModifyOutput::CREATE_NEW);
  ASSERT_NE(out, nullptr);
  std::fclose(out);
  struct stat st {};
  ASSERT_EQ(stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  watermark_params request{};
  request.gzip = 1;
  EXPECT_EQ(modify_spool_file_new_file(&request, job_.get(), victim.c_str(), victim.c_str()), 0);
  EXPECT_TRUE(logged("cannot modify file to itself"));
  EXPECT_EQ(sw_test::read_file(victim), "keep");
  char small[4];
  EXPECT_EQ(modify_spool_file_to_temp_file(&request, job_.get(), victim.c_str(), small,
                                           sizeof small),
            0);
  EXPECT_TRUE(logged("modify_spool_file_to_temp_file: invalid params"));
}

TEST_F(ModifyDriverTest, AnXpsJobThatIsNoPackageIsPlannedAsWhatItIs) {
  const std::string input = sw_test::corpus_bytes("gs-ljet4-text-a4.pcl");
  watermark_params request{};
  request.gzip = 1;
  const std::string out = modify(input, LANG_XPS, request);
  EXPECT_EQ(sw_test::command_output("gzip -dc " + write("out.gz", out)), input);
  EXPECT_TRUE(logged("Found XPS recoded as 'PCL5'"));
}

TEST_F(ModifyDriverTest, JetReadyJobsAreRefused) {
  // hand-made: a PCL XL stream head naming JetReady (no Debian tool writes one)
  std::string input = sw_test::corpus_bytes("gs-pxlmono-text-a4.pxl");
  input.insert(0, "\x1b%-12345X@PJL COMMENT JetReady 4.0\r\n");
  watermark_params request{};
  request.gzip = 1;
  EXPECT_EQ(modify(input, LANG_PCL6, request), "<failed>");
  EXPECT_NE(told_.find("Cannot modify JetReady print jobs"), std::string::npos);
}

// hand-made: the head of a UFR job with its short binding record (no Debian
// tool writes UFR), field by field.
std::string ufr_head(bool with_prefix) {
  std::string head = "\xcd\xca\x10";                               // some leading bytes
  head += with_prefix ? std::string("\x01\xc1\x85\x10\x00\x10", 6)  // the record's prefix
                      : std::string("\x01\xc1\x85\x10\x00\x11", 6);
  head += std::string("\x77", 1);                                   // 7th byte before the record
  head += std::string("\xc2\x00\xd8\x84\x02\x58\xdd\x80\xc8\xf0\x84\x08\x00\x02\xc3\x64"
                      "\xc5\x00\xc6\x00\x51\xf2",
                      22);                                          // simplex: C5 00
  head += std::string(200, '\0');                                   // page data
  return head;
}

TEST_F(ModifyDriverTest, UfrDuplexTurnsTheSimplexRecordOnlyBehindItsPrefix) {
  EXPECT_EQ(get_planner_for_language(LANG_CANON_UFR), plan_replacements_canon_ufr);
  EXPECT_EQ(get_planner_for_language(LANG_PDF), nullptr);
  for (const bool prefix : {true, false}) {
    SCOPED_TRACE(prefix);
    const std::string input = ufr_head(prefix);
    watermark_params request{};
    request.force_duplex = 1;
    std::string expected = input;
    if (prefix) expected[10 + 17] = '\x01';
    const std::string out = modify(input, LANG_CANON_UFR, request);
    EXPECT_EQ(out, prefix ? expected : "<failed>");
  }
}

}  // namespace
