// The token matcher. It runs at every scan position of a spool file, so the
// common case (no row can start with these bytes) must cost a table lookup:
// matcher_init_tokens builds, for each of the 256 byte values, the list of
// rows whose first character and literal prefix admit it, the byte pairs
// that can begin a match, and one match data for the table.
#include "foundation/matcher.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <new>

#include "foundation/ascii.h"
#include "foundation/log.h"
#include "foundation/matcher_internal.h"
#include "foundation/regex_engine.h"
#include "foundation/regex_prefix.h"

namespace {

// Pairs kept per table: the whole match and groups 1 to 3.
constexpr std::uint32_t TABLE_MATCH_PAIRS = 1 + MATCH_TOKEN_GROUPS;
constexpr std::size_t COMPILE_ERROR_SIZE = 256;

void free_index(MatcherIndex* index) {
  if (index == nullptr) return;
  pcre2_match_data_free(index->data);
  std::free(index->rows);
  std::free(index->filters);
  delete index;
}

bool row_admits(const MatchToken& row, int byte) {
  return row.first_char == 0 || row.first_char == ascii_to_lower(byte);
}

// True when the position's byte can begin a match of the row.
bool row_may_start(const MatchToken& row, const MatcherRowFilter& filter, int byte) {
  if (!row_admits(row, byte)) return false;
  if (filter.length == 0) return true;
  return filter.caseless ? ascii_to_lower(filter.prefix[0]) == ascii_to_lower(byte)
                         : filter.prefix[0] == byte;
}


void set_prefix_words(MatcherRowFilter& filter) {
  std::uint8_t value[REGEX_PREFIX_MAX] = {};
  std::uint8_t mask[REGEX_PREFIX_MAX] = {};
  std::uint8_t fold[REGEX_PREFIX_MAX] = {};
  for (std::size_t i = 0; i < filter.length; ++i) {
    const bool folds = filter.caseless && ascii_is_alpha(filter.prefix[i]);
    value[i] =
        static_cast<std::uint8_t>(folds ? ascii_to_lower(filter.prefix[i]) : filter.prefix[i]);
    mask[i] = 0xFF;
    fold[i] = folds ? 0x20 : 0;
  }
  std::memcpy(&filter.value, value, sizeof(filter.value));
  std::memcpy(&filter.mask, mask, sizeof(filter.mask));
  std::memcpy(&filter.fold, fold, sizeof(filter.fold));
}

void set_pair_bit(MatcherIndex* index, int first, int second) {
  const unsigned pair = static_cast<unsigned>(first) | (static_cast<unsigned>(second) << 8);
  index->may_start_pair[pair] = 1;
}

// Marks the byte pairs that can begin a match of some row: any second byte
// for rows without a two-byte prefix, else the prefix's second byte (in
// either case for caseless rows).
void fill_pairs(MatcherIndex* index, const MatchToken* table, int count) {
  for (int r = 0; r < count; ++r) {
    const MatcherRowFilter& filter = index->filters[r];
    for (int b = 0; b < 256; ++b) {
      if (!row_may_start(table[r], filter, b)) continue;
      if (filter.length < 2) {
        for (int second = 0; second < 256; ++second) set_pair_bit(index, b, second);
        continue;
      }
      const int second = filter.prefix[1];
      set_pair_bit(index, b, second);
      // Both cases of a caseless second byte.
      if (filter.caseless) {
        set_pair_bit(index, b, ascii_to_lower(second));
        set_pair_bit(index, b, ascii_to_upper(second));
      }
    }
  }
}

// Fills the per-byte row lists from the filters; false when memory runs out.
bool fill_rows(MatcherIndex* index, const MatchToken* table, int count) {
  std::uint64_t total = 0;
  for (int b = 0; b < 256; ++b) {
    for (int r = 0; r < count; ++r) total += row_may_start(table[r], index->filters[r], b) ? 1 : 0;
  }
  if (total >= UINT32_MAX) return false;
  index->rows = static_cast<std::int32_t*>(std::malloc((total + 1) * sizeof(std::int32_t)));
  if (index->rows == nullptr) return false;
  std::uint32_t next = 0;
  for (int b = 0; b < 256; ++b) {
    index->begin[b] = next;
    for (int r = 0; r < count; ++r) {
      if (row_may_start(table[r], index->filters[r], b)) index->rows[next++] = r;
    }
    index->may_start[b] = next > index->begin[b] ? 1 : 0;
  }
  index->begin[256] = next;
  fill_pairs(index, table, count);
  matcher_fill_classes(index);
  return true;
}

// Builds the lookup; nullptr when memory runs out (the matcher then walks
// the whole table).
MatcherIndex* build_index(const MatchToken* table, int count) {
  auto* index = new (std::nothrow) MatcherIndex();
  if (index == nullptr) return nullptr;
  index->table = table;
  index->count = count;
  index->filters = static_cast<MatcherRowFilter*>(
      std::calloc(static_cast<std::size_t>(count), sizeof(MatcherRowFilter)));
  index->data = pcre2_match_data_create(TABLE_MATCH_PAIRS, nullptr);
  if (index->filters == nullptr || index->data == nullptr) {
    free_index(index);
    return nullptr;
  }
  for (int r = 0; r < count; ++r) {
    MatcherRowFilter& filter = index->filters[r];
    filter.length = static_cast<std::uint8_t>(
        regex_literal_prefix(table[r].pattern, table[r].options, filter.prefix));
    filter.caseless = (table[r].options & PCRE_CASELESS) != 0;
    set_prefix_words(filter);
  }
  if (!fill_rows(index, table, count)) {
    free_index(index);
    return nullptr;
  }
  return index;
}

// Releases what a row owns beyond the caller's fields.
void clear_row(MatchToken& row) {
  regex_free(row.compiled);
  row.compiled = nullptr;
  for (char*& text : row.texts) {
    std::free(text);
    text = nullptr;
  }
  row.hit_count = 0;
  for (std::int32_t& value : row.values) value = 0;
  row.index = nullptr;
}

// A capture's leading decimal digits, saturated to 32 bits.
std::int32_t leading_number(const std::uint8_t* text, std::size_t length) {
  return regex_parse_int_saturated(reinterpret_cast<const char*>(text), length);
}

void record_groups(MatchToken& row, const std::uint8_t* bytes, pcre2_match_data* data, int rc) {
  const std::uint32_t set = rc == 0 ? pcre2_get_ovector_count(data) : static_cast<std::uint32_t>(rc);
  const PCRE2_SIZE* pairs = pcre2_get_ovector_pointer(data);
  for (std::uint32_t g = 1; g < set && g <= MATCH_TOKEN_GROUPS; ++g) {
    const PCRE2_SIZE start = pairs[2 * g];
    const PCRE2_SIZE end = pairs[2 * g + 1];
    if (start == PCRE2_UNSET || end <= start) continue;
    const std::size_t length = end - start;
    char* text = static_cast<char*>(std::malloc(length + 1));
    if (text != nullptr) {
      std::memcpy(text, bytes + start, length);
      text[length] = '\0';
      std::free(row.texts[g - 1]);
      row.texts[g - 1] = text;
    }
    if (bytes[start] >= '0' && bytes[start] <= '9') {
      row.values[g - 1] = leading_number(bytes + start, length);
    }
  }
}

// Tests one row that the first byte admits; 1 on a match.
int test_row(MatchToken& row, const std::uint8_t* bytes, std::uint64_t available,
             std::uint64_t position, pcre2_match_data* data) {
  if (!matcher_row_active(row, position)) return 0;
  if (row.compiled == nullptr || data == nullptr) return 0;
  const int rc = regex_engine_match(row.compiled, bytes, available, data,
                                    regex_engine_context());
  if (rc < 0) {
    if (rc != PCRE2_ERROR_NOMATCH) {
      LOG_ERROR("Matching error on pattern: %s return:%d", row.pattern, rc);
    }
    return 0;
  }
  LOG_DEV("Found match on pattern: %s", row.pattern);
  ++row.hit_count;
  record_groups(row, bytes, data, rc);
  LOG_DEV("matched pattern: %s", row.pattern);
  return 1;
}

}  // namespace

