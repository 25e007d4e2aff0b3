#include "foundation/serialize_job.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "foundation/ja_languages.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

using sw_test::read_file;
using sw_test::write_file;


class SerializeJobTest : public sw_test::TempDirTest {
 protected:
  static JobAttribsPtr sample_job() {
    JobAttribsPtr ja(analyzer_create_job_attribs());
    std::tm t{};
    t.tm_year = 116;
    t.tm_mon = 2;
    t.tm_mday = 1;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 7;
    ja->submit_time = t;
    std::strcpy(ja->job_uid, "0123456789abcdef0123456789abcdef01234567");
    std::strcpy(ja->username, "jdoe");
    std::string long_name(JA_TEXT_SIZE - 1, 'n');
    long_name[500] = '\n';  // a line feed from a document title
    std::strcpy(ja->document_name, long_name.c_str());
    std::strcpy(ja->printer_type, "HP LaserJet 4000 Series PS\\Level3");
    std::strcpy(ja->printer_name, "office");
    std::strcpy(ja->server_name, "printsrv");
    std::strcpy(ja->client_machine, "desk-17");
    std::strcpy(ja->client_ip, "fe80::1%eth0");
    std::strcpy(ja->job_id, "17");
    ja->language = LANG_PCL6;
    ja->size_kb = 123456;
    ja->pages = 12;
    ja->color_pages = 3;
    ja->copy_count = 2;
    ja->is_duplex = 1;
    ja->is_tumble = 1;
    ja->is_grayscale = 0;
    ja->page_height_mm = 297;
    ja->page_width_mm = 210;
    std::strcpy(ja->paper_size_name, "A4");
    std::strcpy(ja->archive_path, "2016/03/01/09");
    std::strcpy(ja->spool_file, "/var/spool/cups/d00017-001");
    std::string hidden(JA_HIDDEN_PATH_SIZE - 1, 'h');
    hidden[0] = '/';
    std::strcpy(ja->hidden_spl_path, hidden.c_str());
    ja->spooler_type = 3;
    ja->port_flag = 1;
    std::strcpy(ja->print_processor, "winprint");
    return ja;
  }
};

TEST_F(SerializeJobTest, JobRoundTripsEveryStoredField) {
  JobAttribsPtr ja = sample_job();
  ASSERT_EQ(serialize_job_writeout(dir_.c_str(), ja.get()), 1);
  EXPECT_EQ(files(), std::vector<std::string>{"job-office-17-20160301T090507.dat"});

  JobAttribsPtr back(analyzer_create_job_attribs());
  ASSERT_EQ(serialize_job_readin(path_of("job-office-17-20160301T090507.dat").c_str(), back.get()),
            1);
  EXPECT_EQ(back->submit_time.tm_year, 116);
  EXPECT_EQ(back->submit_time.tm_mon, 2);
  EXPECT_EQ(back->submit_time.tm_mday, 1);
  EXPECT_EQ(back->submit_time.tm_hour, 9);
  EXPECT_EQ(back->submit_time.tm_min, 5);
  EXPECT_EQ(back->submit_time.tm_sec, 7);
  for (auto field : {&JobAttribs::username, &JobAttribs::document_name, &JobAttribs::printer_type,
                     &JobAttribs::printer_name, &JobAttribs::server_name,
                     &JobAttribs::client_machine, &JobAttribs::client_ip, &JobAttribs::job_id,
                     &JobAttribs::paper_size_name}) {
    EXPECT_STREQ(back.get()->*field, ja.get()->*field);
  }
  EXPECT_STREQ(back->job_uid, ja->job_uid);
  EXPECT_STREQ(back->archive_path, ja->archive_path);
  EXPECT_STREQ(back->hidden_spl_path, ja->hidden_spl_path);
  // The stored spool file is the one the job sees: the hidden one, longer
  // than the spool file field.
  EXPECT_STREQ(ja_get_spool_file(back.get()), ja->hidden_spl_path);
  EXPECT_EQ(back->language, LANG_PCL6);
  EXPECT_EQ(back->size_kb, 123456);
  EXPECT_EQ(back->pages, 12);
  EXPECT_EQ(back->color_pages, 3);
  EXPECT_EQ(back->copy_count, 2);
  EXPECT_EQ(back->is_duplex, 1);
  EXPECT_EQ(back->is_grayscale, 0);
  EXPECT_EQ(back->page_height_mm, 297);
  EXPECT_EQ(back->page_width_mm, 210);
  // Not stored: zero after the read.
  EXPECT_EQ(back->is_tumble, 0);
  EXPECT_EQ(back->spooler_type, 0);
  EXPECT_EQ(back->port_flag, 0);
  EXPECT_STREQ(back->print_processor, "");
}

