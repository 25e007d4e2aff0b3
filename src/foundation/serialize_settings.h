// Printer settings files: the last PrinterSettings the server gave for a
// printer, kept so that it keeps them while the server cannot be reached.
#pragma once

#include "foundation/printer_settings.h"

// Version of the printer settings files written.
inline constexpr int SERIALIZE_SETTINGS_VERSION = 4;

// Writes "<printer>.dat" into `dir`. 1 on success.
[[nodiscard]] int serialize_settings_writeout(const char* dir, const char* printer_name,
                                              const PrinterSettings* settings);
// Reads "<printer>.dat" from `dir`; the archiving field is not touched. 1 on
// success.
[[nodiscard]] int serialize_settings_readin(const char* dir, const char* printer_name,
                                            PrinterSettings* settings);
// 1 when all six fields are equal.
[[nodiscard]] int serialize_settings_equals(const PrinterSettings* a, const PrinterSettings* b);
// Gives the printer's settings file the store's mode (0640, readable by the
// service account's group).
void serialize_settings_openup_permissions(const char* dir, const char* printer_name);
