// The preprocessing run: choosing the preprocessors of a file, the passes
// over a window that doubles until it covers the file, and the entry points
// that write a cleaned copy or hand the edits to the caller. The
// preprocessors themselves are in preprocess_passes.cpp.
#include "modify/preprocess.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <new>

#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "foundation/mapped_mem.h"
#include "foundation/os_file.h"
#include "foundation/search.h"
#include "foundation/util.h"
#include "modify/replacement_list.h"
#include "scan/cpca.h"

struct RunPreprocessorState {
  bool done = false;
  bool initialised = false;  // the init operations ran
  PreprocessorSlot slots[PREPROCESSOR_SET_MAX];
  std::uint64_t bytes_to_do = 0;      // the current window
  std::uint64_t bytes_processed = 0;  // the furthest any preprocessor got
  PreprocessorSet set;
  mapped_mem* mm = nullptr;
  ReplacementList* list = nullptr;
  // The file of print data taken out of a CPCA wrapper, empty when none.
  char cpca_path[OS_PATH_BUFFER_SIZE] = {};
};

namespace {

// Every preprocessor gets at least this much of the file in the first pass.
constexpr std::uint64_t FIRST_WINDOW_MIN = 1048576;
// How far into a file the markers that choose preprocessors are looked for.
constexpr std::uint64_t MARKER_WINDOW = 1000;
constexpr std::uint64_t KIP_MARKER_WINDOW = 2000;

void add_preprocessor(PreprocessorSet* set, const Preprocessor* pp) {
  if (set->count >= PREPROCESSOR_SET_MAX) {
    LOG_ERROR("add_preprocessor: Too many preprocessors: %d (%s)", set->count + 1, pp->name);
    return;
  }
  set->entries[set->count++] = pp;
}

bool head_contains(const mapped_mem* mm, std::uint64_t window, const char* text) {
  return search_bm_ref(mm->data, std::min(mm->size, window), text) != nullptr;
}

void log_preprocessors(const PreprocessorSet* set) {
  LOG_DEBUG("log_preprocessors: %d preprocessors", set->count);
  for (int i = 0; i < set->count; ++i) {
    LOG_DEBUG("  %2d: %-20s %6" PRId64, i, set->entries[i]->name, set->entries[i]->bytes_needed);
  }
}

void release_private_states(RunPreprocessorState* state) {
  if (!state->initialised) return;
  for (int i = 0; i < state->set.count; ++i) {
    if (state->set.entries[i]->term != nullptr) state->set.entries[i]->term(&state->slots[i]);
  }
  state->initialised = false;
}

bool run_preprocessors_init(RunPreprocessorState* state) {
  const std::uint64_t length = state->mm->size;
  std::uint64_t window = FIRST_WINDOW_MIN;
  for (int i = 0; i < state->set.count; ++i) {
    const std::int64_t needed = state->set.entries[i]->bytes_needed;
    if (needed < 0) {
      window = length;
      break;
    }
    window = std::max(window, static_cast<std::uint64_t>(needed));
  }
  state->bytes_to_do = std::min(window, length);
  LOG_DEBUG("run_preprocessors_init: preprocessors=%d,size=%" PRIu64 ",header_size=%" PRIu64,
            state->set.count, length, state->bytes_to_do);
  state->initialised = true;
  for (int i = 0; i < state->set.count; ++i) {
    state->slots[i] = PreprocessorSlot{};
    const Preprocessor* pp = state->set.entries[i];
    if (pp->init != nullptr && !pp->init(&state->slots[i])) {
      LOG_ERROR("run_preprocessors_init: calloc 2 failed");
      return false;
    }
  }
  return true;
}

// The passes: every preprocessor over the window, the window doubling until
// it covers the file or every preprocessor reached the end.
bool run_preprocessors_proc(RunPreprocessorState* state, int prologue) {
  const std::uint64_t length = state->mm->size;
  constexpr double MIB = 1048576.0;
  while (state->bytes_processed < length) {
    const std::uint64_t window = state->bytes_to_do;
    LOG_DEBUG("run_preprocessors_proc: bytes_needed=%" PRIu64 "=%.1fMB,bytes_to_do=%" PRIu64
              "=%.1fMB",
              length, static_cast<double>(length) / MIB, window, static_cast<double>(window) / MIB);
    std::uint64_t furthest = 0;
    for (int i = 0; i < state->set.count; ++i) {
      const Preprocessor* pp = state->set.entries[i];
      if (!pp->process(state->mm->data, length, window, state->list, &state->slots[i], prologue)) {
        LOG_ERROR("run_preprocessors_proc: Preprocessing failed i=%d '%s'", i, pp->name);
        release_private_states(state);
        return false;
      }
      furthest = std::max(furthest, state->slots[i].bytes_processed);
    }
    state->bytes_processed = furthest;
    LOG_DEV("run_preprocessors_proc: _bytes_processed=%" PRIu64 "=%.1fMB", furthest,
            static_cast<double>(furthest) / MIB);
    if (window >= length) break;
    state->bytes_to_do = window < length / 2 ? window * 2 : length;
  }
  release_private_states(state);
  replacement_list_sort(state->list);
  replacement_list_log(state->list, "preprocess_spool_file_int");
  state->done = true;
  return true;
}

// Maps the spool file, takes a Canon job's print data out of its CPCA
// wrapper (the mapping moves to that file, deleted with the mapping) and
// makes the empty list over what is mapped.
RunPreprocessorState* set_up_state(const char* spool_file, int language, const char* caller) {
  if (spool_file == nullptr || spool_file[0] == '\0') {
    LOG_ERROR("%s: Spool file not defined", caller);
    return nullptr;
  }
  RunPreprocessorStatePtr state(new (std::nothrow) RunPreprocessorState{});
  if (state == nullptr) return nullptr;
  state->mm = create_mapped_mem(spool_file);
  if (state->mm == nullptr) {
    LOG_ERROR("%s: Could not create mapped_mem", caller);
    return nullptr;
  }
  if (state->mm->size == 0) {
    LOG_ERROR("%s: Zero length mapped_mem", caller);
    return nullptr;
  }
  if (!extract_canon_cpca_content(state->mm, state->cpca_path, sizeof state->cpca_path)) {
    LOG_ERROR("%s: Could not extract CPCA", caller);
    return nullptr;
  }
  state->list = replacement_list_create(state->mm->size, -1, nullptr);
  if (state->list == nullptr) {
    LOG_ERROR("%s: Could not create cpca replacement list", caller);
    return nullptr;
  }
  LOG_DEV("%s: After CPCA extraction buffer_len=%" PRIu64, caller, state->mm->size);
  (void)select_preprocessors(&state->set, state->mm, language);
  return state.release();
}

}  // namespace

