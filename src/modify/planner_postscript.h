// The PostScript planner (language codes 1 and 2): inserts one block of
// PostScript at the start of the job's PostScript (a watermark drawn on
// every page from an end-of-page hook or a redefined showpage, and
// pre-ambles that force duplex, grayscale or a copy count and keep the job
// from undoing them), and rewrites the drivers' %%BeginFeature sections for
// duplex, colour and copies.
//
// What it does not do: for printers whose type names "ApeosPort-IV C2270"
// no block is inserted (no watermark at all); there, and only there, a
// change is reported as carried out only when one of its BeginFeature rules
// matched.
#pragma once

#include <cstdint>
#include <string>

struct watermark_params;
struct JobAttribs;
struct ReplacementList;

// The replacement planner: appends the edits to `list` and sets the
// msf_state flags of what it carried out. 1 on success; 0 (logged) when no
// insertion point is found or an edit or rule cannot be added.
[[nodiscard]] int plan_replacements_postscript(const watermark_params* request,
                                               const JobAttribs* job, const std::uint8_t* data,
                                               std::uint64_t length, ReplacementList* list);

// The block to insert for `request` (empty when it asks for none of
// watermark, duplex, grayscale and copies).
[[nodiscard]] std::string make_ps(const watermark_params* request, bool showpage_hook,
                                  int max_watermark_pages, bool oki_fonts);

// Offset at which the block is inserted: the line after the first line
// holding "%!PS", or after a PJL ENTER LANGUAGE = POSTSCRIPT line; -1 when
// none ends within the data.
[[nodiscard]] std::int64_t find_start_of_ps(const std::uint8_t* data, std::uint64_t length);

// The grayscale pre-amble, for other parts of the system.
[[nodiscard]] const char* get_grayscale_ps_premable();
