// The packet-length fix-up of a re-wrapped CPCA job.
//
// Each print-data packet is a header request (priority -1) at the offset of
// its first data byte, followed by the edits of the language planners
// (priority 0) up to the next header. The packet's data ends where the next
// one begins (or at the end of the data); a deletion that runs on into the
// next packet is cut there, so that each packet is charged exactly its own
// inserted and deleted bytes. A packet whose new data exceeds what one
// packet holds is cut: the output of the packet is walked in order (input
// bytes, then the insertions at each edit), and where a packet is full a new
// header, a copy of the packet's own, is inserted - before the edits at an
// offset (priority -1) or in the input bytes after them (priority 1).
#include "modify/cpca_packet_structure.h"

#include <cinttypes>
#include <cstring>
#include <vector>

#include "foundation/log.h"
#include "modify/cpca_rewrite_check.h"
#include "modify/planner_canon_cpca.h"
#include "modify/replacement_list.h"
#include "scan/cpca.h"

namespace {

constexpr std::int32_t PRIORITY_AFTER_EDITS = 1;

bool is_data_header(const replacement_request& r) {
  if (r.priority != REPLACEMENT_PRIORITY_PACKET_WRAPPER || r.len != 0) return false;
  const int n = blength(r.insertion.get());
  if (n != static_cast<int>(CPCA_HEADER_SIZE) && n != static_cast<int>(CPCA_PRINT_DATA_HEADER_SIZE))
    return false;
  const std::uint8_t* b = r.insertion->data;
  return b[0] == 0xCD && b[1] == 0xCA && cpca_get_packet_opcode(b) == CPCA_OP_PRINT_DATA;
}

bool is_amble(const replacement_request& r) {
  return r.priority == CPCA_PRIORITY_PREAMBLE || r.priority == CPCA_PRIORITY_POSTAMBLE;
}

// One packet: its header request, its data range in the input and its edits.
struct Packet {
  std::size_t header;  // index in the sorted list
  std::uint64_t begin;
  std::uint64_t end;
  std::uint64_t extra;               // header bytes its length counts (the 21st)
  std::vector<std::size_t> members;  // edits inside, in list order
};

// A new packet header to add: at `offset`, with `priority`, for `data` bytes.
struct Cut {
  std::uint64_t offset;
  std::int32_t priority;
  std::uint64_t data;
};

std::uint64_t header_length(const replacement_request& r) {
  return cpca_get_packet_length(r.insertion->data);
}

// Cuts every deletion that runs over a packet boundary into one deletion per
// packet (the insertion stays with the first piece).
bool split_at_boundaries(ReplacementList* list, const std::vector<std::uint64_t>& bounds) {
  std::vector<replacement_request> pieces;
  for (replacement_request& r : list->replacements) {
    if (r.len == 0 || is_amble(r)) continue;
    for (std::uint64_t b : bounds) {
      if (b <= r.offset || b >= r.offset + r.len) continue;
      replacement_request tail{};
      tail.offset = b;
      tail.len = r.offset + r.len - b;
      tail.priority = r.priority;
      tail.order = r.order;
      r.len = b - r.offset;
      pieces.push_back(std::move(tail));
    }
  }
  for (replacement_request& p : pieces) list->replacements.push_back(std::move(p));
  replacement_list_sort(list);
  return true;
}

// The packets of the sorted list; false (logged) for an edit before the
// first packet, a priority that is not ours, or headers that do not tile
// the data.
bool find_packets(const ReplacementList* list, std::uint64_t length, std::vector<Packet>* out) {
  const auto& rs = list->replacements;
  for (std::size_t i = 0; i < rs.size(); ++i) {
    const replacement_request& r = rs[i];
    if (is_data_header(r)) {
      if (!out->empty()) out->back().end = r.offset;
      const std::uint64_t extra =
          static_cast<std::uint64_t>(blength(r.insertion.get())) - CPCA_HEADER_SIZE;
      out->push_back({i, r.offset, length, extra, {}});
      continue;
    }
    if (is_amble(r) || r.priority == REPLACEMENT_PRIORITY_PACKET_WRAPPER) continue;
    if (r.priority != REPLACEMENT_PRIORITY_NORMAL) {
      LOG_ERROR("Cannot handle priority %d", r.priority);
      return false;
    }
    if (out->empty()) {
      LOG_ERROR(
          "replacement_list_adjust_packet_structure: Found a normal replacement without a "
          "packet header");
      return false;
    }
    out->back().members.push_back(i);
  }
  for (const Packet& p : *out) {
    const std::uint64_t declared = header_length(rs[p.header]);
    if (declared < p.extra || declared - p.extra != p.end - p.begin) {
      LOG_ERROR("replacement_list_adjust_packet_structure: packet at %" PRIu64 " declares %" PRIu64
                " bytes for %" PRIu64 " bytes of data",
                p.begin, declared, p.end - p.begin);
      return false;
    }
  }
  return true;
}

// Walks the packet's output and records where it must be cut so that no
// part holds more than `room` data bytes; the sizes of the parts go to
// *sizes (the first part stays with the packet's own header).
bool plan_cuts(const ReplacementList* list, const Packet& p, std::uint64_t room,
               std::vector<Cut>* cuts, std::uint64_t* first_size) {
  const auto& rs = list->replacements;
  std::uint64_t filled = 0;    // data bytes of the current part
  std::uint64_t at = p.begin;  // next input byte not yet accounted
  std::vector<std::uint64_t> sizes;
  auto gap = [&](std::uint64_t to) {
    while (to > at && filled + (to - at) > room) {
      const std::uint64_t take = room - filled;
      sizes.push_back(room);
      cuts->push_back({at + take, PRIORITY_AFTER_EDITS, 0});
      at += take;
      filled = 0;
    }
    if (to > at) {
      filled += to - at;
      at = to;
    }
  };
  std::size_t k = 0;
  while (k < p.members.size()) {
    const std::uint64_t offset = rs[p.members[k]].offset;
    gap(offset);
    std::uint64_t inserted = 0;
    std::uint64_t deleted_to = at;
    for (; k < p.members.size() && rs[p.members[k]].offset == offset; ++k) {
      const replacement_request& r = rs[p.members[k]];
      inserted += static_cast<std::uint64_t>(blength(r.insertion.get()));
      deleted_to = std::max(deleted_to, r.offset + r.len);
    }
    if (inserted > room) {
      LOG_ERROR("replacement_list_adjust_packet_structure: %" PRIu64 " bytes inserted at %" PRIu64
                " do not fit a packet",
                inserted, offset);
      return false;
    }
    if (filled + inserted > room) {
      sizes.push_back(filled);
      cuts->push_back({offset, REPLACEMENT_PRIORITY_PACKET_WRAPPER, 0});
      filled = 0;
    }
    filled += inserted;
    at = std::max(at, deleted_to);
  }
  gap(p.end);
  sizes.push_back(filled);
  *first_size = sizes[0];
  for (std::size_t i = 0; i < cuts->size(); ++i) (*cuts)[i].data = sizes[i + 1];
  return true;
}

// Applies one packet's new length and cuts to the working list.
bool adjust_packet(ReplacementList* work, const Packet& p, std::vector<std::size_t>* dropped,
                   const std::uint8_t* data, std::uint64_t length) {
  replacement_request& header = work->replacements[p.header];
  std::int64_t total = static_cast<std::int64_t>(p.end - p.begin);
  for (std::size_t m : p.members) {
    const replacement_request& r = work->replacements[m];
    total += blength(r.insertion.get()) - static_cast<std::int64_t>(r.len);
  }
  const std::uint64_t room = MAX_CPCA_PACKET - p.extra;
  LOG_DEBUG("  _adjust_wrapper_list: offset=%" PRIu64 ",n_normals=%zu,data=%" PRId64, p.begin,
            p.members.size(), total);
  if (total <= 0 && p.end > p.begin) {
    // Everything the packet held was deleted: no empty packet is left.
    LOG_DEBUG("  Delete header: offset=%" PRIu64, p.begin);
    dropped->push_back(p.header);
    return true;
  }
  if (static_cast<std::uint64_t>(total) <= room) {
    std::int64_t change = total - static_cast<std::int64_t>(p.end - p.begin);
    return work->packet_adjuster(&header, -1, &change, data, length) == 1;
  }
  std::vector<Cut> cuts;
  std::uint64_t first = 0;
  if (!plan_cuts(work, p, room, &cuts, &first)) return false;
  LOG_DEBUG("  n_packet_gaps=%zu", cuts.size() + 1);
  std::int64_t change =
      static_cast<std::int64_t>(first) - static_cast<std::int64_t>(p.end - p.begin);
  if (work->packet_adjuster(&header, -1, &change, data, length) != 1) return false;
  // The new headers copy the packet's own (now holding its first length).
  const int size = blength(header.insertion.get());
  std::vector<std::uint8_t> bytes(header.insertion->data, header.insertion->data + size);
  for (const Cut& c : cuts) {
    cpca_put_packet_length(bytes.data(), c.data + p.extra);
    LOG_DEBUG("  Insert PDL packet: (len=%" PRIu64 ",offset=%" PRIu64 ",priority=%d)",
              c.data + p.extra, c.offset, c.priority);
    if (!replacement_list_append_ex2(work, static_cast<std::int64_t>(c.offset), 0, bytes.data(),
                                     bytes.size(), c.priority)) {
      return false;
    }
  }
  return true;
}

bool has_data_header(const ReplacementList* list) {
  for (const replacement_request& r : list->replacements) {
    if (is_data_header(r)) return true;
  }
  return false;
}

}  // namespace