int select_preprocessors(PreprocessorSet* set, const mapped_mem* mm, int language) {
  *set = PreprocessorSet{};
  if (head_contains(mm, MARKER_WINDOW, "!R!")) {
    add_preprocessor(set, language == LANG_PCL6 ? &pp_pcl6_kyocera_header
                                                : &pp_general_kyocera_header);
  }
  if (mm->size > 4 && util_contains_string(mm->data, 5, "<?xml") &&
      head_contains(mm, MARKER_WINDOW, "xpif") &&
      (language == LANG_PCL6 || language == LANG_PCL5 || language == LANG_POSTSCRIPT)) {
    add_preprocessor(set, &pp_xpif);
  }
  if (util_contains_string_case(mm->data, std::min(mm->size, MARKER_WINDOW), "*OceJobBegin")) {
    add_preprocessor(set, &pp_oce);
  }
  if (language == LANG_PCL6) add_preprocessor(set, &pp_pcl6);
  if (language == LANG_POSTSCRIPT) {
    add_preprocessor(set, head_contains(mm, KIP_MARKER_WINDOW, "KIP Unified") ? &pp_postscript_kip
                                                                             : &pp_postscript);
  }
  log_preprocessors(set);
  return 1;
}

int preprocess_language_is_supported(int language) {
  switch (language) {
    case LANG_POSTSCRIPT:
    case LANG_POSTSCRIPT_CANON:
    case LANG_PCL6:
    case LANG_PCL5:
    case LANG_PCL5_CANON:
      return 1;
    default:
      return 0;
  }
}

