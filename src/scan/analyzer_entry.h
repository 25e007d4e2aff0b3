// The contract every format analyzer follows, page languages and printer
// makers' formats alike: it reads the whole mapped spool file (never writing
// to it), records its findings in the analysis record through the ja_set_*
// setters, allocates nothing that outlives the call, and returns 0 or more
// when the job was analysed (also when its time limit ran out) or a negative
// value when the data could not be analysed. It lives below both kinds of
// analyzer so that a maker's format can declare its entry in its own header.
#pragma once

#include <cstdint>

struct JobAttribs;

// The common signature of an analyzer row: the mapped file, its length, the
// extra argument its dispatch row gives it and the analysis record.
using AnalyzerFunc = int (*)(const std::uint8_t* data, std::uint64_t length, int extra,
                             JobAttribs* ja);

// One analyzer: the name of its function (for logs and tests) and the
// function, defined together so that they cannot drift apart. An analyzer
// whose own signature differs has a small adapter as `analyze`.
struct AnalyzerEntry {
  const char* name;
  AnalyzerFunc analyze;
};
