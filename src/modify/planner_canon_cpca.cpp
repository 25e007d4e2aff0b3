// The CPCA planner: the settings edits (duplex, grayscale, copies and
// collation) in the job's settings packets, then the unwrapping.
#include "modify/planner_canon_cpca.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <iterator>

#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "foundation/mapped_mem.h"
#include "foundation/watermark.h"
#include "modify/cpca_packet_structure.h"
#include "modify/cpca_rewrite_check.h"
#include "modify/replacement_list.h"
#include "scan/cpca.h"

namespace {

constexpr std::uint8_t DUPLEX_BYTES[] = {0x04};
constexpr std::uint8_t DUPLEX_INSERTION_BYTES[] = {0xCD, 0xCA, 0x10, 0x00, 0x00, 0x18, 0x00, 0x01,
                                                   0x00, 0x03, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00,
                                                   0x00, 0x00, 0x00, 0x00, 0x07, 0xDF, 0x04};
// Switches the paper-saving layout off (opcode 0x001D).
constexpr std::uint8_t MYSTERY_DUPLEX_BYTES[] = {
    0xCD, 0xCA, 0x10, 0x00, 0x00, 0x1D, 0x00, 0x01, 0x00, 0x17, 0xFF, 0xFF, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x8F, 0x00, 0x03, 0x0A, 'P',
    'A',  'P',  'E',  'R',  '-',  'S',  'A',  'V',  'E',  0x03, 'O',  'F',  'F'};
constexpr std::uint8_t COPIES_PACKET[] = {0xCD, 0xCA, 0x10, 0x00, 0x00, 0x15, 0x00, 0x01,
                                          0x00, 0x04, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00,
                                          0x00, 0x00, 0x00, 0x00, 0x07, 0xD7, 0x00, 0x00};
constexpr std::uint8_t COLLATE_PACKET[] = {0xCD, 0xCA, 0x10, 0x00, 0x00, 0x15, 0x00, 0x01,
                                           0x00, 0x03, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00,
                                           0x00, 0x00, 0x00, 0x00, 0x07, 0xD8, 0x0B};
constexpr std::uint8_t COLLATED = 0x0B;
constexpr std::uint8_t SETDOC1_COLOR[] = {0x00, 0x2E, 0x03, 0x02, 0x35, 0x63, 0x00};
constexpr std::uint8_t SETDOC1_GRAYSCALE[] = {0x00, 0x2E, 0x03, 0x02, 0x35, 0x65, 0x00};
constexpr std::uint8_t SETDOC2A_COLOR[] = {0x08, 0x38, 0x01};
constexpr std::uint8_t SETDOC2A_GRAYSCALE[] = {0x08, 0x38, 0x03};
constexpr std::uint8_t SETDOC2B_COLOR[] = {0x08, 0x38, 0x03};
constexpr std::uint8_t SETDOC2B_GRAYSCALE[] = {0x08, 0x38, 0x02};
constexpr std::uint8_t SETDOC3_COLOR[] = {0x09, 0x5B, 0x03, 0x00, 0x00};
// setdoc3's grayscale form followed by a settings packet that goes with it.
constexpr std::uint8_t SETDOC3_GRAYSCALE_AND_INSERTION[] = {
    0x09, 0x5B, 0x02, 0x00, 0x00, 0xCD, 0xCA, 0x10, 0x00, 0x00, 0x18, 0x00, 0x01, 0x00, 0x05,
    0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0x4F, 0x01, 0x04, 0x02};
constexpr std::uint8_t SETDOC3_GRAYSCALE[] = {0x09, 0x5B, 0x02, 0x00, 0x00};

constexpr int DISASSEMBLABLE_LANGUAGES[] = {1, 2, 3, 4, 5, 6, 23};

// Attributes of the settings packets.
constexpr std::uint8_t ATTR_DUPLEX[] = {0x07, 0xDF};
constexpr std::uint8_t ATTR_COPIES[] = {0x07, 0xD7};
constexpr std::uint8_t ATTR_OUTPUT[] = {0x07, 0xD8};
// Where a settings value lies: the packet's parameters begin after the
// 20-byte header, the value after the 2-byte attribute.
constexpr std::uint64_t PARAMS_AT = CPCA_HEADER_SIZE;
constexpr std::uint64_t VALUE_AT = CPCA_HEADER_SIZE + 2;

struct Packets {
  const CpcaPacket* rows;
  int count;
};

bool has_attribute(const CpcaPacket& p, std::uint16_t opcode, std::uint64_t param_len,
                   const std::uint8_t* attribute) {
  return p.opcode == opcode && p.param_len == param_len && p.param_head[0] == attribute[0] &&
         p.param_head[1] == attribute[1];
}

// Index of the first packet of `opcode` with that length and attribute, -1.
int find_setting(Packets ps, std::uint16_t opcode, std::uint64_t param_len,
                 const std::uint8_t* attribute) {
  for (int i = 0; i < ps.count; ++i) {
    if (has_attribute(ps.rows[i], opcode, param_len, attribute)) return i;
  }
  return -1;
}

bool replace_bytes(ReplacementList* list, std::uint64_t at, const std::uint8_t* bytes,
                   std::size_t old_len, std::size_t new_len, std::int32_t priority) {
  if (replacement_list_append_ex2(list, static_cast<std::int64_t>(at), old_len, bytes, new_len,
                                  priority) == 1) {
    return true;
  }
  LOG_ERROR("plan_replacements_canon_cpca: could not add the edit at %" PRIu64, at);
  return false;
}

bool insert_bytes(ReplacementList* list, std::uint64_t at, const std::uint8_t* bytes,
                  std::size_t count, std::int32_t priority) {
  return replace_bytes(list, at, bytes, 0, count, priority);
}

bool any_opcode(Packets ps, std::uint16_t opcode) {
  return std::any_of(ps.rows, ps.rows + ps.count,
                     [&](const CpcaPacket& p) { return p.opcode == opcode; });
}

// The print-data packet right after the only document-settings packet that
// is directly followed by print data; -1 when there is not exactly one.
std::int64_t get_mystery_packet_insertion_point(Packets ps) {
  int found = 0;
  std::int64_t at = -1;
  for (int k = 0; k + 2 < ps.count; ++k) {
    if (ps.rows[k].opcode == CPCA_OP_DOCUMENT && ps.rows[k + 1].opcode == CPCA_OP_PRINT_DATA) {
      ++found;
      at = static_cast<std::int64_t>(ps.rows[k + 1].offset);
    }
  }
  if (found != 1) {
    LOG_DEBUG("get_mystery_packet_insertion_point: Cannot handle %d insertion points", found);
    return -1;
  }
  LOG_DEBUG("get_mystery_packet_insertion_point: insertion point=%" PRId64, at);
  return at;
}

// Forces duplex. *applied becomes 1 when the job asks for duplex afterwards.
bool plan_duplex(Packets ps, const JobAttribs* job, ReplacementList* list, int* applied) {
  const int i = find_setting(ps, CPCA_OP_DOCUMENT, 3, ATTR_DUPLEX);
  if (i >= 0) {
    const std::uint8_t plex = ps.rows[i].param_head[2];
    if (plex == 1 || plex == 6) {
      const std::uint64_t at = ps.rows[i].offset + VALUE_AT;
      LOG_DEBUG("Replacing duplex byte at %" PRIu64 " 0x%02X => 0x%02X", at, plex, DUPLEX_BYTES[0]);
      if (!replace_bytes(list, at, DUPLEX_BYTES, 1, 1, REPLACEMENT_PRIORITY_NORMAL)) return false;
      *applied = 1;
    } else if (plex == 3 || plex == 4) {
      LOG_DEBUG("Canon CPCA duplex already enabled (plex_val=%d) - don't modify", plex);
      *applied = 1;
    } else {
      LOG_DEBUG("Canon CPCA duplex unknown (plex_val=%d) - don't modify", plex);
    }
  } else {
    const std::int64_t at = get_default_insertion_point(ps.rows, ps.count, CPCA_OP_DOCUMENT);
    if (at < 0) {
      LOG_DEBUG("No default insertion point for CPCA duplex");
    } else {
      LOG_DEBUG("Inserting duplex bytes at %" PRId64, at);
      if (!insert_bytes(list, static_cast<std::uint64_t>(at), DUPLEX_INSERTION_BYTES,
                        sizeof DUPLEX_INSERTION_BYTES, REPLACEMENT_PRIORITY_NORMAL)) {
        return false;
      }
      *applied = 1;
    }
  }
  if (*applied == 0 || !is_ir_c4080_pcl5(job) || any_opcode(ps, CPCA_OP_DUPLEX_HINT)) return true;
  const std::int64_t at = get_mystery_packet_insertion_point(ps);
  if (at < 0) {
    LOG_DEBUG("No mystery insertion point for CPCA duplex");
    return true;
  }
  LOG_DEBUG("Inserting mystery duplex bytes at %" PRId64, at);
  return insert_bytes(list, static_cast<std::uint64_t>(at), MYSTERY_DUPLEX_BYTES,
                      sizeof MYSTERY_DUPLEX_BYTES, CPCA_PRIORITY_PREAMBLE);
}

bool params_equal(const CpcaPacket& p, const std::uint8_t* form, std::size_t n) {
  return p.param_len == n && std::memcmp(p.param_head, form, n) == 0;
}

// Forces grayscale in the two printer families' colour-mode parameters.
// *applied becomes 1 when the job asks for grayscale afterwards: a colour
// form was replaced or the grayscale form is there already. Other printers
// keep their bytes and the change is not done.
bool plan_grayscale(Packets ps, const JobAttribs* job, ReplacementList* list, int* applied,
                    int* allow_attribute_planners) {
  const bool family_a = is_ir_c4080_pcl5(job) == 1;
  const bool family_b =
      (job->language == LANG_POSTSCRIPT || job->language == LANG_POSTSCRIPT_CANON) &&
      std::strstr(job->printer_type, "Canon iR-ADV") != nullptr;
  LOG_DEBUG("printer_type='%s',is_printers_a=%d, is_printers_b=%d", job->printer_type,
            family_a ? 1 : 0, family_b ? 1 : 0);
  if (!family_a && !family_b) return true;
  const std::uint8_t* setdoc2_color = family_a ? SETDOC2A_COLOR : SETDOC2B_COLOR;
  const std::uint8_t* setdoc2_gray = family_a ? SETDOC2A_GRAYSCALE : SETDOC2B_GRAYSCALE;
  for (int k = 0; k < ps.count; ++k) {
    const CpcaPacket& p = ps.rows[k];
    if (p.opcode != CPCA_OP_DOCUMENT) continue;
    const std::uint64_t at = p.offset + PARAMS_AT;
    if (params_equal(p, SETDOC1_COLOR, sizeof SETDOC1_COLOR)) {
      LOG_DEBUG(" Matched setdoc1_color in packet %d at %" PRIu64, k, at);
      if (!replace_bytes(list, at, SETDOC1_GRAYSCALE, 7, 7, CPCA_PRIORITY_PREAMBLE)) return false;
      *applied = 1;
    } else if (params_equal(p, setdoc2_color, 3)) {
      LOG_DEBUG(" Matched setdoc2_color in packet %d at %" PRIu64, k, at);
      if (!replace_bytes(list, at, setdoc2_gray, 3, 3, CPCA_PRIORITY_PREAMBLE)) return false;
      *applied = 1;
    } else if (params_equal(p, SETDOC3_COLOR, sizeof SETDOC3_COLOR)) {
      LOG_DEBUG(" Matched setdoc3_color in packet %d at %" PRIu64, k, at);
      if (!replace_bytes(list, at, SETDOC3_GRAYSCALE_AND_INSERTION, 5,
                         sizeof SETDOC3_GRAYSCALE_AND_INSERTION, CPCA_PRIORITY_PREAMBLE)) {
        return false;
      }
      *applied = 1;
    } else if (params_equal(p, SETDOC1_GRAYSCALE, 7) || params_equal(p, setdoc2_gray, 3) ||
               params_equal(p, SETDOC3_GRAYSCALE, 5)) {
      *applied = 1;
    }
  }
  if (family_b && *applied == 1) *allow_attribute_planners = 0;
  return true;
}

std::uint32_t be16(const std::uint8_t* p) { return static_cast<std::uint32_t>((p[0] << 8) | p[1]); }

// A copy count above 1 outside the binder packet: the printer would
// multiply it with ours, so copies are left alone.
bool copies_set_elsewhere(Packets ps) {
  for (int k = 0; k < ps.count; ++k) {
    const CpcaPacket& p = ps.rows[k];
    const bool holder = p.opcode == CPCA_OP_DOCUMENT || p.opcode == CPCA_OP_SETTINGS;
    if (!holder || !has_attribute(p, p.opcode, 4, ATTR_COPIES)) continue;
    const std::uint32_t n = be16(p.param_head + 2);
    if (n > 1) {
      LOG_DEBUG("CPCA packet %d (offset=%" PRIu64 ") has %u copies set for opcode 0x%04X", k,
                p.offset, n, p.opcode);
      return true;
    }
  }
  return false;
}

enum class CopiesStep { DONE, SKIPPED, FAILED };

CopiesStep plan_copy_count(Packets ps, std::uint32_t copies, ReplacementList* list) {
  const std::uint8_t count[2] = {static_cast<std::uint8_t>(copies >> 8),
                                 static_cast<std::uint8_t>(copies & 0xFF)};
  const int i = find_setting(ps, CPCA_OP_BINDER, 4, ATTR_COPIES);
  if (i >= 0) {
    if (be16(ps.rows[i].param_head + 2) == copies) {
      LOG_DEBUG("Canon CPCA copies already %u - don't modify", copies);
      return CopiesStep::DONE;
    }
    if (copies_set_elsewhere(ps)) {
      LOG_DEBUG("Canon CPCA copies set outside of SET_BINDER. Not modifying copies");
      return CopiesStep::SKIPPED;
    }
    const std::uint64_t at = ps.rows[i].offset + VALUE_AT;
    LOG_DEBUG("Replacing copies bytes at [%" PRIu64 ",%" PRIu64 "] with 0x%02X%02X", at, at + 1,
              count[0], count[1]);
    return replace_bytes(list, at, count, 2, 2, REPLACEMENT_PRIORITY_NORMAL) ? CopiesStep::DONE
                                                                             : CopiesStep::FAILED;
  }
  const std::int64_t at = get_default_insertion_point(ps.rows, ps.count, CPCA_OP_BINDER);
  if (at < 0) {
    LOG_DEBUG("No default insertion point for CPCA copies");
    return CopiesStep::SKIPPED;
  }
  LOG_DEBUG("Inserting copies bytes at %" PRId64, at);
  std::uint8_t packet[sizeof COPIES_PACKET];
  std::memcpy(packet, COPIES_PACKET, sizeof packet);
  packet[sizeof packet - 2] = count[0];
  packet[sizeof packet - 1] = count[1];
  return insert_bytes(list, static_cast<std::uint64_t>(at), packet, sizeof packet,
                      REPLACEMENT_PRIORITY_NORMAL)
             ? CopiesStep::DONE
             : CopiesStep::FAILED;
}

bool plan_collate(Packets ps, ReplacementList* list) {
  const int i = find_setting(ps, CPCA_OP_BINDER, 3, ATTR_OUTPUT);
  if (i >= 0) {
    const std::uint8_t value = ps.rows[i].param_head[2];
    if (value == COLLATED) {
      LOG_DEBUG("Canon CPCA collate already 0x%02X - don't modify", value);
      return true;
    }
    const std::uint64_t at = ps.rows[i].offset + VALUE_AT;
    LOG_DEBUG("Replacing CPCA output (collate) byte at %" PRIu64 " with 0x%02X", at, COLLATED);
    return replace_bytes(list, at, &COLLATED, 1, 1, REPLACEMENT_PRIORITY_NORMAL);
  }
  const std::int64_t at = get_default_insertion_point(ps.rows, ps.count, CPCA_OP_BINDER);
  if (at < 0) {
    LOG_DEBUG("No default insertion point for CPCA output (collate)");
    return true;
  }
  LOG_DEBUG("Inserting output (collate) bytes at %" PRId64, at);
  return insert_bytes(list, static_cast<std::uint64_t>(at), COLLATE_PACKET, sizeof COLLATE_PACKET,
                      REPLACEMENT_PRIORITY_NORMAL);
}

// Forces the copy count (capped to the binder packet's 16 bits) and, for
// more than one copy, collated output.
bool plan_copies(Packets ps, std::int32_t wanted, ReplacementList* list, int* applied) {
  std::uint32_t copies = static_cast<std::uint32_t>(wanted);
  if (wanted > CPCA_COPIES_MAX) {
    LOG_DEBUG("CPCA copies %d capped to %d", wanted, CPCA_COPIES_MAX);
    copies = CPCA_COPIES_MAX;
  }
  const CopiesStep step = plan_copy_count(ps, copies, list);
  if (step == CopiesStep::FAILED) return false;
  if (step == CopiesStep::SKIPPED) return true;
  if (copies > 1 && !plan_collate(ps, list)) return false;
  *applied = 1;
  return true;
}

void log_packets(Packets ps) {
  if (global_ctx.dev_logging == 0) return;
  LOG_DEV("CPCA packets ----- %d packets", ps.count);
  LOG_DEV("%3s (%7s): %6s, %6s, %6s (%6s) %4s", "Num", "Offset", "opcode", "length", "p0p1", "diff",
          "type");
  std::uint64_t previous_end = ps.count > 0 ? ps.rows[0].offset : 0;
  for (int k = 0; k < ps.count; ++k) {
    const CpcaPacket& p = ps.rows[k];
    const char* type = "";
    if (p.opcode == CPCA_OP_BEGIN || p.opcode == CPCA_OP_PREAMBLE_2 ||
        p.opcode == CPCA_OP_PREAMBLE_3) {
      type = "pre";
    } else if (p.opcode == CPCA_OP_END || p.opcode == CPCA_OP_POSTAMBLE_2 ||
               p.opcode == CPCA_OP_POSTAMBLE_3) {
      type = "post";
    }
    LOG_DEV("%3d (%7" PRIu64 "): 0x%04X, %6" PRIu64 ", 0x%02X%02X (%6" PRId64 ") %4s", k, p.offset,
            p.opcode, p.param_len, p.param_head[0], p.param_head[1],
            static_cast<std::int64_t>(p.offset - previous_end), type);
    previous_end = p.offset + CPCA_HEADER_SIZE + p.param_len;
  }
}

bool is_disassemblable(int language) {
  return std::find(std::begin(DISASSEMBLABLE_LANGUAGES), std::end(DISASSEMBLABLE_LANGUAGES),
                   language) != std::end(DISASSEMBLABLE_LANGUAGES);
}

bool plan_settings(Packets ps, const watermark_params* request, const JobAttribs* job,
                   ReplacementList* list, msf_state* state, int* allow_attribute_planners) {
  if (request->force_duplex != 0 && !plan_duplex(ps, job, list, &state->duplex)) return false;
  if (request->force_grayscale != 0 &&
      !plan_grayscale(ps, job, list, &state->grayscale, allow_attribute_planners)) {
    return false;
  }
  if (request->copies > 0 && state->copies == 0 &&
      !plan_copies(ps, request->copies, list, &state->copies)) {
    return false;
  }
  return true;
}

// The re-wrapping alone must give back a sound stream; edits already moved
// into the print data change packet sizes that the fix-up puts right later.
bool wrapping_is_valid(const mapped_mem* mm, const ReplacementList* list) {
  const ReplacementListPtr wrapping(replacement_list_clone(list));
  if (wrapping == nullptr) return false;
  std::erase_if(wrapping->replacements, [](const replacement_request& r) {
    return r.priority == REPLACEMENT_PRIORITY_NORMAL;
  });
  return check_cpca_integrity(mm->data, mm->size, wrapping.get(), -1) == 1;
}

}  // namespace

