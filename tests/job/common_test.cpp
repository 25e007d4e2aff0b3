// The job flow against the stand-in application server: jobs that print
// without asking, the decisions and how they are carried out, holds, the
// redirect through the print command, the background hold and the argument
// checks. Spool files are print data made by real tools (the corpus).
#include "job/common.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "analysis/analyzer.h"
#include "corpus/corpus.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/os.h"
#include "foundation/os_process.h"
#include "job/held_job_manager.h"
#include "job/redirect.h"
#include "job_test_support.h"
#include "support/oracle.h"

namespace {


// Indexes of the decision call's parameters.
constexpr std::size_t PARAM_LANGUAGE = 5;
constexpr std::size_t PARAM_PAGES = 8;
constexpr std::size_t PARAM_COPIES = 9;
constexpr std::size_t PARAM_GRAYSCALE = 10;
constexpr std::size_t PARAM_ANALYSIS_CODE = 17;
constexpr std::size_t PARAM_COLOUR_PAGES = 19;
constexpr std::size_t PARAM_JOB_UID = 22;
constexpr std::size_t PARAM_ARCHIVE_PATH = 23;

const CorpusRow& corpus_file(int lang) {
  static const std::vector<CorpusRow> rows = corpus_rows();
  for (const CorpusRow& row : rows) {
    if (row.lang == lang) return row;
  }
  static const CorpusRow none;
  return none;
}


class JobFlowTest : public job_test::StandinJobTest {
 protected:
  void SetUp() override {
    StandinJobTest::SetUp();
    // PostScript from Ghostscript, large enough for every size case.
    ps_ = corpus_file(LANG_POSTSCRIPT).path;
    ASSERT_FALSE(ps_.empty());
  }

  // A job as the intake leaves it, its spool file a copy of `content`.
  JobAttribsPtr job(const std::string& document, const std::string& content) {
    JobAttribsPtr ja(analyzer_create_job_attribs());
    const std::string spool = dir_ / "job.spl";
    sw_test::write_file(spool, content);
    job_test::copy_text(ja->spool_file, sizeof ja->spool_file, spool);
    job_test::copy_text(ja->document_name, sizeof ja->document_name, document);
    job_test::copy_text(ja->job_id, sizeof ja->job_id, "101");
    job_test::copy_text(ja->username, sizeof ja->username, "alice");
    job_test::copy_text(ja->printer_name, sizeof ja->printer_name, "lab");
    job_test::copy_text(ja->server_name, sizeof ja->server_name, "printhost");
    job_test::copy_text(ja->client_machine, sizeof ja->client_machine, "127.0.0.1");
    return ja;
  }
  JobAttribsPtr ps_job(const std::string& document) {
    return job(document, sw_test::read_file(ps_));
  }

  // Runs the flow with the usual arguments; the log of this run alone.
  int run(JobAttribs* ja, JobAction* action, int background = 0, int strategy = 0) {
    log_set_path((dir_ / ("run" + std::to_string(++runs_) + ".log")).c_str());
    return common_process_job(ja, 1, "", background, strategy, action, nullptr, error_,
                              sizeof error_);
  }
  std::string run_log() {
    return sw_test::read_file(dir_ / ("run" + std::to_string(runs_) + ".log"));
  }
  void answer(const std::string& decision_json) {
    standin_.write_script("{\"methods\": {\"spoolwarden.processPrintJob6\": " + decision_json + "}}");
  }
  int events(const char* word) { return job_test::count_of(run_log(), word); }
  int all_events() {
    return events("Job PRINTED:") + events("Job CANCEL:") + events("Job OTHER:") +
           events("Job ERRORED:");
  }

