// Child processes run through "/bin/sh -c" with pipes to their standard
// streams.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdio>

// Runs `command` with a pipe for each requested stream (null: inherited);
// hands out the write end of stdin and the read ends of stdout and stderr.
// The parent's ends are close-on-exec. The child's pid, or -1.
[[nodiscard]] pid_t popen3_create_fd(const char* command, int* in, int* out, int* err);
// The same with stdio streams (stdin "w", stdout and stderr "r"); a null
// out-parameter leaves that stream inherited. The child's pid, or -1.
[[nodiscard]] pid_t popen3_create_fp(const char* command, FILE** in, FILE** out, FILE** err);
// Waits for the child: its exit status (0 to 255), or -1 when a signal ended
// it or the wait failed.
[[nodiscard]] int popen3_wait(pid_t pid);

// Writes all bytes to a pipe; a reader that has gone away gives 0 (EPIPE)
// instead of killing the process with SIGPIPE. 1 on success.
[[nodiscard]] int popen3_write(int fd, const void* bytes, std::size_t count);
// The same for a stream (written and flushed).
[[nodiscard]] int popen3_fwrite(FILE* stream, const void* bytes, std::size_t count);
