// A disk that fills up, for tests of what a write failure leaves behind: the
// work runs in a child process whose files cannot grow past a limit
// (RLIMIT_FSIZE), so every write beyond it fails as on a full disk.
#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace sw_test {

// Runs `work` in a child whose files may hold at most `limit_bytes`; the
// child's result (0 to 255), or -1 when it did not end normally.
inline int with_disk_full_after(rlim_t limit_bytes, const std::function<int()>& work) {
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    // A write past the limit then fails with EFBIG instead of a signal.
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{limit_bytes, limit_bytes};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(255);
    _exit(work() & 0xFF);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace sw_test
