// Windows DMPAPER paper codes, as ZjStream start-page items carry them.
#pragma once

#include <cstdint>

// The paper name of a DMPAPER code, "" for a code without a name here
// (never null). Logs the lookup at debug level.
[[nodiscard]] const char* dmpaper_code_to_name(std::int64_t code);
