// The print command: values from clients reach the command as literal
// arguments whatever the template's quoting, required placeholders are
// checked, and every way the command can fail is reported.
#include "job/print_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "job_test_support.h"

namespace {


class PrintCommandTest : public job_test::JobTest {
 protected:
  void SetUp() override {
    job_test::configure(dir_, 1);
    spool_ = dir_ / "job.spl";
    sw_test::write_file(spool_, "%!PS\n");
  }
  std::string recorder() { return job_test::make_recorder(dir_, "rec", 0); }
  std::vector<std::string> argv() { return job_test::recorded_argv(dir_, "rec"); }
  bool ran() { return sw_test::exists(dir_ / "rec.argv"); }

  std::string spool_;
};

// Titles and user names come from clients: nothing in them may run.
TEST_F(PrintCommandTest, HostileValuesArePassedLiterallyInEveryQuotingContext) {
  const std::string hostile_title = "$(touch " + (dir_ / "pwned1") + ") `touch " +
                                    (dir_ / "pwned2") + "` 'x' * $HOME";
  const std::string hostile_user = "bob$(touch " + (dir_ / "pwned3") + ")'";
  struct Case {
    const char* name;
    std::string tail;  // the template after the recorder's path
  };
  const Case cases[] = {
      {"double quoted", " -d \"%printer%\" -t \"%docname%\" -U \"%username%\" \"%spoolfile%\""},
      {"unquoted", " -d %printer% -t %docname% -U %username% %spoolfile%"},
      {"single quoted", " -d '%printer%' -t '%docname%' -U '%username%' '%spoolfile%'"},
      {"inside a longer quoted word",
       " -d \"%printer%\" -t \"Doc: %docname%.\" -U \"u=%username%\" \"%spoolfile%\""},
  };
  const std::vector<std::vector<std::string>> expected = {
      {"-d", "lab", "-t", "$(touch " + (dir_ / "pwned1") + ") `touch " + (dir_ / "pwned2") +
                              "` 'x' * $HOME",
       "-U", hostile_user, spool_},
      {"-d", "lab", "-t", "$(touch " + (dir_ / "pwned1") + ") `touch " + (dir_ / "pwned2") +
                              "` 'x' * $HOME",
       "-U", hostile_user, spool_},
      {"-d", "lab", "-t", "$(touch " + (dir_ / "pwned1") + ") `touch " + (dir_ / "pwned2") +
                              "` 'x' * $HOME",
       "-U", hostile_user, spool_},
      {"-d", "lab", "-t", "Doc: $(touch " + (dir_ / "pwned1") + ") `touch " + (dir_ / "pwned2") +
                              "` 'x' * $HOME.",
       "-U", "u=" + hostile_user, spool_},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    const std::string tmpl = "\"" + recorder() + "\"" + cases[i].tail;
    EXPECT_EQ(print_command(tmpl.c_str(), "lab", "server", hostile_title.c_str(), spool_.c_str(),
                            hostile_user.c_str(), nullptr),
              1);
    EXPECT_EQ(argv(), expected[i]);
    EXPECT_FALSE(sw_test::exists(dir_ / "pwned1"));
    EXPECT_FALSE(sw_test::exists(dir_ / "pwned2"));
    EXPECT_FALSE(sw_test::exists(dir_ / "pwned3"));
  }
}

TEST_F(PrintCommandTest, ValuesAreCleanedAndTheLocalServerBecomesLoopback) {
  const std::string tmpl = "\"" + recorder() +
                           "\" -d \"%printer%\" -h \"%server%\" -t \"%docname%\" -o \"%options%\" "
                           "\"%spoolfile%\" %username%";
  struct Case {
    const char* server;
    const char* expected_server;
  };
  const Case cases[] = {{"printhost", "127.0.0.1"}, {"PRINTHOST", "127.0.0.1"},
                        {"other\"host;", "otherhost"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.server);
    EXPECT_EQ(print_command(tmpl.c_str(), "q\\1", c.server, "a \"b\";c\\d", spool_.c_str(),
                            nullptr, "x;y"),
              1);
    // No user name given: the placeholder stays as written.
    const std::vector<std::string> want = {"-d", "q1", "-h", c.expected_server, "-t", "a bcd",
                                           "-o", "xy", spool_, "%username%"};
    EXPECT_EQ(argv(), want);
  }
}

TEST_F(PrintCommandTest, UnusableTemplatesRunNothing) {
  const std::string rec = "\"" + recorder() + "\"";
  const std::string templates[] = {
      rec + " -t \"%docname%\" \"%spoolfile%\"",   // no printer
      rec + " -d \"%printer%\" \"%spoolfile%\"",   // no document name
      rec + " -d \"%printer%\" -t \"%docname%\"",  // no spool file
  };
  for (const std::string& tmpl : templates) {
    SCOPED_TRACE(tmpl);
    EXPECT_EQ(print_command(tmpl.c_str(), "lab", "s", "doc", spool_.c_str(), "u", nullptr), 0);
    EXPECT_FALSE(ran());
  }
  const std::string log = job_test::log_text(dir_);
  EXPECT_NE(log.find("Print command missing %printer% replacement"), std::string::npos);
  EXPECT_NE(log.find("Print command missing %docname% replacement"), std::string::npos);
  EXPECT_NE(log.find("Print command missing %spoolfile% replacement"), std::string::npos);
}

// A command that cannot do its work is a failure, not a success.
TEST_F(PrintCommandTest, FailingCommandsAreReported) {
  struct Case {
    const char* name;
    std::string tmpl;
    std::string spool;
  };
  const std::string killer = dir_ / "killer.sh";
  sw_test::write_file(killer, "#!/bin/sh\nkill -9 $$\n");
  chmod(killer.c_str(), 0755);
  const Case cases[] = {
      {"non-zero exit",
       "\"" + job_test::make_recorder(dir_, "rec3", 3) + "\" \"%printer%\" \"%docname%\" \"%spoolfile%\"",
       spool_},
      {"killed", "\"" + killer + "\" \"%printer%\" \"%docname%\" \"%spoolfile%\"", spool_},
      {"not found", "\"" + (dir_ / "missing-program") + "\" %printer% %docname% %spoolfile%",
       spool_},
      {"no spool file", "\"" + recorder() + "\" %printer% %docname% %spoolfile%",
       dir_ / "gone.spl"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(print_command(c.tmpl.c_str(), "lab", "s", "doc", c.spool.c_str(), nullptr, nullptr),
              0);
  }
  const std::string log = job_test::log_text(dir_);
  EXPECT_NE(log.find("Exit code:  3"), std::string::npos);
  EXPECT_NE(log.find("Spool file does not exist. spoolfile_name='" + (dir_ / "gone.spl") + "'"),
            std::string::npos);
}

}  // namespace