TEST_F(SerializeJobTest, SizeBeyondTheFileRangeIsSaturatedAndPlainSpoolFileKept) {
  JobAttribsPtr ja = sample_job();
  ja->size_kb = 4294967295LL;
  ja->hidden_spl_path[0] = '\0';
  ASSERT_EQ(serialize_job_writeout_notimestamp(dir_.c_str(), ja.get()), 1);
  JobAttribsPtr back(analyzer_create_job_attribs());
  ASSERT_EQ(serialize_job_readin_notimestamp(dir_.c_str(), "office", "17", back.get()), 1);
  EXPECT_EQ(back->size_kb, INT_MAX);
  EXPECT_STREQ(back->spool_file, "/var/spool/cups/d00017-001");
  EXPECT_FALSE(ja_has_hidden_spool_file(back.get()));
}

TEST_F(SerializeJobTest, ShortNamesAndSanitizedNames) {
  JobAttribsPtr ja = sample_job();
  std::strcpy(ja->printer_name, "lab/3:colour");
  ASSERT_EQ(serialize_job_writeout_notimestamp(dir_.c_str(), ja.get()), 1);
  ASSERT_EQ(serialize_job_writeout(dir_.c_str(), ja.get()), 1);
  EXPECT_EQ(files(), (std::vector<std::string>{"job-lab_3_colour-17-20160301T090507.dat",
                                                "job-lab_3_colour-17.dat"}));
  JobAttribsPtr back(analyzer_create_job_attribs());
  EXPECT_EQ(serialize_job_readin_notimestamp(dir_.c_str(), "lab/3:colour", "17", back.get()), 1);
  EXPECT_STREQ(back->printer_name, "lab/3:colour");
  EXPECT_EQ(serialize_job_readin_notimestamp(dir_.c_str(), "lab/3:colour", "18", back.get()), 0);
  EXPECT_NE(log_text().find("Unable to find job meta-data (printer_name = lab/3:colour, JobId: "
                            "18) to readin"),
            std::string::npos);
  EXPECT_EQ(serialize_job_delete_notimestamp(dir_.c_str(), "lab/3:colour", "17"), 1);
  EXPECT_EQ(serialize_job_delete_notimestamp(dir_.c_str(), "lab/3:colour", "17"), 0);
  EXPECT_EQ(files(), std::vector<std::string>{"job-lab_3_colour-17-20160301T090507.dat"});
}

TEST_F(SerializeJobTest, OverlongNameIsRefusedNotCut) {
  JobAttribsPtr ja = sample_job();
  std::string printer(300, 'p');
  std::strcpy(ja->printer_name, printer.c_str());
  EXPECT_EQ(serialize_job_writeout(dir_.c_str(), ja.get()), 0);
  EXPECT_TRUE(files().empty());
}

TEST_F(SerializeJobTest, VersionOneFileLeavesLaterFieldsEmpty) {
  std::string path = path_of("job-office-5.dat");
  write_file(path,
             "# TV Serialize Data\n"
             "version=1\nsubmit_time=20150102T03:04:05\nusername=amy\ndocument_name=memo\n"
             "printer_name=office\nserver_name=srv\nclient_machine=pc\nclient_ip=10.0.0.1\n"
             "id=5\nlanguage=1\nsize=10\npages=2\ncolor_pages=0\ncopy_count=1\n"
             "is_duplex=FALSE\nis_grayscale=TRUE\npage_height_mm=279\npage_width_mm=216\n"
             "paper_size_name=LETTER\n#END\n");
  JobAttribsPtr back(analyzer_create_job_attribs());
  ASSERT_EQ(serialize_job_readin(path.c_str(), back.get()), 1);
  EXPECT_STREQ(back->username, "amy");
  EXPECT_STREQ(back->paper_size_name, "LETTER");
  EXPECT_EQ(back->is_grayscale, 1);
  EXPECT_EQ(back->submit_time.tm_year, 115);
  EXPECT_STREQ(back->printer_type, "");
  EXPECT_STREQ(back->job_uid, "");
  EXPECT_STREQ(back->archive_path, "");
  EXPECT_STREQ(back->spool_file, "");
}

