// Child processes the tests start themselves (stand-ins, simulators): they
// are stopped by process id, never by name, so parallel tests never stop one
// another's.
#pragma once

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>

namespace sw_test {

// Ends the child `pid` (SIGTERM), reaps it and marks it gone (-1); nothing
// when it is not running.
inline void stop_child(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  pid = -1;
}

}  // namespace sw_test