  std::string ps_;
  char error_[COMMON_ERROR_TEXT_SIZE] = "stale";
  int runs_ = 0;
};

TEST_F(JobFlowTest, SomeJobsPrintWithoutAskingAndWriteNoEventLine) {
  job_test::copy_text(global_ctx.ignore_document_names, CONFIG_TEXT_SIZE, "memo, draft");
  const std::string ps = sw_test::read_file(ps_);
  struct Case {
    const char* name;
    std::string document;
    std::string content;
  };
  const Case cases[] = {
      {"redirected copy confirmed", "R:abcd1234:report.pdf", ps},
      {"ignored name", "Team MEMO v2", ps},
      {"empty spool file", "report.pdf", ""},
      {"small status document", "Printer Report Status", ps.substr(0, 150)},
      {"status document at the limit", "Supplies Levels", ps.substr(0, 200)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JobAttribsPtr ja = job(c.document, c.content);
    JobAction action = JOB_ACTION_DONT_PRINT;
    EXPECT_EQ(run(ja.get(), &action), 0);
    EXPECT_EQ(action, JOB_ACTION_PRINT);
    EXPECT_STREQ(error_, "");
    EXPECT_EQ(all_events(), 0);
  }
  EXPECT_TRUE(standin_.decision_calls().empty());
  EXPECT_TRUE(standin_.calls_of("spoolwarden.getPrinterConfig").empty());
  EXPECT_EQ(standin_.calls_of("spoolwarden.validateAndRegisterRedirectedJob").size(), 1u);
}

TEST_F(JobFlowTest, OtherJobsAreDecided) {
  standin_.write_script(
      "{\"methods\": {\"spoolwarden.validateAndRegisterRedirectedJob\": false,"
      " \"spoolwarden.processPrintJob6\": \"PRINT\"}}");
  const std::string ps = sw_test::read_file(ps_);
  ASSERT_GT(ps.size(), 5000u);
  struct Case {
    const char* name;
    std::string document;
    std::string content;
  };
  const Case cases[] = {
      {"large status document", "Report Status", ps.substr(0, 5000)},
      {"status document above the limit", "Supplies Levels", ps.substr(0, 201)},
      {"redirect name the server denies", "R:abcd1234:report.pdf", ps},
      {"plain document", "report.pdf", ps},
  };
  std::size_t decided = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JobAttribsPtr ja = job(c.document, c.content);
    JobAction action = JOB_ACTION_DONT_PRINT;
    EXPECT_EQ(run(ja.get(), &action), 0);
    EXPECT_EQ(action, JOB_ACTION_PRINT);
    EXPECT_EQ(standin_.decision_calls().size(), ++decided);
    EXPECT_EQ(events("Job PRINTED: user=alice printer=lab"), 1);
    EXPECT_EQ(std::string(ja->job_uid).size(), 40u);
  }
}

TEST_F(JobFlowTest, FailedAnalysisIsSentAsOneUnknownPage) {
  const CorpusRow& unrecognised = corpus_file(LANG_UNKNOWN);
  ASSERT_FALSE(unrecognised.path.empty());
  JobAttribsPtr probe(analyzer_create_job_attribs());
  const int code = analyzer_process_spool_file(unrecognised.path.c_str(), 0, probe.get());
  ASSERT_NE(code, 0);
  answer("\"PRINT\"");
  JobAttribsPtr ja = job("scan.tif", sw_test::read_file(unrecognised.path));
  JobAction action = JOB_ACTION_DONT_PRINT;
  EXPECT_EQ(run(ja.get(), &action), 0);
  EXPECT_EQ(action, JOB_ACTION_PRINT);
  EXPECT_STREQ(error_, "Failed to process spool file");
  const auto calls = standin_.decision_calls();
  ASSERT_EQ(calls.size(), 1u);
  ASSERT_GT(calls[0].params.size(), PARAM_ANALYSIS_CODE);
  EXPECT_EQ(calls[0].params[PARAM_LANGUAGE].value, "Unknown");
  EXPECT_EQ(calls[0].params[PARAM_PAGES].value, "1");
  EXPECT_EQ(calls[0].params[PARAM_COPIES].value, "1");
  EXPECT_EQ(calls[0].params[PARAM_ANALYSIS_CODE].value, std::to_string(code));
  EXPECT_NE(run_log().find("Unable to analyze JobId: 101 on printer lab"), std::string::npos);
}

// The decision call carries the colour pages that the analysis judged, or
// -1 (not counted) where nothing judged them: a PDF's colour is not read, a
// failed analysis judged nothing, and without colour detection nothing is
// counted. Grayscale is claimed only for a job judged gray.
TEST_F(JobFlowTest, ColourPagesAreJudgedOrSentAsNotCounted) {
  const auto named = [](const char* file) {
    const auto row = corpus_row_named(file);
    return row ? row->path : std::string();
  };
  struct Case {
    const char* name;
    std::string path;
    bool detection;
    const char* colour_pages;
    const char* grayscale;
  };
  const Case cases[] = {
      {"PCL XL with colour pages", named("gs-pxlcolor-mixed-a4.pxl"), true, "2", "0"},
      {"PCL XL in gray", named("gs-pxlmono-text-a4.pxl"), true, "0", "1"},
      {"plain text is gray", named("pdftotext-text-letter.txt"), true, "0", "1"},
      {"PDF colour is not judged", named("gs-pdfwrite-mixed-letter.pdf"), true, "-1", "0"},
      {"failed analysis", corpus_file(LANG_UNKNOWN).path, true, "-1", "0"},
      {"no colour detection", named("gs-pxlcolor-mixed-a4.pxl"), false, "-1", "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.path.empty());
    standin_.write_script(std::string("{\"methods\": {\"spoolwarden.getPrinterConfig\": "
                                      "\"color-detection=") +
                          (c.detection ? "Y" : "N") +
                          ";failure-mode=PRINT_NEW_NO_REPLAY;\", "
                          "\"spoolwarden.processPrintJob6\": \"PRINT\"}}");
    const std::size_t before = standin_.decision_calls().size();
    JobAttribsPtr ja = job("report.pdf", sw_test::read_file(c.path));
    JobAction action = JOB_ACTION_DONT_PRINT;
    EXPECT_EQ(run(ja.get(), &action), 0);
    const auto calls = standin_.decision_calls();
    ASSERT_EQ(calls.size(), before + 1);
    ASSERT_GT(calls.back().params.size(), PARAM_COLOUR_PAGES);
    EXPECT_EQ(calls.back().params[PARAM_COLOUR_PAGES].value, c.colour_pages);
    EXPECT_EQ(calls.back().params[PARAM_GRAYSCALE].value, c.grayscale);
    EXPECT_EQ(std::to_string(ja->color_pages), c.colour_pages);
  }
}

TEST_F(JobFlowTest, DecisionsAreCarriedOutWithOneEventLine) {
  struct Case {
    const char* decisions;  // JSON answer of processPrintJob6
    JobAction action;
    const char* event;
    std::size_t calls;
  };
  const Case cases[] = {
      {"\"PRINT\"", JOB_ACTION_PRINT, "Job PRINTED:", 1},
      {"\"CANCEL\"", JOB_ACTION_DONT_PRINT, "Job CANCEL:", 1},
      {"{\"sequence\": [\"HOLD300\", \"PRINT\"]}", JOB_ACTION_PRINT, "Job PRINTED:", 2},
      {"{\"sequence\": [\"HOLD300\", \"HOLD300\", \"CANCEL\"]}", JOB_ACTION_DONT_PRINT,
       "Job CANCEL:", 3},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.decisions);
    // A stand-in of its own, whose answer sequences start afresh.
    const std::string sub = dir_ / ("standin" + std::to_string(++n));
    std::filesystem::create_directories(sub);
    job_test::Standin standin(sub);
    global_ctx.app_server_port = standin.port();
    standin.write_script(std::string("{\"methods\": {\"spoolwarden.processPrintJob6\": ") +
                   c.decisions + "}}");
    JobAttribsPtr ja = ps_job("report.pdf");
    JobAction action = JOB_ACTION_BACKGROUND;
    EXPECT_EQ(run(ja.get(), &action), 0);
    EXPECT_EQ(action, c.action);
    EXPECT_EQ(standin.decision_calls().size(), c.calls);
    EXPECT_EQ(all_events(), 1);
    EXPECT_EQ(events(c.event), 1);
    if (c.action == JOB_ACTION_DONT_PRINT) {
      EXPECT_NE(run_log().find("Document report.pdf on printer lab from user alice denied."),
                std::string::npos);
    }
  }
}

TEST_F(JobFlowTest, ServerErrorsFollowThePrintersFailureMode) {
  struct Case {
    const char* mode;
    const char* decisions;
    std::size_t calls;
    bool replay_file;
  };
  // A job is kept for replay only when its analysis succeeded.
  JobAttribsPtr probe(analyzer_create_job_attribs());
  const bool analysed = analyzer_process_spool_file(ps_.c_str(), 0, probe.get()) == 0;
  const Case cases[] = {
      {"PRINT_NEW_NO_REPLAY", "\"ERROR\"", 1, false},
      {"PRINT_NEW_WITH_REPLAY", "\"ERROR\"", 1, analysed},
      {"HOLD", "{\"sequence\": [\"ERROR\", \"PRINT\"]}", 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    std::filesystem::remove_all(dir_ / "replay");
    std::filesystem::create_directories(dir_ / "replay");
    const std::size_t before = standin_.decision_calls().size();
    standin_.write_script(std::string("{\"methods\": {\"spoolwarden.getPrinterConfig\": "
                                "\"color-detection=N;failure-mode=") +
                    c.mode + ";\", \"spoolwarden.processPrintJob6\": " + c.decisions + "}}");
    JobAttribsPtr ja = ps_job("report.pdf");
    JobAction action = JOB_ACTION_DONT_PRINT;
    EXPECT_EQ(run(ja.get(), &action), 0);
    EXPECT_EQ(action, JOB_ACTION_PRINT);
    EXPECT_EQ(standin_.decision_calls().size() - before, c.calls);
    EXPECT_EQ(!std::filesystem::is_empty(dir_ / "replay"), c.replay_file);
    EXPECT_EQ(events("Job PRINTED:"), 1);
  }
}

// Printers whose settings ask for archiving get a copy of the file that the
// archive callback names, under the job's archive path and uid.
TEST_F(JobFlowTest, ArchivingCopiesTheCallbacksFile) {
  chmod(dir_.path().c_str(), 0755);  // the copy may run as the service account
  chmod((dir_ / "archive").c_str(), 0777);
  standin_.write_script(
      "{\"methods\": {\"spoolwarden.getPrinterConfig\": "
      "\"color-detection=N;failure-mode=PRINT_NEW_NO_REPLAY;archiving=Y;\"}}");
  static std::string original;
  original = corpus_file(LANG_PDF).path;  // the PDF the job was made from
  ASSERT_FALSE(original.empty());
  JobAttribsPtr ja = ps_job("report.pdf");
  JobAction action = JOB_ACTION_DONT_PRINT;
  log_set_path((dir_ / "archive-run.log").c_str());
  ASSERT_EQ(common_process_job(
                ja.get(), 1, "", 0, 0, &action,
                [](JobAttribs*, char* buffer, std::size_t size) {
                  std::snprintf(buffer, size, "%s", original.c_str());
                  return 1;
                },
                error_, sizeof error_),
            0);
  EXPECT_EQ(action, JOB_ACTION_PRINT);
  ASSERT_TRUE(sw_test::wait_for(
      [&] { return !standin_.calls_of("spoolwarden.notifyPdlCopyComplete").empty(); }));
  const auto note = standin_.calls_of("spoolwarden.notifyPdlCopyComplete").front();
  ASSERT_EQ(note.params.size(), 3u);
  EXPECT_EQ(note.params[1].value, ja->archive_path);
  EXPECT_EQ(note.params[2].value, ja->job_uid);
  const std::string copy = dir_ / ("archive/" + std::string(ja->archive_path) + "/" +
                                   ja->job_uid + "/pdl.pdf");
  EXPECT_EQ(sw_test::read_file(copy), sw_test::read_file(original));
}

// The decision request names an archive path only when the copy is being
// made into it: with no ArchiveDir, or one the copy cannot write, the server
// is sent an empty path and never hears of a copy.
TEST_F(JobFlowTest, TheServerHearsOfAnArchiveOnlyWhenTheCopyIsMade) {
  chmod(dir_.path().c_str(), 0755);  // the copy may run as the service account
  const bool root = geteuid() == 0;
  const bool service_account = os_account_group(OS_SERVICE_ACCOUNT) >= 0;
  standin_.write_script(
      "{\"methods\": {\"spoolwarden.getPrinterConfig\": "
      "\"color-detection=N;failure-mode=PRINT_NEW_NO_REPLAY;archiving=Y;\"}}");
  struct Case {
    const char* name;
    std::string archive_dir;
    mode_t mode;  // of an existing directory; 0: none there
    bool archived;
  };
  const Case cases[] = {
      {"no ArchiveDir", "", 0, false},
      {"ArchiveDir made for the copy", dir_ / "spool/archive", 0, true},
      {"ArchiveDir the copy cannot write", dir_ / "closed", 0555, false},
  };
  std::size_t notes = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.mode == 0555 && root && !service_account) continue;  // root writes anywhere
    job_test::copy_text(global_ctx.archive_dir, CONFIG_TEXT_SIZE, c.archive_dir);
    if (c.mode != 0) {
      std::filesystem::create_directories(c.archive_dir);
      chmod(c.archive_dir.c_str(), c.mode);
    }
    const std::size_t before = standin_.decision_calls().size();
    JobAttribsPtr ja = ps_job("kept.ps");
    JobAction action = JOB_ACTION_DONT_PRINT;
    ASSERT_EQ(run(ja.get(), &action), 0);
    EXPECT_EQ(action, JOB_ACTION_PRINT);
    const auto calls = standin_.decision_calls();
    ASSERT_EQ(calls.size(), before + 1);
    ASSERT_GT(calls.back().params.size(), PARAM_ARCHIVE_PATH);
    EXPECT_EQ(calls.back().params[PARAM_JOB_UID].value, ja->job_uid);
    const std::string sent = calls.back().params[PARAM_ARCHIVE_PATH].value;
    if (!c.archived) {
      EXPECT_EQ(sent, "");
      continue;
    }
    EXPECT_EQ(sent.size(), 13u);  // yyyy/mm/dd/hh
    EXPECT_EQ(sent, ja->archive_path);
    ++notes;
    ASSERT_TRUE(sw_test::wait_for([&] {
      return standin_.calls_of("spoolwarden.notifyPdlCopyComplete").size() == notes;
    }));
    EXPECT_EQ(sw_test::read_file(c.archive_dir + "/" + sent + "/" + ja->job_uid + "/pdl.ps"),
              sw_test::read_file(ps_));
  }
  EXPECT_EQ(standin_.calls_of("spoolwarden.notifyPdlCopyComplete").size(), notes);
}

