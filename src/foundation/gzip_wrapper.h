// gzip output of whole files.
#pragma once

// Writes a gzip file of `in_path` into a new file at `out_path` (refused when
// anything exists at that name), compression level 6. 1 on success, 0 on
// failure, and then nothing is left at `out_path`.
[[nodiscard]] int gzip_compress(const char* in_path, const char* out_path);
// 1 when `printer` is named in the GzipCompress list, equal ignoring case or
// matching a wildcard item.
[[nodiscard]] int gzip_is_on_printer(const char* printer);
