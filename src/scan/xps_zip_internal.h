// The open package shared by the reader and the writer of xps_zip.
#pragma once

#include <minizip/unzip.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "scan/xps_zip.h"

// The memory stream behind the zip library's file functions: the package
// bytes (the caller's) and the read position.
struct MemFile {
  std::uint64_t length = 0;
  int error = 0;  // what the error function reports; reads never fail
  std::uint64_t position = 0;
  const std::uint8_t* start = nullptr;
};

struct XpsZip {
  MemFile mem;
  unzFile unz = nullptr;
  // Where each entry is, learnt by the directory walk, so that an entry is
  // reached without walking the directory again.
  std::unordered_map<std::string, unz64_file_pos> entries;
};

// Makes the entry `entry` the zip library's current file: by its remembered
// position, else by a directory search. false (logged) when it is missing.
[[nodiscard]] bool xps_zip_go_to_entry(XpsZip* zip, std::string_view entry);
