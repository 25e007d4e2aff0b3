// The printer's model name from its CUPS PPD file, and the job's printer type
// from the PPD or, failing that, from the printer itself.
#pragma once

#include <cstddef>

struct JobAttribs;

// Room of the PPD path buffer and of one PPD line.
inline constexpr std::size_t COMMON_PPD_PATH_SIZE = 2048;

// The path of the printer's PPD file: the first readable file of
// "/etc/cups/ppd/%s.ppd", "/opt/cups/etc/ppd/%s.ppd",
// "/usr/local/cups/etc/ppd/%s.ppd", "/usr/local/etc/cups/ppd/%s.ppd"; null
// when none. The path lives in one buffer that each call overwrites. A
// printer name holding "/" or starting with "." never names a file.
[[nodiscard]] const char* common_find_cups_printer_ppd(const char* printer_name);

// The same search over the given directories (for callers with their own
// PPD tree, and tests).
[[nodiscard]] const char* common_find_ppd_in_dirs(const char* printer_name,
                                                  const char* const* dirs, std::size_t count);

// The model name of a PPD file's first "*ModelName: \"...\"" line (caseless),
// cut to `size`; 1 when found, else 0.
[[nodiscard]] int common_read_ppd_model_name(const char* ppd_path, char* buffer,
                                             std::size_t size);

// The model name from the printer's PPD (common_find_cups_printer_ppd); 1
// when found, else 0.
[[nodiscard]] int common_get_printer_model_name(const char* printer_name, char* buffer,
                                                std::size_t size);

// Sets the job's printer type to the model of its printer's PPD or, when no
// PPD names one and `printer_address` is not empty, to the printer's own
// description. 1 when set, else 0 (the type is then empty).
[[nodiscard]] int common_set_printer_type(JobAttribs* ja, const char* printer_address);
