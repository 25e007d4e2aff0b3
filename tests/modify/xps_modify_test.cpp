// XPS print-ticket rewriting over packages written by Python's zipfile
// around Ghostscript's pages (the corpus), with tickets added by the oracle
// script tests/modify/xps_tickets.py; the rewritten packages are read back
// by Python's zipfile and XML parser (each ticket in its declared encoding).
#include "modify/xps_modify.h"

#include <cstdio>
#include <string>

#include "foundation/watermark.h"
#include "modify/replacement_list.h"
#include "modify_test_support.h"

namespace {

using modify_test::ModifyTest;
using modify_test::asking;

std::string oracle(const std::string& args) {
  return sw_test::command_output("python3 '" SW_SOURCE_DIR "/tests/modify/xps_tickets.py' " + args +
                                 " 2>&1");
}

class XpsModifyTest : public ModifyTest {
 protected:
  // Rewrites the package at `path` into out.xps; the result of xps_modify.
  int modify(const std::string& path, const watermark_params& request) {
    const std::string bytes = sw_test::read_file(path);
    out_ = temp_.file("out.xps");
    std::FILE* out = std::fopen(out_.c_str(), "wb");
    const int rc =
        xps_modify(&request, nullptr, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                   bytes.size(), out, &done_);
    std::fclose(out);
    return rc;
  }
  std::string written() const { return sw_test::read_file(out_); }

  std::string out_;
  msf_state done_{};
};

TEST_F(XpsModifyTest, TicketsRewritten) {
  const std::string added = temp_.file("tickets.xps");
  oracle("add '" + corpus_dir() + "/xps-jpeg-mixed-a4.xps' '" + added + "'");
  struct Case {
    const char* name;
    std::string input;
    watermark_params request;
    const char* tickets;  // the oracle's reading of the rewritten package
    const char* changed;  // the parts that differ from the input
    msf_state done;
  };
  const Case cases[] = {
      // A UTF-16 job ticket comes back as UTF-8 and says so.
      {"utf-16 job ticket",
       corpus_dir() + "/xps-pieces-ticket16-mixed-letter.xps",
       asking(1, 1, 5),
       "Metadata/Job_PT.xml 5 psk:TwoSidedShortEdge psk:Grayscale\n",
       "Metadata/Job_PT.xml\n",
       {.duplex = 1, .grayscale = 1, .copies = 1}},
      // Document and page tickets; pages 3 and 4 have none and are passed
      // over; the ticket that pages 1 and 2 share is rewritten once.
      {"document and page tickets",
       added,
       asking(1, 1, 0),
       "Documents/1/Doc_PT.xml - psk:TwoSidedLongEdge psk:Grayscale\n"
       "Documents/1/Page_PT.xml - - psk:Grayscale\n"
       "Metadata/Job_PT.xml 2 psk:TwoSidedLongEdge psk:Grayscale\n",
       "Documents/1/Doc_PT.xml\nDocuments/1/Page_PT.xml\nMetadata/Job_PT.xml\n",
       {.duplex = 1, .grayscale = 1}},
      {"copies only",
       added,
       asking(0, 0, 4),
       "Documents/1/Doc_PT.xml - psk:OneSided psk:Color\n"
       "Documents/1/Page_PT.xml - - psk:Color\n"
       "Metadata/Job_PT.xml 4 psk:TwoSidedLongEdge psk:Color\n",
       "Metadata/Job_PT.xml\n",
       {.copies = 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(modify(c.input, c.request), 1);
    EXPECT_EQ(oracle("show '" + out_ + "'"), c.tickets);
    EXPECT_EQ(oracle("same '" + c.input + "' '" + out_ + "'"), c.changed);
    EXPECT_EQ(done_.duplex, c.done.duplex);
    EXPECT_EQ(done_.grayscale, c.done.grayscale);
    EXPECT_EQ(done_.copies, c.done.copies);
  }
}

TEST_F(XpsModifyTest, NothingToChangeIsNotReportedAsDone) {
  // The job ticket already asks for 3 copies and two-sided printing.
  ASSERT_EQ(modify(corpus_dir() + "/xps-pieces-ticket16-mixed-letter.xps", asking(1, 0, 3)), 0);
  EXPECT_TRUE(written().empty());
  EXPECT_EQ(done_.copies, 1);
  EXPECT_EQ(done_.duplex, 1);
  EXPECT_TRUE(logged("no print ticket needed a change"));
  // Ghostscript's packages carry no ticket at all: nothing can be forced.
  ASSERT_EQ(modify(corpus_dir() + "/gs-xpswrite-text-letter.xps", asking(1, 1, 2)), 0);
  EXPECT_TRUE(written().empty());
  EXPECT_EQ(done_.duplex + done_.grayscale + done_.copies, 0);
  EXPECT_TRUE(logged("has no job ticket"));
}

TEST_F(XpsModifyTest, BadPackagesFail) {
  const std::string bomb = temp_.file("bomb.xps");
  oracle("bomb '" + corpus_dir() + "/xps-jpeg-mixed-a4.xps' '" + bomb + "'");
  struct Case {
    const char* name;
    std::string path;
    const char* log;
  };
  const Case cases[] = {
      {"not a zip", write("plain.xps", "%!PS\nshowpage\n"),
       "xps_modify: unzip_open failed. Is this a zip file?"},
      {"zip bomb ticket", bomb, "modify_print_ticket: get_xps_value(/Metadata/Job_PT.xml) failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(modify(c.path, asking(1, 1, 2)), 0);
    EXPECT_TRUE(logged(c.log));
    EXPECT_TRUE(written().empty());
  }
}

}  // namespace
