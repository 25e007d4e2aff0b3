// Unwrapping a CPCA job for the language planners, and the two callbacks
// that put packet headers back: the inserter and the length adjuster.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "foundation/log.h"
#include "foundation/mapped_mem.h"
#include "modify/planner_canon_cpca.h"
#include "modify/replacement_list.h"
#include "scan/cpca.h"

namespace {

constexpr std::uint8_t DEFAULT_PRINT_DATA_HEADER[CPCA_PRINT_DATA_HEADER_SIZE] = {
    0xCD, 0xCA, 0x10, 0x02, 0x00, 0x1A, 0x00, 0x01, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x96, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF};

bool is_preamble(std::uint16_t op) {
  return op == CPCA_OP_BEGIN || op == CPCA_OP_PREAMBLE_2 || op == CPCA_OP_PREAMBLE_3;
}
bool is_postamble(std::uint16_t op) {
  return op == CPCA_OP_END || op == CPCA_OP_POSTAMBLE_2 || op == CPCA_OP_POSTAMBLE_3;
}

// One print-data packet: where its data lies in the file and in the inner
// data, and the header bytes that go back in front of it.
struct DataPacket {
  std::uint64_t src_begin;    // first data byte in the file
  std::uint64_t src_end;      // one past its last parameter byte
  std::uint64_t inner_begin;  // first data byte in the inner data
  std::uint64_t param_len;
  std::size_t header_size;  // 20, or 21 when the 21st header byte is skipped
  const std::uint8_t* header;
};

// A packet that is not print data, found between print-data packets: kept
// where it was, before the data that followed it.
struct KeptPacket {
  std::uint64_t src_end;
  std::uint64_t inner_at;
  std::vector<std::uint8_t> bytes;  // copied: the mapping moves to the inner data
};

struct Layout {
  std::uint64_t data_start = 0;  // offset of the first print-data packet
  std::uint64_t post_start = 0;  // end of the last print-data packet
  std::vector<DataPacket> data;
  std::vector<KeptPacket> kept;
  std::uint64_t inner_size = 0;
};

// The order rules of a stream: pre-amble, print data, post-amble.
bool check_order(const CpcaPacket* packets, int count, int* data_index) {
  int data = -1;
  int post = -1;
  for (int k = 0; k < count; ++k) {
    const std::uint16_t op = packets[k].opcode;
    if (is_preamble(op) && (data >= 0 || post >= 0)) {
      LOG_ERROR("CPCA: Preamble after data or postamable");
      return false;
    }
    if (op == CPCA_OP_PRINT_DATA) {
      if (post >= 0) {
        LOG_ERROR("CPCA: DAta after postamable");
        return false;
      }
      if (data < 0) data = k;
    }
    if (is_postamble(op) && post < 0) post = k;
  }
  if (data < 0 || post < 0) {
    LOG_ERROR("CPCA: Could not find data_index or postamble_index");
    return false;
  }
  *data_index = data;
  return true;
}

bool build_layout(const mapped_mem* mm, const CpcaPacket* packets, int count, Layout* out) {
  int first = -1;
  if (!check_order(packets, count, &first)) return false;
  const CpcaPacket& last = packets[count - 1];
  if (cpca_get_packet_length(last.header) != last.param_len) {
    LOG_ERROR("CPCA: packet %d at %" PRIu64 " declares %" PRIu64 " bytes, %" PRIu64 " are there",
              count - 1, last.offset, cpca_get_packet_length(last.header), last.param_len);
    return false;
  }
  const std::uint64_t skip = cpca_print_data_header_skip(mm->data, packets, count);
  out->data_start = packets[first].offset;
  std::uint64_t inner = 0;
  std::vector<KeptPacket> pending;
  for (int k = first; k < count; ++k) {
    const CpcaPacket& p = packets[k];
    const std::uint64_t end = p.offset + CPCA_HEADER_SIZE + p.param_len;
    if (!cpca_is_print_data(p)) {
      pending.push_back(
          {end, inner, std::vector<std::uint8_t>(mm->data + p.offset, mm->data + end)});
      continue;
    }
    // Packets between print data stay; those after the last go with the
    // post-amble.
    for (KeptPacket& k : pending) out->kept.push_back(std::move(k));
    pending.clear();
    const std::uint64_t skipped = std::min(skip, p.param_len);
    const std::uint64_t begin = p.offset + CPCA_HEADER_SIZE + skipped;
    out->data.push_back({begin, end, inner, p.param_len, CPCA_HEADER_SIZE + skipped, p.header});
    inner += end - begin;
    out->post_start = end;
  }
  out->inner_size = inner;
  return true;
}

// Where an edit of the file goes: the pre-amble, the post-amble, or the
// inner data at *inner; none when it touches a packet header or a packet
// that is not print data.
enum class Place { PRE, POST, INNER, NONE };

Place place_of(const Layout& layout, const replacement_request& r, std::uint64_t* inner) {
  const std::uint64_t end = r.offset + r.len;
  if (end <= layout.data_start && (r.len > 0 || r.offset <= layout.data_start)) return Place::PRE;
  if (r.offset >= layout.post_start) return Place::POST;
  auto it = std::upper_bound(layout.data.begin(), layout.data.end(), r.offset,
                             [](std::uint64_t o, const DataPacket& d) { return o < d.src_begin; });
  if (it == layout.data.begin()) return Place::NONE;
  --it;
  if (r.offset > it->src_end || end > it->src_end) return Place::NONE;
  *inner = it->inner_begin + (r.offset - it->src_begin);
  return Place::INNER;
}

// The bytes [from, to) of the file with the edits of `edits` (offsets
// relative to `from`) applied.
BstringPtr flatten_range(const std::uint8_t* data, std::uint64_t from, std::uint64_t to,
                         const std::vector<const replacement_request*>& edits) {
  const ReplacementListPtr sub(replacement_list_create(to - from, -1, nullptr));
  if (sub == nullptr) return BstringPtr(nullptr);
  for (const replacement_request* r : edits) {
    if (!replacement_list_append_ex(sub.get(), static_cast<std::int64_t>(r->offset - from), r->len,
                                    r->insertion.get(), r->priority)) {
      return BstringPtr(nullptr);
    }
  }
  replacement_list_sort(sub.get());
  if (!replacement_list_is_valid(data + from, to - from, sub.get())) return BstringPtr(nullptr);
  return BstringPtr(replacement_list_flatten(data + from, to - from, sub.get()));
}

// Appends `n` bytes as insertions at `offset` in pieces the list accepts.
bool insert_in_pieces(ReplacementList* list, std::uint64_t offset, const std::uint8_t* bytes,
                      std::uint64_t n, std::int32_t priority) {
  for (std::uint64_t at = 0; at < n; at += REPLACEMENT_INSERTION_MAX) {
    const std::uint64_t piece = std::min<std::uint64_t>(n - at, REPLACEMENT_INSERTION_MAX);
    if (!replacement_list_append_ex2(list, static_cast<std::int64_t>(offset), 0, bytes + at,
                                     static_cast<std::size_t>(piece), priority)) {
      return false;
    }
  }
  return true;
}

struct Moved {
  const replacement_request* request;
  std::uint64_t inner;
};

struct Partition {
  std::vector<const replacement_request*> pre;
  std::vector<const replacement_request*> post;
  std::vector<Moved> inner;
};

bool partition_edits(const Layout& layout, const ReplacementList* sorted, Partition* out) {
  for (const replacement_request& r : sorted->replacements) {
    std::uint64_t inner = 0;
    switch (place_of(layout, r, &inner)) {
      case Place::PRE:
        out->pre.push_back(&r);
        break;
      case Place::POST:
        out->post.push_back(&r);
        break;
      case Place::INNER:
        out->inner.push_back({&r, inner});
        break;
      case Place::NONE:
        LOG_ERROR("CPCA: edit at %" PRIu64 " (%" PRIu64
                  " bytes) touches a packet header or settings packet inside the print data",
                  r.offset, r.len);
        return false;
    }
  }
  return true;
}

// Writes the inner data and re-points the mapping at it.
bool write_inner_data(mapped_mem* mm, const CpcaPacket* packets, int count,
                      std::uint64_t expected) {
  char path[4096] = "";
  if (!write_print_data_to_temp_file(mm->data, mm->size, packets, count, path, sizeof path)) {
    LOG_ERROR("write_print_data_to_temp_file() failed");
    return false;
  }
  if (!update_mapped_mem(mm, path, 1)) {
    LOG_ERROR("update_mapped_mem() failed");
    std::remove(path);
    return false;
  }
  if (mm->size != expected) {
    // The mapping deletes the file when released.
    LOG_ERROR("CPCA: print data of %" PRIu64 " bytes written, %" PRIu64 " expected", mm->size,
              expected);
    return false;
  }
  return true;
}

bool rewrap(ReplacementList* list, const mapped_mem* mm, const Layout& layout,
            const Partition& edits, const_bstring preamble, const_bstring postamble) {
  replacement_list_reset(list);
  replacement_list_set_buffer_len(list, mm->size);
  // The offsets are the inner data's now: whatever writes the rewrite out
  // from a file (compression, a forced application) must read that file,
  // not the wrapped job the caller holds.
  if (!replacement_list_set_buffer_file(list, mm->backing_file)) return false;
  if (!insert_in_pieces(list, 0, preamble->data, static_cast<std::uint64_t>(preamble->slen),
                        CPCA_PRIORITY_PREAMBLE)) {
    LOG_ERROR("Could not add preamble replacement");
    return false;
  }
  std::size_t next_kept = 0;
  for (const DataPacket& d : layout.data) {
    for (; next_kept < layout.kept.size() && layout.kept[next_kept].src_end <= d.src_begin;
         ++next_kept) {
      const KeptPacket& k = layout.kept[next_kept];
      if (!insert_in_pieces(list, k.inner_at, k.bytes.data(), k.bytes.size(),
                            REPLACEMENT_PRIORITY_PACKET_WRAPPER)) {
        LOG_ERROR("CPCA: could not keep the settings packet before inner offset %" PRIu64,
                  k.inner_at);
        return false;
      }
    }
    if (!cpca_packet_inserter(list, static_cast<std::int64_t>(d.inner_begin),
                              static_cast<std::int64_t>(d.param_len), d.header, d.header_size)) {
      LOG_ERROR("Could not add CPCA print packet headers to replacement_list");
      return false;
    }
  }
  for (const Moved& m : edits.inner) {
    if (!replacement_list_append_ex(list, static_cast<std::int64_t>(m.inner), m.request->len,
                                    m.request->insertion.get(), m.request->priority)) {
      LOG_ERROR("CPCA: could not move the edit at %" PRIu64 " into the print data",
                m.request->offset);
      return false;
    }
  }
  if (!insert_in_pieces(list, mm->size, postamble->data,
                        static_cast<std::uint64_t>(postamble->slen), CPCA_PRIORITY_POSTAMBLE)) {
    LOG_ERROR("Could not add postamble replacement");
    return false;
  }
  return true;
}

}  // namespace

