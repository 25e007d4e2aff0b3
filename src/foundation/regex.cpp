// Regular expressions over PCRE2. Patterns are compiled once (with the JIT
// when the platform has it); every match runs under a match context that caps
// the backtracking work and depth, and reuses per-thread match data so that
// matching allocates nothing.
#include "foundation/regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "foundation/decimal.h"
#include "foundation/log.h"
#include "foundation/regex_engine.h"

namespace {

// Offset pairs of the per-thread match data: whole match plus 31 groups.
constexpr std::uint32_t THREAD_MATCH_PAIRS = 32;
constexpr std::size_t JIT_STACK_START = 32 * 1024;
constexpr std::size_t JIT_STACK_MAX = 1024 * 1024;

struct OptionBit {
  int classic;
  std::uint32_t engine;
};
constexpr OptionBit OPTION_MAP[] = {
    {PCRE_CASELESS, PCRE2_CASELESS},       {PCRE_MULTILINE, PCRE2_MULTILINE},
    {PCRE_DOTALL, PCRE2_DOTALL},           {PCRE_EXTENDED, PCRE2_EXTENDED},
    {PCRE_ANCHORED, PCRE2_ANCHORED},       {PCRE_DOLLAR_ENDONLY, PCRE2_DOLLAR_ENDONLY},
    {PCRE_UNGREEDY, PCRE2_UNGREEDY},       {PCRE_NO_AUTO_CAPTURE, PCRE2_NO_AUTO_CAPTURE},
    {PCRE_FIRSTLINE, PCRE2_FIRSTLINE},     {PCRE_DUPNAMES, PCRE2_DUPNAMES},
};

// Maps classic option bits; false when a bit has no mapping.
bool map_options(int options, std::uint32_t* engine) {
  std::uint32_t out = 0;
  int rest = options;
  for (const OptionBit& bit : OPTION_MAP) {
    if ((options & bit.classic) != 0) {
      out |= bit.engine;
      rest &= ~bit.classic;
    }
  }
  *engine = out;
  return rest == 0;
}

// Per-thread match context (limits, JIT stack) and match data.
class ThreadMatchState {
 public:
  ThreadMatchState() {
    context_ = pcre2_match_context_create(nullptr);
    if (context_ != nullptr) {
      pcre2_set_match_limit(context_, REGEX_MATCH_LIMIT);
      pcre2_set_depth_limit(context_, REGEX_DEPTH_LIMIT);
      jit_stack_ = pcre2_jit_stack_create(JIT_STACK_START, JIT_STACK_MAX, nullptr);
      if (jit_stack_ != nullptr) pcre2_jit_stack_assign(context_, nullptr, jit_stack_);
    }
    data_ = pcre2_match_data_create(THREAD_MATCH_PAIRS, nullptr);
  }
  ~ThreadMatchState() {
    pcre2_match_data_free(data_);
    pcre2_jit_stack_free(jit_stack_);
    pcre2_match_context_free(context_);
  }
  ThreadMatchState(const ThreadMatchState&) = delete;
  ThreadMatchState& operator=(const ThreadMatchState&) = delete;

  pcre2_match_context* context_ = nullptr;
  pcre2_jit_stack* jit_stack_ = nullptr;
  pcre2_match_data* data_ = nullptr;
};

ThreadMatchState& thread_state() {
  thread_local ThreadMatchState state;
  return state;
}

// A zero-length subject may come with a null pointer; the engine wants one.
PCRE2_SPTR subject_pointer(const void* subject) {
  static const unsigned char empty[1] = {0};
  return subject != nullptr ? static_cast<PCRE2_SPTR>(subject) : empty;
}

// Runs one match from offset 0 into the thread's match data. Returns the
// engine's code; the data's pairs are valid for a result >= 0.
int run_match(const Regex* regex, const void* subject, std::uint64_t length,
              pcre2_match_data** data) {
  ThreadMatchState& state = thread_state();
  *data = state.data_;
  if (state.data_ == nullptr) return PCRE2_ERROR_NOMEMORY;
  return regex_engine_match(regex, subject, length, state.data_, state.context_);
}

// Logs and refuses a call without a compiled expression or subject.
bool usable(const Regex* regex, const void* subject, std::uint64_t length) {
  if (regex == nullptr || regex->code == nullptr) {
    LOG_DEBUG("Invalid regex supplied");
    return false;
  }
  return subject != nullptr || length == 0;
}

// Matches and folds the engine's code into 1 (match, including a vector too
// small) or 0 (no match, or an error which is logged).
int match_into(const Regex* regex, const void* subject, std::uint64_t length,
               pcre2_match_data** data, int* rc) {
  int code = usable(regex, subject, length) ? run_match(regex, subject, length, data)
                                            : PCRE2_ERROR_NOMATCH;
  if (rc != nullptr) *rc = code;
  if (code >= 0) return 1;
  if (code != PCRE2_ERROR_NOMATCH) LOG_ERROR("Matching error");
  return 0;
}

// Number of usable pairs in the match data after a result `rc` >= 0.
std::uint32_t pairs_set(pcre2_match_data* data, int rc) {
  return rc == 0 ? pcre2_get_ovector_count(data) : static_cast<std::uint32_t>(rc);
}

char* copy_bytes(const std::uint8_t* start, std::size_t length) {
  char* text = static_cast<char*>(std::malloc(length + 1));
  if (text == nullptr) return nullptr;
  if (length > 0) std::memcpy(text, start, length);
  text[length] = '\0';
  return text;
}

}  // namespace