RunPreprocessorState* create_run_preprocessor_state(const char* spool_file, int language) {
  LOG_DEBUG("create_run_preprocessor_state: '%s'", spool_file != nullptr ? spool_file : "");
  RunPreprocessorStatePtr state(set_up_state(spool_file, language, "create_run_preprocessor_state"));
  if (state == nullptr) return nullptr;
  LOG_DEBUG("create_run_preprocessor_state: post-CPCA replacement_list len=%" PRIu64,
            state->list->buffer_len);
  if (state->set.count > 0 && !run_preprocessors_init(state.get())) return nullptr;
  return state.release();
}

void free_run_preprocessor_state(RunPreprocessorState* state) {
  if (state == nullptr) return;
  release_private_states(state);
  replacement_list_free(state->list);
  free_mapped_mem(&state->mm);
  delete state;
}

std::uint64_t run_pp_state_get_bytes_processed(const RunPreprocessorState* state) {
  return state != nullptr ? state->bytes_processed : 0;
}

mapped_mem* run_pp_state_get_mapped_mem(RunPreprocessorState* state) {
  return state != nullptr ? state->mm : nullptr;
}

ReplacementList* run_pp_state_get_replacement_list(RunPreprocessorState* state) {
  return state != nullptr ? state->list : nullptr;
}

int run_pp_state_run(RunPreprocessorState* state, int prologue) {
  if (state == nullptr) return 0;
  if (state->done || state->set.count == 0) return 1;
  return run_preprocessors_proc(state, prologue) ? 1 : 0;
}

int preprocess_spool_file_int(const char* spool_file, int language, mapped_mem** out_mm,
                              ReplacementList** out_list, char* cpca_path, std::size_t cpca_size,
                              int prologue) {
  if (cpca_path != nullptr && cpca_size > 0) cpca_path[0] = '\0';
  LOG_DEBUG("preprocess_spool_file_int: '%s'", spool_file != nullptr ? spool_file : "");
  RunPreprocessorStatePtr state(set_up_state(spool_file, language, "preprocess_spool_file_int"));
  bool ok = state != nullptr;
  if (ok && state->set.count > 0) {
    ok = run_preprocessors_init(state.get()) && run_preprocessors_proc(state.get(), prologue);
    if (!ok) LOG_ERROR("preprocess_spool_file_int: Preprocessing failed");
  }
  LOG_DEV("preprocess_spool_file_int: ok=%d", ok ? 1 : 0);
  if (!ok) return 0;
  if (cpca_path != nullptr && cpca_size > 0) util_safe_strncpy(cpca_path, state->cpca_path, cpca_size);
  *out_mm = state->mm;
  *out_list = state->list;
  state->mm = nullptr;
  state->list = nullptr;
  return 1;
}

int preprocess_spool_file(const char* spool_file, int language, char* out_path, std::size_t size,
                          int prologue) {
  LOG_DEV("preprocess_spool_file: spool_file='%s'", spool_file != nullptr ? spool_file : "");
  if (out_path == nullptr || size == 0) return 0;
  out_path[0] = '\0';
  if (!preprocess_language_is_supported(language)) return 1;
  mapped_mem* mm = nullptr;
  ReplacementList* raw_list = nullptr;
  if (!preprocess_spool_file_int(spool_file, language, &mm, &raw_list, nullptr, 0, prologue)) {
    LOG_ERROR("preprocess_spool_file: preprocess_spool_file_int() failed");
    return 0;
  }
  ReplacementListPtr list(raw_list);
  int ok = 0;
  char temp[OS_PATH_BUFFER_SIZE];
  if (!os_file_make_temp(temp, sizeof temp)) {
    LOG_ERROR("preprocess_spool_file: Could not create temp file");
  } else if (!replacement_list_apply_to_file(mm->data, list.get(), temp)) {
    LOG_ERROR("preprocess_spool_file: Could not apply replacement_list");
    (void)os_file_delete(temp);
  } else if (std::strlen(temp) >= size) {
    (void)os_file_delete(temp);
  } else {
    util_safe_strncpy(out_path, temp, size);
    ok = 1;
  }
  list.reset();
  free_mapped_mem(&mm);
  return ok;
}
