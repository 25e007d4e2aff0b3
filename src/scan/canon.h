// Quick tests of the Canon CPCA settings records in the first bytes of a
// job (and its last 1000 bytes for a trailing colour record): whether the
// job is CPCA-wrapped, its copy count, paper, duplex and colour mode. They
// look at fixed windows only and never leave the buffer.
#pragma once

#include <cstdint>

// The head window of the record tests.
inline constexpr std::uint64_t CANON_HEAD_WINDOW = 2048;
inline constexpr std::uint64_t CANON_TAIL_WINDOW = 1000;

// 1 when the job (1024 bytes or longer) begins with CD CA.
[[nodiscard]] int canon_has_canon_cpca(const std::uint8_t* buffer, std::uint64_t length);
// The copy count of the first SET_BINDER record, 1 when none is found.
[[nodiscard]] int canon_get_cpca_copycount(const std::uint8_t* buffer, std::uint64_t length);
// The paper of the first document-settings paper record, "" when none.
[[nodiscard]] const char* canon_cpca_papersize(const std::uint8_t* buffer, std::uint64_t length);
// The name of a Canon paper code, "" for a code not in the table.
[[nodiscard]] const char* canon_int_to_papersize(int code);
// 1 when a document-settings duplex record asks for two-sided printing.
[[nodiscard]] int canon_has_cpca_duplex(const std::uint8_t* buffer, std::uint64_t length);
// 1 when a record or the driver's PAGEHINT asks for grayscale; 0 otherwise,
// with *color (when given) set to 1 when colour was positively found.
[[nodiscard]] int canon_has_cpca_grayscale(const std::uint8_t* buffer, std::uint64_t length,
                                           int* color);
