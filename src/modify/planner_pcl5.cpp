// The PCL5 planner (see planner_pcl5.h). One walk over the job's commands
// (raster and other binary data stepped over by count) finds every "&l" S
// and X value, the monochrome commands, Canon's colour hints and the pattern
// and macro ids the job uses itself; the set-up scan (pcl5_setup.h) gives
// the insertion point.
#include "modify/planner_pcl5.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/watermark.h"
#include "modify/pcl5_commands.h"
#include "modify/pcl5_setup.h"
#include "modify/pcl5_watermark.h"
#include "modify/replacement_list.h"
#include "modify/watermark_common.h"

namespace {

constexpr std::string_view KYOCERA_SEM6 = "!R!SEM6;EXIT;";
constexpr std::uint64_t KYOCERA_SEM6_WINDOW = 1000;
constexpr std::string_view CANON_HINT_COLOR = "bCANONSTRING PAGEHINT_COLOR=NONE";
constexpr std::string_view CANON_HINT_MONO = "bCANONSTRING PAGEHINT_COLOR=MONO";
constexpr int LANGUAGE_CANON_PCL5 = 6;
constexpr std::int32_t PCL_CODE_LETTER = 2;
constexpr double TOP_BOTTOM_MARGIN_MM = 21.0;
// PCL ids of patterns and macros.
constexpr int PCL_ID_MAX = 32767;
constexpr int PATTERN_SEARCH_START = 32000;
constexpr std::uint64_t COPIES_DIGITS_MAX = 5;

struct Findings {
  std::vector<Pcl5Param> duplex;      // "&l" S values
  std::vector<Pcl5Param> copies;      // "&l" X values
  std::vector<Pcl5Param> mono;        // "&b" M values
  std::vector<std::uint64_t> resets;  // ESC E
  std::vector<std::uint64_t> canon_hints;
  std::vector<bool> pattern_ids = std::vector<bool>(PCL_ID_MAX + 1);
  std::vector<bool> macro_ids = std::vector<bool>(PCL_ID_MAX + 1);
};

void note_id(ByteSpan data, const Pcl5Param& p, std::vector<bool>* ids) {
  std::int64_t id = 0;
  if (pcl5_param_int(data, p, &id) && id <= PCL_ID_MAX) (*ids)[static_cast<std::size_t>(id)] = true;
}

void note_command(ByteSpan data, const Pcl5Command& cmd, Findings* f) {
  if (cmd.final == 'E') f->resets.push_back(cmd.offset);
  for (int i = 0; i < cmd.param_count; ++i) {
    const Pcl5Param& p = cmd.params[i];
    const char letter = static_cast<char>(p.letter | 0x20);
    if (cmd.is('&', 'l') && letter == 's') f->duplex.push_back(p);
    if (cmd.is('&', 'l') && letter == 'x') f->copies.push_back(p);
    if (cmd.is('&', 'b') && letter == 'm') f->mono.push_back(p);
    if (cmd.is('*', 'c') && letter == 'g') note_id(data, p, &f->pattern_ids);
    if (cmd.is('&', 'f') && letter == 'y') note_id(data, p, &f->macro_ids);
  }
  if (cmd.is('&', 'n') && cmd.data_length == CANON_HINT_COLOR.size() &&
      scan_bytes_at(data, cmd.data_offset, CANON_HINT_COLOR)) {
    f->canon_hints.push_back(cmd.data_offset);
  }
}

void walk_job(ByteSpan data, Findings* f) {
  std::uint64_t p = 0;
  while (auto esc = scan_find_byte(data, p, PCL5_ESC)) {
    Pcl5Command cmd;
    if (pcl5_read_command(data, *esc, &cmd)) note_command(data, cmd, f);
    p = cmd.end;
  }
}

// The set-ups of the job: the first, and one after each later reset that a
// page follows (a reset takes back what was chosen before it).
std::vector<Pcl5Setup> find_setups(ByteSpan data, const Pcl5Setup& first, const Findings& f) {
  std::vector<Pcl5Setup> setups{first};
  for (std::uint64_t reset : f.resets) {
    if (reset < setups.back().first_mark) continue;
    Pcl5Setup later;
    if (pcl5_find_setup_after_reset(data, reset, &later)) setups.push_back(later);
  }
  return setups;
}

bool replace_value(ReplacementList* list, const Pcl5Param& p, std::string_view value) {
  return replacement_list_append2(list, static_cast<std::int64_t>(p.value_offset), p.value_length,
                                  value.data(), value.size()) == 1;
}

// Whether one of `values` lies in the set-up `s`.
bool any_in_setup(const std::vector<Pcl5Param>& values, const Pcl5Setup& s) {
  for (const Pcl5Param& v : values) {
    if (v.value_offset >= s.start && v.value_offset < s.first_mark) return true;
  }
  return false;
}

// Inserts `bytes` at every set-up that does not set `values` itself.
bool insert_where_missing(ReplacementList* list, const std::vector<Pcl5Setup>& setups,
                          const std::vector<Pcl5Param>& values, std::string_view bytes) {
  for (const Pcl5Setup& s : setups) {
    if (any_in_setup(values, s)) continue;
    if (replacement_list_append2(list, s.insertion, 0, bytes.data(), bytes.size()) != 1) {
      return false;
    }
  }
  return true;
}

// 1: done, -1: failure.
int plan_duplex(ByteSpan data, const Findings& f, const std::vector<Pcl5Setup>& setups,
                ReplacementList* list) {
  for (const Pcl5Param& v : f.duplex) {
    if (v.value_length != 1) {
      LOG_ERROR("Pcl5Command duplex subcommand is not length 1");
      return -1;
    }
    const std::uint8_t mode = data[v.value_offset];
    if (mode == '1' || mode == '2') {
      LOG_DEBUG("Job is already duplex. Not setting it to duplex");
    } else if (!replace_value(list, v, "1")) {
      return -1;
    }
  }
  return insert_where_missing(list, setups, f.duplex, "\x1b&l1S") ? 1 : -1;
}

// 0: not carried out (a count that cannot be read), 1: done, -1: failure.
int plan_copies(ByteSpan data, const Findings& f, int count, const std::vector<Pcl5Setup>& setups,
                ReplacementList* list) {
  const std::string value = std::to_string(count);
  bool readable = true;
  for (const Pcl5Param& v : f.copies) {
    std::int64_t n = 0;
    if (v.value_length > COPIES_DIGITS_MAX || !pcl5_param_int(data, v, &n)) {
      LOG_ERROR("Pcl5SubCommand x:%" PRIu64 ":%" PRIu64 " is not a copy count; copies not set",
                v.value_offset, v.value_length);
      readable = false;
    } else if (n == count) {
      LOG_DEBUG("Job is already %d copies. Not setting copies", count);
    } else if (!replace_value(list, v, value)) {
      return -1;
    }
  }
  if (!insert_where_missing(list, setups, f.copies, "\x1b&l" + value + "X")) return -1;
  return readable ? 1 : 0;
}

bool plan_grayscale(const JobAttribs* job, ByteSpan data, const Findings& f,
                    const std::vector<Pcl5Setup>& setups, ReplacementList* list) {
  if (job->language == LANGUAGE_CANON_PCL5) {
    for (std::uint64_t hint : f.canon_hints) {
      if (replacement_list_append2(list, static_cast<std::int64_t>(hint), CANON_HINT_MONO.size(),
                                   CANON_HINT_MONO.data(), CANON_HINT_MONO.size()) != 1) {
        return false;
      }
    }
    return true;
  }
  for (const Pcl5Param& v : f.mono) {
    if (v.value_length == 1 && data[v.value_offset] == '0' && !replace_value(list, v, "1")) {
      return false;
    }
  }
  return insert_where_missing(list, setups, f.mono, "\x1b&b1M");
}

int free_id(const std::vector<bool>& used, int wanted, int span) {
  auto is_free = [&](int base) {
    for (int i = 0; i < span; ++i) {
      if (used[static_cast<std::size_t>(base + i)]) return false;
    }
    return true;
  };
  if (wanted >= 0 && wanted + span - 1 <= PCL_ID_MAX && is_free(wanted)) return wanted;
  for (int base = PCL_ID_MAX - span + 1; base >= 0; base -= span) {
    if (is_free(base)) return base;
  }
  return -1;
}

bool plan_watermark(const watermark_params* request, const JobAttribs* job, const Findings& f,
                    const std::vector<Pcl5Setup>& setups, ReplacementList* list) {
  const Pcl5Setup& setup = setups.front();
  const char* paper = job->paper_size_name[0] != '\0' ? job->paper_size_name : nullptr;
  const double width =
      get_right_page_mm(PCL_CODE_LETTER, paper, setup.orientation, job->page_width_mm);
  const double height =
      get_bottom_page_mm(PCL_CODE_LETTER, paper, setup.orientation, job->page_height_mm) -
      TOP_BOTTOM_MARGIN_MM;
  double x = 0;
  double y = request->position == WATERMARK_POSITION_TOP ? height : -height;
  if (request->position == WATERMARK_POSITION_CUSTOM) {
    x = request->x * 25.4 / 72.0;
    y = request->y * 25.4 / 72.0;
  }
  Pcl5Watermark w;
  w.text = std::string_view(request->text, strnlen(request->text, sizeof request->text));
  w.font_size = request->font_size > 0 ? request->font_size : 24;
  w.gray_level = request->gray_level;
  w.x_mm = xform_pos_x(x, width);
  w.y_mm = xform_pos_y(y, height);
  w.no_gray_level = global_ctx.watermark_pcl5_no_gray_level != 0;
  w.macro_is_temp = global_ctx.watermark_pcl5_macro_is_temp != 0;
  w.macro_id = free_id(f.macro_ids, global_ctx.watermark_pcl5_macro_number, 1);
  w.pattern_base = free_id(f.pattern_ids, PATTERN_SEARCH_START, 5);
  LOG_DEBUG("PCL watermark text coordinates=(%.2f,%.2f)", w.x_mm, w.y_mm);
  if (w.macro_id < 0 || w.pattern_base < 0 || pcl5_printable_text(w.text).empty()) {
    LOG_ERROR("make_watermark_pcl5: no free macro or pattern id, or no printable text");
    return false;
  }
  if (w.macro_id != global_ctx.watermark_pcl5_macro_number) {
    LOG_INFO("PCL5 watermark macro %d is the job's own; using %d",
             global_ctx.watermark_pcl5_macro_number, w.macro_id);
  }
  const std::string macro = make_watermark_pcl5(w);
  if (macro.size() > PCL5_MACRO_MAX) {
    LOG_ERROR("PCL5 watermark macro too long: %zu bytes", macro.size());
    return false;
  }
  // A reset ends the overlay: each set-up gets the macro.
  for (const Pcl5Setup& s : setups) {
    if (replacement_list_append2(list, s.insertion, 0, macro.data(), macro.size()) != 1) {
      return false;
    }
  }
  return true;
}

bool is_kyocera_sem6(ByteSpan data) {
  if (data.size() < KYOCERA_SEM6_WINDOW) return false;
  return scan_find(data.first(KYOCERA_SEM6_WINDOW), 0, KYOCERA_SEM6).has_value();
}

}  // namespace

