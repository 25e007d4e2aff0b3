// The PJL header reader and the header step: what real drivers write, the
// settings no free driver writes (hand-made lines), the window rules, and
// the rules by which a header changes a job record.
#include "scan/pjl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "scan_test_util.h"

namespace {

using scan_test::Bytes;
using scan_test::bytes;

// Hand-made job: universal exit, the given PJL lines, ENTER LANGUAGE, then
// 400 bytes standing in for page data (no "@" in them), so that every line
// lies before the last 150 bytes.
Bytes pjl_job(const std::string& lines) {
  return bytes(std::string(PJL_UEL) + lines + "@PJL ENTER LANGUAGE=PCL\r\n\x1b" "E" +
               std::string(400, 'x'));
}

PjlHeaderInfo parse(const Bytes& data, int* result = nullptr) {
  PjlHeaderInfo header;
  const int r = pjl_parse_header(data.data(), data.size(), &header);
  if (result != nullptr) *result = r;
  return header;
}

// ---- Real driver output ----

struct DriverCase {
  const char* file;
  int result;
  int grayscale;
  int color;
  int duplex;
  int tumble;
  int copies;
  const char* paper;
  const char* job_name;
};

TEST(PjlHeaderTest, ReadsWhatRealDriversWrite) {
  const DriverCase cases[] = {
      // Ghostscript's PCL XL devices name the render mode only.
      {.file = "gs-pxlmono-text-a4.pxl", .result = 1, .grayscale = 1, .copies = -1, .paper = "",
       .job_name = ""},
      {.file = "gs-pxlcolor-mixed-a4.pxl", .result = 1, .color = 1, .copies = -1, .paper = "",
       .job_name = ""},
      // ljet4pjl writes a bare "@PJL" and ENTER LANGUAGE: nothing to take.
      {.file = "gs-ljet4pjl-mixed-a4.pcl", .result = 0, .copies = -1, .paper = "", .job_name = ""},
      // hpcups writes COPIES=1 (the copies are pages) and its duplex lines.
      {.file = "cf-hpcups-clj3600-text-a4.pcl", .result = 1, .copies = 1, .paper = "",
       .job_name = ""},
      {.file = "cf-hpcups-clj3600-duplex-text-a4.pxl", .result = 1, .duplex = 1, .copies = 1,
       .paper = "", .job_name = ""},
      {.file = "cf-hpcups-clj3700-tumble-mixed-a4.pcl", .result = 1, .duplex = 1, .tumble = 1,
       .copies = -1, .paper = "", .job_name = ""},
      // cupsfilter names the job after its input file.
      {.file = "cf-rastertopclx-designjet600-text-a4.pcl", .result = 1, .copies = -1, .paper = "",
       .job_name = "text-a4.pdf"},
      // The PPD's JCL in front of PDF.
      {.file = "cf-jcl-cm3530-tumble-text-a4.pdf", .result = 1, .duplex = 1, .tumble = 1,
       .copies = -1, .paper = "A4", .job_name = "text-a4.pdf"},
      {.file = "cf-jcl-cm305-gray-text-letter.pdf", .result = 1, .grayscale = 1, .copies = -1,
       .paper = "LETTER", .job_name = "text-letter.pdf"},
  };
  for (const DriverCase& c : cases) {
    SCOPED_TRACE(c.file);
    int result = -1;
    const PjlHeaderInfo h = parse(scan_test::corpus_bytes(c.file), &result);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(h.grayscale, c.grayscale);
    EXPECT_EQ(h.color, c.color);
    EXPECT_EQ(h.duplex, c.duplex);
    EXPECT_EQ(h.tumble, c.tumble);
    EXPECT_EQ(h.copies, c.copies);
    EXPECT_STREQ(h.paper_name, c.paper);
    EXPECT_STREQ(h.job_name, c.job_name);
  }
}

// ---- Settings that no free driver writes (hand-made lines) ----

struct LineCase {
  const char* name;
  std::string lines;
  int copies = -1;
  int qty = -1;
  int duplex = 0;
  int duplex_off = 0;
  int tumble = 0;
  int grayscale = 0;
  int color = 0;
  int paper_width = -1;
  int paper_length = -1;
  const char* paper = "";
  const char* job_name = "";
  const char* driver = "";
  const char* model = "";
};

TEST(PjlHeaderTest, TakesEachSettingsFirstOccurrence) {
  const LineCase cases[] = {
      {.name = "first COPIES counts, lower case matches",
       .lines = "@pjl set copies = 3\r\n@PJL SET COPIES=5\r\n",
       .copies = 3},
      {.name = "XCPT copies override COPIES",
       .lines = "@PJL SET COPIES=2\n@PJL XCPT <copies syntax=\"integer\">7</copies>\n",
       .copies = 7},
      {.name = "QTY and COPIES",
       .lines = "@PJL SET QTY=2\n@PJL SET COPIES=4\n",
       .copies = 4,
       .qty = 2},
      {.name = "QTY 0 and COPIES 0 are no counts",
       .lines = "@PJL SET QTY=0\n@PJL SET COPIES=0\n"},
      {.name = "a count too long for 32 bits saturates",
       .lines = "@PJL SET COPIES=99999999999999999999\n",
       .copies = 2147483647},
      {.name = "duplex words, off, tumble",
       .lines = "@PJL SET DUPLEX=OFF\n@PJL COMMENT PRINT DUPLEX ON\n@PJL SET BINDING=SHORTEDGE\n",
       .duplex = 1,
       .duplex_off = 1,
       .tumble = 1},
      {.name = "print on back side",
       .lines = "@PJL SET PRINTONBACKSIDE=TRUE\n",
       .duplex = 1},
      // HP's PDF printers: PRINTONBACKSIDE=ON in one-sided jobs too.
      {.name = "DUPLEX=OFF outweighs print on back side",
       .lines = "@PJL SET DUPLEX=OFF\n@PJL SET PRINTONBACKSIDE=ON\n",
       .duplex_off = 1},
      {.name = "DUPLEX=ON with print on back side",
       .lines = "@PJL SET DUPLEX=ON\n@PJL SET DUPLEX=OFF\n@PJL SET PRINTONBACKSIDE=ON\n",
       .duplex = 1,
       .duplex_off = 1},
      {.name = "grayscale and colour can both be set",
       .lines = "@PJL SET DATAMODE=GRAYSCALE\n@PJL SET RENDERMODEL=CMYK\n",
       .grayscale = 1,
       .color = 1},
      {.name = "RENDERMODEL is not RENDERMODE",
       .lines = "@PJL SET RENDERMODEL=GRAY\n"},
      {.name = "paper and sizes; PAPERLENGTH is not PAPER",
       .lines = "@PJL SET PAPERLENGTH=200\n@PJL SET PAPERWIDTH=100\n@PJL SET PAPER=A4\n",
       .paper_width = 100,
       .paper_length = 200,
       .paper = "A4"},
      {.name = "Canon document name replaces the job name; driver and model",
       .lines = "@PJL JOB NAME=\"first\"\n@PJL COMMENT CANPJL SET DOCNAME=\"report.doc\"\n"
                "@PJL SET DRIVERNAME=\"Generic PCL\"\n"
                "@PJL COMMENT \"HP LaserJet 4200 (1.2.3); driver 61.053\"\n",
       .job_name = "report.doc",
       .driver = "Generic PCL",
       .model = "HP LaserJet 4200"},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    const PjlHeaderInfo h = parse(pjl_job(c.lines));
    EXPECT_EQ(h.copies, c.copies);
    EXPECT_EQ(h.qty, c.qty);
    EXPECT_EQ(h.duplex, c.duplex);
    EXPECT_EQ(h.duplex_off, c.duplex_off);
    EXPECT_EQ(h.tumble, c.tumble);
    EXPECT_EQ(h.grayscale, c.grayscale);
    EXPECT_EQ(h.color, c.color);
    EXPECT_EQ(h.paper_width, c.paper_width);
    EXPECT_EQ(h.paper_length, c.paper_length);
    EXPECT_STREQ(h.paper_name, c.paper);
    EXPECT_STREQ(h.job_name, c.job_name);
    EXPECT_STREQ(h.driver_name, c.driver);
    EXPECT_STREQ(h.printer_model, c.model);
  }
}

TEST(PjlHeaderTest, GlVersionWithoutBlanks) {
  const PjlHeaderInfo h = parse(pjl_job("@PJL SET GLVERSION=2.2\n"));
  EXPECT_EQ(h.gl_version_major, 2);
  EXPECT_EQ(h.gl_version_minor, 2);
}

TEST(PjlHeaderTest, OkiAndGlFields) {
  const PjlHeaderInfo h = parse(pjl_job(
      "@PJL OKIAUXJOBINFO DATA=MultiPage=4\n@PJL SET OKIXDIMENSIONMILLIMETER=210\n"
      "@PJL SET OKIYDIMENSIONMILLIMETER=297\n@PJL SET GLVERSION = 2.2\n"
      "@PJL SET PRINTAREA=INKEDAREA\n"));
  EXPECT_EQ(h.multipage, 4);
  EXPECT_EQ(h.multipage_seen, 1);
  EXPECT_EQ(h.x_dimension_mm, 210);
  EXPECT_EQ(h.y_dimension_mm, 297);
  EXPECT_EQ(h.gl_version_major, 2);
  EXPECT_EQ(h.gl_version_minor, 2);
  EXPECT_EQ(h.inked_print_area, 1);
}

// ---- The window ----

TEST(PjlHeaderTest, ShortJobsHaveNoHeader) {
  // 300 bytes: the first 150 are scanned; 299: none.
  const std::string line = std::string(PJL_UEL) + "@PJL SET DUPLEX=ON\n";
  const std::string at_300 = line + std::string(300 - line.size(), 'x');
  int result = -1;
  EXPECT_EQ(parse(bytes(at_300), &result).duplex, 1);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(parse(bytes(at_300.substr(1)), &result).duplex, 0);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(parse(Bytes{}, &result).duplex, 0);
  EXPECT_EQ(pjl_parse_header(nullptr, 0, nullptr), 0);
}

TEST(PjlHeaderTest, WindowIsTenKilobytesPlusPadding) {
  const std::string late = "@PJL SET DUPLEX=ON\n";
  // Past 10 KB of text the setting is not read...
  EXPECT_EQ(parse(pjl_job(std::string(10300, ' ') + late)).duplex, 0);
  // ...but NUL padding does not count against the window, however long,
  // and neither does the Oki marker.
  EXPECT_EQ(parse(pjl_job(std::string(20000, '\0') + late)).duplex, 1);
  std::string oki;
  for (int i = 0; i < 20; ++i) oki += "OkiXferAdjustDCS";
  EXPECT_EQ(parse(pjl_job(std::string(10240 - 100, ' ') + oki + late)).duplex, 1);
  // No match begins in the last 150 bytes.
  std::string tail = std::string(PJL_UEL) + std::string(300, ' ') + late;
  tail += std::string(150 - late.size(), ' ');
  EXPECT_EQ(parse(bytes(tail)).duplex, 0);
}

// ---- The header step ----

struct StepCase {
  const char* name;
  std::string lines;
  int copies_before = 1;
  const char* document_before = "";
  const char* type_before = "";
  PjlPrinterTypeRule rule = PjlPrinterTypeRule::DRIVER_NAME_WHEN_EMPTY;
  double unit = PJL_UNIT_720TH_INCH;
  int copies = 1;
  int width = -1;
  int height = -1;
  const char* document = "";
  const char* type = "";
};

TEST(PjlHeaderTest, HeaderStepAppliesTheRules) {
  const StepCase cases[] = {
      {.name = "the larger count wins",
       .lines = "@PJL SET QTY=2\n@PJL SET COPIES=4\n",
       .copies = 4},
      {.name = "a smaller count never lowers the record",
       .lines = "@PJL SET QTY=2\n@PJL SET COPIES=4\n",
       .copies_before = 6,
       .copies = 6},
      {.name = "1/720 inch rounds half up",
       .lines = "@PJL SET PAPERWIDTH=100\n@PJL SET PAPERLENGTH=200\n",
       .width = 4,
       .height = 7},
      {.name = "millimetres",
       .lines = "@PJL SET PAPERWIDTH=210\n@PJL SET PAPERLENGTH=297\n",
       .unit = PJL_UNIT_MM,
       .width = 210,
       .height = 297},
      {.name = "one dimension alone sets no size",
       .lines = "@PJL SET PAPERWIDTH=100\n"},
      {.name = "job name fills an empty document name, driver an empty type",
       .lines = "@PJL SET JOBNAME=\"q3.pdf\"\n@PJL SET DRIVERNAME=\"PCL6 Driver\"\n",
       .document = "q3.pdf",
       .type = "PCL6 Driver"},
      {.name = "known names stay",
       .lines = "@PJL SET JOBNAME=\"q3.pdf\"\n@PJL SET DRIVERNAME=\"PCL6 Driver\"\n",
       .document_before = "invoice",
       .type_before = "queue driver",
       .document = "invoice",
       .type = "queue driver"},
      {.name = "the inline step: the model replaces a known type",
       .lines = "@PJL SET DRIVERNAME=\"PCL6 Driver\"\n"
                "@PJL COMMENT \"Kyocera FS-C5100DN (2.1); v1.0 build\"\n",
       .type_before = "queue driver",
       .rule = PjlPrinterTypeRule::PRINTER_MODEL_ALWAYS,
       .type = "Kyocera FS-C5100DN"},
  };
  for (const StepCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto ja = scan_test::new_job();
    ja->copy_count = c.copies_before;
    std::strcpy(ja->document_name, c.document_before);
    std::strcpy(ja->printer_type, c.type_before);
    PjlHeaderInfo header;
    const Bytes data = pjl_job(c.lines);
    ASSERT_EQ(pjl_parse_header(data.data(), data.size(), &header), 1);
    pjl_apply_header(header, ja.get(), c.unit, c.rule);
    EXPECT_EQ(ja->copy_count, c.copies);
    EXPECT_EQ(ja->page_width_mm, c.width);
    EXPECT_EQ(ja->page_height_mm, c.height);
    EXPECT_STREQ(ja->document_name, c.document);
    EXPECT_STREQ(ja->printer_type, c.type);
  }
}

TEST(PjlHeaderTest, HeaderStepOnlySetsFlags) {
  auto ja = scan_test::new_job();
  ja->is_duplex = 1;
  const Bytes off = pjl_job("@PJL SET DUPLEX=OFF\n@PJL SET PAPER=LETTER\n");
  EXPECT_EQ(pjl_set_job_attributes(off.data(), off.size(), ja.get(), PJL_UNIT_MM), 1);
  EXPECT_EQ(ja->is_duplex, 1);
  EXPECT_STREQ(ja->paper_size_name, "LETTER");

  const Bytes on = pjl_job("@PJL SET DUPLEX=ON\n@PJL SET BINDING=SHORTEDGE\n"
                           "@PJL SET RENDERMODE=GRAYSCALE\n");
  auto fresh = scan_test::new_job();
  EXPECT_EQ(pjl_set_job_attributes_inline(on.data(), on.size(), fresh.get(), PJL_UNIT_MM), 1);
  EXPECT_EQ(fresh->is_duplex, 1);
  EXPECT_EQ(fresh->is_tumble, 1);
  EXPECT_EQ(fresh->is_grayscale, 1);

  // No header: nothing changes.
  const Bytes none = bytes(std::string(PJL_UEL) + std::string(400, 'x'));
  auto untouched = scan_test::new_job();
  EXPECT_EQ(pjl_set_job_attributes(none.data(), none.size(), untouched.get(), PJL_UNIT_MM), 0);
  EXPECT_EQ(untouched->copy_count, 1);
}

}  // namespace
