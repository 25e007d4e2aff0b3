// The job's state across CUPS's retries: the journal file itself, and the
// job flow that uses it against the stand-in server (one record per job, a
// decision carried out again without asking, an unanswered request never
// sent twice, a cancelled held job).
#include "job/job_journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "foundation/os_stop.h"
#include "job/common.h"
#include "job_test_support.h"
#include "server/raw_http_server.h"

namespace {

using Job = JobAttribsPtr;
using sw_test::TempDir;

Job make_job(const std::string& spool, const char* job_id = "101") {
  Job ja(analyzer_create_job_attribs());
  job_test::copy_text(ja->spool_file, sizeof ja->spool_file, spool);
  job_test::copy_text(ja->document_name, sizeof ja->document_name, "report.pdf");
  job_test::copy_text(ja->job_id, sizeof ja->job_id, job_id);
  job_test::copy_text(ja->username, sizeof ja->username, "alice");
  job_test::copy_text(ja->printer_name, sizeof ja->printer_name, "lab/1");
  job_test::copy_text(ja->server_name, sizeof ja->server_name, "printhost");
  return ja;
}

TEST(JobJournal, RecordsRoundTripForTheSameJobOnly) {
  TempDir dir;
  const std::string journals = dir / "jobstate";
  Job ja = make_job(dir / "spool");
  job_test::copy_text(ja->job_uid, sizeof ja->job_uid, std::string(40, 'a'));
  ja->submit_time = sw_test::calendar_time(2026, 3, 1, 9, 5, 7);
  ja->pages = 12;
  ja->copy_count = 3;

  JobJournal journal{};
  ASSERT_EQ(job_journal_open(&journal, journals.c_str(), ja.get(), "4096:17.0:99"), 0);
  EXPECT_EQ(journal.found_phase, JOURNAL_NONE);
  EXPECT_EQ(sw_test::file_mode(journals), 0700u);
  ProcessJobResponse decided{};
  decided.status = PROCESS_JOB_REDIRECT;
  job_test::copy_text(decided.redirect_server, sizeof decided.redirect_server, "other");
  job_test::copy_text(decided.wm.text, sizeof decided.wm.text, "line one\nline two");
  decided.wm.font_size = 12.5;
  decided.wm.copies = 4;
  ASSERT_EQ(job_journal_record(&journal, JOURNAL_DECIDED, ja.get(), &decided), 0);
  // The name is made file-safe: no directory of the printer's name.
  EXPECT_EQ(std::string(journal.path), journals + "/lab_1-101.state");

  JobJournal again{};
  ASSERT_EQ(job_journal_open(&again, journals.c_str(), ja.get(), "4096:17.0:99"), 0);
  EXPECT_EQ(again.found_phase, JOURNAL_DECIDED);
  EXPECT_STREQ(again.job_uid, ja->job_uid);
  EXPECT_EQ(again.pages, 12);
  EXPECT_EQ(again.copies, 3);
  EXPECT_EQ(again.response.status, PROCESS_JOB_REDIRECT);
  EXPECT_STREQ(again.response.redirect_server, "other");
  EXPECT_STREQ(again.response.wm.text, "line one\nline two");
  EXPECT_EQ(again.response.wm.font_size, 12.5);
  EXPECT_EQ(again.response.wm.copies, 4);
  Job restored = make_job(dir / "spool");
  job_journal_restore(&again, restored.get());
  EXPECT_STREQ(restored->job_uid, ja->job_uid);
  EXPECT_EQ(restored->submit_time.tm_mday, 1);
  EXPECT_EQ(restored->copy_count, 3);

  // Another job under the same name (a job id used again, other data): the
  // old entry is dropped and the job starts afresh.
  JobJournal other{};
  ASSERT_EQ(job_journal_open(&other, journals.c_str(), ja.get(), "5000:18.0:100"), 0);
  EXPECT_EQ(other.found_phase, JOURNAL_NONE);
  EXPECT_FALSE(std::filesystem::exists(other.path));

  ASSERT_EQ(job_journal_record(&other, JOURNAL_ASKING, ja.get(), nullptr), 0);
  job_journal_remove(&other);
  EXPECT_FALSE(std::filesystem::exists(other.path));
}

TEST(JobJournal, EntriesOfJobsCupsGaveUpOnArePruned) {
  TempDir dir;
  std::filesystem::create_directories(dir / "jobstate");
  sw_test::write_file(dir / "jobstate/old-1.state", "x");
  sw_test::write_file(dir / "jobstate/new-2.state", "x");
  sw_test::write_file(dir / "jobstate/other.txt", "x");
  const utimbuf old_times{std::time(nullptr) - 8 * 24 * 3600, std::time(nullptr) - 8 * 24 * 3600};
  ASSERT_EQ(utime((dir / "jobstate/old-1.state").c_str(), &old_times), 0);
  ASSERT_EQ(utime((dir / "jobstate/other.txt").c_str(), &old_times), 0);
  (void)job_journal_prune((dir / "jobstate").c_str(), JOB_JOURNAL_MAX_AGE_SECS);
  EXPECT_FALSE(std::filesystem::exists(dir / "jobstate/old-1.state"));
  EXPECT_TRUE(std::filesystem::exists(dir / "jobstate/new-2.state"));
  EXPECT_TRUE(std::filesystem::exists(dir / "jobstate/other.txt"));
}

TEST(JobJournal, DataIdentityNamesTheSubmittedData) {
  TempDir dir;
  sw_test::write_file(dir / "a", std::string(200000, 'a') + "end one");
  sw_test::write_file(dir / "b", std::string(200000, 'a') + "end two");
  char a[256];
  char b[256];
  char a_again[256];
  ASSERT_EQ(job_journal_data_identity((dir / "a").c_str(), a, sizeof a), 1);
  ASSERT_EQ(job_journal_data_identity((dir / "b").c_str(), b, sizeof b), 1);
  ASSERT_EQ(job_journal_data_identity((dir / "a").c_str(), a_again, sizeof a_again), 1);
  EXPECT_STRNE(a, b);
  EXPECT_STREQ(a, a_again);
  ASSERT_EQ(job_journal_file_identity((dir / "a").c_str(), a, sizeof a), 1);
  ASSERT_EQ(job_journal_file_identity((dir / "b").c_str(), b, sizeof b), 1);
  EXPECT_STRNE(a, b);
  EXPECT_EQ(job_journal_file_identity((dir / "missing").c_str(), a, sizeof a), 0);
}

// The job flow with a journal: what a CUPS retry of the same job sees.
class JournalFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    job_test::configure(dir_, standin_.port());
    sw_test::write_file(dir_ / "job.spl", "\x1b%-12345X@PJL JOB\r\nplain text\r\n");
    journals_ = dir_ / "jobstate";
  }
  void TearDown() override { os_clear_stop_request(); }

  // One run of the flow for job 101, as a backend run would make it.
  int run(JobAction* action) {
    Job ja = make_job(dir_ / "job.spl");
    JobJournal journal{};
    EXPECT_EQ(job_journal_open(&journal, journals_.c_str(), ja.get(), "same data"), 0);
    found_ = journal.found_phase;
    log_set_path((dir_ / ("run" + std::to_string(++runs_) + ".log")).c_str());
    char error[COMMON_ERROR_TEXT_SIZE];
    const int rc = common_process_job_ex(ja.get(), 1, "", 0, REPLACEMENT_NEW_FILE, action,
                                         nullptr, error, sizeof error, &journal);
    uid_ = ja->job_uid;
    return rc;
  }
  std::string run_log() const {
    return sw_test::read_file(dir_ / ("run" + std::to_string(runs_) + ".log"));
  }
  void answer(const std::string& decision_json) {
    standin_.write_script("{\"methods\": {\"spoolwarden.processPrintJob6\": " + decision_json +
                          "}}");
  }
  // A state left by an earlier run that ended in `phase`.
  void earlier_run_ended_in(JobJournalPhase phase) {
    Job ja = make_job(dir_ / "job.spl");
    job_test::copy_text(ja->job_uid, sizeof ja->job_uid, std::string(40, 'e'));
    JobJournal journal{};
    ASSERT_EQ(job_journal_open(&journal, journals_.c_str(), ja.get(), "same data"), 0);
    ProcessJobResponse response{};
    response.status = PROCESS_JOB_PRINT;
    ASSERT_EQ(job_journal_record(&journal, phase, ja.get(), &response), 0);
  }

  TempDir dir_;
  job_test::Standin standin_{dir_.path()};
  std::string journals_;
  int runs_ = 0;
  int found_ = JOURNAL_NONE;
  std::string uid_;
};

