// The driver's CPCA and XPS steps: a Canon job and XPS packages from the
// corpus rewritten through the whole modification, read back by the CPCA
// extraction and by Python's zipfile and XML parser.
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/os_file.h"
#include "foundation/watermark.h"
#include "modify/modify_spool_file.h"
#include "modify_test_support.h"
#include "scan/cpca.h"
#include "support/pxl_strict_assert.h"

namespace {

using modify_test::extracted;

class ModifyStepsCpcaTest : public modify_test::ModifyTest {
 protected:
  void SetUp() override {
    ModifyTest::SetUp();
    job_.reset(analyzer_create_job_attribs());
    ASSERT_NE(job_, nullptr);
    std::strcpy(job_->job_id, "7");
    std::strcpy(job_->username, "alice");
    std::strcpy(job_->printer_name, "canon");
  }

  // The driver's output for the job at `path`, or "<failed>".
  std::string modify(const std::string& path, int language, const watermark_params& request) {
    job_->language = language;
    char out[OS_PATH_BUFFER_SIZE];
    if (modify_spool_file_to_temp_file(&request, job_.get(), path.c_str(), out, sizeof out) != 1) {
      return "<failed>";
    }
    out_ = out;
    return sw_test::read_file(out_);
  }
  void TearDown() override {
    if (!out_.empty()) std::remove(out_.c_str());
    ModifyTest::TearDown();
  }

  JobAttribsPtr job_;
  std::string out_;
};

TEST_F(ModifyStepsCpcaTest, CanonJobKeepsItsPrintDataAndGetsTheSettings) {
  watermark_params request{};
  request.force_duplex = 1;
  request.copies = 3;
  const std::string out = modify(corpus_dir() + "/cpca-gs-pxlmono-text-a4.pxl", LANG_PCL6, request);
  ASSERT_NE(out, "<failed>");
  EXPECT_NE(out.find(std::string("\x07\xD7\x00\x03", 4)), std::string::npos);  // copies 3
  EXPECT_NE(out.find(std::string("\x07\xDF\x04", 3)), std::string::npos);      // duplex
  EXPECT_FALSE(logged("Requested changes not performed"));
  // The print data inside the packets is what the planners make of the
  // job without its packets, but for the PJL lines: inside the packets the
  // settings packets carry copies and duplex (a QTY line there would
  // multiply the binder's copies).
  const std::string inner = extracted(out);
  std::string plain = modify(corpus_dir() + "/gs-pxlmono-text-a4.pxl", LANG_PCL6, request);
  const std::string pjl_lines = "@PJL SET QTY=3\n@PJL SET DUPLEX=ON\n@PJL SET BINDING=LONGEDGE\n";
  const auto at = plain.find(pjl_lines);
  ASSERT_NE(at, std::string::npos);
  plain.erase(at, pjl_lines.size());
  EXPECT_EQ(inner.find("@PJL SET QTY"), std::string::npos);
  EXPECT_TRUE(inner == plain) << "inner data differs from the plain job's rewrite";
}

// After unwrapping, the list's offsets are those of the unwrapped print
// data. Compression reads the rewrite back from a file: it must be that
// data, not the wrapped job, or the sizes differ and the whole rewrite
// (duplex with it) is dropped.
TEST_F(ModifyStepsCpcaTest, CompressionAfterUnwrappingKeepsTheRewrite) {
  const std::string path = corpus_dir() + "/cpca-gs-ljet4-text-a4.pcl";
  watermark_params request{};
  request.force_duplex = 1;
  const std::string plain = modify(path, LANG_PCL5_CANON, request);
  ASSERT_NE(plain, "<failed>");
  ASSERT_NE(plain, sw_test::read_file(path));
  request.gzip = 1;  // gzip
  const std::string zipped = modify(path, LANG_PCL5_CANON, request);
  ASSERT_NE(zipped, "<failed>");
  EXPECT_FALSE(logged("filesize mismatch"));
  EXPECT_FALSE(logged("replacement_list_post_process failed"));
  EXPECT_EQ(sw_test::command_output("gzip -dc " + write("out.gz", zipped)), plain);
  // The rewrite is a CPCA stream again, its print data the driver's PCL5
  // with the duplex command.
  EXPECT_NE(extracted(plain).find("\x1B&l1S"), std::string::npos);
}

// A Canon job that the driver wrote twice for two copies (Ghostscript's
// PCL XL in packets, repeated as such drivers repeat the job): the first
// copy is unwrapped and rewritten, and inline replication writes that
// rewrite twice, compressed or not, each copy a whole CPCA stream.
TEST_F(ModifyStepsCpcaTest, InlineCopiesOfACanonJobAreEachRewritten) {
  const std::string one = sw_test::read_file(corpus_dir() + "/cpca-gs-pxlmono-text-a4.pxl");
  ASSERT_FALSE(one.empty());
  const std::string path = write("copies.pxl", one + one);
  watermark_params request{};
  request.force_duplex = 1;
  job_->pages = 2;
  const std::string single = modify(corpus_dir() + "/cpca-gs-pxlmono-text-a4.pxl", LANG_PCL6,
                                    request);
  ASSERT_NE(single, "<failed>");
  const std::string inner = extracted(single);
  EXPECT_TRUE(sw_test::is_strict_pcl_xl(inner));
  EXPECT_NE(inner, extracted(one));
  job_->pages = 4;  // the analysis counts the pages of both copies
  const std::string out = modify(path, LANG_PCL6, request);
  EXPECT_TRUE(logged("plan_replacements_inline_copies: 2 copies"));
  EXPECT_TRUE(out == single + single) << out.size() << " bytes, not twice " << single.size();
  request.gzip = 1;  // gzip
  const std::string zipped = modify(path, LANG_PCL6, request);
  ASSERT_NE(zipped, "<failed>");
  EXPECT_TRUE(sw_test::command_output("gzip -dc " + write("out.gz", zipped)) == single + single);
}

TEST_F(ModifyStepsCpcaTest, XpsTicketsRewrittenOrTheJobLeftAlone) {
  watermark_params request{};
  request.force_grayscale = 1;
  const std::string out =
      modify(corpus_dir() + "/xps-pieces-ticket16-mixed-letter.xps", LANG_XPS, request);
  ASSERT_NE(out, "<failed>");
  EXPECT_EQ(sw_test::command_output(
                "python3 '" SW_SOURCE_DIR "/tests/modify/xps_tickets.py' show '" + out_ + "' 2>&1"),
            "Metadata/Job_PT.xml 3 psk:TwoSidedShortEdge psk:Grayscale\n");
  // No ticket to carry the change: the job prints as it is, and what was
  // not done is named.
  EXPECT_EQ(modify(corpus_dir() + "/gs-xpswrite-text-letter.xps", LANG_XPS, request), "<failed>");
  EXPECT_TRUE(logged("Requested changes not performed: grayscale"));
}

}  // namespace
