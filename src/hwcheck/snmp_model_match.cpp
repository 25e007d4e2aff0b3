// Choosing a printer's model entry, and merging a configuration entry into a
// built-in row.
#include <algorithm>
#include <cstring>

#include "foundation/ascii.h"
#include "foundation/util.h"
#include "hwcheck/snmp_logging.h"
#include "hwcheck/snmp_model.h"

namespace {

enum class Found { MAKE, ENTERPRISE, DEFAULT };

const char* found_name(Found kind) {
  switch (kind) {
    case Found::MAKE:
      return "make";
    case Found::ENTERPRISE:
      return "enterprise id only";
    case Found::DEFAULT:
      break;
  }
  return "default";
}

bool begins_caseless(const char* text, const std::string& prefix) {
  return util_strncase_equals(text, prefix.c_str(), prefix.size()) != 0;
}

// A maker number matches only when both are known.
bool same_enterprise(int enterprise_id, const HwcheckModelConfig& row) {
  return enterprise_id > 0 && enterprise_id == row.enterprise_id;
}

bool model_matches(const char* part, const std::string& model, bool exact) {
  return exact ? std::strcmp(part, model.c_str()) == 0 : begins_caseless(part, model);
}

// The best row so far: the longest model match, else a fallback row without
// models (a make-matched one is never displaced by a later fallback).
struct Choice {
  const HwcheckModelConfig* row = nullptr;
  std::size_t model_length = 0;
  bool make_fallback = false;
};

void compare_models(const HwcheckModelConfig& row, const char* part, Choice* choice) {
  const bool exact = row.exact_model_match == 1;
  for (const std::string& model : row.model_strings) {
    if (!model_matches(part, model, exact)) continue;
    HW_DEBUG("Found potential match between model desc: \"%s\" and config for \"%s\".", part,
             model.c_str());
    if (model.size() > choice->model_length) {
      choice->row = &row;
      choice->model_length = model.size();
      choice->make_fallback = false;
      HW_DEBUG("Latest match chosen on model %s", model.c_str());
    }
  }
}

// One make of a row (null: the row has none).
void try_make(int enterprise_id, const char* desc, const HwcheckModelConfig& row,
              const std::string* make, Choice* choice) {
  const std::size_t desc_length = std::strlen(desc);
  Found kind = Found::DEFAULT;
  std::size_t position = 0;
  if (make != nullptr && begins_caseless(desc, *make)) {
    HW_DEBUG("Found potential match between printer desc: \"%s\" and config for \"%s\".", desc,
             make->c_str());
    kind = Found::MAKE;
    position = make->size();
  } else if (make == nullptr) {
    if (same_enterprise(enterprise_id, row)) {
      HW_DEBUG("Found potential match for enterprise id: %d", enterprise_id);
      kind = Found::ENTERPRISE;
    }
  } else if (same_enterprise(enterprise_id, row)) {
    HW_DEBUG("Found potential match for enterprise id: %d", enterprise_id);
    kind = Found::ENTERPRISE;
    // Models are compared after the make's length although the make did not
    // match; a description shorter than the make has nothing left there.
    position = std::min(make->size(), desc_length);
  } else {
    return;
  }
  const char* part = desc + position;
  while (ascii_is_blank(*part)) ++part;
  compare_models(row, part, choice);
  if (row.model_strings.empty() && choice->model_length == 0 && !choice->make_fallback) {
    choice->row = &row;
    choice->make_fallback = kind == Found::MAKE;
    HW_DEBUG("Latest empty model match chosen on %s", found_name(kind));
  }
}

template <typename T>
void take_if_set(T* target, T value, T unset) {
  if (value != unset) *target = value;
}

}  // namespace

const HwcheckModelConfig* snmp_find_model_entry(int enterprise_id, const char* desc,
                                                const HwcheckModelConfig* table,
                                                std::size_t count) {
  if (desc == nullptr) desc = "";
  Choice choice;
  for (std::size_t i = 0; table != nullptr && i < count; ++i) {
    const HwcheckModelConfig& row = table[i];
    if (row.make_strings.empty()) {
      try_make(enterprise_id, desc, row, nullptr, &choice);
      continue;
    }
    for (const std::string& make : row.make_strings) {
      try_make(enterprise_id, desc, row, &make, &choice);
    }
  }
  return choice.row;
}

HwcheckModelConfig snmp_merge_model_entries(const HwcheckModelConfig& builtin,
                                            const HwcheckModelConfig& user) {
  HwcheckModelConfig merged = builtin;
  if (user.enterprise_id > 0) merged.enterprise_id = user.enterprise_id;
  take_if_set(&merged.loops_before, user.loops_before, HWCHECK_LOOPS_UNSET);
  take_if_set(&merged.loops_after, user.loops_after, HWCHECK_LOOPS_UNSET);
  for (auto field : {&HwcheckModelConfig::error_byte_swap,
                     &HwcheckModelConfig::large_counter_doubled,
                     &HwcheckModelConfig::use_total_as_main_counter,
                     &HwcheckModelConfig::use_device_status,
                     &HwcheckModelConfig::exact_model_match, &HwcheckModelConfig::do_custom_counter,
                     &HwcheckModelConfig::do_custom_error,
                     &HwcheckModelConfig::do_custom_job_exists,
                     &HwcheckModelConfig::delete_on_error}) {
    take_if_set(&(merged.*field), user.*field, HWCHECK_FLAG_UNSET);
  }
  for (auto list : {&HwcheckModelConfig::color_mibs, &HwcheckModelConfig::total_mibs,
                    &HwcheckModelConfig::large_mibs}) {
    if (!(user.*list).empty()) merged.*list = user.*list;
  }
  // The administrator's tray setting for a printer family counts as much as
  // any other value of the line.
  if (user.pause_on_tray_error_given) merged.pause_on_tray_error = user.pause_on_tray_error;
  return merged;
}
