#include "server/rpc_process_job.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "foundation/printer_settings.h"
#include "server/rpc_test_fixture.h"

namespace {

using Decision = StandinTest;

struct AnswerCase {
  const char* name;
  std::string answer;  // JSON answer of the stand-in
  int env_version = 13;
  int rc = 0;
  int status = PROCESS_JOB_PRINT;
  int hold = 0;
  int long_hold = 0;
  std::string server = "";
  std::string printer = "";
  std::string uid = "";
  std::string wm_text = "";
  double font_size = 0;
  int gray = 0;
  int position = 0;
  double x = 0;
  double y = 0;
  int duplex = 0;
  int grayscale = 0;
  int copies = 0;
};

std::string q(const std::string& text) { return "\"" + text + "\""; }

const std::string UID30 = "abcdefghijklmnopqrstuvwxyz0123";
const std::string UID60 = UID30 + UID30;

std::vector<AnswerCase> answer_cases() {
  return {
      {.name = "print", .answer = q("PRINT")},
      {.name = "print with more letters", .answer = q("PRINTNOW")},
      {.name = "cancel", .answer = q("CANCEL"), .status = PROCESS_JOB_CANCEL},
      {.name = "cancel with more letters", .answer = q("CANCELx"), .status = PROCESS_JOB_ERROR},
      {.name = "error", .answer = q("ERROR"), .status = PROCESS_JOB_ERROR},
      {.name = "error with more text", .answer = q("ERROR: disk"), .status = PROCESS_JOB_ERROR},
      {.name = "unknown word", .answer = q("MAYBE"), .status = PROCESS_JOB_ERROR},
      {.name = "empty answer", .answer = q(""), .status = PROCESS_JOB_ERROR},
      {.name = "hold", .answer = q("HOLD"), .status = PROCESS_JOB_HOLD, .hold = 10000},
      {.name = "hold 100 is raised", .answer = q("HOLD100"), .status = PROCESS_JOB_HOLD,
       .hold = 250},
      {.name = "hold colon only", .answer = q("HOLD:"), .status = PROCESS_JOB_HOLD, .hold = 250},
      {.name = "hold with long hold", .answer = q("HOLD30000:120000"), .status = PROCESS_JOB_HOLD,
       .hold = 30000, .long_hold = 120000},
      {.name = "hold numbers read like strtol", .answer = q("HOLD 5000: 60000"),
       .status = PROCESS_JOB_HOLD, .hold = 5000, .long_hold = 60000},
      {.name = "negative hold is raised", .answer = q("HOLD-5:-7"), .status = PROCESS_JOB_HOLD,
       .hold = 250},
      {.name = "hold that is not a number", .answer = q("HOLDx:60000"),
       .status = PROCESS_JOB_HOLD, .hold = 250},
      {.name = "long hold only from the hold token",
       .answer = q("HOLD5000 wm-text=a:b;"), .status = PROCESS_JOB_HOLD, .hold = 5000},
      {.name = "huge hold is clamped", .answer = q("HOLD99999999999999999999:99999999999999"),
       .status = PROCESS_JOB_HOLD, .hold = ANSWER_MAX_HOLD_MS, .long_hold = ANSWER_MAX_HOLD_MS},
      {.name = "redirect", .answer = q("REDIRECT server=srv2;printer=p2;redirect-uid=u-1;"),
       .status = PROCESS_JOB_REDIRECT, .server = "srv2", .printer = "p2", .uid = "u-1"},
      {.name = "redirect keys ignore case",
       .answer = q("REDIRECT SERVER=srv2;Printer=p2;REDIRECT-UID=u-1;"),
       .status = PROCESS_JOB_REDIRECT, .server = "srv2", .printer = "p2", .uid = "u-1"},
      {.name = "redirect uid of 30 characters is kept whole",
       .answer = q("REDIRECT server=s;printer=p;redirect-uid=" + UID30 + ";"),
       .status = PROCESS_JOB_REDIRECT, .server = "s", .printer = "p", .uid = UID30},
      {.name = "redirect uid is cut at 49",
       .answer = q("REDIRECT server=s;printer=p;redirect-uid=" + UID60 + ";"),
       .status = PROCESS_JOB_REDIRECT, .server = "s", .printer = "p", .uid = UID60.substr(0, 49)},
      {.name = "redirect without printer", .answer = q("REDIRECT server=s;redirect-uid=u;"),
       .status = PROCESS_JOB_ERROR, .server = "", .uid = "u"},
      {.name = "watermark with uid",
       .answer = q("PRINT wm-text=Secret;wm-font-size=3;redirect-uid=u1;"), .env_version = 13,
       .uid = "u1",
       .wm_text = "Secret", .font_size = 5},
      {.name = "watermark without uid is dropped",
       .answer = q("PRINT wm-text=Secret;wm-font-size=3;"), .font_size = 5},
      {.name = "font size without text", .answer = q("PRINT wm-font-size=12;redirect-uid=u;"),
       .uid = "u", .font_size = 12},
      {.name = "text without font size", .answer = q("PRINT wm-text=T;redirect-uid=u;"),
       .uid = "u"},
      {.name = "all watermark keys",
       .answer = q("PRINT wm-text=T;wm-font-size=20;wm-gray-level=LIGHT;wm-position=CUSTOM;"
                   "wm-pos-x=25.4;wm-pos-y=-12.7;redirect-uid=u;"),
       .uid = "u", .wm_text = "T", .font_size = 20, .gray = WATERMARK_GRAY_LIGHT,
       .position = WATERMARK_POSITION_CUSTOM, .x = 72, .y = -36},
      {.name = "map names are exact", .answer = q("PRINT wm-text=T;wm-font-size=9;"
                                                  "wm-gray-level=light;wm-position=Top;"
                                                  "redirect-uid=u;"),
       .uid = "u", .wm_text = "T", .font_size = 9},
      {.name = "font size and position are clamped",
       .answer = q("PRINT wm-text=T;wm-font-size=1e300;wm-pos-x=99999;wm-pos-y=-99999;"
                   "redirect-uid=u;"),
       .uid = "u", .wm_text = "T", .font_size = ANSWER_MAX_FONT_SIZE,
       .x = ANSWER_MAX_POSITION_MM / 25.4 * 72, .y = -ANSWER_MAX_POSITION_MM / 25.4 * 72},
      {.name = "non-finite font size turns the watermark off",
       .answer = q("PRINT wm-text=T;wm-font-size=inf;wm-pos-x=nan;redirect-uid=u;"), .uid = "u"},
      {.name = "overflowing font size is refused",
       .answer = q("PRINT wm-text=T;wm-font-size=1e999;redirect-uid=u;"), .uid = "u"},
      {.name = "forced duplex and grayscale",
       .answer = q("PRINT convert-duplex=1;convert-grayscale = 1 ;redirect-uid=u;"), .uid = "u",
       .duplex = 1, .grayscale = 1},
      {.name = "forced attributes without uid are dropped",
       .answer = q("PRINT convert-duplex=1;change-copies=3;")},
      {.name = "change copies", .answer = q("PRINT change-copies=3;redirect-uid=u;"), .uid = "u",
       .copies = 3},
      {.name = "change copies is clamped",
       .answer = q("PRINT change-copies=99999999999999999999;redirect-uid=u;"), .uid = "u",
       .copies = ANSWER_MAX_COPIES},
      {.name = "character references",
       .answer = q("PRINT wm-text=Caf&#233;&#8364;&#065;&#12;;wm-font-size=8;redirect-uid=u;"),
       .uid = "u", .wm_text = "Caf\xE9&#12", .font_size = 8},
      {.name = "old servers never watermark",
       .answer = q("PRINT wm-text=Secret;wm-font-size=9;redirect-uid=u1;"), .env_version = 5},
      {.name = "server fault", .answer = "{\"fault\": [500, \"database down\"]}", .rc = -1,
       .status = PROCESS_JOB_ERROR},
      {.name = "int reply", .answer = "7", .rc = -1, .status = PROCESS_JOB_ERROR},
      {.name = "boolean reply", .answer = "true", .rc = -1, .status = PROCESS_JOB_ERROR},
  };
}

TEST_F(Decision, AnswersDecodeIntoTheResponse) {
  auto ja = make_job();
  for (const AnswerCase& c : answer_cases()) {
    SCOPED_TRACE(c.name);
    global_ctx.env_version = c.env_version;
    server_->answer(rpc_process_print_job_method(c.env_version), c.answer);
    ProcessJobResponse r;
    std::memset(&r, 0x5A, sizeof r);
    EXPECT_EQ(rpc_process_print_job(ja.get(), 0, &r, 0), c.rc);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.hold_time_ms, c.hold);
    EXPECT_EQ(r.long_hold_time_ms, c.long_hold);
    EXPECT_STREQ(r.redirect_server, c.server.c_str());
    EXPECT_STREQ(r.redirect_printer, c.printer.c_str());
    EXPECT_STREQ(r.redirect_uid, c.uid.c_str());
    EXPECT_STREQ(r.wm.text, c.wm_text.c_str());
    EXPECT_DOUBLE_EQ(r.wm.font_size, c.font_size);
    EXPECT_EQ(r.wm.gray_level, c.gray);
    EXPECT_EQ(r.wm.position, c.position);
    EXPECT_NEAR(r.wm.x, c.x, 1e-9);
    EXPECT_NEAR(r.wm.y, c.y, 1e-9);
    EXPECT_EQ(r.wm.force_duplex, c.duplex);
    EXPECT_EQ(r.wm.force_grayscale, c.grayscale);
    EXPECT_EQ(r.wm.copies, c.copies);
    EXPECT_EQ(r.wm.gzip, 0);
    EXPECT_EQ(r.wm.default_page_a4, 0);
  }
}