TEST_F(SerializeJobTest, BrokenFilesFailAtTheFirstBadLine) {
  struct Case {
    const char* what;
    std::string from;
    std::string to;
    const char* logged;
  };
  const Case cases[] = {
      {"keys swapped", "pages=12\ncolor_pages=3\n", "color_pages=3\npages=12\n",
       "Expected key, \"pages\", but got \"color_pages\""},
      {"lower-case boolean", "is_duplex=TRUE", "is_duplex=true",
       "Boolean key, \"is_duplex\", has non-boolean value: \"true\""},
      {"uid too long", "job_uid=0123456789abcdef0123456789abcdef01234567",
       "job_uid=0123456789abcdef0123456789abcdef01234567X", "Value string is too long"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    JobAttribsPtr ja = sample_job();
    ASSERT_EQ(serialize_job_writeout_notimestamp(dir_.c_str(), ja.get()), 1);
    std::string path = path_of("job-office-17.dat");
    std::string text = read_file(path);
    std::size_t at = text.find(c.from);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, c.from.size(), c.to);
    write_file(path, text);
    JobAttribsPtr back(analyzer_create_job_attribs());
    EXPECT_EQ(serialize_job_readin(path.c_str(), back.get()), 0);
    EXPECT_NE(log_text().find(c.logged), std::string::npos);
  }
}

// Deleting "office" job 5 must leave printer "office-5" and job 51 alone.
TEST_F(SerializeJobTest, DeleteByPrefixTouchesOnlyThatPrintersJob) {
  const char* names[] = {
      "job-office-5-20160301T090507.dat",   // to delete
      "job-office-5-20160302T101010.dat",   // to delete
      "job-office-5-1-20160301T090507.dat", // printer "office-5", job 1
      "job-office-51-20160301T090507.dat",  // job 51
      "job-office-5.dat",                   // short name
      "job-office-5-20160301T090507.dat.bak",
      "job-office-5-notatimestamp.dat",
      "job-office-2-5-20160301T090507.dat", // printer "office-2", job 5
  };
  for (const char* name : names) write_file(path_of(name), "x");
  EXPECT_EQ(serialize_job_delete(dir_.c_str(), "office", "5"), 1);
  EXPECT_EQ(files(), (std::vector<std::string>{
                         "job-office-2-5-20160301T090507.dat",
                         "job-office-5-1-20160301T090507.dat",
                         "job-office-5-20160301T090507.dat.bak",
                         "job-office-5-notatimestamp.dat",
                         "job-office-5.dat",
                         "job-office-51-20160301T090507.dat",
                     }));
  EXPECT_EQ(serialize_job_delete(dir_.c_str(), "office", "5"), 0);
  EXPECT_NE(log_text().find("Unable to find job (printer_name = office, JobId: 5) to delete"),
            std::string::npos);
  EXPECT_EQ(serialize_job_delete(dir_.c_str(), "office-2", "5"), 1);
  EXPECT_EQ(serialize_job_delete(path_of("missing").c_str(), "office", "5"), 0);
}

TEST_F(SerializeJobTest, WrittenJobIsDeletedByItsPrinterAndJob) {
  JobAttribsPtr ja = sample_job();
  std::strcpy(ja->printer_name, "a:b");
  ASSERT_EQ(serialize_job_writeout(dir_.c_str(), ja.get()), 1);
  EXPECT_EQ(serialize_job_delete(dir_.c_str(), "a:b", "17"), 1);
  EXPECT_TRUE(files().empty());
}

}  // namespace