const pcre2_real_code_8* regex_engine_program(const Regex* regex, std::uint64_t length) {
  if (const pcre2_code* jit = regex->jit_code.load(std::memory_order_acquire)) return jit;
  const bool earned = length >= REGEX_JIT_SUBJECT_BYTES ||
                      regex->matches.fetch_add(1, std::memory_order_relaxed) + 1 >= REGEX_JIT_AFTER_MATCHES;
  // One thread compiles; the others go on with the interpreter meanwhile. A
  // pattern the JIT cannot compile stays interpreted.
  if (!earned || regex->jit_claimed.exchange(true, std::memory_order_acq_rel)) return regex->code;
  pcre2_code* copy = pcre2_code_copy(regex->code);
  if (copy == nullptr) return regex->code;
  if (pcre2_jit_compile(copy, PCRE2_JIT_COMPLETE) != 0) {
    pcre2_code_free(copy);
    return regex->code;
  }
  regex->jit_code.store(copy, std::memory_order_release);
  return copy;
}

int regex_engine_match(const Regex* regex, const void* subject, std::uint64_t length,
                       pcre2_real_match_data_8* data, pcre2_real_match_context_8* context) {
  return pcre2_match(regex_engine_program(regex, length), subject_pointer(subject), length, 0, 0, data,
                     context);
}

pcre2_real_match_context_8* regex_engine_context() { return thread_state().context_; }

pcre2_real_match_data_8* regex_engine_thread_data() { return thread_state().data_; }

std::int32_t regex_parse_int_saturated(const char* text, std::size_t length) {
  return decimal_clamp<std::int32_t>(
      decimal_read_after_space(std::string_view(text, length)).value);
}

Regex* regex_compile_ex(const char* pattern, int options, char* error_text,
                        std::size_t error_size, int* error_offset) {
  if (error_offset != nullptr) *error_offset = 0;
  if (error_text != nullptr && error_size > 0) error_text[0] = '\0';
  std::uint32_t engine_options = 0;
  int error_code = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code = nullptr;
  char message[256] = "unsupported compile option";
  if (pattern == nullptr) {
    std::strcpy(message, "no pattern");
  } else if (map_options(options, &engine_options)) {
    code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED,
                         engine_options, &error_code, &offset, nullptr);
    if (code == nullptr) {
      pcre2_get_error_message(error_code, reinterpret_cast<PCRE2_UCHAR*>(message),
                              sizeof(message));
    }
  }
  Regex* regex = nullptr;
  if (code != nullptr) {
    regex = new (std::nothrow) Regex{pattern, code};
    if (regex == nullptr) {
      pcre2_code_free(code);
      std::strcpy(message, "no memory");
    }
  }
  if (regex != nullptr) return regex;
  const int shown_offset = offset > INT_MAX ? INT_MAX : static_cast<int>(offset);
  LOG_ERROR("PCRE compilation failed on pattern: %s at offset: %d with error: %s",
            pattern != nullptr ? pattern : "(null)", shown_offset, message);
  if (error_text != nullptr && error_size > 0) {
    std::strncpy(error_text, message, error_size - 1);
    error_text[error_size - 1] = '\0';
  }
  if (error_offset != nullptr) *error_offset = shown_offset;
  return nullptr;
}

Regex* regex_compile(const char* pattern, int options) {
  return regex_compile_ex(pattern, options, nullptr, 0, nullptr);
}

void regex_free(Regex* regex) {
  if (regex == nullptr) return;
  pcre2_code_free(regex->jit_code.load(std::memory_order_acquire));
  pcre2_code_free(regex->code);
  delete regex;
}

namespace {

// Copies the pairs of a match into the caller's vector (see regex_exec).
void copy_pairs(pcre2_match_data* data, int code, std::int64_t* ovector, int ovector_size,
                int* rc) {
  // As with the classic interface, the first two thirds of the caller's
  // vector hold pairs; never write past ovector_size entries.
  const std::uint32_t room = ovector != nullptr && ovector_size > 0
                                 ? static_cast<std::uint32_t>(ovector_size / 3)
                                 : 0;
  const std::uint32_t set = pairs_set(data, code);
  const std::uint32_t copy = set < room ? set : room;
  const PCRE2_SIZE* pairs = pcre2_get_ovector_pointer(data);
  for (std::uint32_t i = 0; i < 2 * copy; ++i) {
    ovector[i] = pairs[i] == PCRE2_UNSET ? -1 : static_cast<std::int64_t>(pairs[i]);
  }
  if (set > room) code = 0;
  if (rc != nullptr) *rc = code;
}

}  // namespace