TEST_F(Decision, FailedCallsGiveStatusError) {
  auto ja = make_job();
  ProcessJobResponse r{};
  // Reply slower than the network time-out.
  global_ctx.send_timeout_ms = 300;
  server_->answer(rpc_process_print_job_method(13), "{\"sleep\": 2, \"answer\": \"PRINT\"}");
  EXPECT_EQ(rpc_process_print_job(ja.get(), 0, &r, 0), -1);
  EXPECT_EQ(r.status, PROCESS_JOB_ERROR);
  // Nobody listening.
  server_->stop();
  r.status = PROCESS_JOB_PRINT;
  EXPECT_EQ(rpc_process_print_job(ja.get(), 0, &r, 0), -1);
  EXPECT_EQ(r.status, PROCESS_JOB_ERROR);
}

TEST_F(Decision, CompressionFollowsGzipCompressWhateverTheOutcome) {
  auto ja = make_job();
  util_safe_strncpy(global_ctx.gzip_compress, "laser1", sizeof global_ctx.gzip_compress);
  server_->answer(rpc_process_print_job_method(13), q("PRINT"));
  ProcessJobResponse r{};
  ASSERT_EQ(rpc_process_print_job(ja.get(), 0, &r, 1), 0);
  EXPECT_EQ(r.wm.gzip, 1);
  EXPECT_EQ(modify_spool_file_has_work_to_do(&r.wm, 0), 1);
  EXPECT_EQ(modify_spool_file_has_work_to_do(&r.wm, 1), 0);
  ASSERT_EQ(rpc_print_job_pre_notification(ja.get(), &r), 0);
  EXPECT_EQ(r.wm.gzip, 0);  // the pre-notification never compresses
  server_->answer(rpc_process_print_job_method(13), "{\"fault\": [1, \"x\"]}");
  ASSERT_EQ(rpc_process_print_job(ja.get(), 0, &r, 1), -1);
  EXPECT_EQ(r.wm.gzip, 1);
  std::strcpy(ja->printer_name, "inkjet");
  ASSERT_EQ(rpc_process_print_job(ja.get(), 0, &r, 1), -1);
  EXPECT_EQ(r.wm.gzip, 0);
}