int disassemble_cpca_file(mapped_mem* mm, const CpcaPacket* packets, int count,
                          ReplacementList* list) {
  if (mm == nullptr || packets == nullptr || count < 1 || list == nullptr) {
    LOG_ERROR("disassemble_cpca_file: missing argument");
    return 0;
  }
  // The job may be the first of several inline copies: the list covers that
  // copy only, and the copies are written out again after the rewrite.
  const std::uint64_t length = std::min(replacement_list_get_buffer_len(list), mm->size);
  Layout layout;
  if (!build_layout(mm, packets, count, &layout)) return 0;
  const ReplacementListPtr sorted(replacement_list_clone(list));
  if (sorted == nullptr) return 0;
  replacement_list_sort(sorted.get());
  replacement_list_log(sorted.get(), "Before flattening");
  if (!replacement_list_is_valid(mm->data, length, sorted.get())) return 0;
  Partition edits;
  if (!partition_edits(layout, sorted.get(), &edits)) return 0;
  const BstringPtr preamble = flatten_range(mm->data, 0, layout.data_start, edits.pre);
  const BstringPtr postamble = flatten_range(mm->data, layout.post_start, length, edits.post);
  if (preamble == nullptr || postamble == nullptr) {
    LOG_ERROR("CPCA: could not build the pre-amble or post-amble");
    return 0;
  }
  if (!write_inner_data(mm, packets, count, layout.inner_size)) return 0;
  return rewrap(list, mm, layout, edits, preamble.get(), postamble.get()) ? 1 : 0;
}

