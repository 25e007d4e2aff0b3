// The plain-text analyzer (language code 42): pages as a text printer lays
// the text out, `lines per page` lines to a page, a form feed ending a page.
#pragma once

#include <cstdint>

#include "analysis/analyzer_dispatch.h"

struct JobAttribs;

// Lines per page used when the configured value is not positive.
inline constexpr int PLAINTEXT_DEFAULT_LINES_PER_PAGE = 66;

// Counts the pages of a text: every line feed (a CR LF pair counts once)
// ends a line and every `lines_per_page` lines end a page; a form feed ends
// the page it is on (an empty one too); a last page counts when it holds
// anything (a last line without its line feed included). Lone CRs move
// nothing. Sets pages, grayscale on and colour pages 0; 0, or -1 when the
// text holds no page. The walk polls ParseTimeout and keeps the pages
// counted when it runs out.
[[nodiscard]] int plaintext_process_job(const std::uint8_t* data, std::uint64_t length,
                                        JobAttribs* ja, int lines_per_page);

extern const AnalyzerEntry PLAINTEXT_ANALYZER;
