// The preprocessors: each adds the edits that take one kind of wrapper off a
// spool file. All edits are deletions or small insertions at offsets of the
// mapped file, appended with the list's normal priority.
#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/log.h"
#include "foundation/regex.h"
#include "foundation/search.h"
#include "modify/pcl6_items.h"
#include "modify/preprocess.h"
#include "modify/replacement_list.h"

namespace {

// The universal exit that begins and ends PJL jobs, and its first 8 bytes.
constexpr char UNIVERSAL_EXIT[] = "\x1B%-12345X";
constexpr char UNIVERSAL_EXIT_8[] = "\x1B%-12345";
constexpr std::uint64_t UNIVERSAL_EXIT_LEN = sizeof UNIVERSAL_EXIT - 1;
// The trailer of a job lies in its last bytes.
constexpr std::uint64_t TAIL_WINDOW = 1000;

constexpr std::uint64_t XPIF_WINDOW = 10240;
constexpr std::uint64_t KYOCERA_WINDOW = 10240;
constexpr std::uint64_t PCL6_KYOCERA_WINDOW = 1024;
constexpr std::uint64_t PCL6_KYOCERA_MATCH_SIZE = 128;
constexpr std::uint64_t PJL_HEADER_WINDOW = 10000;
constexpr std::uint64_t PS_HEADER_WINDOW = 10000;
// PCL XL: bytes at the start of a stream before any page can begin.
constexpr std::uint64_t PCL6_FIRST_PAGE_OFFSET = 20;
// PCL XL bytes of "ubyte <size> attr_ubyte MediaSize" before BeginPage.
constexpr std::uint8_t PXL_UBYTE = 0xC0;
constexpr std::uint8_t PXL_ATTR_UBYTE = 0xF8;
constexpr std::uint8_t PXL_MEDIA_SIZE = 0x25;
constexpr std::uint8_t PXL_BEGIN_PAGE = 0x43;
// Media-size codes above this are replaced by Letter (0).
constexpr std::uint8_t PXL_MEDIA_SIZE_MAX_KEPT = 18;
constexpr std::uint8_t PCL6_MEDIA_SIZE_BYTES[] = {0x00};
// Bytes below this are control bytes for the KIP clean-up.
constexpr std::uint8_t KIP_CONTROL_LIMIT = 0x10;

constexpr char PS_PJL_ENTER[] = "@PJL ENTER LANGUAGE = POSTSCRIPT";
constexpr char PJL_ENTER[] = "@PJL ENTER LANGUAGE";

// The prologue that replaces a PostScript job's PJL header when a caller
// asks for it: procedure sets some drivers call, and a page device that
// reports a one-component rendering device.
constexpr char S_PS_PREFIX[] =
    "\x1B%-12345X\n"
    "%!PS-Adobe-3.0\n"
    "/RRCustomProcs 2 dict dup begin\n"
    "  /logusername (spoolwarden) def\n"
    "  /setautopq { } def\n"
    "end /ProcSet defineresource pop\n"
    "/old_cpd /currentpagedevice load def\n"
    "/currentpagedevice {\n"
    "  old_cpd dup length 2 add dict copy dup /DeviceRenderingInfo\n"
    "  << /Type 1 /ValuesPerColorComponent 1 /Limit 100\n"
    "     /VirtualColorDevice << /Type 3 /ColorTransform /Default >> >> put\n"
    "} bind def\n"
    "/KMOptions 1 dict dup begin\n"
    "  /setKMoptions { } def\n"
    "end /ProcSet defineresource pop\n";

bool delete_range(ReplacementList* list, std::uint64_t from, std::uint64_t to) {
  if (to <= from) return true;
  return replacement_list_append(list, static_cast<std::int64_t>(from), to - from, nullptr) == 1;
}

// Deletes the bytes of [from, to) that no deletion of the list covers yet,
// so that two preprocessors cleaning overlapping heads (an XPIF ticket and a
// PJL header both begin at 0) add deletions that do not overlap.
bool delete_uncovered(ReplacementList* list, std::uint64_t from, std::uint64_t to) {
  std::vector<std::pair<std::uint64_t, std::uint64_t>> covered;
  for (const replacement_request& r : list->replacements) {
    if (r.len > 0 && r.offset < to && r.offset + r.len > from) {
      covered.emplace_back(r.offset, r.offset + r.len);
    }
  }
  std::sort(covered.begin(), covered.end());
  std::uint64_t cursor = from;
  for (const auto& [start, end] : covered) {
    if (start > cursor && !delete_range(list, cursor, std::min(start, to))) return false;
    cursor = std::max(cursor, end);
  }
  return cursor >= to || delete_range(list, cursor, to);
}

// Offset of the first `text` in [from, to), or -1.
std::int64_t find_in(const std::uint8_t* data, std::uint64_t from, std::uint64_t to,
                     const char* text) {
  if (to <= from) return -1;
  const std::uint8_t* hit = search_bm_ref(data + from, to - from, text);
  return hit == nullptr ? -1 : hit - data;
}

// ---- XPIF ticket ----

int proc_xpif(const std::uint8_t* data, std::uint64_t length, std::uint64_t window,
              ReplacementList* list, PreprocessorSlot* slot, int) {
  if (slot->bytes_processed == 0) {
    const std::int64_t end_tag = find_in(data, 0, std::min(length, XPIF_WINDOW), "</xpif>");
    if (end_tag < 0) {
      LOG_ERROR("pp_xpif: <xpif> with no matching </xpif>");
      return 0;
    }
    if (!delete_uncovered(list, 0, static_cast<std::uint64_t>(end_tag) + 7)) return 0;
  }
  slot->bytes_processed = window;
  return 1;
}

// ---- Oce job wrapper ----

std::int64_t find_either(const std::uint8_t* data, std::uint64_t from, std::uint64_t to,
                         const char* first, const char* second) {
  const std::int64_t at = find_in(data, from, to, first);
  return at >= 0 ? at : find_in(data, from, to, second);
}

int proc_oce(const std::uint8_t* data, std::uint64_t length, std::uint64_t, ReplacementList* list,
             PreprocessorSlot*, int) {
  const std::int64_t begin = find_either(data, 0, length, "*OCEJobData", "*OceJobData");
  if (begin < 0) return 1;
  const std::uint64_t data_start = static_cast<std::uint64_t>(begin) + std::strlen("*OCEJobData");
  const std::int64_t end = find_either(data, data_start, length, "*OCEJobEnd", "*OceJobEnd");
  if (end < 0) return 1;
  return delete_uncovered(list, 0, data_start) &&
                 delete_uncovered(list, static_cast<std::uint64_t>(end), length)
             ? 1
             : 0;
}

// ---- Kyocera command groups ----

int proc_general_kyocera_header(const std::uint8_t* data, std::uint64_t, std::uint64_t window,
                                ReplacementList* list, PreprocessorSlot* slot, int) {
  if (slot->bytes_processed == 0) {
    static const char pattern[] = "!R!(\\w{0,20};){1,4}(EXIT|exit);";
    Owned<Regex, regex_free> regex(regex_compile(pattern, PCRE_DOTALL));
    if (regex == nullptr) {
      LOG_ERROR("pp_general_kyocera_header: regex_compile() failed");
      return 0;
    }
    const std::uint64_t end = std::min(window, KYOCERA_WINDOW);
    std::uint64_t at = 0;
    std::int64_t ovector[3 * 2] = {};
    int rc = 0;
    while (at < end && regex_exec(regex.get(), data + at, end - at, ovector, 6, &rc) == 1) {
      const auto start = at + static_cast<std::uint64_t>(ovector[0]);
      const auto stop = at + static_cast<std::uint64_t>(ovector[1]);
      if (!delete_range(list, start, stop)) return 0;
      at = std::max(stop, start + 1);
    }
  }
  slot->bytes_processed = window;
  return 1;
}

int proc_pcl6_kyocera_header(const std::uint8_t* data, std::uint64_t length, std::uint64_t window,
                             ReplacementList* list, PreprocessorSlot* slot, int) {
  if (slot->bytes_processed == 0) {
    static const char sem6[] = "!R!SEM6;EXIT;";
    if (length > 13 && std::memcmp(data, sem6, 13) == 0 && !delete_range(list, 0, 13)) return 0;
    // The Kyocera group inside the enter-language line is cut out.
    static const char pattern[] =
        "@PJL (ENTER LANGUAGE=PCLXL.*)!R!.{0,30}?(?:EXIT|exit);(\\s*[\\)\\(])";
    Owned<Regex, regex_free> regex(regex_compile(pattern, PCRE_DOTALL | PCRE_ANCHORED));
    if (regex == nullptr) {
      LOG_ERROR("pp_pcl6_kyocera_header: Unable to replacement_regex_append");
      return 0;
    }
    const std::uint64_t end = std::min(length, PCL6_KYOCERA_WINDOW);
    for (std::uint64_t at = 0; at < end; ++at) {
      if (data[at] != '@') continue;
      RegexMatchInfo info{};
      const std::uint64_t span = std::min(PCL6_KYOCERA_MATCH_SIZE, length - at);
      if (regex_match_with_info(regex.get(), data + at, span, &info) != 1) {
        regex_free_match_info(&info);
        continue;
      }
      std::string replacement = "@PJL ";
      replacement += info.texts[1] != nullptr ? info.texts[1] : "";
      replacement += info.texts[2] != nullptr ? info.texts[2] : "";
      const auto matched = static_cast<std::uint64_t>(info.ends[0]);
      regex_free_match_info(&info);
      if (!replacement_list_append2(list, static_cast<std::int64_t>(at), matched,
                                    replacement.data(), replacement.size())) {
        LOG_ERROR("pp_pcl6_kyocera_header: Unable to replace_token_list_add_replacements for "
                  "'%s'",
                  "!R! in PCL6 header");
        return 0;
      }
      break;
    }
  }
  slot->bytes_processed = window;
  return 1;
}

// ---- PCL XL ----

// The PJL header a PCL XL job without "@PJL ENTER LANGUAGE" is given, so
// that the printer it goes to is told the language of what follows.
constexpr std::string_view PCL6_PJL_HEADER =
    "\x1B%-12345X@PJL JOB\n@PJL SET QTY=1\n@PJL ENTER LANGUAGE=PCLXL\n";
// A window this short holds no job worth a header.
constexpr std::uint64_t PCL6_HEADER_MIN_WINDOW = 10;

struct Pcl6State {
  std::int64_t enter_language = -1;  // offset of "@PJL ENTER LANGUAGE", -1 until found
  std::uint64_t data_start = 0;      // first byte of the PCL XL data
  std::uint64_t last_media = 0;      // offset of the last media size replaced
  bool header_added = false;
};

int init_pcl6(PreprocessorSlot* slot) {
  slot->state = new (std::nothrow) Pcl6State{};
  return slot->state != nullptr ? 1 : 0;
}

void term_pcl6(PreprocessorSlot* slot) {
  delete static_cast<Pcl6State*>(slot->state);
  slot->state = nullptr;
}

// The job's own PJL header stays: it names the language (and carries the
// job's settings). A job without an enter-language line gets the PJL header
// once, at its start. The PCL XL data starts after the enter-language line,
// or, without one, after the stream header line.
bool find_pcl6_header(const std::uint8_t* data, std::uint64_t length, std::uint64_t window,
                      ReplacementList* list, Pcl6State* st) {
  const std::int64_t enter = find_in(data, 0, std::min(window, PJL_HEADER_WINDOW), PJL_ENTER);
  if (enter >= 0) {
    st->enter_language = enter;
    const void* lf = std::memchr(data + enter, '\n', length - static_cast<std::uint64_t>(enter));
    st->data_start =
        lf == nullptr ? length
                      : static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(lf) - data) + 1;
    return true;
  }
  if (st->header_added || window <= PCL6_HEADER_MIN_WINDOW) return true;
  LOG_DEBUG("proc_pcl6: adding PCL6 header");
  if (!replacement_list_append2(list, 0, 0, PCL6_PJL_HEADER.data(), PCL6_PJL_HEADER.size())) {
    LOG_ERROR("pp_pcl6: replacement_list_append pcl6_context->_pjl_header");
    return false;
  }
  st->header_added = true;
  PxlStreamHeader header;
  bool little_endian = true;
  const std::int64_t body = pxl_find_stream(scan_bytes(data, length), 0, &header, &little_endian);
  st->data_start = body >= 0 ? static_cast<std::uint64_t>(body) : 0;
  return true;
}

