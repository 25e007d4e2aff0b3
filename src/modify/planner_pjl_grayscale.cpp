// Which grayscale rules a job gets: some drivers spell grayscale their own
// way (Samsung COLORMODE=MONO, old Ricoh DATAMODE=BW, HP Universal
// GRAYSCALE=COMPOSITE), and some printers need a second setting beside the
// first. The shared table is never changed: a variant is a private copy.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "foundation/search.h"
#include "modify/planner_pjl.h"

namespace {

constexpr std::uint64_t DRIVER_COMMENT_WINDOW = 1024;
constexpr std::uint64_t HP_UNIVERSAL_WINDOW = 4000;

bool has(const char* text, const char* part) {
  return text != nullptr && std::strstr(text, part) != nullptr;
}

bool has_caseless(const char* text, const char* part) {
  if (text == nullptr) return false;
  const std::string_view t(text);
  const std::string_view p(part);
  for (std::size_t i = 0; i + p.size() <= t.size(); ++i) {
    bool same = true;
    for (std::size_t j = 0; j < p.size() && same; ++j) {
      same = ((t[i + j] | 0x20) == (p[j] | 0x20));
    }
    if (same) return true;
  }
  return false;
}

bool in_head(const std::uint8_t* data, std::uint64_t length, std::uint64_t window,
             const char* text) {
  return search_bm_ref(data, std::min(length, window), text) != nullptr;
}

bool is_hp_universal(const JobAttribs* job, const std::uint8_t* data, std::uint64_t length) {
  const char* type = job->printer_type;
  const bool signed_stream =
      job->language == LANG_PCL6 &&
      in_head(data, length, HP_UNIVERSAL_WINDOW, "\x1b%-12345X@PJL") &&
      in_head(data, length, HP_UNIVERSAL_WINDOW, "@PJL DMINFO ") &&
      in_head(data, length, HP_UNIVERSAL_WINDOW,
              ") HP-PCL XL;2;1;Comment Copyright(c) 1999 Microsoft Corporation");
  return signed_stream || (has(type, "HP Universal") && has(type, "PCL 6")) ||
         has(type, "PCL6 Driver for Universal Print") ||
         std::strncmp(job->print_processor, "hp", 2) == 0 ||
         (has(type, "HP LJ300") && has(type, "PCL 6"));
}

bool is_hp_colour_laserjet(const JobAttribs* job) {
  for (const char* name : {job->printer_type, job->printer_name}) {
    if (has(name, "HP") && has(name, "LaserJet") && has_caseless(name, "color")) return true;
    if (has(name, "HPCLJCM")) return true;
  }
  const char* type = job->printer_type;
  return (has(type, "CP4") && has(type, "LaserJet")) ||
         (has(type, "HP Color LaserJet") && has(type, "PCL 6"));
}

bool set_replacement(PjlGrayscaleRules* out, const char* name, const char* value) {
  for (substitution_rule& row : out->rules) {
    if (std::strcmp(row.name, name) == 0) {
      row.replacement = value;
      return true;
    }
  }
  LOG_ERROR("modify_replacement_rule_val(%s, %s) failed", name, value);
  return false;
}

bool choose_variant(const JobAttribs* job, const std::uint8_t* data, std::uint64_t length,
                    PjlGrayscaleRules* out) {
  if (in_head(data, length, DRIVER_COMMENT_WINDOW, "COMMENT SAMSUNG PCL XL Driver") ||
      (job->language == LANG_PCL6 && has(job->printer_type, "Samsung"))) {
    LOG_DEBUG("Spool file is from a Samsung PCL6 driver => @PJL SET COLORMODE=MONO");
    return set_replacement(out, "COLORMODE_COLOR_AUTO", "MONO");
  }
  if (in_head(data, length, DRIVER_COMMENT_WINDOW, "@PJL COMMENT RPJL,WIN2000,PCL6,0.0.0.5")) {
    LOG_DEBUG(
        "Spool file is from an old Ricoh PCL6 driver e.g. Aficio SP C232SF => @PJL SET "
        "DATAMODE=BW");
    return set_replacement(out, "DATAMODE_COLOR", "BW");
  }
  if (is_hp_universal(job, data, length)) {
    LOG_DEBUG("Spool file is from HP Universal PCL6 driver => PJL SET GRAYSCALE=COMPOSITE");
    return set_replacement(out, "SET GRAYSCALE", "COMPOSITE");
  }
  return true;
}

}  // namespace

int pjl_grayscale_rules(const JobAttribs* job, const std::uint8_t* data, std::uint64_t length,
                        const char* pjl_language, PjlGrayscaleRules* out) {
  if (job == nullptr || data == nullptr || out == nullptr) return 0;
  out->rules.assign(substitution_rules_grayscale,
                    substitution_rules_grayscale + substitution_rules_grayscale_count);
  if (!choose_variant(job, data, length, out)) return 0;
  out->pairs = {{"COLORMODE_COLOR_AUTO", "PLANESINUSE_3_4"},
                {"COLORMODE_COLOR_AUTO", "KCOLORMODE_COLOR_AUTO"}};
  if (is_hp_colour_laserjet(job)) out->pairs.push_back({"SET GRAYSCALE", "PLANESINUSE_3_4"});
  if (pjl_language != nullptr && std::strcmp(pjl_language, "XL2HB") == 0) {
    out->pairs.push_back({"RENDERMODE_COLOR", "BROTHER COLORADAPT"});
  }
  return 1;
}