TEST_F(JobFlowTest, UnreachableServerPrintsAndSaysSo) {
  global_ctx.app_server_port = 1;  // nothing listens there
  JobAttribsPtr ja = ps_job("report.pdf");
  JobAction action = JOB_ACTION_DONT_PRINT;
  EXPECT_EQ(run(ja.get(), &action), 0);
  EXPECT_EQ(action, JOB_ACTION_PRINT);
  EXPECT_STREQ(error_, "Call to application server failed");
  EXPECT_EQ(events("Job PRINTED:"), 1);
}

TEST_F(JobFlowTest, LongHoldEndsWhenTheServerReleasesTheJob) {
  answer("{\"sequence\": [\"HOLD100:600000\", \"PRINT\"]}");
  process_hold_event("HoldJob", "101");
  ASSERT_EQ(held_job_manager_is_job_held("101"), 1);
  std::thread release([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    process_unhold_event("UnholdJob", "101");
  });
  JobAttribsPtr ja = ps_job("report.pdf");
  JobAction action = JOB_ACTION_DONT_PRINT;
  EXPECT_EQ(run(ja.get(), &action), 0);
  release.join();
  EXPECT_EQ(action, JOB_ACTION_PRINT);
  EXPECT_EQ(standin_.decision_calls().size(), 2u);
  EXPECT_NE(run_log().find("The hold on JobId: 101 has been notified as released."),
            std::string::npos);
}