// The request: method and parameter count per env_version, then every
// parameter of the newest one in order.
TEST_F(Decision, RequestFollowsTheEnvironmentVersion) {
  struct Row {
    int env_version;
    const char* method;
    int params;
  };
  const Row rows[] = {
      {1, "spoolwarden.processPrintJob", 18},  {2, "spoolwarden.processPrintJob2", 20},
      {5, "spoolwarden.processPrintJob2", 20}, {6, "spoolwarden.processPrintJob3", 20},
      {7, "spoolwarden.processPrintJob4", 22}, {8, "spoolwarden.processPrintJob4", 22},
      {9, "spoolwarden.processPrintJob5", 24}, {12, "spoolwarden.processPrintJob5", 24},
      {13, "spoolwarden.processPrintJob6", 25}, {20, "spoolwarden.processPrintJob6", 25},
  };
  auto ja = make_job();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.env_version);
    server_->clear_calls();
    global_ctx.env_version = row.env_version;
    ProcessJobResponse r{};
    ASSERT_EQ(rpc_process_print_job(ja.get(), 0, &r, 0), 0);
    const auto calls = server_->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].method, row.method);
    int count = 0;
    for (std::size_t at = 0; (at = calls[0].params.find("[\"", at)) != std::string::npos; ++at) {
      ++count;
    }
    EXPECT_EQ(count, row.params);
  }
}