// The media-size value before the BeginPage at `p`: "C0 <size> F8 25"
// ending right before it or one byte before it; -1 when not there.
std::int64_t media_size_before(const std::uint8_t* data, std::uint64_t p) {
  for (std::uint64_t gap = 0; gap <= 1; ++gap) {
    if (p < 4 + gap) continue;
    const std::uint64_t end = p - gap;
    if (data[end - 1] == PXL_MEDIA_SIZE && data[end - 2] == PXL_ATTR_UBYTE &&
        data[end - 4] == PXL_UBYTE) {
      return static_cast<std::int64_t>(end - 3);
    }
  }
  return -1;
}

bool replace_media_sizes(const std::uint8_t* data, std::uint64_t from, std::uint64_t to,
                         ReplacementList* list, Pcl6State* st) {
  for (std::uint64_t p = from; p < to;) {
    const void* hit = std::memchr(data + p, PXL_BEGIN_PAGE, to - p);
    if (hit == nullptr) break;
    p = static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(hit) - data);
    const std::int64_t at = media_size_before(data, p);
    if (at >= 0 && static_cast<std::uint64_t>(at) > st->last_media &&
        static_cast<std::uint64_t>(at) >= st->data_start && data[at] > PXL_MEDIA_SIZE_MAX_KEPT) {
      LOG_DEV("pp_pcl6: matched media size at offset %" PRId64 ", val=0x%02x", at, data[at]);
      if (!replacement_list_append2(list, at, 1, PCL6_MEDIA_SIZE_BYTES, 1)) {
        LOG_ERROR("pp_pcl6: replacement_list_append at offset %" PRId64 ", val=0x%02x", at,
                  data[at]);
        return false;
      }
      st->last_media = static_cast<std::uint64_t>(at);
    }
    ++p;
  }
  return true;
}