// The double charge: the printer dropped the job and CUPS retried
// it. The retry carries out the recorded decision: no second processPrintJob,
// no second event line, the same job uid.
TEST_F(JournalFlowTest, RetryOfADecidedJobIsNotRecordedAgain) {
  answer("\"PRINT\"");
  JobAction action = JOB_ACTION_DONT_PRINT;
  ASSERT_EQ(run(&action), 0);
  EXPECT_EQ(action, JOB_ACTION_PRINT);
  EXPECT_EQ(job_test::count_of(run_log(), "Job PRINTED:"), 1);
  const std::string first_uid = uid_;
  for (int retry = 0; retry < 2; ++retry) {
    action = JOB_ACTION_DONT_PRINT;
    ASSERT_EQ(run(&action), 0);
    EXPECT_EQ(found_, JOURNAL_DECIDED);
    EXPECT_EQ(action, JOB_ACTION_PRINT);
    EXPECT_EQ(uid_, first_uid);
    EXPECT_EQ(job_test::count_of(run_log(), "Job PRINTED:"), 0);
    EXPECT_NE(run_log().find("was decided before"), std::string::npos);
  }
  EXPECT_EQ(standin_.decision_calls().size(), 1u);
  EXPECT_EQ(standin_.calls_of("spoolwarden.getPrinterConfig").size(), 3u);
}

