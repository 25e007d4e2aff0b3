// Colour from embedded PDF objects: resources whose colour counts only where
// a page uses them, the objects they reference, and the content streams of
// PDF pages carried in PostScript (filtered or not).
#include <algorithm>

#include "analysis/ps_color_internal.h"
#include "foundation/decimal.h"
#include "foundation/log.h"
#include "foundation/search.h"
#include "scan/byte_cursor.h"

namespace {

using ull = unsigned long long;

constexpr std::uint64_t PATTERN_WINDOW = 100;

const PsPdfObject* find_object(const PSColor* color, int number) {
  if (color->objects.empty() || !color->index_valid) {
    LOG_ERROR("pdf_obj_get: invalid params: n_objs=%d,idx=%d,x=%p",
              static_cast<int>(color->objects.size()), number, static_cast<const void*>(color));
    return nullptr;
  }
  const auto& sorted = color->sorted;
  auto it = std::lower_bound(sorted.begin(), sorted.end(), number, [&](std::int32_t i, int n) {
    return color->objects[static_cast<std::size_t>(i)].number < n;
  });
  if (it == sorted.end() || color->objects[static_cast<std::size_t>(*it)].number != number)
    return nullptr;
  return &color->objects[static_cast<std::size_t>(*it)];
}

void rebuild_index(PSColor* color) {
  color->sorted.resize(color->objects.size());
  for (std::size_t i = 0; i < color->objects.size(); ++i) color->sorted[i] = static_cast<std::int32_t>(i);
  std::stable_sort(color->sorted.begin(), color->sorted.end(), [&](std::int32_t a, std::int32_t b) {
    return color->objects[static_cast<std::size_t>(a)].number <
           color->objects[static_cast<std::size_t>(b)].number;
  });
  color->index_valid = true;
}

// Depth-first walk from object `start` through its references. An object
// is walked once, so references that form a cycle end the walk; a coloured
// object colours every object on the path to it.
bool object_is_colour(PSColor* color, int start) {
  const PsPdfObject* root = find_object(color, start);
  if (root == nullptr) {
    LOG_ERROR("pdf_obj_is_color_recurse: No match for idx=%d", start);
    return false;
  }
  struct Frame {
    const PsPdfObject* object;
    std::size_t next_reference;
  };
  std::vector<Frame> stack{{root, 0}};
  std::vector<std::int32_t> walked{root->number};
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.object->coloured != 0) {
      for (const Frame& frame : stack) const_cast<PsPdfObject*>(frame.object)->coloured = 1;
      return true;
    }
    if (top.next_reference >= top.object->references.size()) {
      stack.pop_back();
      continue;
    }
    const int reference = top.object->references[top.next_reference++];
    if (std::find(walked.begin(), walked.end(), reference) != walked.end()) continue;
    walked.push_back(reference);
    if (const PsPdfObject* child = find_object(color, reference)) stack.push_back({child, 0});
  }
  return false;
}

void record_references(PsPdfObject* object, const std::uint8_t* text, std::uint64_t length) {
  std::uint64_t pos = 0;
  PsMatch m;
  while (object->references.size() < PS_PDF_OBJECT_MAX_REFERENCES &&
         ps_match(PsRe::OBJECT_REFERENCE, text + pos, length - pos, &m)) {
    int number = 0;
    (void)decimal_parse_whole(m.text(1), &number);
    object->references.push_back(number);
    pos = static_cast<std::uint64_t>(m.after() - text);
  }
}

}  // namespace

int PSColorBeginResource(PSColor* color, const std::uint8_t* pos, const std::uint8_t* start,
                         int nobj, int tracked) {
  if (color == nullptr) return 1;
  int ok = 1;
  PsColorBufferState& b = color->buffer;
  if (b.nobj != -1 || b.resource_start >= 0) {
    LOG_ERROR("PSColorBeginResource: Invalid state: nobj=%d,resource_start=%lld", b.nobj,
              static_cast<long long>(b.resource_start));
    ok = 0;
  }
  b.nobj = nobj;
  b.resource_tracked = tracked;
  b.resource_start = pos - start;
  if (tracked != 0) {
    color->objects.push_back(PsPdfObject{nobj, 0, {}});
    color->index_valid = false;
  }
  return ok;
}

