// Sharp SPLC (language code 51): a text command stream whose page commands
// ("7h", the paper code, "a", a byte, "d100l100e") carry the paper, and whose
// job command ("p600r", the duplex digit, "j", the copies, "x1c") carries
// duplex and copies; inside a PJL job.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

struct JobAttribs;

// Grayscale on; pages are the page commands since the last change of paper
// code; then the PJL header step in millimetres; "Letter" when no paper is
// known. Returns 0.
[[nodiscard]] int sharp_gdi_splc_process_job(const std::uint8_t* data, std::uint64_t length,
                                             JobAttribs* ja);

extern const AnalyzerEntry SHARP_GDI_SPLC_ANALYZER;