// A rewrite that cannot be made (a watermark on a PDF job) leaves the spool
// file where it is, whatever the strategy.
TEST_F(JobFlowTest, AFailedRewriteLeavesTheSpoolFileAlone) {
  answer("\"PRINT wm-text=Confidential;wm-font-size=12;redirect-uid=abcd1234;\"");
  const std::string pdf = corpus_file(LANG_PDF).path;
  ASSERT_FALSE(pdf.empty());
  for (int strategy : {REPLACEMENT_NEW_FILE, REPLACEMENT_IN_PLACE, REPLACEMENT_LEAVE_BOTH}) {
    SCOPED_TRACE(strategy);
    JobAttribsPtr ja = job("report.pdf", sw_test::read_file(pdf));
    const std::string spool = ja->spool_file;
    JobAction action = JOB_ACTION_DONT_PRINT;
    EXPECT_EQ(run(ja.get(), &action, 0, strategy), 0);
    EXPECT_EQ(action, JOB_ACTION_PRINT);
    EXPECT_EQ(std::string(ja->spool_file), spool);
    EXPECT_EQ(sw_test::read_file(spool), sw_test::read_file(pdf));
    EXPECT_NE(run_log().find("No modified spool file was written"), std::string::npos);
  }
}

// A rewrite that was made (compression for a printer that takes gzip) takes
// the spool file's place, or becomes the job's spool file.
TEST_F(JobFlowTest, AWrittenRewriteReplacesTheSpoolFileAsTheStrategySays) {
  job_test::copy_text(global_ctx.gzip_compress, sizeof global_ctx.gzip_compress, "lab");
  answer("\"PRINT\"");
  for (int strategy : {REPLACEMENT_NEW_FILE, REPLACEMENT_IN_PLACE}) {
    SCOPED_TRACE(strategy);
    JobAttribsPtr ja = ps_job("report.pdf");
    const std::string spool = ja->spool_file;
    JobAction action = JOB_ACTION_DONT_PRINT;
    EXPECT_EQ(run(ja.get(), &action, 0, strategy), 0);
    EXPECT_EQ(action, JOB_ACTION_PRINT);
    EXPECT_EQ(std::string(ja->spool_file) == spool, strategy == REPLACEMENT_IN_PLACE);
    EXPECT_EQ(sw_test::command_output("gzip -dc '" + std::string(ja->spool_file) + "'"),
              sw_test::read_file(ps_));
    std::remove(ja->spool_file);
  }
}

