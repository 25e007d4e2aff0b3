// Language detection: which page-description language a spool file is
// written in, decided from its bytes alone. The result is a language code of
// foundation/ja_languages.h (0 when nothing is recognised, 43 for a status
// document, 69 for gzip-compressed data).
#pragma once

#include <cstdint>

// Bytes examined by the signature scan (the scan window).
inline constexpr std::uint64_t LANG_DETECT_SCAN_WINDOW = 204800;
// Bytes examined for PJL ENTER LANGUAGE commands and the PCL5 escape count.
inline constexpr std::uint64_t LANG_DETECT_HEAD_WINDOW = 10000;
// Files of this size or larger never take the all-PJL status test.
inline constexpr std::uint64_t LANG_DETECT_ALL_PJL_LIMIT = 200;
// Number of rows of the token table.
inline constexpr int LANG_DETECT_TOKEN_COUNT = 26;

// Language code of the `length` bytes at `data`. Reads only the first
// LANG_DETECT_SCAN_WINDOW bytes at most, never outside the buffer (a null
// buffer is taken as empty), never writes to it. Reads DummyDocumentSizeBytes
// and ParseTimeout from global_ctx. The token table is compiled once per
// thread; a table that cannot be compiled gives 0.
[[nodiscard]] int analyzer_lang_detect(const std::uint8_t* data, std::uint64_t length);