int matcher_init_tokens(MatchToken* table, int count) {
  if (table == nullptr || count <= 0) return 0;
  free_index(table[0].index);
  for (int i = 0; i < count; ++i) clear_row(table[i]);
  char error[COMPILE_ERROR_SIZE];
  for (int i = 0; i < count; ++i) {
    MatchToken& row = table[i];
    row.first_char = ascii_to_lower(row.first_char & 0xFF);
    if (row.pattern == nullptr) {
      LOG_ERROR("No pattern for token i=%d", i);
      return -1;
    }
    row.compiled = regex_compile_ex(row.pattern, row.options, error, sizeof(error), nullptr);
    if (row.compiled == nullptr) {
      LOG_ERROR("failed to compile pattern number %d (%s) with error: %s", i, row.pattern, error);
      return -1;
    }
  }
  MatcherIndex* index = build_index(table, count);
  for (int i = 0; i < count; ++i) table[i].index = index;
  return 0;
}

int matcher_test_candidates(MatchToken* table, int count, const void* buffer,
                            std::uint64_t available, std::uint64_t position) {
  if (available == 0 || buffer == nullptr || table == nullptr || count <= 0) return 0;
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  const std::uint8_t first = bytes[0];
  const MatcherIndex* index = table[0].index;
  int matched = 0;
  if (index != nullptr && index->table == table && index->count == count) {
    const std::uint32_t end = index->begin[first + 1];
    for (std::uint32_t k = index->begin[first]; k < end; ++k) {
      const std::int32_t r = index->rows[k];
      if (!matcher_prefix_allows(index->filters[r], bytes, available)) continue;
      matched += test_row(table[r], bytes, available, position, index->data);
    }
    return matched;
  }
  pcre2_match_data* data = regex_engine_thread_data();
  for (int i = 0; i < count; ++i) {
    if (row_admits(table[i], first)) matched += test_row(table[i], bytes, available, position, data);
  }
  return matched;
}

void matcher_free_tokens(MatchToken* table, int count) {
  if (table == nullptr || count <= 0) return;
  free_index(table[0].index);
  for (int i = 0; i < count; ++i) clear_row(table[i]);
}
