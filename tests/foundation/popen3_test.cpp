#include "foundation/popen3.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

std::string read_all(int fd) {
  std::string text;
  char block[4096];
  ssize_t n;
  while ((n = read(fd, block, sizeof block)) > 0) text.append(block, static_cast<std::size_t>(n));
  return text;
}

bool sigpipe_pending() {
  sigset_t pending;
  sigpending(&pending);
  return sigismember(&pending, SIGPIPE) == 1;
}

bool sigpipe_blocked() {
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  return sigismember(&mask, SIGPIPE) == 1;
}

}  // namespace

TEST(Popen3, ExitStatusOfTheShellCommand) {
  struct Case {
    const char* command;
    int status;
  };
  const Case cases[] = {
      {"exit 0", 0},
      {"exit 3", 3},
      {"exit 255", 255},
      {"kill -9 $$", -1},                  // ended by a signal
      {"kill -TERM $$", -1},
      {"/nonexistent/sw-command", 127},    // the shell cannot run it
  };
  for (const Case& c : cases) {
    pid_t pid = popen3_create_fd(c.command, nullptr, nullptr, nullptr);
    ASSERT_GT(pid, 0) << c.command;
    EXPECT_EQ(popen3_wait(pid), c.status) << c.command;
  }
  EXPECT_EQ(popen3_wait(-1), -1);
}

TEST(Popen3, PipesToEveryStream) {
  int in = -1;
  int out = -1;
  int err = -1;
  pid_t pid = popen3_create_fd("tr a-z A-Z; echo problem >&2", &in, &out, &err);
  ASSERT_GT(pid, 0);
  ASSERT_EQ(popen3_write(in, "spool\n", 6), 1);
  close(in);
  EXPECT_EQ(read_all(out), "SPOOL\n");
  EXPECT_EQ(read_all(err), "problem\n");
  close(out);
  close(err);
  EXPECT_EQ(popen3_wait(pid), 0);

  FILE* fin = nullptr;
  FILE* fout = nullptr;
  FILE* ferr = nullptr;
  pid = popen3_create_fp("cat; echo done >&2; exit 4", &fin, &fout, &ferr);
  ASSERT_GT(pid, 0);
  ASSERT_EQ(popen3_fwrite(fin, "line\n", 5), 1);
  std::fclose(fin);
  char line[64];
  ASSERT_NE(std::fgets(line, sizeof line, fout), nullptr);
  EXPECT_STREQ(line, "line\n");
  ASSERT_NE(std::fgets(line, sizeof line, ferr), nullptr);
  EXPECT_STREQ(line, "done\n");
  std::fclose(fout);
  std::fclose(ferr);
  EXPECT_EQ(popen3_wait(pid), 4);
}

TEST(Popen3, WritingToAnExitedChildFailsWithoutKillingUs) {
  int in = -1;
  pid_t pid = popen3_create_fd("exit 0", &in, nullptr, nullptr);
  ASSERT_GT(pid, 0);
  ASSERT_EQ(popen3_wait(pid), 0);
  EXPECT_EQ(popen3_write(in, "data", 4), 0);
  EXPECT_FALSE(sigpipe_pending());
  EXPECT_FALSE(sigpipe_blocked());
  close(in);

  FILE* fin = nullptr;
  pid = popen3_create_fp("exit 0", &fin, nullptr, nullptr);
  ASSERT_GT(pid, 0);
  ASSERT_EQ(popen3_wait(pid), 0);
  EXPECT_EQ(popen3_fwrite(fin, "data", 4), 0);
  std::fclose(fin);
  EXPECT_FALSE(sigpipe_pending());
  EXPECT_FALSE(sigpipe_blocked());
}

TEST(Popen3, ALaterChildDoesNotHoldAnEarlierChildsInputOpen) {
  int in = -1;
  int out = -1;
  pid_t reader = popen3_create_fd("cat", &in, &out, nullptr);
  ASSERT_GT(reader, 0);
  pid_t sleeper = popen3_create_fd("exec sleep 60 >/dev/null 2>&1", nullptr, nullptr, nullptr);
  ASSERT_GT(sleeper, 0);
  close(in);
  // cat sees the end of its input only if the sleeper holds no copy of it.
  EXPECT_EQ(read_all(out), "");
  EXPECT_EQ(popen3_wait(reader), 0);
  int status = 0;
  EXPECT_EQ(waitpid(sleeper, &status, WNOHANG), 0) << "the sleeper must still be running";
  kill(sleeper, SIGKILL);
  EXPECT_EQ(popen3_wait(sleeper), -1);
  close(out);
}

TEST(Popen3, WorksWhenOurOwnStandardStreamsAreClosed) {
  pid_t tester = fork();
  ASSERT_GE(tester, 0);
  if (tester == 0) {
    close(0);
    close(1);
    close(2);
    int in = -1;
    int out = -1;
    int err = -1;
    pid_t pid = popen3_create_fd("cat; echo e >&2", &in, &out, &err);
    if (pid < 0) _exit(10);
    if (popen3_write(in, "x", 1) != 1) _exit(11);
    close(in);
    char buffer[8] = {};
    if (read(out, buffer, sizeof buffer) != 1 || buffer[0] != 'x') _exit(12);
    if (read(err, buffer, sizeof buffer) != 2 || buffer[0] != 'e') _exit(13);
    _exit(popen3_wait(pid) == 0 ? 0 : 14);
  }
  int status = 0;
  ASSERT_EQ(waitpid(tester, &status, 0), tester);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
