// The configurable print command that hands a file to another queue. Values
// are never pasted into the shell text: each is passed to the shell as a
// positional parameter and the template gets a quoted reference to it, so no
// client-supplied text (title, user name) can be expanded or run.
#pragma once

// Placeholders of the template; the first three are required.
inline constexpr const char PRINT_CMD_PRINTER[] = "%printer%";
inline constexpr const char PRINT_CMD_DOCNAME[] = "%docname%";
inline constexpr const char PRINT_CMD_SPOOLFILE[] = "%spoolfile%";
inline constexpr const char PRINT_CMD_SERVER[] = "%server%";
inline constexpr const char PRINT_CMD_OPTIONS[] = "%options%";
inline constexpr const char PRINT_CMD_USERNAME[] = "%username%";

// Runs `template_text` through /bin/sh with the placeholders standing for the
// values. A server equal to ServerName (caseless) becomes "127.0.0.1"; the
// document name, server, printer and options lose double quotes, backslashes
// and semicolons. `user_name` and `options` may be null. 1 when the command
// ran and exited with status 0; 0 when the template lacks a required
// placeholder, the spool file does not exist, or the command could not start,
// exited non-zero or was killed.
[[nodiscard]] int print_command(const char* template_text, const char* printer, const char* server,
                                const char* document_name, const char* spool_file,
                                const char* user_name, const char* options);