int regex_exec(const Regex* regex, const void* subject, std::uint64_t length,
               std::int64_t* ovector, int ovector_size, int* rc) {
  pcre2_match_data* data = nullptr;
  int code = 0;
  const int matched = match_into(regex, subject, length, &data, &code);
  if (matched == 0) {
    if (rc != nullptr) *rc = code;
    return 0;
  }
  copy_pairs(data, code, ovector, ovector_size, rc);
  return 1;
}

int regex_exec_at(const Regex* regex, const void* subject, std::uint64_t length,
                  std::uint64_t start, int options, std::int64_t* ovector, int ovector_size,
                  int* rc) {
  int code = PCRE2_ERROR_NOMATCH;
  ThreadMatchState& state = thread_state();
  if (start <= length && usable(regex, subject, length)) {
    const std::uint32_t engine = ((options & REGEX_EXEC_ANCHORED) != 0 ? PCRE2_ANCHORED : 0) |
                                 ((options & REGEX_EXEC_NOTEMPTY_ATSTART) != 0
                                      ? PCRE2_NOTEMPTY_ATSTART
                                      : 0);
    code = state.data_ == nullptr
               ? PCRE2_ERROR_NOMEMORY
               : pcre2_match(regex_engine_program(regex, length), subject_pointer(subject), length,
                             start, engine, state.data_, state.context_);
  }
  if (code < 0) {
    if (rc != nullptr) *rc = code;
    return 0;
  }
  copy_pairs(state.data_, code, ovector, ovector_size, rc);
  return 1;
}

int regex_match(const Regex* regex, const void* subject, std::uint64_t length) {
  pcre2_match_data* data = nullptr;
  return match_into(regex, subject, length, &data, nullptr);
}

void regex_init_match_info(RegexMatchInfo* info) {
  if (info != nullptr) std::memset(info, 0, sizeof(*info));
}

void regex_free_match_info(RegexMatchInfo* info) {
  if (info == nullptr) return;
  for (char* text : info->texts) std::free(text);
  regex_init_match_info(info);
}

int regex_match_with_info(const Regex* regex, const void* subject, std::uint64_t length,
                          RegexMatchInfo* info) {
  if (info == nullptr) return 0;
  regex_init_match_info(info);
  pcre2_match_data* data = nullptr;
  int code = 0;
  if (match_into(regex, subject, length, &data, &code) == 0) return 0;
  const PCRE2_SIZE* pairs = pcre2_get_ovector_pointer(data);
  if (pairs[1] <= pairs[0]) return 0;  // an empty match finds nothing
  std::uint32_t set = pairs_set(data, code);
  if (set > REGEX_MATCH_INFO_GROUPS) set = REGEX_MATCH_INFO_GROUPS;
  const auto* bytes = static_cast<const std::uint8_t*>(subject);
  for (std::uint32_t g = 0; g < set; ++g) {
    const PCRE2_SIZE start = pairs[2 * g];
    const PCRE2_SIZE end = pairs[2 * g + 1];
    if (start == PCRE2_UNSET || end < start) continue;
    info->texts[g] = copy_bytes(bytes + start, end - start);
    info->starts[g] = static_cast<std::int64_t>(start);
    info->ends[g] = static_cast<std::int64_t>(end);
    info->highest_group = static_cast<std::int32_t>(g);
  }
  return 1;
}

int regex_match_with_int_group(const Regex* regex, const void* subject, std::uint64_t length,
                               int* value) {
  pcre2_match_data* data = nullptr;
  int code = 0;
  if (match_into(regex, subject, length, &data, &code) == 0) return 0;
  if (pairs_set(data, code) < 2) return 0;
  const PCRE2_SIZE* pairs = pcre2_get_ovector_pointer(data);
  if (pairs[2] == PCRE2_UNSET || pairs[3] <= pairs[2]) return 0;
  const char* text = static_cast<const char*>(subject) + pairs[2];
  if (value != nullptr) *value = regex_parse_int_saturated(text, pairs[3] - pairs[2]);
  return 1;
}

int regex_quick_match(const char* pattern, int options, const void* subject,
                      std::uint64_t length) {
  Regex* regex = regex_compile(pattern, options);
  if (regex == nullptr) return 0;
  const int result = regex_match(regex, subject, length);
  regex_free(regex);
  return result;
}

int regex_quick_exec(const char* pattern, int options, const void* subject, std::uint64_t length,
                     std::int64_t* ovector, int ovector_size, int* rc) {
  Regex* regex = regex_compile(pattern, options);
  if (regex == nullptr) {
    if (rc != nullptr) *rc = PCRE2_ERROR_NOMATCH;
    return 0;
  }
  const int result = regex_exec(regex, subject, length, ovector, ovector_size, rc);
  regex_free(regex);
  return result;
}

int regex_quick_match_with_int_group(const char* pattern, int options, const void* subject,
                                     std::uint64_t length, int* value) {
  Regex* regex = regex_compile(pattern, options);
  if (regex == nullptr) return 0;
  const int result = regex_match_with_int_group(regex, subject, length, value);
  regex_free(regex);
  return result;
}
