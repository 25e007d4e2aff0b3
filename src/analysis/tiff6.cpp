// TIFF6 jobs: one pass that stops only at ESC, "@" and "T", counting
// universal exits, reading each TIFF's directories where the enter-language
// line ends, and taking "@PJL DEFAULT COPIES" lines.
#include "analysis/tiff6.h"

#include <cinttypes>

#include "scan/position_timer.h"
#include "analysis/stop_bytes.h"
#include "analysis/tiff_ifd.h"
#include "foundation/config.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/regex.h"
#include "scan/pjl.h"
#include "scan/scan_regex.h"

namespace {

// A universal exit is a page end only when it starts after this offset and
// more than this many bytes remain from its start.
constexpr std::uint64_t PAGE_END_MIN_OFFSET = 8;
constexpr std::uint64_t COPIES_WINDOW = 30;
// "TIF?6" LF before the TIFF's byte-order mark: the end of the enter-language line.
constexpr std::uint64_t LANGUAGE_TAIL = 6;
// Resolution assumed when an image gives none in inches or centimetres.
constexpr double DEFAULT_DPI = 600.0;

struct TiffScan {
  std::int64_t page_ends = 0;
  std::int64_t images = 0;
  std::int64_t gray_images = 0;  // images whose colour model holds no colour
  int copies = -1;
};

bool is_image_header(ByteSpan d, std::uint64_t p) {
  return scan_bytes_at(d, p, "TIF") && scan_bytes_at(d, p + 4, "6\n") &&
         (scan_bytes_at(d, p + LANGUAGE_TAIL, "II") || scan_bytes_at(d, p + LANGUAGE_TAIL, "MM"));
}

double side_mm(std::uint32_t pixels, double resolution, int unit) {
  const std::optional<double> mm = tiff_length_mm(pixels, resolution, unit);
  return mm ? *mm : pixels * 25.4 / DEFAULT_DPI;
}

// The TIFF `tiff` (up to the next universal exit): its images, and the page
// size of the first.
void read_tiff(ByteSpan tiff, TiffScan* scan, JobAttribs* ja) {
  const std::optional<TiffHeader> header = tiff_read_header(tiff);
  if (!header) return;
  const std::optional<TiffImage> image = tiff_read_ifd(tiff, *header, header->first_ifd);
  if (!image) return;
  scan->images += tiff_count_images(tiff);
  scan->gray_images += tiff_count_gray_images(tiff);
  LOG_DEBUG("TIFF image %u x %u at %.1f x %.1f per unit %d", image->width, image->height,
            image->x_resolution, image->y_resolution, image->resolution_unit);
  const double width = side_mm(image->width, image->x_resolution, image->resolution_unit);
  const double height = side_mm(image->height, image->y_resolution, image->resolution_unit);
  ja_set_page_width_height_mm(ja, width, height);
  LOG_DEBUG("Page size: %d x %d", ja->page_width_mm, ja->page_height_mm);
}

void at_copies(ByteSpan d, std::uint64_t p, const ScanRegex& pattern, TiffScan* scan) {
  if (d.size() - p <= COPIES_WINDOW) return;
  const ScanMatch m = pattern.match(scan_text(d.subspan(p, COPIES_WINDOW)));
  if (!m.matched) return;
  LOG_DEBUG("found copies at: %" PRIu64, p);
  scan->copies = decimal_clamp<int>(decimal_read(m.group(1)).value);
  LOG_DEBUG("copy count is %d", scan->copies);
}

void walk(ByteSpan d, TiffScan* scan, JobAttribs* ja) {
  static const ScanRegex copies(R"re(\@PJL\s+DEFAULT\s+COPIES\s*=\s*(\d+))re", PCRE_ANCHORED);
  WalkTimer timer("TIFF6");
  StopBytes stops(d, 0x1B, '@', 'T');
  std::uint64_t pos = 0;
  for (;;) {
    const std::uint64_t p = stops.next(pos);
    if (timer.expired(p)) return;
    if (p >= d.size()) break;
    const std::uint64_t r = d.size() - p;
    if (d[p] == 0x1B) {
      if (p > PAGE_END_MIN_OFFSET && r > PAGE_END_MIN_OFFSET && scan_bytes_at(d, p, PJL_UEL)) {
        ++scan->page_ends;
        LOG_DEBUG("Found page end at pos: %" PRIu64, p);
      }
    } else if (d[p] == '@') {
      at_copies(d, p, copies, scan);
    } else if (is_image_header(d, p)) {
      // The TIFF ends where the PJL job goes on: at the next universal exit.
      const std::uint64_t start = p + LANGUAGE_TAIL;
      const std::optional<std::uint64_t> exit = scan_find(d, start, PJL_UEL);
      read_tiff(d.subspan(start, (exit ? *exit : d.size()) - start), scan, ja);
    }
    pos = p + 1;
  }
  LOG_DEBUG("Reached end of file");
}

// The pixels are not read: pages are judged gray when every image's colour
// model is gray or bilevel, or when the PJL header prints the job in gray.
// An image in a colour model may still be all gray, so its job's colour
// pages stay not judged (-1).
void judge_colour(const TiffScan& scan, JobAttribs* ja) {
  if (ja->is_grayscale != 0) {
    LOG_DEBUG("tiff6_process_job: the PJL header prints the job in gray");
    ja_set_color_pages(ja, 0);
  } else if (scan.images > 0 && scan.gray_images == scan.images) {
    LOG_DEBUG("tiff6_process_job: every image is gray or bilevel");
    ja_set_color_pages(ja, 0);
  } else {
    LOG_DEBUG("tiff6_process_job: %" PRId64 " of %" PRId64 " images may hold colour: colour pages "
              "not judged", scan.images - scan.gray_images, scan.images);
  }
}

}  // namespace

int tiff6_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering tiff_process_job");
  TiffScan scan;
  if (data != nullptr) walk(ByteSpan(data, length), &scan, ja);
  if (scan.copies >= 0) ja_set_copy_count(ja, scan.copies);
  // Images are pages wherever the PJL job puts its exits; exits count only
  // when no image could be read.
  const std::int64_t pages = scan.images > 0 ? scan.images : scan.page_ends;
  LOG_DEBUG("tiff6_process_job: images=%" PRId64 ",page ends=%" PRId64, scan.images, scan.page_ends);
  ja_set_pages(ja, static_cast<int>(std::min<std::int64_t>(pages, INT32_MAX)));
  if (data != nullptr) pjl_set_job_attributes(data, length, ja, PJL_UNIT_720TH_INCH);
  judge_colour(scan, ja);
  if (pages <= 0) {
    LOG_ERROR("tiff6_process_job: no page found");
    return -1;
  }
  return 0;
}

namespace {
int tiff6_adapter(const std::uint8_t* data, std::uint64_t length, int /*extra*/, JobAttribs* ja) {
  return tiff6_process_job(data, length, ja);
}
}  // namespace

const AnalyzerEntry TIFF6_ANALYZER{"tiff6_process_job", tiff6_adapter};
