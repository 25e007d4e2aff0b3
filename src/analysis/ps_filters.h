// PostScript decode filters: ASCII85, LZW (with early change), Flate and
// PostScript run-length decoding, as one-shot calls into a buffer of fixed
// capacity and as pull stages that decode a long stream piece by piece in a
// few kilobytes of memory (image samples and page content are tested as they
// come out of the stages, never inflated whole).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// Capacity of a decoded compressed prolog.
inline constexpr std::int64_t PS_PROLOG_DECODE_CAPACITY = 131072;

// ---- One-shot decoders ----

// ASCII85Decode from the start of `in` into `out`: white space (BS, HT, LF,
// CR, blank) is skipped, "z" gives four zero bytes, "~" ends the data, a
// short last group before the end mark gives one to three bytes. Stops at
// the end of the input or when fewer than five bytes of room remain after a
// group. Returns the bytes written (0 for empty input or a capacity of 4 or
// less).
[[nodiscard]] std::int64_t ps_85filter(const std::uint8_t* in, std::uint64_t in_length,
                                       std::uint8_t* out, std::uint64_t capacity);

// LZWDecode with early change into `out`, stopping when it is full. Returns
// the bytes written (also when the input ends inside a code) or -1 on a bad
// code. `end_seen` (may be null) is set when the end-of-data code was read.
[[nodiscard]] std::int64_t ps_filter_lzw(const std::uint8_t* in, std::uint64_t in_length,
                                         std::uint8_t* out, std::uint64_t capacity,
                                         int* end_seen);

// Inflates zlib-wrapped data into `out`, stopping when it is full or at the
// end of the stream. Returns the bytes written, or -1 when zlib cannot be
// set up or the data is not a valid deflate stream (a data error is a
// failure, never a success with what came out before it).
[[nodiscard]] std::int64_t ps_filter_inflate(const std::uint8_t* in, std::uint64_t in_length,
                                             std::uint8_t* out, std::uint64_t capacity);

struct PsDecoded {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::int64_t size = 0;
  bool end_seen = false;  // the LZW end-of-data code was read
};

// ASCII85 then LZW (a compressed prolog or content stream) into a new buffer
// of PS_PROLOG_DECODE_CAPACITY bytes; both flags must be set. Empty `bytes`
// when nothing decoded ("ps_filter_lzw failed") or memory ran out.
[[nodiscard]] PsDecoded decode_ascii85_lzw(const std::uint8_t* in, std::uint64_t in_length,
                                           int ascii85, int lzw);
// The same, logging "analyze_stream: Could not decode bytes" when nothing
// came back and "analyze_stream: decoding incomplete" when the end-of-data
// code was missing (the bytes are still returned).
[[nodiscard]] PsDecoded decode_compressed_ps(const std::uint8_t* in, std::uint64_t in_length,
                                             int ascii85, int lzw);

// The offset of the ASCII85 end mark "~>" at or after `from` of
// [data, data + length), or -1. Found by its "~", which ASCII85 text
// holds nowhere else.
[[nodiscard]] std::int64_t ps_find_ascii85_end(const std::uint8_t* data, std::uint64_t length,
                                               std::uint64_t from);

// ---- Pull stages ----

// A stage hands out decoded bytes in pieces. read() fills up to `capacity`
// bytes and returns how many; 0 means the stream has ended or failed (see
// failed()). Stages own their input stage.
class PsByteSource {
 public:
  virtual ~PsByteSource() = default;
  [[nodiscard]] virtual std::uint64_t read(std::uint8_t* out, std::uint64_t capacity) = 0;
  // The stream could not be decoded (a bad code or a data error).
  [[nodiscard]] bool failed() const { return failed_; }

 protected:
  bool failed_ = false;
};

using PsSourcePtr = std::unique_ptr<PsByteSource>;

// The bytes of a buffer as they are.
[[nodiscard]] PsSourcePtr ps_source_bytes(const std::uint8_t* data, std::uint64_t length);
// A piece of a buffer.
struct PsPiece {
  const std::uint8_t* data;
  std::uint64_t length;
};
// ASCII85Decode over another stage (or the raw bytes); ends at "~>".
[[nodiscard]] PsSourcePtr ps_source_ascii85(PsSourcePtr in);
// Several ASCII85 strings (each from behind "<~" to its "~>"), each
// decoded on its own, one after another.
[[nodiscard]] PsSourcePtr ps_source_ascii85_strings(std::vector<PsPiece> strings);
// ASCIIHexDecode; ends at ">" (an odd last digit counts as followed by 0).
[[nodiscard]] PsSourcePtr ps_source_asciihex(PsSourcePtr in);
// LZWDecode with early change; ends at the end-of-data code.
[[nodiscard]] PsSourcePtr ps_source_lzw(PsSourcePtr in);
// FlateDecode (zlib wrapper); ends at the end of the deflate stream.
[[nodiscard]] PsSourcePtr ps_source_inflate(PsSourcePtr in);
// RunLengthDecode; ends at the end-of-data byte 128. With `chained` set, a
// further run-length stream may follow: after each end of data one byte is
// passed over and decoding starts again.
[[nodiscard]] PsSourcePtr ps_source_run_length(PsSourcePtr in, bool chained);
// Passes on at most `limit` bytes of another stage.
[[nodiscard]] PsSourcePtr ps_source_limit(PsSourcePtr in, std::uint64_t limit);
