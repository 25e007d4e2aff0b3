// Blank back sides of duplex PCL5 jobs: the non-marking patterns and the
// page-end trackers.
#include "analysis/pcl5_empty_pages.h"

#include <array>
#include <new>
#include <string>
#include <string_view>

#include "analysis/pcl5_command.h"
#include "foundation/ascii.h"
#include "foundation/log.h"
#include "foundation/regex.h"

namespace {

// HP-GL/2 commands that set up rather than draw.
constexpr std::array<std::string_view, 17> HPGL_NON_MARKING = {
    R"(IN;)",
    R"(TR\d+;?)",
    R"(SC\d+,-?\d+(?:\.\d*)?,-?\d+(?:\.\d*)?,-?\d+(?:\.\d*)?,-?\d+(?:\.\d*)?;?)",
    R"(RO\d+;?)",
    R"(IR-?\d+(?:\.\d*)?,-?\d+(?:\.\d*)?,-?\d+(?:\.\d*)?,-?\d+(?:\.\d*)?;?)",
    R"(WU\d+;?)",
    R"(PW\d+(?:\.\d*);?)",
    R"(LT;)",
    R"(LA-?\d+(?:\.\d*)?,-?\d+(?:\.\d*)?;?)",
    R"(SP\d+;?)",
    R"(PP\d+;?)",
    R"(FT\d+;?)",
    R"(AC\-?\d+(?:\.\d*)?,\-?\d+(?:\.\d*)?;?)",
    R"(MC\-?\d+(?:\.\d*)?,\-?\d+(?:\.\d*)?;?)",
    R"(SV\-?\d+(?:\.\d*)?(?:,\-?\d+(?:\.\d*)?)?;?)",
    R"(PU\-?\d+(?:\.\d*)?,\-?\d+(?:\.\d*)?;?)",
    R"(PD\-?\d+(?:\.\d*)?,\-?\d+(?:\.\d*)?;?)",
};

// PCL command prefixes (after the ESC) and the values that keep them
// non-marking; "E" (a reset) has none and so counts as marking.
struct PrefixRow {
  std::string_view prefix;
  std::string_view values;
};
constexpr std::array<PrefixRow, 15> PCL_NON_MARKING = {{
    {"E", ""},
    {"*l", R"(\d+[ORVW])"},
    {"*b", R"(\d+M)"},
    {"*o", R"(\d+[W])"},
    {"*p", R"((?:\d+[XY]|R))"},
    {"*r", R"(\d+[ABST])"},
    {"*t", R"(\d+[R])"},
    {"*v", R"(\d+[OTNWABCI])"},
    {"*c", R"(\d+[QTEDXY])"},
    {"&a", R"(\d+[HPGUV])"},
    {"&l", R"(\d+[AOECX])"},
    {"&n", R"(\d+[W])"},
    {"&p", R"(\d+[ICS])"},
    {"(s", R"(\d+[W])"},
    {"%", R"(\d+[AB])"},
}};

using RegexPtr = Owned<Regex, regex_free>;

std::string join_alternation(auto texts) {
  std::string out = "(?:";
  bool first = true;
  for (std::string_view text : texts) {
    if (!first) out += '|';
    first = false;
    out += text;
  }
  return out + ")";
}

std::string escaped_prefix(std::string_view prefix) {
  std::string out;
  for (char c : prefix) {
    if (std::string_view("*()[]{}.").find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  return out;
}

// Length of an anchored match at `pos` within [pos, to), 0 for none.
std::uint64_t match_length(const Regex* regex, ByteSpan data, std::uint64_t pos, std::uint64_t to) {
  std::int64_t ovector[6] = {};
  int rc = 0;
  if (regex_exec(regex, data.data() + pos, to - pos, ovector, 6, &rc) != 1) return 0;
  return ovector[1] > 0 ? static_cast<std::uint64_t>(ovector[1]) : 0;
}

}  // namespace

struct Pcl5NonMarkingSet {
  bool built = false;
  bool complete = false;
  // Pattern texts live here: Regex keeps a pointer to them.
  std::string hpgl_text;
  std::string prefix_text;
  RegexPtr hpgl;
  RegexPtr prefixes;
  std::array<RegexPtr, PCL_NON_MARKING.size()> values;
};

namespace {

void build(Pcl5NonMarkingSet* set) {
  set->built = true;
  set->hpgl_text = join_alternation(HPGL_NON_MARKING);
  std::array<std::string, PCL_NON_MARKING.size()> prefixes;
  for (std::size_t i = 0; i < PCL_NON_MARKING.size(); ++i) {
    prefixes[i] = escaped_prefix(PCL_NON_MARKING[i].prefix);
  }
  set->prefix_text = join_alternation(prefixes);
  set->hpgl.reset(regex_compile(set->hpgl_text.c_str(), PCRE_ANCHORED));
  set->prefixes.reset(regex_compile(set->prefix_text.c_str(), PCRE_ANCHORED));
  bool complete = set->hpgl != nullptr && set->prefixes != nullptr;
  for (std::size_t i = 0; i < PCL_NON_MARKING.size(); ++i) {
    if (PCL_NON_MARKING[i].values.empty()) continue;
    // The row texts are constants, so the Regex may point at them.
    set->values[i].reset(
        regex_compile(PCL_NON_MARKING[i].values.data(), PCRE_ANCHORED | PCRE_CASELESS));
    complete = complete && set->values[i] != nullptr;
  }
  set->complete = complete;
}

// Bytes of a non-marking PCL command at the ESC at `pos`, 0 when the
// command marks.
std::uint64_t pcl_non_marking(const Pcl5NonMarkingSet* set, ByteSpan data, std::uint64_t pos,
                              std::uint64_t to) {
  const std::uint64_t prefix = match_length(set->prefixes.get(), data, pos + 1, to);
  if (prefix == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data.data() + pos + 1), prefix);
  for (std::size_t i = 0; i < PCL_NON_MARKING.size(); ++i) {
    if (PCL_NON_MARKING[i].prefix != text) continue;
    if (set->values[i] == nullptr) return 0;
    std::uint64_t q = pos + 1 + prefix;
    int matched = 0;
    while (q < to) {
      const std::uint64_t n = match_length(set->values[i].get(), data, q, to);
      if (n == 0) break;
      q += n;
      ++matched;
    }
    return matched > 0 ? q - pos : 0;
  }
  LOG_ERROR("is_empty_except_non_marking: No matching pattern. group0='%.*s'",
            static_cast<int>(text.size()), text.data());
  return 0;
}

}  // namespace

Pcl5NonMarkingSet* pcl5_non_marking_set_new() { return new (std::nothrow) Pcl5NonMarkingSet{}; }

void pcl5_non_marking_set_free(Pcl5NonMarkingSet* set) { delete set; }

int is_empty_except_non_marking(Pcl5NonMarkingSet* set, ByteSpan data, std::uint64_t from,
                                std::uint64_t to) {
  if (set == nullptr || to > data.size() || from >= to || to - from > PCL5_EMPTY_PAGE_MAX_BYTES) {
    return 0;
  }
  // White space and control bytes alone need no patterns (a run of form
  // feeds is judged at every one of them).
  bool plain = true;
  for (std::uint64_t p = from; p < to && plain; ++p) {
    plain = data[p] != PCL_ESC && (ascii_is_space(data[p]) || data[p] < 0x0a);
  }
  if (plain) return 1;
  if (!set->built) build(set);
  if (!set->complete) return 0;
  std::uint64_t marking = 0;
  std::uint64_t non_marking = 0;
  std::uint64_t p = from;
  while (p < to && marking < PCL5_MARKING_THRESHOLD) {
    std::uint64_t n = 0;
    if (data[p] == PCL_ESC) {
      n = pcl_non_marking(set, data, p, to);
    } else {
      n = match_length(set->hpgl.get(), data, p, to);
      if (n == 0 && (ascii_is_space(data[p]) || data[p] < 0x0a)) n = 1;
    }
    if (n > 0) {
      non_marking += n;
      p += n;
    } else {
      ++marking;
      ++p;
    }
  }
  const int empty = marking < PCL5_MARKING_THRESHOLD ? 1 : 0;
  LOG_DEBUG("is_empty_except_non_marking: threshold=%u,size=%llu,non_marking_size=%llu,marking_size=%llu,is_empty=%d",
            static_cast<unsigned>(PCL5_MARKING_THRESHOLD), static_cast<unsigned long long>(to - from),
            static_cast<unsigned long long>(non_marking), static_cast<unsigned long long>(marking),
            empty);
  return empty;
}

void process_empty_pages(Pcl5NonMarkingSet* set, ByteSpan data, EmptyPageTracker* tracker,
                         std::uint64_t position, std::int64_t page_number) {
  if (!tracker->latest_page) {
    tracker->latest_page = position;
    return;
  }
  tracker->second_latest_page = tracker->latest_page;
  tracker->latest_page = position;
  const int empty =
      is_empty_except_non_marking(set, data, *tracker->second_latest_page, position);
  LOG_DEV("process_empty_pages: is_empty=%d", empty);
  if (empty != 0 && page_number % 2 == 0) {
    ++tracker->potential_empty_pages;
    LOG_DEBUG("Found potential empty page");
  }
}
