// Names and texts of a package: piece entry names, relationship parts,
// resolving references between parts, and UTF-16 text as UTF-8.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/xps_zip.h"
#include "foundation/decimal.h"
#include "foundation/log.h"

namespace {

// Lengths of a piece component: "[0].piece" to "[" + 13 digits + "].last.piece".
constexpr std::size_t PIECE_COMPONENT_MIN = 9;
constexpr std::size_t PIECE_COMPONENT_MAX = 20;

constexpr std::string_view RELS_DIRECTORY = "_rels";
constexpr std::uint32_t UNIT_REPLACEMENT = 0xFFFD;
constexpr std::uint32_t UNIT_STOP = 0xFFFF;

void append_utf8(std::uint32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

bool is_high_surrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

XpsPieceName xps_piece_name(std::string_view entry) {
  const std::size_t slash = entry.rfind('/');
  if (slash == std::string_view::npos) return {entry, -1};
  const std::string_view last = entry.substr(slash + 1);
  if (last.size() < PIECE_COMPONENT_MIN || last.size() > PIECE_COMPONENT_MAX ||
      last.front() != '[' || !last.ends_with(".piece")) {
    return {entry, -1};
  }
  const DecimalRead digits = decimal_read(last.substr(1), DecimalSign::NONE);
  if (last.size() <= 1 + digits.length || last[1 + digits.length] != ']') return {entry, -1};
  return {entry.substr(0, slash), digits.value};
}

std::optional<std::string> get_rel_path(std::string_view part_name) {
  const std::size_t slash = part_name.rfind('/');
  if (slash == std::string_view::npos) {
    LOG_ERROR("get_rel_path: xps_path='%.*s' is not a valid XPS path",
              static_cast<int>(part_name.size()), part_name.data());
    return std::nullopt;
  }
  std::string rel(part_name.substr(0, slash));
  rel += "/_rels/";
  rel += part_name.substr(slash + 1);
  rel += ".rels";
  return rel;
}

std::optional<std::string> make_xps_path(std::string_view containing, std::string_view name) {
  if (name.starts_with('/')) return std::string(name);
  const std::size_t slash = containing.rfind('/');
  std::string_view base = slash == std::string_view::npos ? std::string_view() : containing.substr(0, slash);
  // Targets in a relationships part are relative to the part they describe.
  if (base.ends_with(RELS_DIRECTORY) && base.size() > RELS_DIRECTORY.size() &&
      base[base.size() - RELS_DIRECTORY.size() - 1] == '/') {
    base.remove_suffix(RELS_DIRECTORY.size() + 1);
  }
  std::string_view rest = name;
  for (;;) {
    if (rest.starts_with("./")) {
      rest.remove_prefix(2);
    } else if (rest.starts_with("../")) {
      const std::size_t up = base.rfind('/');
      if (up == std::string_view::npos) {
        LOG_ERROR("Invalid name='%.*s' for containing_path='%.*s'", static_cast<int>(name.size()),
                  name.data(), static_cast<int>(containing.size()), containing.data());
        return std::nullopt;
      }
      base = base.substr(0, up);
      rest.remove_prefix(3);
    } else {
      break;
    }
  }
  std::string path(base);
  path += '/';
  path += rest;
  return path;
}

bool string_list_append_xps(std::vector<std::string>* names, std::string_view containing,
                            std::string_view name) {
  std::optional<std::string> path = make_xps_path(containing, name);
  if (!path || names == nullptr) {
    LOG_ERROR("string_list_append_xps: containing_file=%.*s,name=%.*s",
              static_cast<int>(containing.size()), containing.data(), static_cast<int>(name.size()),
              name.data());
    return false;
  }
  names->push_back(std::move(*path));
  return true;
}

bool xps_text_to_utf8(std::string_view data, std::string* out) {
  out->clear();
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(data[i]); };
  const bool little = data.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE;
  const bool big = data.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF;
  if ((!little && !big) || data.size() % 2 != 0) {
    out->assign(data);
    return true;
  }
  const auto unit = [&](std::size_t i) -> std::uint32_t {
    return little ? byte(i) | (byte(i + 1) << 8) : (byte(i) << 8) | byte(i + 1);
  };
  out->reserve(data.size() / 2);
  for (std::size_t i = 2; i < data.size(); i += 2) {
    std::uint32_t code = unit(i);
    if (code == UNIT_STOP) {
      LOG_ERROR("utf16_to_utf8: Could not convert %u", code);
      out->clear();
      return false;
    }
    if (is_high_surrogate(code) && i + 2 < data.size() && is_low_surrogate(unit(i + 2))) {
      code = 0x10000 + ((code - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (is_high_surrogate(code) || is_low_surrogate(code)) {
      code = UNIT_REPLACEMENT;
    }
    append_utf8(code, out);
  }
  return true;
}