int proc_pcl6(const std::uint8_t* data, std::uint64_t length, std::uint64_t window,
              ReplacementList* list, PreprocessorSlot* slot, int) {
  auto* st = static_cast<Pcl6State*>(slot->state);
  if (st->enter_language < 0 && !find_pcl6_header(data, length, window, list, st)) return 0;
  // The trailer first, so that no media edit lands in the bytes it deletes.
  std::int64_t trailer = -1;
  if (window + TAIL_WINDOW > length) {
    const std::uint64_t tail = std::max(length - std::min(length, TAIL_WINDOW), st->data_start);
    trailer = find_in(data, tail, window, UNIVERSAL_EXIT);
  }
  const std::uint64_t scan_end = trailer >= 0 ? static_cast<std::uint64_t>(trailer) : window;
  const std::uint64_t scan_from =
      std::max({slot->bytes_processed, PCL6_FIRST_PAGE_OFFSET, st->data_start});
  if (!replace_media_sizes(data, scan_from, scan_end, list, st)) return 0;
  slot->bytes_processed = window;
  if (trailer >= 0) {
    LOG_DEBUG("pp_pcl6: Found '\x1B%%-12345X' at offset %" PRId64, trailer);
    // The universal exit that ends the PCL XL data stays: a job repeated
    // after it, or one whose header opens with a PCL reset, must not run on
    // inside the PCL XL stream.
    const std::uint64_t after_exit = static_cast<std::uint64_t>(trailer) + UNIVERSAL_EXIT_LEN;
    if (!delete_uncovered(list, after_exit, length)) return 0;
    slot->bytes_processed = length;
  }
  return 1;
}