TEST_F(Decision, RequestCarriesTheJobInOrder) {
  auto ja = make_job();
  std::strcpy(ja->document_name, "a\tb\x1f" "c\x7f");
  global_ctx.direct_printing_mode = 1;
  ProcessJobResponse r{};
  ASSERT_EQ(rpc_process_print_job(ja.get(), -3, &r, 0), 0);
  const auto calls = server_->calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].method, "spoolwarden.processPrintJob6");
  EXPECT_EQ(calls[0].params,
            "[[\"dateTime.iso8601\", \"20240305T14:07:09\"], [\"string\", \"printsrv\"], "
            "[\"string\", \"laser1\"], [\"string\", \"desk7\"], [\"string\", \"42\"], "
            "[\"string\", \"Unknown\"], [\"string\", \"a b c\\u007f\"], [\"string\", \"alice\"], "
            "[\"int\", 3], [\"int\", 2], [\"boolean\", true], [\"boolean\", false], "
            "[\"string\", \"A4\"], [\"int\", 210], [\"int\", 297], [\"int\", 17], "
            "[\"boolean\", false], [\"int\", -3], [\"string\", \"10.0.0.7\"], [\"int\", 1], "
            "[\"string\", \"CUPS\"], [\"string\", \"port=y\"], "
            "[\"string\", \"0123456789abcdef0123456789abcdef01234567\"], "
            "[\"string\", \"2024/03/05/14\"], [\"boolean\", true]]");
}

// A long document name is cut when the job record takes it; the request must
// not carry the start of a character that the cut split (it would arrive as a
// different character).
TEST_F(Decision, LongDocumentNamesKeepWholeCharacters) {
  const std::string e_acute = "\xC3\xA9";
  const std::string euro = "\xE2\x82\xAC";
  const struct {
    const char* name;
    std::string document;
    std::string sent;  // as the stand-in's JSON log writes it
  } rows[] = {
      {"two-byte character split", std::string(1022, 'a') + e_acute + "tail",
       std::string(1022, 'a')},
      {"two-byte character whole at the end", std::string(1021, 'a') + e_acute + "tail",
       std::string(1021, 'a') + "\\u00e9"},
      {"three-byte character split", std::string(1021, 'a') + euro, std::string(1021, 'a')},
      {"three-byte character whole at the end", std::string(1020, 'a') + euro + "x",
       std::string(1020, 'a') + "\\u20ac"},
      {"short name ending in a lone lead byte", "name\xC3", "name\\u00c3"},
  };
  auto ja = make_job();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    server_->clear_calls();
    ja_set_document_name(ja.get(), row.document.c_str());
    ProcessJobResponse r{};
    ASSERT_EQ(rpc_process_print_job(ja.get(), 0, &r, 0), 0);
    const auto calls = server_->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NE(calls[0].params.find("[\"string\", \"" + row.sent + "\"], [\"string\", \"alice\"]"),
              std::string::npos)
        << calls[0].params.substr(0, 300);
  }
}

// The error policy replaces status ERROR by a decision of our own.
struct PolicyCase {
  const char* name;
  int status;
  int failure_mode;
  int held_before;
  int analysis_code;
  int expect_status;
  bool expect_hold;
  bool expect_replay_file;
};