// A client chooses the title: on its way through the print command nothing
// in it may run.
TEST_F(JobFlowTest, RedirectPassesTheTitleLiterally) {
  const std::string rec = job_test::make_recorder(dir_, "lp", 0);
  job_test::copy_text(global_ctx.redirect_cmd, CONFIG_TEXT_SIZE,
                      "\"" + rec + "\" -d \"%printer%\" -h \"%server%\" -t \"%docname%\" -o raw "
                      "\"%spoolfile%\" > /dev/null 2>&1");
  // A uid of 30 characters survives the round trip through the copy's name.
  const std::string uid = "0123456789abcdefghij0123456789";
  answer("\"REDIRECT server=remote;printer=target;redirect-uid=" + uid + ";\"");
  const std::string title = "Q3 $(touch " + (dir_ / "pwned") + ") `touch " + (dir_ / "pwned2") + "`";
  JobAttribsPtr ja = ps_job(title);
  JobAction action = JOB_ACTION_PRINT;
  EXPECT_EQ(run(ja.get(), &action), 0);
  EXPECT_EQ(action, JOB_ACTION_DONT_PRINT);
  const std::vector<std::string> want = {"-d", "target", "-h", "remote", "-t",
                                         "R:" + uid + ":" + title, "-o", "raw", ja->spool_file};
  const std::vector<std::string> got = job_test::recorded_argv(dir_, "lp");
  EXPECT_EQ(got, want);
  char copy_uid[REDIRECT_DOC_UID_SIZE];
  ASSERT_EQ(got.size(), want.size());
  ASSERT_NE(extract_redirect_uid(copy_uid, sizeof copy_uid, got[5].c_str()), nullptr);
  EXPECT_EQ(std::string(copy_uid), uid);
  EXPECT_FALSE(sw_test::exists(dir_ / "pwned"));
  EXPECT_FALSE(sw_test::exists(dir_ / "pwned2"));
  EXPECT_EQ(events("Job OTHER:"), 1);
  EXPECT_TRUE(standin_.calls_of("spoolwarden.cancelPrintJob").empty());
}