int cpca_packet_inserter(ReplacementList* list, std::int64_t offset, std::int64_t packet_len,
                         const std::uint8_t* header, std::size_t header_size) {
  std::uint8_t bytes[CPCA_PRINT_DATA_HEADER_SIZE];
  std::size_t size = sizeof bytes;
  if (header == nullptr) {
    std::memcpy(bytes, DEFAULT_PRINT_DATA_HEADER, sizeof bytes);
  } else {
    // A packet whose data begins right after the 20-byte header gets back
    // a 20-byte header.
    if (header_size != CPCA_HEADER_SIZE && header_size != CPCA_PRINT_DATA_HEADER_SIZE) {
      LOG_ERROR("    cpca_packet_inserter: packet size mismatch");
      return 0;
    }
    std::memcpy(bytes, header, header_size);
    size = header_size;
  }
  if (packet_len < 0 || packet_len > static_cast<std::int64_t>(MAX_CPCA_PACKET)) {
    LOG_ERROR("    cpca_packet_inserter: packet length %" PRId64 " out of range", packet_len);
    return 0;
  }
  cpca_put_packet_length(bytes, static_cast<std::uint64_t>(packet_len));
  if (!TV_ASSERT(bytes[0] == 0xCD && bytes[1] == 0xCA)) return 0;
  if (!replacement_list_append_ex2(list, offset, 0, bytes, size,
                                   REPLACEMENT_PRIORITY_PACKET_WRAPPER)) {
    LOG_ERROR("    cpca_packet_inserter: failed adding insertion");
    return 0;
  }
  return 1;
}