// ---- PostScript ----

struct PostScriptState {
  std::uint64_t data_start = 0;  // first byte of the PostScript data
  std::uint64_t tail_begin = 0;  // where the trailer search begins
};

int init_postscript(PreprocessorSlot* slot) {
  slot->state = new (std::nothrow) PostScriptState{};
  return slot->state != nullptr ? 1 : 0;
}

void term_postscript(PreprocessorSlot* slot) {
  delete static_cast<PostScriptState*>(slot->state);
  slot->state = nullptr;
}

// The start of the PostScript data: after the enter-language line or at
// "%!PS" (with the two bytes 01 "M" some drivers put before it), whichever
// is later; 0 when neither is there.
std::uint64_t postscript_start(const std::uint8_t* data, std::uint64_t length) {
  const std::uint64_t head = std::min(length, PS_HEADER_WINDOW);
  std::uint64_t start = 0;
  const std::int64_t enter = find_in(data, 0, head, PS_PJL_ENTER);
  if (enter >= 0) {
    LOG_DEBUG("pp_postscript: Found '%s' at offset %" PRId64, PS_PJL_ENTER, enter);
    start = static_cast<std::uint64_t>(enter) + std::strlen(PS_PJL_ENTER);
  }
  std::int64_t ps = find_in(data, 0, head, "%!PS");
  if (ps >= 0) {
    LOG_DEBUG("pp_postscript: Found '%%!PS' at offset %" PRId64, ps);
    if (ps > 2 && data[ps - 2] == 0x01 && data[ps - 1] == 'M') ps -= 2;
    start = std::max(start, static_cast<std::uint64_t>(ps));
  }
  return start;
}

