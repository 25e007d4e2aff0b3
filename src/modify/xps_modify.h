// Rewriting the print tickets of an XPS job: when the server forces
// grayscale, duplex or a copy count, the job's, documents' and pages'
// tickets are edited and a new package is written; the pages themselves are
// copied as they are stored. Watermarks are not put into XPS jobs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "scan/xps_zip.h"

struct watermark_params;
struct msf_state;

// Writes the package in `data` with its tickets rewritten to `out`. 1 when a
// new package was written (some ticket changed); 0 when no ticket needed a
// change (nothing written: the job can print as it is) or on failure
// (logged). `done` (optional) receives, per setting, 1 when the rewritten
// package asks for what the server forced: a ticket was edited or already
// asked for it. A document or page without a ticket is passed over; a job
// without any ticket cannot be changed. The second argument is not used.
[[nodiscard]] int xps_modify(const watermark_params* request, const void* unused,
                             const std::uint8_t* data, std::uint64_t length, std::FILE* out,
                             msf_state* done = nullptr);

// The ticket part `ticket` with the forced settings: its new text (UTF-8,
// its XML declaration saying so), or none when nothing changes or on error
// (*error 1 only then). The settings already asked for by the ticket, or
// edited, are marked in `done` (optional).
[[nodiscard]] std::optional<std::string> modify_print_ticket(XpsZip* zip, const XpsFileList& list,
                                                             std::string_view ticket, int scope,
                                                             const watermark_params* request,
                                                             int* error, msf_state* done);