int cpca_packet_adjuster(replacement_request* header_request, std::int64_t end_offset,
                         std::int64_t* length_change, const std::uint8_t* /*data*/,
                         std::uint64_t /*buffer_len*/) {
  const int n = blength(header_request->insertion.get());
  if (n <= 0) {
    LOG_ERROR("cpca_packet_adjuster: no insertion");
    return 0;
  }
  std::uint8_t* bytes = header_request->insertion->data;
  if (n < static_cast<int>(CPCA_HEADER_SIZE) || bytes[0] != 0xCD || bytes[1] != 0xCA) {
    LOG_ERROR("cpca_packet_adjuster: no 0xCDCA header");
    return 0;
  }
  const auto length = static_cast<std::int64_t>(cpca_get_packet_length(bytes));
  if (end_offset >= 0) {
    const std::int64_t current_end = static_cast<std::int64_t>(header_request->offset) + length;
    *length_change = end_offset - current_end + 1;
    LOG_DEV("     cpca_packet_adjuster: packet_length=%" PRId64 ",offset=%" PRIu64
            ",current_end_packet_offset=%" PRId64 " => end_packet_offset=%" PRId64,
            length, header_request->offset, current_end, end_offset);
    if (*length_change > 0) {
      LOG_ERROR("    cpca_packet_adjuster: Invalid params: current_end_packet_offset=%" PRId64
                ",end_packet_offset=%" PRId64 ",delta=%" PRId64,
                current_end, end_offset, *length_change);
      return 0;
    }
  }
  const std::int64_t updated = length + *length_change;
  if (updated < 0 || updated > static_cast<std::int64_t>(MAX_CPCA_PACKET)) {
    LOG_ERROR("    cpca_packet_adjuster: Invalid params: packet_length=%" PRId64 ",delta=%" PRId64,
              length, *length_change);
    return 0;
  }
  LOG_DEBUG("    cpca_packet_adjuster: offset=%" PRIu64 ", delta=%" PRId64 ": %" PRId64
            "=>%" PRId64,
            header_request->offset, *length_change, length, updated);
  cpca_put_packet_length(bytes, static_cast<std::uint64_t>(updated));
  return 1;
}