// Deletes the PJL trailer: from the first universal exit of the last bytes
// (a trailer "UEL @PJL EOJ UEL" goes whole), with the ctrl-D bytes before it.
bool strip_postscript_trailer(const std::uint8_t* data, std::uint64_t length,
                              ReplacementList* list, const PostScriptState* st, bool* found) {
  *found = false;
  std::int64_t exit = find_in(data, st->tail_begin, length, UNIVERSAL_EXIT_8);
  if (exit < 0) return true;
  *found = true;
  LOG_DEBUG("pp_postscript: Found '\x1B%%-12345X' at offset %" PRId64, exit);
  std::uint64_t cut = static_cast<std::uint64_t>(exit);
  while (cut > st->data_start && data[cut - 1] == 0x04) --cut;
  if (cut != static_cast<std::uint64_t>(exit)) {
    LOG_DEBUG("pp_postscript: Trimmed ctrl-Ds to offset %" PRIu64, cut);
  }
  return delete_uncovered(list, cut, length);
}

int proc_postscript(const std::uint8_t* data, std::uint64_t length, std::uint64_t window,
                    ReplacementList* list, PreprocessorSlot* slot, int prologue) {
  auto* st = static_cast<PostScriptState*>(slot->state);
  if (slot->bytes_processed == 0) {
    st->data_start = postscript_start(data, length);
    if (prologue && !replacement_list_append2(list, 0, 0, S_PS_PREFIX, sizeof S_PS_PREFIX - 1)) {
      return 0;
    }
    if (!delete_uncovered(list, 0, st->data_start)) return 0;
    st->tail_begin = std::max(length > TAIL_WINDOW ? length - TAIL_WINDOW : 0, st->data_start);
    slot->bytes_processed = std::min(length, PS_HEADER_WINDOW);
  }
  if (window >= st->tail_begin) {
    bool found = false;
    if (!strip_postscript_trailer(data, length, list, st, &found)) return 0;
    if (found) {
      slot->bytes_processed = length;
      return 1;
    }
  }
  slot->bytes_processed = std::max(slot->bytes_processed, window);
  return 1;
}

// ---- PostScript from KIP drivers ----

// Shortens a run [from, to) of control bytes: a run holding line feeds
// keeps exactly those (CR LF becomes LF, blank lines stay), any other run
// keeps its last byte.
bool shorten_control_run(const std::uint8_t* data, std::uint64_t from, std::uint64_t to,
                         ReplacementList* list) {
  if (to - from < 2) return true;
  if (std::memchr(data + from, '\n', to - from) == nullptr) return delete_range(list, from, to - 1);
  std::uint64_t drop = from;  // start of the bytes to drop before the next LF
  for (std::uint64_t p = from; p < to; ++p) {
    if (data[p] != '\n') continue;
    if (!delete_range(list, drop, p)) return false;
    drop = p + 1;
  }
  return delete_range(list, drop, to);
}

int proc_postscript_kip(const std::uint8_t* data, std::uint64_t length, std::uint64_t window,
                        ReplacementList* list, PreprocessorSlot* slot, int) {
  if (slot->bytes_processed == 0) {
    const std::int64_t start = find_in(data, 0, length, "%!PS-Adobe-3.0");
    if (start < 0) {
      LOG_ERROR("pp_postscript_kip: No '%%!PS-Adobe-3.0'");
      return 0;
    }
    LOG_DEBUG("pp_postscript_kip: Found '%%!PS-Adobe-3.0' at offset %" PRId64, start);
    if (!delete_uncovered(list, 0, static_cast<std::uint64_t>(start))) return 0;
    std::uint64_t run = length;  // start of the current run of control bytes
    for (std::uint64_t p = static_cast<std::uint64_t>(start); p < length; ++p) {
      if (data[p] < KIP_CONTROL_LIMIT) {
        if (run == length) run = p;
        continue;
      }
      if (run != length && !shorten_control_run(data, run, p, list)) return 0;
      run = length;
    }
  }
  slot->bytes_processed = window;
  return 1;
}

}  // namespace

const Preprocessor pp_pcl6_kyocera_header{"pp_pcl6_kyocera_header", proc_pcl6_kyocera_header,
                                          nullptr, nullptr, 1024};
const Preprocessor pp_general_kyocera_header{"pp_general_kyocera_header",
                                             proc_general_kyocera_header, nullptr, nullptr, 10240};
const Preprocessor pp_xpif{"pp_xpif", proc_xpif, nullptr, nullptr, 10240};
const Preprocessor pp_oce{"pp_oce", proc_oce, nullptr, nullptr, -1};
const Preprocessor pp_pcl6{"pp_pcl6", proc_pcl6, init_pcl6, term_pcl6, 0};
const Preprocessor pp_postscript_kip{"pp_postscript_kip", proc_postscript_kip, nullptr, nullptr, -1};
const Preprocessor pp_postscript{"pp_postscript", proc_postscript, init_postscript,
                                 term_postscript, 10000};