int plan_replacements_pcl5(const watermark_params* request, const JobAttribs* job,
                           const std::uint8_t* data, std::uint64_t length, ReplacementList* list) {
  if (request == nullptr || job == nullptr || data == nullptr || list == nullptr) {
    LOG_ERROR("plan_replacements_pcl5: bad param(s)");
    return 0;
  }
  const ByteSpan bytes = scan_bytes(data, length);
  if (request->text[0] == '\0' && is_kyocera_sem6(bytes)) return 1;
  Pcl5Setup setup;
  if (!pcl5_find_setup(bytes, &setup)) return 0;
  Findings found;
  walk_job(bytes, &found);
  const std::vector<Pcl5Setup> setups = find_setups(bytes, setup, found);
  msf_state state{};
  get_msf_state(list, &state);
  if (request->force_duplex) {
    const int done = plan_duplex(bytes, found, setups, list);
    if (done < 0) return 0;
    state.duplex = done;
  }
  if (request->copies > 0 && !state.copies) {
    const int done = plan_copies(bytes, found, request->copies, setups, list);
    if (done < 0) return 0;
    state.copies = done;
  }
  if (request->force_grayscale) {
    if (!plan_grayscale(job, bytes, found, setups, list)) return 0;
    state.grayscale = 1;
  }
  if (request->text[0] != '\0') {
    if (!plan_watermark(request, job, found, setups, list)) return 0;
    state.watermark = 1;
  }
  set_msf_state(list, &state);
  return 1;
}
