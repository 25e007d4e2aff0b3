// Shared state of the logger's own files (not for other modules).
#pragma once

// The configured log path; empty until log_set_path.
const char* log_current_path();
