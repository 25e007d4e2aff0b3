// PSColor: the colour-page detector of the PostScript analyzer. The scanner
// calls it at every examined position with the index of the page the
// position belongs to; it looks there for the colour operators and image
// constructs of the drivers it knows and marks the page coloured at the
// first real colour mark. A change of page index closes the page and counts
// it when it was marked. Equal components are gray, saturated black is not
// colour, colour that only paints empty text is ignored, and colour inside
// an embedded PDF resource counts only where a page uses the resource.
//
// Positions are kept as offsets into the buffer being scanned; a nested scan
// of a decoded prolog brackets its work with PSColorPushBuffer and
// PSColorPopBuffer so that the outer buffer's offsets stay its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/owned.h"

// The closing page index the scanner passes after its walk.
inline constexpr int PS_COLOR_CLOSING_PAGE = 999999;

struct PsPdfObject {
  std::int32_t number;
  std::int32_t coloured;
  std::vector<std::int32_t> references;  // at most PS_PDF_OBJECT_MAX_REFERENCES
};
inline constexpr std::size_t PS_PDF_OBJECT_MAX_REFERENCES = 99;

struct PsCsaEntry {
  std::int32_t number;
  std::int32_t gray;
};

// A pdftops image array. Its chunks are decoded when a page first draws it
// as a colour image, not where it is defined: pdftops defines every image
// of a document up front and again on the page that draws it, and many
// images are never drawn where the page could still turn colour.
struct PsImageColour {
  std::int32_t index;
  // 1 colour, 0 not, -1 unknown (the samples do not decode), or
  // PS_IMAGE_NOT_DECODED; as decoded with `filter` (a PsImageFilter) for
  // `components`.
  std::int32_t colour;
  std::int32_t filter;
  std::int32_t components;
  // Not yet decoded: the array's chunks begin at `chunks` of the buffer
  // [buffer, buffer + length) (the job's own, mapped while it is analysed);
  // `count` is the array's declared size.
  const std::uint8_t* buffer;
  std::uint64_t length;
  std::uint64_t chunks;
  std::uint64_t chunks_end;  // behind the last chunk
  std::int32_t count;
  std::uint64_t array;  // where its definition ("1 array ...") begins
};
inline constexpr std::int32_t PS_IMAGE_NOT_DECODED = -2;

// The text of an image array already decoded (in the job's own buffer) and
// its result: an array written again with the same bytes (the same image
// on another page, in another copy of the document) is not decoded again.
struct PsDecodedArray {
  const std::uint8_t* text;
  std::uint64_t length;
  std::int32_t count;
  std::int32_t filter;
  std::int32_t components;
  std::int32_t colour;
};
inline constexpr std::size_t PS_DECODED_ARRAYS_MAX = 8;

// Buffer-relative state that a nested scan must not see or change.
struct PsColorBufferState {
  std::uint64_t skip;  // no test runs at offsets below it
  std::int32_t nobj;   // object whose resource is open, -1 when none
  std::int32_t resource_tracked;
  std::int64_t resource_start;  // offset behind the BeginResource comment, -1 when none
};

struct PSColor {
  std::int32_t is_canon_filtered;
  std::int32_t page_index;
  std::int32_t color_pagecount;
  std::int32_t has_color_on_page;
  // The page draws an image whose samples cannot be decoded here: unless
  // some colour mark colours it, its colour is not known.
  std::int32_t unjudged_on_page;
  // Pages closed without colour that held such an image, and the reason of
  // the first one (a static text).
  std::int32_t unjudged_pagecount;
  const char* unjudged_reason;
  PsColorBufferState buffer;
  std::vector<PsColorBufferState> saved_buffers;
  std::int32_t is_gsps;
  std::int32_t is_dr_setrgbcolor;
  std::int32_t gray_image_header;
  std::int32_t is_csa_gray;
  std::int32_t donimage_procs;
  // The scan is inside the job's prolog, where colour operators define
  // procedures and mark no page; the procedures that set a colour there are
  // remembered, and a page that calls one is colour.
  std::int32_t in_prolog;
  std::vector<std::string> colour_procedures;
  std::vector<PsPdfObject> objects;
  // Positions in `objects` sorted by object number, valid when index_valid.
  std::vector<std::int32_t> sorted;
  bool index_valid;
  std::vector<PsCsaEntry> csa;
  std::vector<PsImageColour> images;
  // At most PS_DECODED_ARRAYS_MAX, the oldest replaced first; kept across
  // documents (a result depends on nothing but the bytes).
  std::vector<PsDecodedArray> decoded_arrays;
  std::size_t next_decoded_array;
};

// A new detector (nothing on failure, "calloc failed" logged).
[[nodiscard]] PSColor* PSColorNew(int is_canon_filtered);
// Frees a detector; null is ignored.
void PSColorFree(PSColor* color);
using PSColorPtr = Owned<PSColor, PSColorFree>;

// Examines the position `pos` of the buffer [start, end) that belongs to
// page `page_index`.
void PSColorParseAtPos(PSColor* color, const std::uint8_t* pos, const std::uint8_t* start,
                       const std::uint8_t* end, int page_index);

// An embedded PDF object's resource begins at `pos` (behind its comment);
// `tracked` is 0 for fonts. 1, or 0 after an invalid state (logged). With no
// detector nothing happens and the result is 1.
int PSColorBeginResource(PSColor* color, const std::uint8_t* pos, const std::uint8_t* start,
                         int nobj, int tracked);
// The open resource ends at `end_resource` ("%%EndResource"): its object
// references are recorded and "RGB" in it colours the object.
int PSColorEndResource(PSColor* color, const std::uint8_t* start, const std::uint8_t* end,
                       const std::uint8_t* end_resource);

[[nodiscard]] int PSColorGetColorPageCount(const PSColor* color);
// Pages whose colour could not be judged (no colour mark, and an image whose
// samples could not be decoded); `reason` (may be null) receives why.
[[nodiscard]] int PSColorGetUnjudgedPageCount(const PSColor* color, const char** reason);

// An image at `pos` whose samples cannot be decoded: the page's colour is
// not judged unless a colour mark colours it. `reason` is a static text.
void SetPageUnjudgedFlag(PSColor* color, const std::uint8_t* pos, const std::uint8_t* start,
                         const char* reason);

// A colour mark at `pos`: colours the open tracked resource's object, or
// the current page (unless the mark only paints invisible text).
void SetPageColoredFlag(PSColor* color, const std::uint8_t* pos, const std::uint8_t* start,
                        const std::uint8_t* end);

// Adds the literals at which some colour test can begin: the walk hands
// the detector only positions that begin with one (and, for the two
// dialects that need them, digits).
class PsLiteralFilter;
void PSColorTriggerLiterals(PsLiteralFilter* filter);

// A further document of the job begins: its PDF objects, colour spaces,
// images and prolog procedures are its own (object numbers start again).
void PSColorNewDocument(PSColor* color);

// The scan enters (1) or leaves (0) the job's prolog.
void PSColorSetProlog(PSColor* color, int in_prolog);
// How many colour procedures the prolog defined so far (their names are in
// `colour_procedures`; the walk must stop where they are called).
[[nodiscard]] std::size_t PSColorProcedureCount(const PSColor* color);

// Around a nested scan of another buffer: the outer buffer's skip offset and
// resource state are kept aside and restored afterwards.
void PSColorPushBuffer(PSColor* color);
void PSColorPopBuffer(PSColor* color);