TEST_F(Decision, ErrorPolicy) {
  const PolicyCase cases[] = {
      {"held before keeps holding", PROCESS_JOB_ERROR, FAILURE_MODE_PRINT_NEW_NO_REPLAY, 1, 0,
       PROCESS_JOB_HOLD, true, false},
      {"hold mode holds", PROCESS_JOB_ERROR, FAILURE_MODE_HOLD, 0, 0, PROCESS_JOB_HOLD, true,
       false},
      {"print without replay", PROCESS_JOB_ERROR, FAILURE_MODE_PRINT_NEW_NO_REPLAY, 0, 0,
       PROCESS_JOB_PRINT, false, false},
      {"print with replay", PROCESS_JOB_ERROR, FAILURE_MODE_PRINT_NEW_WITH_REPLAY, 0, 0,
       PROCESS_JOB_PRINT, false, true},
      {"replay not kept when analysis failed", PROCESS_JOB_ERROR,
       FAILURE_MODE_PRINT_NEW_WITH_REPLAY, 0, -1, PROCESS_JOB_PRINT, false, false},
      {"unknown mode prints", PROCESS_JOB_ERROR, 7, 0, 0, PROCESS_JOB_PRINT, false, false},
      {"other statuses are left alone", PROCESS_JOB_CANCEL, FAILURE_MODE_HOLD, 1, 0,
       PROCESS_JOB_CANCEL, false, false},
  };
  auto ja = make_job();
  const auto replay_dir = dir_ / "replay";
  for (const PolicyCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(replay_dir);
    std::filesystem::create_directories(replay_dir);
    util_safe_strncpy(global_ctx.jobreplay_spool_dir_path, replay_dir.c_str(),
                      sizeof global_ctx.jobreplay_spool_dir_path);
    global_ctx.hold_job_on_error_ms = 120000;
    ProcessJobResponse r{};
    r.status = c.status;
    r.long_hold_time_ms = 777;
    rpc_handle_print_error_status(&r, ja.get(), c.analysis_code, c.failure_mode, c.held_before);
    EXPECT_EQ(r.status, c.expect_status);
    if (c.expect_hold) {
      EXPECT_GE(r.hold_time_ms, 120000);
      EXPECT_LT(r.hold_time_ms, 240000);
    } else {
      EXPECT_EQ(r.hold_time_ms, 0);
    }
    EXPECT_EQ(r.long_hold_time_ms, 777);
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(replay_dir)) {
      files.push_back(entry.path().filename().string());
    }
    if (c.expect_replay_file) {
      ASSERT_EQ(files.size(), 1u);
      EXPECT_EQ(files[0], "job-laser1-42-20240305T140709.dat");
    } else {
      EXPECT_TRUE(files.empty());
    }
  }
}

TEST_F(Decision, HoldOnErrorNeverDividesByZeroOrOverflows) {
  auto ja = make_job();
  const struct {
    int setting;
    int low;
    int high;
  } rows[] = {
      {0, HOLD_ON_ERROR_MIN_MS, HOLD_ON_ERROR_MIN_MS},
      {-5, HOLD_ON_ERROR_MIN_MS, HOLD_ON_ERROR_MIN_MS},
      {1, 1, 1},
      {INT_MAX, INT_MAX / 2, INT_MAX},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.setting);
    global_ctx.hold_job_on_error_ms = row.setting;
    for (int i = 0; i < 20; ++i) {
      ProcessJobResponse r{};
      r.status = PROCESS_JOB_ERROR;
      rpc_handle_print_error_status(&r, ja.get(), 0, FAILURE_MODE_HOLD, 0);
      ASSERT_EQ(r.status, PROCESS_JOB_HOLD);
      EXPECT_GE(r.hold_time_ms, row.low);
      EXPECT_LE(r.hold_time_ms, row.high);
    }
  }
}

TEST(ModifyWorkToDo, EachRequestCounts) {
  const struct {
    const char* name;
    watermark_params wm;
    int ignore_gzip;
    int expected;
  } rows[] = {
      {"nothing", {}, 0, 0},
      {"text", {.text = "x"}, 1, 1},
      {"duplex", {.force_duplex = 1}, 1, 1},
      {"grayscale", {.force_grayscale = 1}, 1, 1},
      {"copies alone", {.copies = 4}, 1, 1},
      {"negative copies", {.copies = -1}, 1, 1},
      {"font size alone", {.font_size = 12}, 0, 0},
      {"gzip counted", {.gzip = 1}, 0, 1},
      {"gzip ignored", {.gzip = 1}, 1, 0},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(modify_spool_file_has_work_to_do(&row.wm, row.ignore_gzip), row.expected)
        << row.name;
  }
  EXPECT_EQ(modify_spool_file_has_work_to_do(nullptr, 0), 0);
}

}  // namespace
