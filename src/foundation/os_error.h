// Error numbers of the operating system and their texts, as the logger's
// system-error entries show them.
#pragma once

#include <cstddef>

// Size of the buffers that hold an error text and a message with its suffix.
inline constexpr std::size_t OS_ERROR_TEXT_SIZE = 512;

// The calling thread's current error number (errno).
[[nodiscard]] int os_get_last_error();

// Copies the system's text for `error` into `buffer` (at most size - 1 bytes,
// always terminated); an unknown number gives the C library's own wording.
// Returns `buffer`.
char* os_get_system_error_message(int error, char* buffer, std::size_t size);

// Writes "message - text (Error: n)" into `out`, or "message - Error: n" when
// the system has no text for the number; the result is cut to size - 1 bytes
// and terminated. A null message counts as empty. Returns `out`.
char* os_format_system_error_message(char* out, std::size_t size, const char* message, int error);
