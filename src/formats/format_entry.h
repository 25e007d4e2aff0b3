// The adapter that gives a format's own operation, which takes no extra
// argument, the common signature of its dispatch row.
#pragma once

#include <cstdint>

#include "formats/format_colour.h"
#include "scan/analyzer_entry.h"

using FormatProcessJob = int (*)(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja);

// The format's operation, then the colour rule every format shares: a job
// that its records or its PJL header put in a gray mode is judged gray (the
// operations set grayscale only for the whole job), and any other colour the
// records did not judge stays unjudged.
template <FormatProcessJob PROCESS>
int format_entry_adapter(const std::uint8_t* data, std::uint64_t length, int /*extra*/,
                         JobAttribs* ja) {
  const int result = PROCESS(data, length, ja);
  format_judge_gray_mode(ja);
  return result;
}