int is_ir_c4080_pcl5(const JobAttribs* job) {
  return job != nullptr && (job->language == LANG_PCL5 || job->language == LANG_PCL5_CANON) &&
                 std::strstr(job->printer_type, "Canon iR C4080") != nullptr
             ? 1
             : 0;
}

std::int64_t get_default_insertion_point(const CpcaPacket* packets, int count,
                                         std::uint16_t opcode) {
  std::uint16_t preceding = 0;
  std::uint16_t following = 0;
  if (opcode == CPCA_OP_DOCUMENT) {
    preceding = CPCA_OP_PREAMBLE_3;
    following = CPCA_OP_PRINT_DATA;
  } else if (opcode == CPCA_OP_BINDER) {
    preceding = CPCA_OP_PREAMBLE_2;
    following = CPCA_OP_PREAMBLE_3;
  } else {
    LOG_ERROR("get_default_insertion_point called with invalid opcode 0x%04X", opcode);
    return -1;
  }
  LOG_DEV("get_default_insertion_point: preceding=0x%04X,insertion=0x%04X,following=0x%04X",
          preceding, opcode, following);
  for (int k = 1; k < count; ++k) {
    const std::uint16_t before = packets[k - 1].opcode;
    if (packets[k].opcode == following && (before == preceding || before == opcode)) {
      LOG_DEV("Found default opcode 0x%04X insertion point at offset %" PRIu64, opcode,
              packets[k].offset);
      return static_cast<std::int64_t>(packets[k].offset);
    }
  }
  return -1;
}

