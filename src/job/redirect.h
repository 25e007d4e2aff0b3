// Redirected jobs: the document name that carries a redirect uid, the test
// that recognises a redirected copy coming back through the system, and the
// hand-over of a job to another queue through the print command.
#pragma once

#include <cstddef>

struct JobAttribs;

// Room of a redirect uid read from a document name (up to 49 characters).
inline constexpr std::size_t REDIRECT_DOC_UID_SIZE = 50;
inline constexpr std::size_t REDIRECT_DOC_UID_MIN = 4;
inline constexpr std::size_t REDIRECT_DOC_UID_MAX = 49;
// Room of a redirect document name (up to 254 characters).
inline constexpr std::size_t REDIRECT_DOC_NAME_SIZE = 255;
// Oldest environment version whose server knows redirection.
inline constexpr int REDIRECT_MIN_ENV_VERSION = 5;

// The uid of a name "R:<uid>:..." or "R_<uid>_..." (4 to 49 characters up to
// the second separator) into `buffer`; returns buffer, or null when the name
// carries none, the uid does not fit `size`, or env_version is below 5.
[[nodiscard]] char* extract_redirect_uid(char* buffer, std::size_t size,
                                         const char* document_name);

// 1 when a uid can be read from the name.
[[nodiscard]] int redirect_is_potentially_a_redirected_job(const char* document_name);

// 1 when the name carries a uid and the server confirms it as a redirected
// job (which registers it); 0 otherwise, also when the call fails.
[[nodiscard]] int redirect_is_redirected_job(const char* document_name, const char* job_id);

// "R:<uid>:<document name>" into `buffer` (cut to 254 characters and to
// size - 1); returns the length the full name would have.
int redirect_build_redir_doc_name(char* buffer, std::size_t size, const char* document_name,
                                  const char* uid);

// Prints `file` (or the job's spool file when null or empty) on
// target_server/target_printer with RedirectCommand, under the redirect
// document name. 1 when the print command ran and succeeded; 0 when the
// template is unusable or the command could not start, failed or was killed.
[[nodiscard]] int redirect_job(const JobAttribs* ja, const char* file, const char* target_server,
                               const char* target_printer, const char* redirect_uid);
