// XPS print-ticket rewriting: a few text edits per ticket at the places the
// ticket reader found, then a new package with the edited tickets.
#include "modify/xps_modify.h"

#include <algorithm>
#include <cinttypes>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "foundation/watermark.h"
#include "modify/replacement_list.h"
#include "scan/xps_package.h"

namespace {

// One edit of a ticket's text.
struct TicketEdit {
  std::uint64_t offset;
  std::uint64_t length;
  std::string text;
};

bool replacement_sort_func(const TicketEdit& a, const TicketEdit& b) { return a.offset < b.offset; }

std::string_view text_at(std::string_view ticket, const XpsTicketPlace& place) {
  if (place.length == 0 || place.offset > ticket.size() ||
      place.length > ticket.size() - place.offset) {
    return {};
  }
  return ticket.substr(place.offset, place.length);
}

// The value of the XML declaration's encoding attribute: its offset and
// length, or none when the text has no declaration naming one.
std::optional<XpsTicketPlace> declared_encoding(std::string_view text) {
  std::size_t start = 0;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") start = 3;
  if (text.substr(start, 5) != "<?xml") return std::nullopt;
  const std::size_t end = text.find("?>", start);
  if (end == std::string_view::npos) return std::nullopt;
  const std::size_t name = text.substr(0, end).find("encoding", start);
  if (name == std::string_view::npos) return std::nullopt;
  const std::size_t quote = text.find_first_of("\"'", name);
  if (quote == std::string_view::npos || quote >= end) return std::nullopt;
  const std::size_t close = text.find(text[quote], quote + 1);
  if (close == std::string_view::npos || close >= end) return std::nullopt;
  return XpsTicketPlace{quote + 1, close - quote - 1};
}

bool caseless_equal(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x | 0x20) == (y | 0x20);
         });
}

// The edits the forced settings ask for; `done` marks settings the ticket
// asks for afterwards.
std::vector<TicketEdit> plan_ticket_edits(std::string_view ticket, const XpsTicketPlaces& places,
                                          const watermark_params* request, msf_state* done) {
  std::vector<TicketEdit> edits;
  const std::string_view color = text_at(ticket, places.color);
  const std::string_view plex = text_at(ticket, places.duplex);
  const std::string_view copies = text_at(ticket, places.copies);
  if (request->force_grayscale != 0 && !color.empty()) {
    if (color == "psk:Color") {
      LOG_DEBUG(" replacing '%s' => '%s'(color)", "psk:Color", "psk:Grayscale");
      edits.push_back({places.color.offset, places.color.length, "psk:Grayscale"});
    }
    done->grayscale = 1;
  }
  if (request->force_duplex != 0 && !plex.empty()) {
    if (plex == "psk:OneSided") {
      LOG_DEBUG(" replacing '%s' => '%s' (plex)", "psk:OneSided", "psk:TwoSidedLongEdge");
      edits.push_back({places.duplex.offset, places.duplex.length, "psk:TwoSidedLongEdge"});
      done->duplex = 1;
    } else if (plex.substr(0, 12) == "psk:TwoSided") {
      done->duplex = 1;
    }
  }
  if (request->copies > 0 && !copies.empty()) {
    const std::string wanted = std::to_string(request->copies);
    if (copies != wanted) {
      LOG_DEBUG(" replacing '%.*s' => '%s' (copies)", static_cast<int>(copies.size()),
                copies.data(), wanted.c_str());
      edits.push_back({places.copies.offset, places.copies.length, wanted});
    }
    done->copies = 1;
  }
  return edits;
}

// The ticket with the edits applied, in offset order; the declaration, if
// it names another encoding, says UTF-8, which is what is written.
std::string apply_ticket_edits(std::string_view ticket, std::vector<TicketEdit> edits) {
  const std::optional<XpsTicketPlace> encoding = declared_encoding(ticket);
  if (encoding && !caseless_equal(text_at(ticket, *encoding), "UTF-8")) {
    edits.push_back({encoding->offset, encoding->length, "UTF-8"});
  }
  std::sort(edits.begin(), edits.end(), replacement_sort_func);
  std::string out;
  std::uint64_t at = 0;
  for (const TicketEdit& e : edits) {
    out.append(ticket.substr(at, e.offset - at));
    out += e.text;
    at = e.offset + e.length;
  }
  out.append(ticket.substr(at));
  return out;
}

}  // namespace

