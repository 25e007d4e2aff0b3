// Child processes run through the shell with pipes to their standard streams.
#include "foundation/popen3.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>

#include <stdio_ext.h>

#include "foundation/log.h"

namespace {

constexpr int SHELL_CANNOT_RUN = 127;
constexpr const char* STREAM_NAMES[3] = {"stdin", "stdout", "stderr"};

void close_if_open(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// In the child, after fork: only async-signal-safe calls. Moves the child's
// pipe ends above 2 first, so that no dup2 overwrites another end when the
// parent had its own standard descriptors closed.
[[noreturn]] void run_child(const char* command, int (&pipes)[3][2]) {
  for (int stream = 0; stream < 3; ++stream) {
    int child_end = pipes[stream][stream == 0 ? 0 : 1];
    if (child_end < 0) continue;
    int moved = fcntl(child_end, F_DUPFD_CLOEXEC, 3);
    if (moved < 0) _exit(SHELL_CANNOT_RUN);
    pipes[stream][stream == 0 ? 0 : 1] = moved;
  }
  for (int stream = 0; stream < 3; ++stream) {
    int child_end = pipes[stream][stream == 0 ? 0 : 1];
    if (child_end >= 0 && dup2(child_end, stream) < 0) _exit(SHELL_CANNOT_RUN);
  }
  // The command gets the default SIGPIPE and no blocked signals, whatever
  // this process uses.
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigaction(SIGPIPE, &default_action, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  const char* argv[] = {"sh", "-c", command, nullptr};
  execv("/bin/sh", const_cast<char* const*>(argv));
  _exit(SHELL_CANNOT_RUN);
}

// Waits for pid, retrying when interrupted; the raw status or -1.
int wait_status(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}

// Blocks SIGPIPE for the calling thread while a pipe is written, and consumes
// a SIGPIPE that the write raised, so that a reader that has gone away shows
// as EPIPE.
class SigpipeGuard {
 public:
  SigpipeGuard() {
    sigset_t pipe_only;
    sigemptyset(&pipe_only);
    sigaddset(&pipe_only, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    was_pending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_only, &old_mask_);
  }
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;
  ~SigpipeGuard() {
    if (raised_ && !was_pending_) {
      sigset_t pipe_only;
      sigemptyset(&pipe_only);
      sigaddset(&pipe_only, SIGPIPE);
      timespec no_wait{0, 0};
      while (sigtimedwait(&pipe_only, nullptr, &no_wait) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
  }
  void note_epipe() { raised_ = true; }

 private:
  sigset_t old_mask_{};
  bool was_pending_ = false;
  bool raised_ = false;
};

}  // namespace

pid_t popen3_create_fd(const char* command, int* in, int* out, int* err) {
  if (command == nullptr) return -1;
  int* wanted[3] = {in, out, err};
  int pipes[3][2] = {{-1, -1}, {-1, -1}, {-1, -1}};
  auto close_all = [&pipes] {
    for (auto& pair : pipes) {
      close_if_open(pair[0]);
      close_if_open(pair[1]);
    }
  };
  for (int stream = 0; stream < 3; ++stream) {
    if (wanted[stream] == nullptr) continue;
    // Close-on-exec: no other child may keep our ends open, or this child
    // would never see the end of its input.
    if (pipe2(pipes[stream], O_CLOEXEC) != 0) {
      LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Failed to create %s pipe to run command: %s",
                                     STREAM_NAMES[stream], command);
      close_all();
      return -1;
    }
  }
  pid_t pid = fork();
  if (pid == 0) run_child(command, pipes);
  if (pid < 0) {
    LOG_LAST_SYSTEM_ERROR("Failed to fork to run command: %s", command);
    close_all();
    return -1;
  }
  for (int stream = 0; stream < 3; ++stream) {
    if (wanted[stream] == nullptr) continue;
    int parent_side = stream == 0 ? 1 : 0;
    close_if_open(pipes[stream][1 - parent_side]);
    *wanted[stream] = pipes[stream][parent_side];
  }
  return pid;
}

pid_t popen3_create_fp(const char* command, FILE** in, FILE** out, FILE** err) {
  FILE** wanted[3] = {in, out, err};
  int fds[3] = {-1, -1, -1};
  pid_t pid = popen3_create_fd(command, in != nullptr ? &fds[0] : nullptr,
                               out != nullptr ? &fds[1] : nullptr,
                               err != nullptr ? &fds[2] : nullptr);
  if (pid < 0) return -1;
  FILE* streams[3] = {nullptr, nullptr, nullptr};
  for (int stream = 0; stream < 3; ++stream) {
    if (wanted[stream] == nullptr) continue;
    streams[stream] = fdopen(fds[stream], stream == 0 ? "w" : "r");
    if (streams[stream] != nullptr) continue;
    if (stream == 0) LOG_ERROR("Failed to open stdin when running command: %s", command);
    if (stream == 1) LOG_ERROR("Failed to open stdout when running command: %s", command);
    if (stream == 2) LOG_ERROR("Failed to open stderr when running command: %s", command);
    for (int other = 0; other < 3; ++other) {
      if (streams[other] != nullptr) {
        std::fclose(streams[other]);
      } else {
        close_if_open(fds[other]);
      }
    }
    // The child was never given its work: end it and reap it, leaving no zombie.
    kill(pid, SIGKILL);
    wait_status(pid);
    return -1;
  }
  for (int stream = 0; stream < 3; ++stream) {
    if (wanted[stream] != nullptr) *wanted[stream] = streams[stream];
  }
  return pid;
}

int popen3_wait(pid_t pid) {
  if (pid <= 0) return -1;
  int status = wait_status(pid);
  if (status < 0) {
    LOG_LAST_SYSTEM_ERROR("Failed to wait for child process: %d", static_cast<int>(pid));
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int popen3_write(int fd, const void* bytes, std::size_t count) {
  if (fd < 0 || (bytes == nullptr && count > 0)) return 0;
  SigpipeGuard guard;
  const auto* data = static_cast<const char*>(bytes);
  while (count > 0) {
    ssize_t n = write(fd, data, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      if (error == EPIPE) guard.note_epipe();
      LOG_SYSTEM_ERROR(error, "popen3_write: write to child failed");
      return 0;
    }
    data += n;
    count -= static_cast<std::size_t>(n);
  }
  return 1;
}

int popen3_fwrite(FILE* stream, const void* bytes, std::size_t count) {
  if (stream == nullptr || (bytes == nullptr && count > 0)) return 0;
  SigpipeGuard guard;
  bool ok = std::fwrite(bytes, 1, count, stream) == count;
  ok = std::fflush(stream) == 0 && ok;
  if (!ok) {
    int error = errno;
    if (error == EPIPE) guard.note_epipe();
    LOG_SYSTEM_ERROR(error, "popen3_fwrite: write to child failed");
    // Forget what could not be written, so closing the stream does not try
    // again outside this guard.
    __fpurge(stream);
    return 0;
  }
  return 1;
}
