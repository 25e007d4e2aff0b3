// PDF dictionaries and content streams carried inside PostScript.
#pragma once

#include <cstdint>

class PsByteSource;

// Walks back from the closing ">>" at `end_dict` (nested dictionaries and
// ASCII85 strings passed over) at most `max_bytes`: the position behind the
// matching "<<", or nullptr.
[[nodiscard]] const std::uint8_t* find_start_dict(const std::uint8_t* start,
                                                  const std::uint8_t* end_dict,
                                                  std::uint64_t max_bytes);

// PDF page content that sets a colour: "r g b rg" (or RG) whose values differ
// by more than 1/510, "c m y k k" (or K) with real colour, or an RGB inline
// image ("/CS/RGB").
[[nodiscard]] bool pdf_content_text_has_colour(const std::uint8_t* text, std::uint64_t length);
// The same over a decoded stream, read in bounded pieces.
[[nodiscard]] bool pdf_content_has_colour(PsByteSource* source);

// The stream whose keyword "stream" is at `pos` (behind a dictionary): its
// data runs from *data_from to *data_end (the "endstream" keyword), read
// from the dictionary's /Length when that lands on "endstream", else found
// by searching. false when `pos` is not such a keyword.
[[nodiscard]] bool ps_pdf_stream_extent(const std::uint8_t* start, const std::uint8_t* end,
                                        const std::uint8_t* pos, std::uint64_t* data_from,
                                        std::uint64_t* data_end);