int plan_replacements_canon_cpca(const watermark_params* request, const JobAttribs* job,
                                 mapped_mem* mm, ReplacementList* list,
                                 int* allow_attribute_planners, int* is_cpca) {
  *is_cpca = 0;
  if (request == nullptr || job == nullptr || mm == nullptr || list == nullptr) {
    LOG_ERROR("plan_replacements_canon_cpca: missing argument");
    return 0;
  }
  msf_state state{};
  get_msf_state(list, &state);
  LOG_DEV("entering plan_replacements_canon_cpca");
  int count = 0;
  int error = 0;
  // Only the first of several inline copies is planned (the list's length);
  // the rewrite writes it out once per copy.
  const std::uint64_t length = std::min(replacement_list_get_buffer_len(list), mm->size);
  const CpcaPacketListPtr packets(get_cpca_packet_list(mm->data, length, &count, &error));
  if (packets == nullptr) {
    if (error != 0) LOG_ERROR("plan_replacements_canon_cpca: broken CPCA stream");
    return error != 0 ? 0 : 1;
  }
  *is_cpca = 1;
  const Packets ps{packets.get(), count};
  log_packets(ps);
  LOG_DEBUG("Found %d CPCA packets", count);
  if (!plan_settings(ps, request, job, list, &state, allow_attribute_planners)) return 0;
  set_msf_state(list, &state);
  const char* name = analyzer_lang_to_string(job->language);
  if (!is_disassemblable(job->language)) {
    LOG_DEBUG("Cannot re-assemble language %s [%d] wrapped in CPCA", name, job->language);
    return 1;
  }
  LOG_DEBUG("About to re-assemble language  %s [%d] wrapped in CPCA", name, job->language);
  if (!disassemble_cpca_file(mm, packets.get(), count, list)) return 0;
  replacement_list_set_packet_adjuster(list, cpca_packet_adjuster, cpca_packet_inserter);
  return wrapping_is_valid(mm, list) ? 1 : 0;
}
