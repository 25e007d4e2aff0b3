// Archive copies: the path of a job's copy, the copy itself with the
// language's extension and the server's notification, the stop file, and the
// background copy's permissions.
#include "job/archive.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "corpus/corpus.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/os_file.h"
#include "foundation/os_process.h"
#include "job_test_support.h"

namespace {


const CorpusRow* corpus_file(int lang) {
  static const std::vector<CorpusRow> rows = corpus_rows();
  for (const CorpusRow& row : rows) {
    if (row.lang == lang) return &row;
  }
  return nullptr;
}

class ArchiveTest : public job_test::StandinJobTest {
 protected:
  std::string job_dir() { return dir_ / "archive/2025/03/03/14/0123456789abcdef"; }
};

TEST(ArchivePath, SubPathOfTheSubmitTime) {
  const std::tm t = sw_test::calendar_time(2025, 3, 3, 14, 5);
  char path[JA_ARCHIVE_PATH_SIZE];
  ASSERT_EQ(analyzer_build_archive_path(path, sizeof path, &t), 1);
  EXPECT_STREQ(path, "2025/03/03/14");
  char small[8];
  EXPECT_EQ(analyzer_build_archive_path(small, sizeof small, &t), 0);
}

TEST_F(ArchiveTest, PathsJoinWithOneSlash) {
  job_test::copy_text(global_ctx.archive_dir, CONFIG_TEXT_SIZE, dir_ / "archive/");
  char path[4096];
  ASSERT_EQ(archive_build_achive_pdl_path(path, sizeof path, "2025/03/03/14", "uid", "pdf"), 1);
  EXPECT_EQ(std::string(path), dir_ / "archive/2025/03/03/14/uid/pdl.pdf");
  ASSERT_EQ(archive_build_archive_tmp_pdl_path(path, sizeof path, "2025/03/03/14", "uid"), 1);
  EXPECT_EQ(std::string(path), dir_ / "archive/2025/03/03/14/uid/tmp-pdl.prn");
}

TEST_F(ArchiveTest, CopiesUnderTheLanguagesExtensionAndNotifies) {
  struct Case {
    int lang;
    const char* name;
  };
  // A PDF from Ghostscript, and a TIFF that detection does not recognise.
  const Case cases[] = {{LANG_PDF, "pdl.pdf"}, {LANG_UNKNOWN, "pdl.unknown"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CorpusRow* row = corpus_file(c.lang);
    ASSERT_NE(row, nullptr);
    const FilePtr in(std::fopen(row->path.c_str(), "rb"));
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(archive_copy_spool_to_archive(row->path.c_str(), in.get(), "2025/03/03/14",
                                            "0123456789abcdef", 0),
              1);
    EXPECT_EQ(sw_test::read_file(job_dir() + "/" + c.name), sw_test::read_file(row->path));
    EXPECT_FALSE(sw_test::exists(job_dir() + "/tmp-pdl.prn"));
  }
  const auto notes = standin_.calls_of("spoolwarden.notifyPdlCopyComplete");
  ASSERT_EQ(notes.size(), 2u);
  ASSERT_EQ(notes[0].params.size(), 3u);
  EXPECT_EQ(notes[0].params[0].value, "printhost");
  EXPECT_EQ(notes[0].params[1].value, "2025/03/03/14");
  EXPECT_EQ(notes[0].params[2].value, "0123456789abcdef");
}

TEST_F(ArchiveTest, NothingWithoutConfigurationStreamOrWhenStopped) {
  const CorpusRow* row = corpus_file(LANG_PDF);
  ASSERT_NE(row, nullptr);
  const FilePtr in(std::fopen(row->path.c_str(), "rb"));
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(archive_copy_spool_to_archive(row->path.c_str(), nullptr, "2025/03/03/14", "u1", 0),
            0);
  sw_test::write_file(dir_ / "archive/.archiving-stopped", "");
  EXPECT_EQ(archive_does_stop_file_exist(), 1);
  EXPECT_EQ(
      archive_copy_spool_to_archive(row->path.c_str(), in.get(), "2025/03/03/14", "u1", 0), 0);
  global_ctx.archive_dir[0] = '\0';
  EXPECT_EQ(
      archive_copy_spool_to_archive(row->path.c_str(), in.get(), "2025/03/03/14", "u1", 0), 0);
  EXPECT_FALSE(sw_test::exists(dir_ / "archive/2025"));
  EXPECT_TRUE(standin_.calls_of("spoolwarden.notifyPdlCopyComplete").empty());
  EXPECT_NE(job_test::log_text(dir_).find(
                "Not archiving spool file as server indicated to stop archiving."),
            std::string::npos);
}

// The background copy may run as root: its files must never be writable by
// other users, whatever the caller's umask.
TEST_F(ArchiveTest, BackgroundCopyIsNeverWorldWritable) {
  const CorpusRow* row = corpus_file(LANG_PDF);
  ASSERT_NE(row, nullptr);
  JobAttribsPtr ja(analyzer_create_job_attribs());
  job_test::copy_text(ja->archive_path, sizeof ja->archive_path, "2025/03/03/14");
  job_test::copy_text(ja->job_uid, sizeof ja->job_uid, "0123456789abcdef");
  job_test::copy_text(ja->spool_file, sizeof ja->spool_file, row->path);
  // Run as root, the copy switches to the service account: let it in.
  chmod(dir_.path().c_str(), 0755);
  chmod((dir_ / "archive").c_str(), 0777);
  const mode_t saved = umask(0);
  EXPECT_EQ(archive_copy_spool_to_archive_in_background(row->path.c_str(), ja.get()), 1);
  umask(saved);
  ASSERT_TRUE(sw_test::wait_for(
      [&] { return !standin_.calls_of("spoolwarden.notifyPdlCopyComplete").empty(); }));
  const std::string copy = job_dir() + "/pdl.pdf";
  EXPECT_EQ(sw_test::read_file(copy), sw_test::read_file(row->path));
  for (const std::string& path : {copy, job_dir(), dir_ / "archive/2025"}) {
    SCOPED_TRACE(path);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IWOTH, 0u);
  }
}

TEST_F(ArchiveTest, BackgroundCopyOfAMissingFileDoesNothing) {
  JobAttribsPtr ja(analyzer_create_job_attribs());
  job_test::copy_text(ja->archive_path, sizeof ja->archive_path, "2025/03/03/14");
  job_test::copy_text(ja->job_uid, sizeof ja->job_uid, "0123456789abcdef");
  EXPECT_EQ(archive_copy_spool_to_archive_in_background((dir_ / "missing.spl").c_str(), ja.get()),
            0);
  EXPECT_NE(job_test::log_text(dir_).find("Cannot open spool file for copying"),
            std::string::npos);
  EXPECT_FALSE(sw_test::exists(dir_ / "archive/2025"));
}

// The background copy answers 1 only when its copy is under way into the
// job's directory: the job flow tells the server the archive path then and
// only then. A missing ArchiveDir is made (for the service account's
// group); one the copy cannot write, or none at all, gives 0 and no copy.
TEST_F(ArchiveTest, BackgroundCopyStartsOnlyIntoAWritableDirectory) {
  const CorpusRow* row = corpus_file(LANG_PDF);
  ASSERT_NE(row, nullptr);
  const bool root = geteuid() == 0;
  const long group = os_account_group(OS_SERVICE_ACCOUNT);
  chmod(dir_.path().c_str(), 0755);  // the copy may run as the service account
  struct Case {
    const char* name;
    std::string archive_dir;  // ArchiveDir; empty: not configured
    mode_t existing_mode;     // 0: the directory does not exist
    bool stopped;
    int copying;
  };
  const Case cases[] = {
      {"not configured", "", 0, false, 0},
      {"made when missing", dir_ / "spool/archive", 0, false, 1},
      {"existing and writable", dir_ / "open", 0777, false, 1},
      {"archiving stopped", dir_ / "stopped", 0777, true, 0},
      {"not writable by the copy", dir_ / "closed", 0555, false, 0},
  };
  int notes = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.existing_mode == 0555 && root && group < 0) {
      continue;  // the copy would run as root, which writes anywhere
    }
    job_test::copy_text(global_ctx.archive_dir, CONFIG_TEXT_SIZE, c.archive_dir);
    if (c.existing_mode != 0) {
      std::filesystem::create_directories(c.archive_dir);
      chmod(c.archive_dir.c_str(), c.existing_mode);
    }
    if (c.stopped) sw_test::write_file(c.archive_dir + "/.archiving-stopped", "");
    JobAttribsPtr ja(analyzer_create_job_attribs());
    job_test::copy_text(ja->archive_path, sizeof ja->archive_path, "2025/03/03/14");
    job_test::copy_text(ja->job_uid, sizeof ja->job_uid, "0123456789abcdef");
    job_test::copy_text(ja->spool_file, sizeof ja->spool_file, row->path);
    EXPECT_EQ(archive_copy_spool_to_archive_in_background(row->path.c_str(), ja.get()),
              c.copying);
    if (c.copying) {
      ++notes;
      ASSERT_TRUE(sw_test::wait_for([&] {
        return standin_.calls_of("spoolwarden.notifyPdlCopyComplete").size() ==
               static_cast<std::size_t>(notes);
      }));
      EXPECT_EQ(sw_test::read_file(c.archive_dir + "/2025/03/03/14/0123456789abcdef/pdl.pdf"),
                sw_test::read_file(row->path));
    } else if (!c.archive_dir.empty()) {
      EXPECT_FALSE(sw_test::exists(c.archive_dir + "/2025"));
    }
  }
  // The directory made for a missing ArchiveDir: the copy's account enters
  // and writes it through its group, nobody else gets in.
  struct stat made {};
  ASSERT_EQ(stat((dir_ / "spool/archive").c_str(), &made), 0);
  EXPECT_EQ(made.st_mode & 07777, ARCHIVE_DIR_MODE);
  if (root && group >= 0) {
    EXPECT_EQ(made.st_gid, static_cast<gid_t>(group));
  }
  EXPECT_EQ(standin_.calls_of("spoolwarden.notifyPdlCopyComplete").size(),
            static_cast<std::size_t>(notes));
  const std::string log = job_test::log_text(dir_);
  EXPECT_NE(log.find("No archive path configured. Cannot archive spool file: " + row->path),
            std::string::npos);
}

}  // namespace
