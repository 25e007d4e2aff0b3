// The per-printer settings that the server gives, with the stored copy in
// SettingsSpoolDir used while the server cannot be reached.
#pragma once

struct PrinterSettings;

// Fills `settings` from the server (getPrinterConfigString up to env_version
// 5, getPrinterConfig above), else from the stored settings file, else with
// the defaults. 1 when server or stored settings are used, 0 for defaults.
[[nodiscard]] int rpc_get_printer_config_settings(int connect_timeout_ms, int send_timeout_ms,
                                                  const char* server_name,
                                                  const char* printer_name,
                                                  PrinterSettings* settings);