int PSColorEndResource(PSColor* color, const std::uint8_t* start, const std::uint8_t* end,
                       const std::uint8_t* end_resource) {
  if (color == nullptr) return 1;
  PsColorBufferState& b = color->buffer;
  if (b.nobj < 0 || b.resource_start < 0 || end_resource < start + b.resource_start ||
      end_resource > end) {
    LOG_ERROR("PSColorEndResource: Invalid state: nobj=%d,resource_start=%lld", b.nobj,
              static_cast<long long>(b.resource_start));
    b.nobj = -1;
    b.resource_start = -1;
    return 0;
  }
  const std::uint8_t* text = start + b.resource_start;
  const auto length = static_cast<std::uint64_t>(end_resource - text);
  if (b.resource_tracked != 0) {
    for (auto it = color->objects.rbegin(); it != color->objects.rend(); ++it) {
      if (it->number != b.nobj) continue;
      record_references(&*it, text, length);
      break;
    }
    if (const auto rgb = scan_find(scan_bytes(text, length), 0, "RGB")) {
      LOG_DEBUG("Found %%%%EndResource at offset=%llu", static_cast<ull>(end_resource - start));
      SetPageColoredFlag(color, text + *rgb, start, end);
    }
  }
  b.nobj = -1;
  b.resource_start = -1;
  return 1;
}

bool ps_color_test_pattern(const PsAt& at) {
  if (!at.looking_at("/Pattern") || at.remaining() <= PATTERN_WINDOW || at.pos[8] != ' ')
    return false;
  PsMatch m;
  if (!at.match(PsRe::PATTERN_REFERENCE, PATTERN_WINDOW, &m)) return false;
  at.skip_past(m);
  LOG_DEBUG("Found re_pdf_obj_colorspace '%.*s' at offset=%llu", static_cast<int>(m.length()),
            reinterpret_cast<const char*>(m.at(0)), static_cast<ull>(at.offset()));
  PSColor* color = at.color;
  if (!color->index_valid) rebuild_index(color);
  int number = 0;
  (void)decimal_parse_whole(m.text(1), &number);
  if (object_is_colour(color, number)) at.mark();
  return false;
}

bool ps_color_test_csa(const PsAt& at) {
  if (!at.looking_at("CSA") || at.remaining() <= 50) return false;
  PsMatch m;
  const std::uint8_t* from = at.back(50);
  const std::uint64_t n = static_cast<std::uint64_t>(at.pos - from) + at.room(50);
  if (ps_match(PsRe::CSA_ADD, from, n, &m)) {
    LOG_DEBUG("Found /CSA add_res at offset=%llu, '%.*s'", static_cast<ull>(at.offset()),
              static_cast<int>(m.length()), reinterpret_cast<const char*>(m.at(0)));
    int number = 0;
    (void)decimal_parse_whole(m.text(1), &number);
    const bool gray = scan_bytes_at_caseless(scan_bytes(m.at(2), m.text(2).size()), 0, "Gray");
    at.color->csa.push_back(PsCsaEntry{number, gray ? 1 : 0});
    at.skip_past(m);
    return false;
  }
  if (ps_match(PsRe::CSA_GET, from, static_cast<std::uint64_t>(at.pos - from) + at.room(50), &m)) {
    int number = 0;
    (void)decimal_parse_whole(m.text(1), &number);
    at.color->is_csa_gray = 0;
    for (const PsCsaEntry& entry : at.color->csa) {
      if (entry.number == number) at.color->is_csa_gray = entry.gray;
    }
    at.skip_past(m);
  }
  return false;
}