int replacement_list_adjust_packet_structure(const std::uint8_t* data, std::uint64_t length,
                                             ReplacementList* list) {
  if (list == nullptr) {
    LOG_ERROR("replacement_list_adjust_packet_structure: replacement_list == NULL");
    return 0;
  }
  if (!has_data_header(list)) return 1;
  LOG_DEBUG("Adjusting packet lengths");
  if (list->packet_adjuster == nullptr || list->packet_inserter == nullptr) {
    LOG_ERROR("replacement_list_adjust_packet_structure: No packet_adjuster");
    return 0;
  }
  if (length != list->buffer_len) {
    LOG_ERROR("replacement_list_adjust_packet_structure: data of %" PRIu64
              " bytes for a list over %" PRIu64,
              length, list->buffer_len);
    return 0;
  }
  replacement_list_log(list, "replacement_list_adjust_packet_structure");
  const ReplacementListPtr work(replacement_list_clone(list));
  if (work == nullptr) return 0;
  replacement_list_sort(work.get());
  if (!replacement_list_is_valid(data, length, work.get())) return 0;
  std::vector<std::uint64_t> bounds;
  for (const replacement_request& r : work->replacements) {
    if (is_data_header(r)) bounds.push_back(r.offset);
  }
  if (!split_at_boundaries(work.get(), bounds)) return 0;
  std::vector<Packet> packets;
  if (!find_packets(work.get(), length, &packets)) return 0;
  std::vector<std::size_t> dropped;
  for (const Packet& p : packets) {
    if (!adjust_packet(work.get(), p, &dropped, data, length)) {
      LOG_ERROR("replacement_list_adjust_packet_structure: packet at %" PRIu64
                " could not be adjusted",
                p.begin);
      return 0;
    }
  }
  // Dropped headers go last so that the indices above stay right.
  for (auto it = dropped.rbegin(); it != dropped.rend(); ++it) {
    work->replacements.erase(work->replacements.begin() + static_cast<std::ptrdiff_t>(*it));
  }
  replacement_list_sort(work.get());
  if (!check_cpca_integrity(data, length, work.get(), -1)) {
    LOG_ERROR(
        "replacement_list_adjust_packet_structure: last_header: INVALID CPCA "
        "RECONSTRUCTION");
    return 0;
  }
  return replacement_list_assign(list, work.get());
}
