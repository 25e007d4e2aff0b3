// The fixed texts of the PostScript planner (planner_postscript_tables.cpp):
// the code blocks it inserts, emitted exactly, and the rows of the
// BeginFeature rules for duplex, grayscale and copies.
#pragma once

#include <cstddef>

// One BeginFeature rule: a regular expression over the job and its
// replacement (the copies row's replacement is a printf format of the count).
struct PsFeatureRule {
  const char* name;
  const char* pattern;
  const char* replacement;
};

extern const char* const PS_PREAMBLE_HEADER;
extern const char* const WATERMARK_PS_PREAMBLE;
extern const char* const WATERMARK_PS_POSTAMBLE;
extern const char* const DUPLEX_PS_PREAMBLE;
extern const char* const GRAYSCALE_PS_PREAMBLE;
extern const char* const COPIES_PS_PREAMBLE;
extern const char* const COPIES_PS_POSTAMBLE;

extern const PsFeatureRule REPLACEMENT_RULES_DUPLEX[];
extern const std::size_t REPLACEMENT_RULES_DUPLEX_COUNT;
extern const PsFeatureRule REPLACEMENT_RULES_GRAYSCALE[];
extern const std::size_t REPLACEMENT_RULES_GRAYSCALE_COUNT;
extern const PsFeatureRule REPLACEMENT_RULES_COPIES[];
extern const std::size_t REPLACEMENT_RULES_COPIES_COUNT;