// The target's printer type is looked up only for a queue of this server;
// a local ServerName is first made this machine's name so that a target
// named by the machine's name counts as this server.
TEST_F(JobFlowTest, RedirectLooksUpTheTargetTypeOnlyOnThisServer) {
  char host[256] = {};
  ASSERT_EQ(os_get_computer_name(host, sizeof host), 1);
  const std::string note = "NOTE: Getting target printer type for remote server";
  struct Case {
    const char* name;
    std::string server_name;  // ServerName
    std::string target;       // the server the decision names
    bool remote;
    std::string command_server;  // what the print command gets for %server%
  };
  const Case cases[] = {
      {"another server", "printhost", "remote", true, "remote"},
      {"this server", "printhost", "printhost", false, "127.0.0.1"},
      {"local server name", "LOCALHOST", host, false, "127.0.0.1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    job_test::copy_text(global_ctx.server_name, sizeof global_ctx.server_name, c.server_name);
    const std::string rec = job_test::make_recorder(dir_, "lp", 0);
    job_test::copy_text(global_ctx.redirect_cmd, CONFIG_TEXT_SIZE,
                        "\"" + rec + "\" -h %server% -d %printer% -t %docname% %spoolfile%");
    answer("\"REDIRECT server=" + c.target + ";printer=target;redirect-uid=abcd1234;\"");
    JobAttribsPtr ja = ps_job("report.pdf");
    JobAction action = JOB_ACTION_PRINT;
    EXPECT_EQ(run(ja.get(), &action), 0);
    EXPECT_EQ(action, JOB_ACTION_DONT_PRINT);
    const std::string log = run_log();
    EXPECT_EQ(log.find(note) != std::string::npos, c.remote);
    // Without a PPD for the target no type is found; the transform hook is
    // asked either way.
    EXPECT_EQ(log.find("Unable to locate CUPS PPD file for printer target") != std::string::npos,
              !c.remote);
    EXPECT_NE(log.find("XVP: test if XVP is needed for JobId: 101"), std::string::npos);
    if (c.server_name == "LOCALHOST") {
      EXPECT_NE(log.find(std::string("Ensure our server_name is not local but computer name: ") +
                         host),
                std::string::npos);
    }
    const std::vector<std::string> got = job_test::recorded_argv(dir_, "lp");
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[1], c.command_server);
    EXPECT_EQ(events("Job OTHER:"), 1);
  }
}

