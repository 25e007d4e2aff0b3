// Zip packages in memory: an XPS job is an OPC zip package, read straight
// from the read-only mapped spool file (the zip library reads through a
// memory stream handed over by its opaque pointer; nothing is copied or
// written to disk to be read), and written anew with some parts replaced.
//
//   XpsZipPtr zip(unzip_open(data, length));
//   std::optional<XpsFileList> parts = unzip_get_filenames(zip.get());
//   std::string text;
//   if (get_xps_value(zip.get(), *parts, "/_rels/.rels", true, &text)) ...
//
// A logical part is stored whole (one entry named like the part) or in
// interleaved pieces ("<part>/[0].piece" ... "<part>/[n].last.piece"); the
// file list joins the pieces in piece order. Entries are located in O(1):
// the one directory walk of unzip_get_filenames remembers where each entry
// is. Every length in the package is checked: a part larger than
// XPS_ZIP_PART_MAX_BYTES once inflated (whatever its header claims) is a
// failure, names longer than XPS_ZIP_NAME_MAX are left out, and a part that
// cannot be read whole is a failure, never a shorter part.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/owned.h"

// Largest part (all its pieces, inflated) that is read into memory.
inline constexpr std::uint64_t XPS_ZIP_PART_MAX_BYTES = std::uint64_t{256} << 20;
// Longest entry name taken from a package; longer ones are left out.
inline constexpr std::size_t XPS_ZIP_NAME_MAX = 1024;
// Most entries taken from one package.
inline constexpr std::uint64_t XPS_ZIP_MAX_ENTRIES = 4'000'000;
// Bytes read from the zip library at a time, and written at a time.
inline constexpr std::size_t XPS_ZIP_READ_BLOCK = 65536;
inline constexpr std::size_t XPS_ZIP_WRITE_BLOCK = 65536;

// An open package; closing it frees everything made through it (never the
// package bytes, which belong to the caller and must outlive it).
struct XpsZip;

// Opens the `length` bytes at `data` as a zip package; none (logged) when
// they are too short, do not begin with "PK" or hold no readable directory.
[[nodiscard]] XpsZip* unzip_open(const std::uint8_t* data, std::uint64_t length);
// Closes the package; the zip library's result (0 for none given).
int unzip_close(XpsZip* zip);
using XpsZipPtr = Owned<XpsZip, unzip_close>;

// One logical part of a package.
struct XpsPart {
  std::string name;                  // "/" and the logical name
  std::vector<std::string> entries;  // the zip entries holding its data, in order
};

// The parts of one package, sorted by name (byte order), with an index.
struct XpsFileList {
  std::vector<XpsPart> parts;
  std::unordered_map<std::string, int> index;  // part name -> position in parts
};

// Walks the package's directory once: the logical parts in name order,
// pieces joined in piece order. Entries whose names are longer than
// XPS_ZIP_NAME_MAX or hold a NUL are left out (logged). None (logged) when
// the directory cannot be read at all; a walk that breaks off keeps the
// entries read so far.
[[nodiscard]] std::optional<XpsFileList> unzip_get_filenames(XpsZip* zip);

// Position of the part named `part_name` (with its leading "/"), or -1.
[[nodiscard]] int unzip_get_index(const XpsFileList& list, std::string_view part_name);
// The relationships part of `part_name` (for /Documents/1/FixedDocument.fdoc
// that is /Documents/1/_rels/FixedDocument.fdoc.rels); none for a name
// without "/".
[[nodiscard]] std::optional<std::string> get_rel_path(std::string_view part_name);
// Position of the part's relationships part, or -1.
[[nodiscard]] int unzip_get_rel_index(const XpsFileList& list, std::string_view part_name);

// The inflated data of one zip entry into *out; false (logged) when the entry
// is missing, damaged, fails its CRC or inflates beyond XPS_ZIP_PART_MAX_BYTES.
[[nodiscard]] bool unzip_extract_file(XpsZip* zip, std::string_view entry, std::string* out);
// The data of a part, its pieces joined, into *out; with `convert` set,
// UTF-16 text (after a byte-order mark) becomes UTF-8. false (logged) when
// any piece cannot be read or the part grows beyond XPS_ZIP_PART_MAX_BYTES.
[[nodiscard]] bool get_data_from_full_string(XpsZip* zip, const XpsPart& part, bool convert,
                                             std::string* out);
// The same by part name; false when the list has no such part.
[[nodiscard]] bool get_xps_value(XpsZip* zip, const XpsFileList& list, std::string_view part_name,
                                 bool convert, std::string* out);

// Resolves a name found inside the part `containing` (a relationship target,
// a page or image reference) into a part name: absolute names stay; others
// are taken from the containing part's directory (the "_rels" directory of
// a relationships part stands for its parent), each leading "../" one
// directory up and a leading "./" dropped. None (logged) when "../" climbs
// above the root.
[[nodiscard]] std::optional<std::string> make_xps_path(std::string_view containing,
                                                       std::string_view name);

// Resolves `name` against `containing` (make_xps_path) and appends it to
// `names`; false (logged) when it cannot be resolved.
[[nodiscard]] bool string_list_append_xps(std::vector<std::string>* names,
                                          std::string_view containing, std::string_view name);

// Piece entries: the last name component is "[n].piece" or "[n].last.piece"
// (9 to 20 characters, n decimal, an empty n counting 0).
struct XpsPieceName {
  std::string_view logical;  // the part the piece belongs to (the whole name when no piece)
  std::int64_t piece;        // the piece number, -1 when the entry is no piece
};
[[nodiscard]] XpsPieceName xps_piece_name(std::string_view entry);

// Text after a UTF-16 byte-order mark (FF FE little-endian, FE FF
// big-endian) as UTF-8; surrogate pairs are joined, a lone surrogate becomes
// U+FFFD. false (logged) at the unit FFFF. Text without a mark, or of odd
// length, is copied unchanged.
[[nodiscard]] bool xps_text_to_utf8(std::string_view data, std::string* out);

// New data for parts of a package, by part name with its leading "/".
using XpsReplacedParts = std::map<std::string, std::string, std::less<>>;

// Writes a new package to `out`: every part of `list` in name order; a part
// named in `replaced` is written whole with its new data (deflated), every
// other entry is copied as it is stored. The package is made in a temporary
// file and copied to `out` only once it was closed without error. 1 when
// written, 0 (logged) otherwise; an entry that cannot be read fails the
// whole package.
[[nodiscard]] int save_to_zip(XpsZip* zip, const XpsFileList& list,
                              const XpsReplacedParts& replaced, std::FILE* out);