// What an earlier run left decides what this one does.
TEST_F(JournalFlowTest, EarlierStatesDecideWhatIsAsked) {
  const struct {
    const char* name;
    JobJournalPhase phase;
    std::size_t decision_calls;
    int event_lines;
  } cases[] = {
      // The request went out and no answer came: it may be recorded, so it
      // is not sent again; the failure mode prints the job.
      {"asking", JOURNAL_ASKING, 0, 1},
      // The server asked to hold and ask again: it expects the question.
      {"held", JOURNAL_HELD, 1, 1},
      {"decided", JOURNAL_DECIDED, 0, 0},
  };
  answer("\"PRINT\"");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(journals_);
    const std::size_t before = standin_.decision_calls().size();
    earlier_run_ended_in(c.phase);
    JobAction action = JOB_ACTION_DONT_PRINT;
    ASSERT_EQ(run(&action), 0);
    EXPECT_EQ(found_, c.phase);
    EXPECT_EQ(action, JOB_ACTION_PRINT);
    EXPECT_EQ(uid_, std::string(40, 'e'));
    EXPECT_EQ(standin_.decision_calls().size() - before, c.decision_calls);
    EXPECT_EQ(job_test::count_of(run_log(), "Job PRINTED:"), c.event_lines);
  }
}

// A job cancelled in CUPS (SIGTERM: a stop request) while the server holds
// it ends at once; the server is told, and nothing is printed.
TEST_F(JournalFlowTest, CancelWhileHeldEndsAtOnceAndTellsTheServer) {
  answer("\"HOLD600000\"");
  std::thread cancel([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    os_request_stop();
  });
  const auto start = std::chrono::steady_clock::now();
  JobAction action = JOB_ACTION_PRINT;
  ASSERT_EQ(run(&action), 0);
  cancel.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
  EXPECT_EQ(action, JOB_ACTION_DONT_PRINT);
  const auto cancels = standin_.calls_of("spoolwarden.cancelPrintJob");
  ASSERT_EQ(cancels.size(), 1u);
  EXPECT_EQ(cancels[0].params[2].value, "101");
  for (const char* event : {"Job PRINTED:", "Job CANCEL:", "Job OTHER:", "Job ERRORED:"}) {
    EXPECT_EQ(job_test::count_of(run_log(), event), 0) << event;
  }
}

// Whatever goes wrong with the server, the printer's failure mode decides:
// refused, silent, garbage, an HTTP error and a fault all print the job once
// with one event line.
TEST_F(JournalFlowTest, AnyServerFailureFollowsTheFailureMode) {
  global_ctx.connect_timeout_ms = 500;
  global_ctx.send_timeout_ms = 1000;
  const struct {
    const char* name;
    std::vector<std::string> pieces;  // a raw peer's answer; empty: the stand-in
    const char* standin_answer;
  } cases[] = {
      {"refused", {}, nullptr},
      {"silent", {"", "late"}, nullptr},
      {"garbage", {"<html>not rpc</html>\r\n\r\n"}, nullptr},
      {"http 500", {"HTTP/1.0 500 Error\r\nContent-Length: 0\r\n\r\n"}, nullptr},
      {"fault", {}, "{\"fault\": [7, \"database down\"]}"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(journals_);
    std::unique_ptr<http_test::RawHttpServer> raw;
    if (!c.pieces.empty()) {
      raw = std::make_unique<http_test::RawHttpServer>(c.pieces, 60000);
      global_ctx.app_server_port = raw->port();
    } else if (c.standin_answer != nullptr) {
      global_ctx.app_server_port = standin_.port();
      answer(c.standin_answer);
    } else {
      global_ctx.app_server_port = sw_test::unused_port();
    }
    JobAction action = JOB_ACTION_DONT_PRINT;
    ASSERT_EQ(run(&action), 0);
    EXPECT_EQ(action, JOB_ACTION_PRINT);
    EXPECT_EQ(job_test::count_of(run_log(), "Job PRINTED:"), 1);
    EXPECT_NE(run_log().find("Error communicating with Application Server. Printing new job."),
              std::string::npos);
  }
}

}  // namespace