TEST_F(JobFlowTest, FailedRedirectCancelsAtTheTargetAndWarnsTheServer) {
  struct Case {
    const char* name;
    std::string command;
  };
  const Case cases[] = {
      {"command fails",
       "\"" + job_test::make_recorder(dir_, "bad", 2) + "\" %printer% %docname% %spoolfile%"},
      {"template lacks the document name",
       "\"" + job_test::make_recorder(dir_, "lp", 0) + "\" %printer% %spoolfile%"},
  };
  answer("\"REDIRECT server=remote;printer=target;redirect-uid=abcd1234;\"");
  std::size_t n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    job_test::copy_text(global_ctx.redirect_cmd, CONFIG_TEXT_SIZE, c.command);
    JobAttribsPtr ja = ps_job("report.pdf");
    JobAction action = JOB_ACTION_PRINT;
    EXPECT_EQ(run(ja.get(), &action), 0);
    EXPECT_EQ(action, JOB_ACTION_DONT_PRINT);
    ++n;
    const auto cancels = standin_.calls_of("spoolwarden.cancelPrintJob");
    ASSERT_EQ(cancels.size(), n);
    ASSERT_EQ(cancels.back().params.size(), 5u);
    EXPECT_EQ(cancels.back().params[0].value, "remote");
    EXPECT_EQ(cancels.back().params[1].value, "target");
    EXPECT_EQ(cancels.back().params[2].value, "101");
    EXPECT_EQ(cancels.back().params[3].value, "0");
    const auto warnings = standin_.calls_of("log.logMessage");
    ASSERT_EQ(warnings.size(), n);
    ASSERT_EQ(warnings.back().params.size(), 3u);
    EXPECT_EQ(warnings.back().params[1].value, "WARNING");
    EXPECT_EQ(warnings.back().params[2].value,
              "Error redirecting job to remote\\target, see spoolwarden.log for details. "
              "Cancelling print job.");
  }
}

