// The walk of the PostScript analyzer looks closer only at positions where
// one of its checks, token rows or colour tests can begin. PsLiteralFilter
// holds the literal each of them begins with: a bit per byte pair (8 KiB,
// it stays in the first-level cache) rejects most positions with one test,
// and the few left are compared with the literals that begin with their
// first byte.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "foundation/ascii.h"

class PsLiteralFilter {
 public:
  void clear() {
    pairs_.fill(0);
    for (auto& list : leads_) list.clear();
  }
  // A check begins with `literal` (ASCII case ignored when `caseless`). A
  // literal of one byte admits any byte after it.
  void add(std::string_view literal, bool caseless) {
    if (literal.empty()) return;
    Lead lead{};
    lead.length = static_cast<std::uint8_t>(std::min<std::size_t>(literal.size(), lead.bytes.size()));
    for (std::size_t i = 0; i < lead.length; ++i) {
      const auto c = static_cast<std::uint8_t>(literal[i]);
      lead.bytes[i] = caseless ? ascii_to_lower(c) : c;
    }
    lead.caseless = caseless;
    const auto first = static_cast<std::uint8_t>(literal[0]);
    const auto firsts = variants(first, caseless);
    for (std::size_t v = 0; v < firsts.size(); ++v) {
      const std::uint8_t a = firsts[v];
      if (v > 0 && a == firsts[0]) break;
      leads_[a].push_back(lead);
      if (literal.size() == 1) {
        for (int b = 0; b < 256; ++b) add_pair(a, static_cast<std::uint8_t>(b));
      } else {
        for (std::uint8_t b : variants(static_cast<std::uint8_t>(literal[1]), caseless)) add_pair(a, b);
      }
    }
  }
  // Any check may begin at these `n` bytes (n >= 1).
  [[nodiscard]] bool pair(std::uint8_t a, std::uint8_t b) const {
    const unsigned key = static_cast<unsigned>(a) | static_cast<unsigned>(b) << 8;
    return ((pairs_[key >> 6] >> (key & 63)) & 1) != 0;
  }
  // The first position from `p` below `stop` whose byte pair is in the set
  // (the leads not yet compared), or `stop`. `n` is the length of `d`; the
  // last byte of `d` is always returned for a closer look.
  [[nodiscard]] std::uint64_t next_pair(const std::uint8_t* d, std::uint64_t p, std::uint64_t stop,
                                        std::uint64_t n) const {
    const std::uint64_t* bits = pairs_.data();
    const std::uint64_t end = stop < n ? stop : n - 1;
    auto hit = [&](std::uint64_t i) {
      const unsigned key = static_cast<unsigned>(d[i]) | static_cast<unsigned>(d[i + 1]) << 8;
      return ((bits[key >> 6] >> (key & 63)) & 1) != 0;
    };
    for (; p < end; ++p) {
      if (hit(p)) return p;
    }
    return p < stop ? p : stop;
  }
  [[nodiscard]] bool may_begin(const std::uint8_t* p, std::uint64_t n) const {
    if (!pair(p[0], n > 1 ? p[1] : 0)) return false;
    for (const Lead& lead : leads_[p[0]]) {
      if (lead.matches(p, n)) return true;
    }
    return false;
  }

 private:
  struct Lead {
    std::array<std::uint8_t, 8> bytes;
    std::uint8_t length;
    bool caseless;
    [[nodiscard]] bool matches(const std::uint8_t* p, std::uint64_t n) const {
      const std::uint64_t k = std::min<std::uint64_t>(length, n);
      for (std::uint64_t i = 0; i < k; ++i) {
        const std::uint8_t c = caseless ? ascii_to_lower(p[i]) : p[i];
        if (c != bytes[i]) return false;
      }
      return true;
    }
  };
  static std::array<std::uint8_t, 2> variants(std::uint8_t c, bool caseless) {
    if (!caseless || !ascii_is_alpha(c)) return {c, c};
    return {ascii_to_lower(c), ascii_to_upper(c)};
  }
  void add_pair(std::uint8_t a, std::uint8_t b) {
    const unsigned key = static_cast<unsigned>(a) | static_cast<unsigned>(b) << 8;
    pairs_[key >> 6] |= std::uint64_t{1} << (key & 63);
  }
  std::array<std::uint64_t, 1024> pairs_{};
  std::array<std::vector<Lead>, 256> leads_;
};
