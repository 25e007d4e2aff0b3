// An XPS package's structure (start part, document sequence, documents,
// pages, print-ticket relationships) and the reading of print tickets:
// what the XPS analyzer and the rewriting of XPS print tickets share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scan/xps_zip.h"

struct JobAttribs;

// Scopes of a print ticket.
inline constexpr int XPS_SCOPE_PAGE = 0;
inline constexpr int XPS_SCOPE_DOCUMENT = 1;
inline constexpr int XPS_SCOPE_JOB = 2;

// What a ticket names besides the job's attributes.
struct XpsTicketInfo {
  std::string media_name;    // the PageMediaSize option, empty when none
  int pages_per_sheet = 1;   // the N-up value, 1 unless the ticket gives a positive one
  bool names_pages_per_sheet = false;  // the ticket gives a positive N-up value
};

// Where a ticket's values are, for rewriting them: offset and length in the
// ticket text (0, 0 when the value was not found).
struct XpsTicketPlace {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};
struct XpsTicketPlaces {
  XpsTicketPlace copies;  // the JobCopiesAllDocuments value
  XpsTicketPlace duplex;  // the duplex option name
  XpsTicketPlace color;   // the PageOutputColor option name
};

// Reads a print ticket (UTF-8 text). With `ja`, applies it: at job scope
// duplex (a one-sided ticket turns duplex off), tumble, grayscale and copies
// above 0; at every scope a media size with both sides above 0 through the
// page-size setter. `info` and `places` (each optional) receive what the
// ticket names and where its values are. 1 when read; 0 when a feature
// lacks the value it needs (then nothing is applied).
[[nodiscard]] int parse_print_ticket(std::string_view ticket, int scope, JobAttribs* ja,
                                     XpsTicketInfo* info, XpsTicketPlaces* places);

// parse_print_ticket at job scope, for the system's other programs.
[[nodiscard]] int xps_get_ja_for_print_ticket(std::string_view ticket, JobAttribs* ja,
                                              XpsTicketInfo* info);

// Reads the ticket part `ticket_part` (UTF-16 converted) and applies it at
// `scope`. *pages_per_sheet changes only when the ticket names an N-up
// value. 1 done (an empty ticket changes nothing), 0 when the part is
// missing or cannot be read.
[[nodiscard]] int extract_print_ticket(XpsZip* zip, const XpsFileList& list,
                                       std::string_view ticket_part, int scope, JobAttribs* ja,
                                       int* pages_per_sheet);

// The part that the relationship of type `type` (a substring of the Type
// attribute) in the relationships text `rels` names, resolved against the
// relationships part `rels_name`; the last matching one wins. Empty when
// none matches.
[[nodiscard]] std::string get_relationship(std::string_view rels, std::string_view rels_name,
                                           std::string_view type);

// The fixed document sequence named by the package's start part
// "/_rels/.rels" into *out (left empty when the start part names none).
// false (logged) when the package has no start part.
[[nodiscard]] bool get_fixed_doc_seq_path(XpsZip* zip, const XpsFileList& list, std::string* out);

// The print ticket related to `part` into *out; false when it has none.
[[nodiscard]] bool get_print_ticket_path(XpsZip* zip, const XpsFileList& list,
                                         std::string_view part, std::string* out);

// The number of sheets of the sequence `sequence`: its documents' pages
// taken `pages_per_sheet` to a sheet (1 for values below 1). The documents
// and pages (part names, in order) go to the optional lists. -1 (logged)
// when the sequence lists no document or a document is missing or empty.
[[nodiscard]] int get_num_pages(XpsZip* zip, const XpsFileList& list, std::string_view sequence,
                                std::vector<std::string>* documents,
                                std::vector<std::string>* pages, int pages_per_sheet);
