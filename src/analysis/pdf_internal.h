// What the parts of the PDF analyzer share: the state of one walk over the
// file (and over the object streams inflated from it).
#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "scan/position_timer.h"
#include "scan/byte_cursor.h"
#include "scan/scan_regex.h"

struct JobAttribs;

// Windows (bytes from the scan position) that the patterns look at.
inline constexpr std::uint64_t PDF_PAGE_WINDOW = 20;
inline constexpr std::uint64_t PDF_BOX_WINDOW = 100;
inline constexpr std::uint64_t PDF_BOX2_WINDOW = 200;
inline constexpr std::uint64_t PDF_ATTRIB_WINDOW = 150;
inline constexpr std::uint64_t PDF_COPIES_WINDOW = 250;
// How far back from a /Type key its dictionary's "<<" is looked for, and
// how long a page-tree dictionary may be.
inline constexpr std::uint64_t PDF_DICT_BACK_MAX = 65536;
inline constexpr std::uint64_t PDF_DICT_MAX = std::uint64_t{16} << 20;
// How far behind an object stream's /Type its "stream" keyword may be, and
// the most bytes one object stream is inflated to.
inline constexpr std::uint64_t PDF_STREAM_KEYWORD_MAX = 4096;
inline constexpr std::uint64_t PDF_OBJSTM_MAX_BYTES = std::uint64_t{64} << 20;
// How far from one of its keys a stream's dictionary may begin and end (a
// stream dictionary is a few keys; an image's inline colour table is the
// longest value it holds).
inline constexpr std::uint64_t PDF_STREAM_DICT_MAX = 65536;
// The shortest stream data stepped over by its length: below it, walking the
// data costs no more than reading the dictionary that gives the length.
inline constexpr std::uint64_t PDF_STREAM_SKIP_MIN = 4096;

// The compiled patterns of the walk.
struct PdfPatterns {
  ScanRegex box;        // /Type .. /Page(s) .. /MediaBox [..]
  ScanRegex box2;       // /MediaBox [..] .. >>/Type .. /Page
  ScanRegex paper;      // <PageAttribRange .. PaperSize="..."
  ScanRegex duplex;     // <PageAttribRange .. Duplex="..."
  ScanRegex simplex;    // <PageAttribRange .. Duplex="Simplex"
  ScanRegex copies;     // <PageAttribRange .. Copies="n"
  ScanRegex inline_copies;  // [n <</P(1)>> ...] endobj
  PdfPatterns();
};

// The inflater of object streams: one zlib state, reset for each stream,
// and one buffer that grows (without being cleared) to the largest stream.
struct PdfInflater {
  z_stream z{};
  bool ready = false;
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t capacity = 0;
  std::size_t size = 0;

  PdfInflater() = default;
  PdfInflater(const PdfInflater&) = delete;
  PdfInflater& operator=(const PdfInflater&) = delete;
  ~PdfInflater() {
    if (ready) inflateEnd(&z);
  }
  [[nodiscard]] ByteSpan data() const { return ByteSpan(bytes.get(), size); }
};

// Width and height in millimetres of a box text "x1 y1 x2 y2" (numbers may
// carry decimals): |x2 - x1| and |y2 - y1| points, rounded half up. None
// when the text is not four numbers.
struct PdfBoxSize {
  int width_mm;
  int height_mm;
};
[[nodiscard]] std::optional<PdfBoxSize> pdf_box_size(std::string_view box);

// One walk's findings and state.
struct PdfScan {
  const PdfPatterns* patterns = nullptr;
  JobAttribs* ja = nullptr;
  WalkTimer* timer = nullptr;
  std::uint64_t positions = 0;     // bytes walked, object streams included (for the timer)
  std::int64_t page_objects = 0;   // page dictionaries seen
  int inline_copies = -1;          // "P(1)" references of the last inline-copy match
  std::optional<int> root_count;   // /Count of the last page-tree root seen
  std::string last_box_text;       // the box text read last, and its size
  std::optional<PdfBoxSize> last_box_size;
  int object_streams = 0;          // object streams inflated
  PdfInflater inflater;            // object streams are inflated into it
  bool timed_out = false;
};

// Walks `data` (the file, or an inflated object stream when `nested` is set:
// no object streams are looked for inside it). Stops when the timer runs out.
void pdf_walk(PdfScan* scan, ByteSpan data, bool nested);

// A PCLm job ("%PCLm" at its start): the sides, colour mode and copies its
// job ticket asks for, and whether its last page is made only of the strips
// the driver names white (the blank back side a two-sided job of an odd page
// count ends with; looked for in two-sided jobs only).
struct PclmJob {
  bool pclm = false;
  bool duplex = false;
  bool tumble = false;
  bool monochrome = false;
  int copies = 0;
  bool last_page_blank = false;
};
[[nodiscard]] PclmJob pclm_read(ByteSpan data);

// The page-tree node (a page, or a node of pages) whose /Type key is at
// `type_at`: its /Count, whether it has a /Parent, and its own /MediaBox
// (the text between the brackets). None when its dictionary cannot be found.
struct PdfPagesNode {
  std::optional<int> count;
  bool has_parent = false;
  std::optional<std::string_view> media_box;
};
[[nodiscard]] std::optional<PdfPagesNode> pdf_pages_node(ByteSpan data, std::uint64_t type_at);

// The box (the text between the brackets) of a /MediaBox key at `at` whose
// value is a direct array; none when no such key stands there.
[[nodiscard]] std::optional<std::string_view> pdf_media_box_at(ByteSpan data, std::uint64_t at);

// The object stream whose /Type key is at `type_at`, inflated into
// scan->inflater; false when it is not a Flate stream that can be inflated.
[[nodiscard]] bool pdf_inflate_object_stream(PdfScan* scan, ByteSpan data, std::uint64_t type_at);

// The /Length of a stream: a number of bytes, a reference to an object that
// holds it ("n g R"), or anything else.
enum class PdfLengthKind { NONE, DIRECT, INDIRECT };
struct PdfLength {
  PdfLengthKind kind = PdfLengthKind::NONE;
  std::uint64_t bytes = 0;  // a direct length
};
// A /Length value at `at`: a direct count of bytes (digits that end there),
// an indirect reference, or neither ("-5", "12.5", a name, a count too large
// for 64 bits).
[[nodiscard]] PdfLength pdf_length_value(ByteSpan data, std::uint64_t at);

// The first offset at or after `at` that is not white space.
[[nodiscard]] std::uint64_t pdf_skip_space(ByteSpan data, std::uint64_t at);

// The stream whose dictionary holds the key at `key_at`, as its dictionary
// describes it. The dictionary's "<<" is looked for back to
// `lowest` (and at most PDF_STREAM_DICT_MAX bytes).
struct PdfStreamDict {
  std::uint64_t looked_to = 0;  // keys before this offset need no second look
  std::uint64_t data_at = 0;    // the first data byte; 0 when no "stream" keyword follows
  PdfLengthKind length_kind = PdfLengthKind::NONE;
  std::uint64_t length = 0;     // a direct /Length
  bool filtered = false;        // a /Filter names a decoding: the data is encoded bytes
  bool embedded_file = false;   // /Type /EmbeddedFile: a file attached to the document
};
[[nodiscard]] PdfStreamDict pdf_stream_dict(ByteSpan data, std::uint64_t key_at,
                                            std::uint64_t lowest);