std::optional<std::string> modify_print_ticket(XpsZip* zip, const XpsFileList& list,
                                               std::string_view ticket_part, int scope,
                                               const watermark_params* request, int* error,
                                               msf_state* done) {
  *error = 0;
  const std::string name(ticket_part);
  LOG_DEBUG(" modify_print_ticket: scope=%d,path='%s'", scope, name.c_str());
  std::string ticket;
  if (!get_xps_value(zip, list, ticket_part, true, &ticket)) {
    LOG_ERROR(" modify_print_ticket: get_xps_value(%s) failed", name.c_str());
    *error = 1;
    return std::nullopt;
  }
  if (ticket.empty()) {
    LOG_DEBUG(" modify_print_ticket: Empty print ticket '%s'", name.c_str());
    return std::nullopt;
  }
  const std::size_t end = ticket.find("</psf:PrintTicket>");
  if (end == std::string::npos) return std::nullopt;
  LOG_DEBUG(" modify_print_ticket: '%s' contains </psf:PrintTicket> so is an actual print ticket",
            name.c_str());
  XpsTicketPlaces places;
  if (parse_print_ticket(ticket, scope, nullptr, nullptr, &places) != 1) {
    LOG_ERROR(" modify_print_ticket: '%s' could not be parsed", name.c_str());
    *error = 1;
    return std::nullopt;
  }
  LOG_DEV("XPS watermark disabled. Offset: %zu", end);
  msf_state ignored{};
  const std::vector<TicketEdit> edits =
      plan_ticket_edits(ticket, places, request, done != nullptr ? done : &ignored);
  if (edits.empty()) return std::nullopt;
  return apply_ticket_edits(ticket, edits);
}

namespace {

// Rewrites one ticket unless it is the one rewritten just before; a new
// text joins the replaced parts (the first text of a part wins).
bool rewrite_ticket(XpsZip* zip, const XpsFileList& list, const std::string& ticket, int scope,
                    const watermark_params* request, std::string* last, XpsReplacedParts* replaced,
                    msf_state* done) {
  if (ticket == *last) return true;
  *last = ticket;
  int error = 0;
  std::optional<std::string> text =
      modify_print_ticket(zip, list, ticket, scope, request, &error, done);
  if (error != 0) {
    LOG_ERROR("xps_modify: modify_print_ticket for print ticket '%s' failed", ticket.c_str());
    return false;
  }
  if (text) {
    LOG_DEBUG("xps_modify: adding modified ticket '%s' (scope %d)", ticket.c_str(), scope);
    replaced->emplace(ticket, std::move(*text));
  }
  return true;
}

// Rewrites the tickets of the parts (documents or pages) that have one.
bool rewrite_part_tickets(XpsZip* zip, const XpsFileList& list,
                          const std::vector<std::string>& parts, int scope,
                          const watermark_params* request, std::string* last,
                          XpsReplacedParts* replaced, msf_state* done) {
  for (const std::string& part : parts) {
    std::string ticket;
    if (!get_print_ticket_path(zip, list, part, &ticket)) {
      LOG_DEBUG("xps_modify: '%s' has no print ticket", part.c_str());
      continue;
    }
    if (!rewrite_ticket(zip, list, ticket, scope, request, last, replaced, done)) return false;
  }
  return true;
}

}  // namespace

int xps_modify(const watermark_params* request, const void* /*unused*/, const std::uint8_t* data,
               std::uint64_t length, std::FILE* out, msf_state* done) {
  msf_state found{};
  if (done != nullptr) *done = found;
  if (request == nullptr || data == nullptr || out == nullptr) {
    LOG_ERROR("xps_modify: missing argument");
    return 0;
  }
  const XpsZipPtr zip(unzip_open(data, length));
  if (zip == nullptr) {
    LOG_ERROR("xps_modify: unzip_open failed. Is this a zip file?");
    return 0;
  }
  const std::optional<XpsFileList> list = unzip_get_filenames(zip.get());
  if (!list) {
    LOG_ERROR("xps_modify: unzip_get_filenames failed");
    return 0;
  }
  std::string sequence;
  if (!get_fixed_doc_seq_path(zip.get(), *list, &sequence) || sequence.empty()) {
    LOG_ERROR("xps_modify: Could not find Fixed Doc Sequence fixed_doc_seq_path='%s'",
              sequence.c_str());
    return 0;
  }
  std::vector<std::string> documents;
  std::vector<std::string> pages;
  if (get_num_pages(zip.get(), *list, sequence, &documents, &pages, 1) < 0) return 0;
  XpsReplacedParts replaced;
  std::string last;
  std::string job_ticket;
  if (get_print_ticket_path(zip.get(), *list, sequence, &job_ticket)) {
    LOG_DEBUG("xps_modify: job_ticket='%s'", job_ticket.c_str());
    if (!rewrite_ticket(zip.get(), *list, job_ticket, XPS_SCOPE_JOB, request, &last, &replaced,
                        &found)) {
      return 0;
    }
  } else {
    // Without a job ticket the job's copies and duplex settings are the
    // printer's; documents and pages may still carry tickets.
    LOG_DEBUG("xps_modify: '%s' has no job ticket", sequence.c_str());
  }
  if (!rewrite_part_tickets(zip.get(), *list, documents, XPS_SCOPE_DOCUMENT, request, &last,
                            &replaced, &found) ||
      !rewrite_part_tickets(zip.get(), *list, pages, XPS_SCOPE_PAGE, request, &last, &replaced,
                            &found)) {
    return 0;
  }
  if (done != nullptr) *done = found;
  if (replaced.empty()) {
    LOG_DEBUG("xps_modify: no print ticket needed a change");
    return 0;
  }
  if (!save_to_zip(zip.get(), *list, replaced, out)) {
    LOG_ERROR("xps_modify: save_to_zip failed");
    if (done != nullptr) *done = msf_state{};
    return 0;
  }
  return 1;
}
