// Preprocessors: cleaning passes that take wrappers off a spool file before a
// printer that must not see them gets it (a PJL header and trailer around
// PostScript or PCL XL data, Kyocera "!R!" command groups, a leading XPIF
// ticket, an Oce job wrapper). Each preprocessor adds byte edits to one
// ReplacementList over the mapped spool file. The preprocessors that fit a
// file are chosen from its first bytes and its language code and run
// together over a window of the file that doubles from pass to pass, so most
// of them only ever look at the file's head.
//
// Results are 1 for success and 0 for failure; failures are logged where
// they are found and the spool file itself is never changed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/owned.h"

struct mapped_mem;
struct ReplacementList;

// How far one chosen preprocessor has got, and its private state.
struct PreprocessorSlot {
  std::uint64_t bytes_processed = 0;
  void* state = nullptr;
};

// Adds the edits of one pass: `data` is the whole mapped file of `length`
// bytes, of which work done in steps looks only at the first `window`.
using preprocess_process = int (*)(const std::uint8_t* data, std::uint64_t length,
                                   std::uint64_t window, ReplacementList* list,
                                   PreprocessorSlot* slot, int prologue);
using preprocess_init = int (*)(PreprocessorSlot* slot);
using preprocess_term = void (*)(PreprocessorSlot* slot);

struct Preprocessor {
  const char* name;
  preprocess_process process;
  preprocess_init init;  // optional
  preprocess_term term;  // optional
  std::int64_t bytes_needed;  // how much of the file it must see; -1 the whole file
};

extern const Preprocessor pp_pcl6_kyocera_header;
extern const Preprocessor pp_general_kyocera_header;
extern const Preprocessor pp_xpif;
extern const Preprocessor pp_oce;
extern const Preprocessor pp_pcl6;
extern const Preprocessor pp_postscript_kip;
extern const Preprocessor pp_postscript;

inline constexpr int PREPROCESSOR_SET_MAX = 10;

struct PreprocessorSet {
  int count = 0;
  const Preprocessor* entries[PREPROCESSOR_SET_MAX] = {};
};

// The state of one preprocessing run.
struct RunPreprocessorState;

// Chooses the preprocessors for the mapped file and language code; always 1.
int select_preprocessors(PreprocessorSet* set, const mapped_mem* mm, int language);

// 1 when preprocess_spool_file has work for the language code (PostScript,
// Canon PostScript, PCL XL, PCL5, Canon PCL5); other languages pass as
// they are.
[[nodiscard]] int preprocess_language_is_supported(int language);

// Writes a cleaned copy of the spool file into a new temporary file whose
// path goes to `out_path`; a language without preprocessing succeeds with an
// empty path. `prologue` asks PostScript for the prologue in place of the
// PJL header.
[[nodiscard]] int preprocess_spool_file(const char* spool_file, int language, char* out_path,
                                        std::size_t size, int prologue);

// The complete list of edits over the spool file, which is mapped into
// *out_mm (the caller frees both). `cpca_path` receives the path of data
// taken out of a CPCA wrapper when that was done, else an empty text.
[[nodiscard]] int preprocess_spool_file_int(const char* spool_file, int language,
                                            mapped_mem** out_mm, ReplacementList** out_list,
                                            char* cpca_path, std::size_t cpca_size, int prologue);

// A run set up but not yet started, for programs that drive the passes
// themselves; nullptr on failure. The caller owns the state and its list.
[[nodiscard]] RunPreprocessorState* create_run_preprocessor_state(const char* spool_file,
                                                                  int language);
void free_run_preprocessor_state(RunPreprocessorState* state);
using RunPreprocessorStatePtr = Owned<RunPreprocessorState, free_run_preprocessor_state>;
[[nodiscard]] std::uint64_t run_pp_state_get_bytes_processed(const RunPreprocessorState* state);
[[nodiscard]] mapped_mem* run_pp_state_get_mapped_mem(RunPreprocessorState* state);
[[nodiscard]] ReplacementList* run_pp_state_get_replacement_list(RunPreprocessorState* state);
// Runs the passes of a state made by create_run_preprocessor_state to the end.
[[nodiscard]] int run_pp_state_run(RunPreprocessorState* state, int prologue);