// The parent of a background hold must leave the job to its child: it ends
// with action 2 while the child asks again and finishes the job.
TEST_F(JobFlowTest, BackgroundHoldLeavesTheJobToTheChild) {
  answer("{\"sequence\": [\"HOLD500\", \"PRINT\"]}");
  JobAttribsPtr ja = ps_job("report.pdf");
  const std::string spool = ja->spool_file;
  const std::string content = sw_test::read_file(spool);
  const pid_t parent = getpid();
  JobAction action = JOB_ACTION_PRINT;
  const int result = run(ja.get(), &action, 1);
  if (getpid() != parent) {
    // The background child: it ran the rest of the flow; leave the test.
    std::fflush(nullptr);
    _exit(result == 0 && action == JOB_ACTION_PRINT ? 0 : 1);
  }
  EXPECT_EQ(result, 0);
  EXPECT_EQ(action, JOB_ACTION_BACKGROUND);
  EXPECT_EQ(all_events(), 0);
  EXPECT_EQ(sw_test::read_file(spool), content);
  EXPECT_TRUE(sw_test::wait_for([&] { return standin_.decision_calls().size() == 2; }));
  EXPECT_TRUE(sw_test::wait_for([&] { return events("Job PRINTED:") == 1; }));
}

TEST_F(JobFlowTest, BadArgumentsAreRefusedBeforeAnyWork) {
  struct Case {
    const char* name;
    int strategy;
    void (*spoil)(JobAttribs*);
    const char* logged;
  };
  const Case cases[] = {
      {"strategy 3", 3, nullptr, "Invalid replacement strategy"},
      {"strategy -1", -1, nullptr, "Invalid replacement strategy"},
      {"no spool file", 0, [](JobAttribs* ja) { ja->spool_file[0] = '\0'; },
       "Passed empty spool file attribute"},
      {"no user", 0, [](JobAttribs* ja) { ja->username[0] = '\0'; },
       "Passed empty username attribute"},
      {"no printer", 0, [](JobAttribs* ja) { ja->printer_name[0] = '\0'; },
       "Passed empty printer name attribute"},
      {"no server", 0, [](JobAttribs* ja) { ja->server_name[0] = '\0'; },
       "Passed empty server name attribute"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JobAttribsPtr ja = ps_job("report.pdf");
    if (c.spoil != nullptr) c.spoil(ja.get());
    JobAction action = JOB_ACTION_PRINT;
    EXPECT_EQ(run(ja.get(), &action, 0, c.strategy), -1);
    EXPECT_NE(run_log().find(c.logged), std::string::npos);
  }
  JobAction action = JOB_ACTION_PRINT;
  EXPECT_EQ(run(nullptr, &action), -1);
  EXPECT_NE(run_log().find("Passed null job attributes structure"), std::string::npos);
  EXPECT_TRUE(standin_.calls().empty());
}

TEST_F(JobFlowTest, IgnoredNamesIncludeTheStatusDocuments) {
  job_test::copy_text(global_ctx.ignore_document_names, CONFIG_TEXT_SIZE, "memo");
  struct Case {
    const char* name;
    int ignored;
  };
  const Case cases[] = {{"weekly MEMO", 1},          {"Supplies Levels page", 1},
                        {"printer control command", 1}, {"report.pdf", 0},
                        {"", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(common_is_ignored_document_name(c.name), c.ignored);
  }
}

}  // namespace
