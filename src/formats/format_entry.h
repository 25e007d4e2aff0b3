// The adapter that gives a format's own operation, which takes no extra
// argument, the common analyzer signature of its dispatch row.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

using FormatProcessJob = int (*)(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja);

template <FormatProcessJob PROCESS>
int format_entry_adapter(const std::uint8_t* data, std::uint64_t length, int /*extra*/,
                         JobAttribs* ja) {
  return PROCESS(data, length, ja);
}
