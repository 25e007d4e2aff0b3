// Preprocessors: the PJL header and trailer taken off PostScript jobs, the
// trailer taken off PCL XL jobs written by Ghostscript, CUPS and hpcups (and
// a PJL header given to one that has none), languages left alone, and the
// wrappers no tool here writes (hand-made, annotated below).
#include "modify/preprocess.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "foundation/ja_languages.h"
#include "modify_test_support.h"
#include "support/pxl_strict_assert.h"

namespace {

using modify_test::ModifyTest;

constexpr char UEL[] = "\x1B%-12345X";

// The cleaned copy of the file at `path` for the language; "<failed>", or
// "<none>" when the language has no preprocessing.
std::string cleaned(const std::string& path, int language) {
  char out[4096] = "";
  if (!preprocess_spool_file(path.c_str(), language, out, sizeof out, 0)) return "<failed>";
  if (out[0] == '\0') return "<none>";
  std::string result = sw_test::read_file(out);
  std::remove(out);
  return result;
}

// The end of the job's PCL XL data: after the first universal exit in its
// last 1000 bytes that follow the enter-language line.
std::size_t data_end_of(const std::string& job) {
  const std::size_t data = job.find('\n', job.find("@PJL ENTER LANGUAGE")) + 1;
  return job.find(UEL, std::max(job.size() > 1000 ? job.size() - 1000 : 0, data)) +
         std::strlen(UEL);
}

// The printer is told the language by the job's own PJL header, which stays;
// the trailer goes, so that a transform can put its own after the data, but
// the universal exit that ends the PCL XL data stays with it (hpcups' jobs
// open with a PCL reset that must not follow PCL XL data directly).
TEST_F(ModifyTest, PclXlKeepsItsPjlHeaderAndLosesItsTrailer) {
  for (const char* file :
       {"gs-pxlmono-text-a4.pxl", "cf-pxlcolor-mixed-a4.pxl", "cf-hpcups-clj3600-text-a4.pcl"}) {
    SCOPED_TRACE(file);
    const std::string input = sw_test::corpus_bytes(file);
    const std::size_t end = data_end_of(input);
    ASSERT_LT(end, input.size() + 1);
    const std::string out = cleaned(write("job.pxl", input), LANG_PCL6);
    EXPECT_TRUE(out == input.substr(0, end)) << out.size() << " bytes, not " << end;
    EXPECT_TRUE(sw_test::is_strict_pcl_xl(out));
  }
}

// A PCL XL stream without a PJL header (as a driver's data reaches the
// spooler when no PJL is wrapped around it; cut from Ghostscript's job)
// gets the PJL header that names the language, once.
TEST_F(ModifyTest, PclXlWithoutEnterLanguageGetsThePjlHeaderOnce) {
  const std::string header = "\x1B%-12345X@PJL JOB\n@PJL SET QTY=1\n@PJL ENTER LANGUAGE=PCLXL\n";
  for (const char* file : {"gs-pxlmono-text-a4.pxl", "gs-pxlcolor-mixed-a4.pxl"}) {
    SCOPED_TRACE(file);
    const std::string job = sw_test::corpus_bytes(file);
    const std::size_t start = job.find(") HP-PCL XL");
    const std::string stream = job.substr(start, job.rfind(UEL) - start);
    for (const std::string& input : {stream, stream + UEL}) {
      const std::string out = cleaned(write("raw.pxl", input), LANG_PCL6);
      EXPECT_TRUE(out == header + input) << out.substr(0, 80);
      EXPECT_TRUE(sw_test::is_strict_pcl_xl(out));
      const sw_test::PxlStrictRead read = sw_test::pxl_strict_read(out);
      ASSERT_EQ(read.streams.size(), 1u);
      EXPECT_TRUE(read.streams[0].entered);
      EXPECT_EQ(read.pages(), sw_test::pxl_strict_read(job).pages());
    }
  }
}

// Pages Ghostscript renders from a PostScript file (inkcov lines).
int rendered_pages(const std::string& path) {
  const std::string out = sw_test::command_output(
      "gs -q -dBATCH -dNOPAUSE -dSAFER -o - -sDEVICE=inkcov '" + path + "' 2>/dev/null");
  int pages = 0;
  for (std::size_t at = out.find("CMYK"); at != std::string::npos; at = out.find("CMYK", at + 1)) {
    ++pages;
  }
  return pages;
}

TEST_F(ModifyTest, ACanonJobIsTakenOutOfItsCpcaPacketsFirst) {
  const std::string plain = sw_test::corpus_bytes("gs-pxlmono-text-a4.pxl");
  const std::string input = sw_test::corpus_bytes("cpca-gs-pxlmono-text-a4.pxl");
  ASSERT_EQ(input.substr(0, 2), "\xCD\xCA");  // CPCA packets
  const std::string out = cleaned(write("job.cpca", input), LANG_PCL6);
  EXPECT_TRUE(out == plain.substr(0, data_end_of(plain)));
  EXPECT_TRUE(temp_files().empty());  // the unwrapped data went with the run
}

TEST_F(ModifyTest, PostScriptLosesTheWholePjlTrailerNotOnlyItsLastExit) {
  // CUPS's pstops wraps the job: UEL @PJL JOB ... ENTER LANGUAGE = POSTSCRIPT,
  // and after it UEL @PJL RDYMSG ... @PJL EOJ UEL.
  const std::string input = sw_test::corpus_bytes("cf-pstops-pjl-mixed-a4.ps");
  const std::size_t start = input.find("%!PS");
  const std::size_t trailer = input.find(UEL, start);
  ASSERT_NE(trailer, std::string::npos);
  ASSERT_NE(input.rfind(UEL), trailer);  // two exits in the trailer
  const std::string out = cleaned(write("job.ps", input), LANG_POSTSCRIPT);
  EXPECT_EQ(out, input.substr(start, trailer - start));
  EXPECT_EQ(out.find("@PJL"), std::string::npos);
  EXPECT_EQ(rendered_pages(write("clean.ps", out)), 4);
}

TEST_F(ModifyTest, JobsWithoutWrappersComeOutUnchanged) {
  struct Case {
    const char* file;
    int language;
    bool copied;  // a copy is written (else the language has no preprocessing)
  };
  const Case cases[] = {
      {"gs-ps2write-text-letter.ps", LANG_POSTSCRIPT, true},
      {"gs-ljet4pjl-mixed-a4.pcl", LANG_PCL5, true},
      {"gs-pdfwrite-text-a4.pdf", LANG_PDF, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string input = sw_test::corpus_bytes(c.file);
    EXPECT_EQ(cleaned(write("job", input), c.language), c.copied ? input : "<none>");
  }
  EXPECT_TRUE(temp_files().empty());
}

TEST_F(ModifyTest, WindowsDoubleUntilTheTrailerIsReached) {
  // The pstops job with 3 MiB of PostScript comment lines after its prolog:
  // the trailer lies beyond the first two windows.
  const std::string input = sw_test::corpus_bytes("cf-pstops-pjl-mixed-a4.ps");
  const std::size_t body = input.find("%%EndComments\n") + 14;
  std::string padded = input.substr(0, body);
  while (padded.size() < (3u << 20)) padded += "% padding line of a large job\n";
  padded += input.substr(body);
  const std::string out = cleaned(write("big.ps", padded), LANG_POSTSCRIPT);
  const std::size_t start = padded.find("%!PS");
  EXPECT_EQ(out, padded.substr(start, padded.find(UEL, start) - start));
  for (const char* window : {"bytes_to_do=1048576=", "bytes_to_do=2097152="}) {
    EXPECT_TRUE(logged(window)) << window;
  }
  EXPECT_TRUE(logged("bytes_to_do=" + std::to_string(padded.size()) + "="));
}

TEST_F(ModifyTest, HandMadeWrappers) {
  struct Case {
    const char* name;
    std::string input;
    int language;
    std::string expected;  // "<failed>" when the preprocessing fails
  };
  const std::string pxl_page =
      // PCL XL page start: ubyte 0x13 (a media size above 18) attr_ubyte
      // MediaSize (F8 25), BeginPage (43); then ubyte 2 (A4) MediaSize BeginPage.
      std::string(") HP-PCL XL;2;0\n") + std::string(20, '\0') + "\xC0\x13\xF8\x25\x43" +
      "\xC0\x02\xF8\x25\x43" +
      // Image data that happens to hold F8 25 43 without the ubyte tag.
      "\x99\x14\xF8\x25\x43";
  const Case cases[] = {
      // A leading XPIF ticket ends with its closing tag.
      {"xpif", "<?xml version=\"1.0\"?><xpif><job-name>x</job-name></xpif>\n%!PS\nshowpage\n",
       LANG_POSTSCRIPT, "%!PS\nshowpage\n"},
      {"xpif without end", "<?xml version=\"1.0\"?><xpif><job-name>x</job-name>\n%!PS\n",
       LANG_POSTSCRIPT, "<failed>"},
      // Kyocera PRESCRIBE groups "!R!...;EXIT;" in the head of a PCL5 job.
      {"kyocera", "!R!RES;EXIT;\x1B" "E\x1B&l0O!R!SEM6;EXIT;text\x0C", LANG_PCL5,
       "\x1B" "E\x1B&l0Otext\x0C"},
      // An Oce wrapper around the print data.
      {"oce", "*OceJobBegin\n*OceJobData\n%!PS\nshowpage\n*OceJobEnd\n", LANG_PCL5,
       "\n%!PS\nshowpage\n"},
      // ctrl-D bytes before the trailer's exit go with it.
      {"ctrl-d", "%!PS\nshowpage\n\x04\x04\x1B%-12345X@PJL EOJ\n", LANG_POSTSCRIPT,
       "%!PS\nshowpage\n"},
      // Media-size codes above 18 become Letter (0), only where the ubyte
      // tag shows that the byte is an attribute value; the stream has no
      // PJL header, so it gets one.
      {"pcl xl media size", pxl_page, LANG_PCL6,
       [&] {
         std::string s = pxl_page;
         s[s.find('\x13')] = '\0';
         return "\x1B%-12345X@PJL JOB\n@PJL SET QTY=1\n@PJL ENTER LANGUAGE=PCLXL\n" + s;
       }()},
      // KIP drivers: control-byte runs shrink, but lines are kept.
      {"kip", "junk%!PS-Adobe-3.0 KIP Unified\r\n\r\n/a 1 def\t\t/b 2 def\r\n", LANG_POSTSCRIPT,
       "%!PS-Adobe-3.0 KIP Unified\n\n/a 1 def\t/b 2 def\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(cleaned(write("job", c.input), c.language), c.expected);
  }
}

}  // namespace
