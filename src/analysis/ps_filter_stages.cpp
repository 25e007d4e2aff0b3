// The pull stages of the decode filters and the one-shot Flate call. Each
// stage keeps a small input buffer filled from the stage before it, so a
// chain decodes a stream of any length in a few tens of kilobytes.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "analysis/ps_filters.h"
#include "analysis/ps_filters_internal.h"
#include "foundation/ascii.h"
#include "foundation/log.h"

namespace {

constexpr std::uint64_t STAGE_BUFFER = 16384;
// A stage's first fill is this small and each one after it twice as large,
// up to the whole buffer: a reader that stops early (an image whose first
// pixels are colour) has the stages before it decode little more than it
// read, and one that reads on pays for few fills.
constexpr std::uint64_t FIRST_FILL = 512;
constexpr std::uint8_t RLE_END = 128;

class BytesSource final : public PsByteSource {
 public:
  BytesSource(const std::uint8_t* data, std::uint64_t length) : data_(data), length_(length) {}
  std::uint64_t read(std::uint8_t* out, std::uint64_t capacity) override {
    const std::uint64_t n = std::min(capacity, length_ - pos_);
    if (n > 0) std::memcpy(out, data_ + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  const std::uint8_t* data_;
  std::uint64_t length_;
  std::uint64_t pos_ = 0;
};

// Several ASCII85 strings, each decoded on its own (a short last group of
// one is not continued by the next), one after another.
class Ascii85StringsSource final : public PsByteSource {
 public:
  explicit Ascii85StringsSource(std::vector<PsPiece> strings) : strings_(std::move(strings)) {}
  std::uint64_t read(std::uint8_t* out, std::uint64_t capacity) override {
    while (!failed_) {
      if (current_ == nullptr) {
        if (index_ >= strings_.size()) return 0;
        const PsPiece& s = strings_[index_++];
        current_ = ps_source_ascii85(ps_source_bytes(s.data, s.length));
        if (current_ == nullptr) {
          failed_ = true;
          return 0;
        }
      }
      const std::uint64_t n = current_->read(out, capacity);
      if (n > 0) return n;
      if (current_->failed()) failed_ = true;
      current_.reset();
    }
    return 0;
  }

 private:
  std::vector<PsPiece> strings_;
  std::size_t index_ = 0;
  PsSourcePtr current_;
};

// A stage that reads its input through a buffer.
class BufferedStage : public PsByteSource {
 protected:
  explicit BufferedStage(PsSourcePtr in) : in_(std::move(in)) {}
  // Refills the buffer when it is used up; false at the end of the input.
  bool fill() {
    if (pos_ < size_) return true;
    if (in_done_) return false;
    size_ = in_->read(buffer_, fill_size_);
    fill_size_ = std::min(fill_size_ * 2, STAGE_BUFFER);
    pos_ = 0;
    if (size_ == 0) {
      in_done_ = true;
      if (in_->failed()) failed_ = true;
    }
    return size_ > 0;
  }
  PsSourcePtr in_;
  std::uint8_t buffer_[STAGE_BUFFER];
  std::uint64_t pos_ = 0;
  std::uint64_t size_ = 0;
  std::uint64_t fill_size_ = FIRST_FILL;
  bool in_done_ = false;
  bool done_ = false;
};

class Ascii85Source final : public BufferedStage {
 public:
  explicit Ascii85Source(PsSourcePtr in) : BufferedStage(std::move(in)) {}
  std::uint64_t read(std::uint8_t* out, std::uint64_t capacity) override {
    std::uint64_t written = 0;
    while (written < capacity) {
      if (pending_pos_ < pending_.size()) {
        out[written++] = pending_.bytes[pending_pos_++];
        continue;
      }
      if (done_) break;
      written += plain_groups(out + written, capacity - written);
      if (written == capacity) break;
      // Most groups lie whole in the buffer: decode them straight out of it.
      if (capacity - written >= 4 && size_ - pos_ >= FAST_GROUP_ROOM && fast_group(out + written, &written)) {
        continue;
      }
      if (!next_group()) break;
    }
    return written;
  }

 private:
  static constexpr std::uint64_t FAST_GROUP_ROOM = 64;
  // Runs of plain five-digit groups (no white space, "z" or end mark), the
  // bulk of ASCII85 text, in one tight loop.
  std::uint64_t plain_groups(std::uint8_t* out, std::uint64_t room) {
    std::uint64_t written = 0;
    while (room - written >= 4 && size_ - pos_ >= 5) {
      const std::uint8_t* g = buffer_ + pos_;
      std::uint32_t value = 0;
      bool plain = true;
      for (int i = 0; i < 5; ++i) {
        const std::uint32_t digit = static_cast<std::uint32_t>(g[i]) - '!';
        plain = plain && digit < 85;
        value = value * 85u + digit;
      }
      if (!plain) break;
      out[written] = static_cast<std::uint8_t>(value >> 24);
      out[written + 1] = static_cast<std::uint8_t>(value >> 16);
      out[written + 2] = static_cast<std::uint8_t>(value >> 8);
      out[written + 3] = static_cast<std::uint8_t>(value);
      written += 4;
      pos_ += 5;
    }
    return written;
  }
  bool fast_group(std::uint8_t* out, std::uint64_t* written) {
    const std::uint64_t before = pos_;
    const A85Group group = a85_next_group(buffer_, size_, &pos_);
    if (group.step == A85Step::INPUT_END) {
      pos_ = before;  // white space ran to the buffer's end: the slow road
      return false;
    }
    if (group.step == A85Step::END) {
      done_ = true;
      return true;
    }
    std::memcpy(out, group.bytes, static_cast<std::size_t>(group.count));
    *written += static_cast<std::uint64_t>(group.count);
    if (group.step == A85Step::LAST_BYTES) done_ = true;
    return true;
  }
  // A group may straddle two buffer fills: gather its digits (white space
  // dropped) before decoding it.
  bool next_group() {
    std::uint8_t text[5];
    std::uint64_t n = 0;
    while (n < sizeof text && fill()) {
      const std::uint8_t c = buffer_[pos_++];
      if (c == '\b' || c == '\t' || c == '\n' || c == '\r' || c == ' ') continue;
      text[n++] = c;
      if (c == '~' || (n == 1 && c == 'z')) break;
    }
    std::uint64_t pos = 0;
    const A85Group group = a85_next_group(text, n, &pos);
    if (group.step == A85Step::END || group.step == A85Step::INPUT_END) {
      done_ = true;
      return false;
    }
    std::memcpy(pending_.bytes, group.bytes, 4);
    pending_.count = group.count;
    pending_pos_ = 0;
    if (group.step == A85Step::LAST_BYTES) done_ = true;
    return true;
  }
  // The bytes of a group that did not fit into the caller's buffer.
  struct Pending {
    std::uint8_t bytes[4];
    int count = 0;
    [[nodiscard]] std::uint64_t size() const { return static_cast<std::uint64_t>(count); }
  };
  Pending pending_;
  std::uint64_t pending_pos_ = 0;
};

class AsciiHexSource final : public BufferedStage {
 public:
  explicit AsciiHexSource(PsSourcePtr in) : BufferedStage(std::move(in)) {}
  std::uint64_t read(std::uint8_t* out, std::uint64_t capacity) override {
    std::uint64_t written = 0;
    while (written < capacity && !done_) {
      if (!fill()) {
        done_ = true;
        break;
      }
      const std::uint8_t c = buffer_[pos_++];
      if (c == '>') done_ = true;
      const int value = ascii_hex_value(c);
      if (value < 0) continue;
      if (high_ < 0) {
        high_ = value;
      } else {
        out[written++] = static_cast<std::uint8_t>(high_ << 4 | value);
        high_ = -1;
      }
    }
    if (done_ && high_ >= 0 && written < capacity) {
      out[written++] = static_cast<std::uint8_t>(high_ << 4);
      high_ = -1;
    }
    return written;
  }

 private:
  int high_ = -1;
};

class LzwSource final : public BufferedStage {
 public:
  explicit LzwSource(PsSourcePtr in) : BufferedStage(std::move(in)) { lzw_reset(&state_); }
  std::uint64_t read(std::uint8_t* out, std::uint64_t capacity) override {
    std::uint8_t* o = out;
    std::uint8_t* const end = out + capacity;
    while (!done_ && o < end) {
      if (!fill() && state_.stack_size == 0) break;
      const std::uint8_t* p = buffer_ + pos_;
      const LzwStatus status = lzw_run(&state_, &p, buffer_ + size_, &o, end);
      pos_ = static_cast<std::uint64_t>(p - buffer_);
      if (status == LzwStatus::END) done_ = true;
      if (status == LzwStatus::BAD_CODE) done_ = failed_ = true;
      if (status == LzwStatus::NEED_INPUT && in_done_) break;
    }
    return static_cast<std::uint64_t>(o - out);
  }

 private:
  LzwState state_{};
};

// The Adler-32 check value of zlib data after `n` more bytes. zlib's own
// computes it a byte at a time; here each block's sums are kept in lanes
// of independent bytes, which the compiler turns into vector additions.
std::uint32_t adler32_update(std::uint32_t adler, const std::uint8_t* p, std::uint64_t n) {
  constexpr std::uint64_t BASE = 65521;
  constexpr std::uint64_t LANES = 32;
  // The lanes' 32-bit sums cannot overflow within a block this long.
  constexpr std::uint64_t BLOCK = 4096;
  std::uint64_t a = adler & 0xffff;
  std::uint64_t b = adler >> 16;
  while (n >= LANES) {
    const std::uint64_t length = std::min(n, BLOCK) / LANES * LANES;
    std::uint32_t sums[LANES] = {};
    std::uint32_t running[LANES] = {};
    for (std::uint64_t k = 0; k < length; k += LANES) {
      for (std::uint64_t j = 0; j < LANES; ++j) {
        sums[j] += p[k + j];
        running[j] += sums[j];
      }
    }
    // Byte j of group k adds (length - k - j) times itself to b.
    std::uint64_t sum = 0;
    std::uint64_t weighted = 0;
    std::uint64_t lane_offsets = 0;
    for (std::uint64_t j = 0; j < LANES; ++j) {
      sum += sums[j];
      weighted += running[j];
      lane_offsets += j * sums[j];
    }
    b = (b + length * a + LANES * weighted - lane_offsets) % BASE;
    a = (a + sum) % BASE;
    p += length;
    n -= length;
  }
  for (std::uint64_t i = 0; i < n; ++i) {
    a += p[i];
    b += a;
  }
  return static_cast<std::uint32_t>((b % BASE) << 16 | (a % BASE));
}

class InflateSource final : public BufferedStage {
 public:
  explicit InflateSource(PsSourcePtr in) : BufferedStage(std::move(in)) {
    int rc = inflateInit2(&stream_, 15);
    // zlib still reads the header and the check value; the value is
    // computed and compared here (see check_value()).
    if (rc == Z_OK) rc = inflateValidate(&stream_, 0);
    if (rc != Z_OK) {
      LOG_DEV(" UNKNOWN_IMAGE zlib:inflateInit2 error: [%d] %s", rc,
              stream_.msg != nullptr ? stream_.msg : "");
      done_ = failed_ = true;
      return;
    }
    ready_ = true;
  }
  ~InflateSource() override {
    if (ready_) inflateEnd(&stream_);
  }
  std::uint64_t read(std::uint8_t* out, std::uint64_t capacity) override {
    std::uint64_t written = 0;
    while (!done_ && written < capacity) {
      if (pos_ >= size_) keep_tail();
      if (!fill()) {
        // The input ended before the deflate stream did.
        done_ = true;
        break;
      }
      stream_.next_in = buffer_ + pos_;
      stream_.avail_in = static_cast<uInt>(size_ - pos_);
      stream_.next_out = out + written;
      stream_.avail_out = static_cast<uInt>(std::min<std::uint64_t>(capacity - written, 1u << 30));
      const std::uint64_t before_in = pos_;
      const std::uint64_t before_out = written;
      const int rc = inflate(&stream_, Z_NO_FLUSH);
      pos_ = size_ - stream_.avail_in;
      written = static_cast<std::uint64_t>(stream_.next_out - out);
      adler_ = adler32_update(adler_, out + before_out, written - before_out);
      if (rc == Z_STREAM_END && !check_value_matches()) {
        LOG_DEV(" UNKNOWN_IMAGE zlib:inflate error: [%d] %s", Z_DATA_ERROR, "incorrect data check");
        done_ = failed_ = true;
      } else if (rc == Z_STREAM_END || (rc == Z_BUF_ERROR && pos_ == before_in && written == before_out)) {
        done_ = true;
      } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
        LOG_DEV(" UNKNOWN_IMAGE zlib:inflate error: [%d] %s", rc,
                stream_.msg != nullptr ? stream_.msg : "");
        done_ = failed_ = true;
      }
    }
    return written;
  }

 private:
  // The buffer is used up: its last bytes are kept, as the check value
  // at the end of the stream may begin in it.
  void keep_tail() {
    for (std::uint64_t i = size_ > sizeof tail_ ? size_ - sizeof tail_ : 0; i < size_; ++i) {
      std::memmove(tail_, tail_ + 1, sizeof tail_ - 1);
      tail_[sizeof tail_ - 1] = buffer_[i];
    }
  }
  // At the end of the stream: the four bytes zlib read last (the check
  // value, most significant first) are the Adler-32 of what came out.
  [[nodiscard]] bool check_value_matches() const {
    std::uint32_t stored = 0;
    for (std::uint64_t k = 0; k < sizeof tail_; ++k) {
      const std::uint64_t back = sizeof tail_ - k;  // bytes before the read position
      const std::uint8_t byte = back <= pos_ ? buffer_[pos_ - back] : tail_[sizeof tail_ - (back - pos_)];
      stored = stored << 8 | byte;
    }
    return stored == adler_;
  }
  z_stream stream_{};
  bool ready_ = false;
  std::uint32_t adler_ = 1;
  std::uint8_t tail_[4] = {};
};

class RunLengthSource final : public BufferedStage {
 public:
  RunLengthSource(PsSourcePtr in, bool chained) : BufferedStage(std::move(in)), chained_(chained) {}
  std::uint64_t read(std::uint8_t* out, std::uint64_t capacity) override {
    std::uint64_t written = 0;
    while (written < capacity && !done_) {
      if (copy_left_ > 0 || repeat_left_ > 0) {
        written += emit(out + written, capacity - written);
        continue;
      }
      if (!fill()) {
        done_ = true;
        break;
      }
      start_run(buffer_[pos_++]);
    }
    return written;
  }

 private:
  void start_run(std::uint8_t length) {
    if (length < RLE_END) {
      copy_left_ = length + 1u;  // a literal run: exactly L + 1 bytes, whatever they are
    } else if (length > RLE_END) {
      if (!fill()) {
        done_ = true;
        return;
      }
      repeat_byte_ = buffer_[pos_++];
      repeat_left_ = 257u - length;
    } else if (!chained_) {
      done_ = true;
    } else if (fill()) {
      ++pos_;  // the byte after the end of data separates two streams
    }
  }
  std::uint64_t emit(std::uint8_t* out, std::uint64_t room) {
    if (repeat_left_ > 0) {
      const std::uint64_t n = std::min<std::uint64_t>(room, repeat_left_);
      std::memset(out, repeat_byte_, n);
      repeat_left_ -= static_cast<unsigned>(n);
      return n;
    }
    if (!fill()) {
      copy_left_ = 0;
      done_ = true;
      return 0;
    }
    const std::uint64_t n = std::min<std::uint64_t>({room, copy_left_, size_ - pos_});
    std::memcpy(out, buffer_ + pos_, n);
    pos_ += n;
    copy_left_ -= static_cast<unsigned>(n);
    return n;
  }
  bool chained_;
  unsigned copy_left_ = 0;
  unsigned repeat_left_ = 0;
  std::uint8_t repeat_byte_ = 0;
};

class LimitSource final : public PsByteSource {
 public:
  LimitSource(PsSourcePtr in, std::uint64_t limit) : in_(std::move(in)), left_(limit) {}
  std::uint64_t read(std::uint8_t* out, std::uint64_t capacity) override {
    const std::uint64_t n = in_->read(out, std::min(capacity, left_));
    left_ -= n;
    if (n == 0 && in_->failed()) failed_ = true;
    return n;
  }

 private:
  PsSourcePtr in_;
  std::uint64_t left_;
};

template <typename Stage, typename... Args>
PsSourcePtr make_stage(Args&&... args) {
  return PsSourcePtr(new (std::nothrow) Stage(std::forward<Args>(args)...));
}

}  // namespace

PsSourcePtr ps_source_bytes(const std::uint8_t* data, std::uint64_t length) {
  return make_stage<BytesSource>(data, length);
}
PsSourcePtr ps_source_ascii85(PsSourcePtr in) {
  return in == nullptr ? nullptr : make_stage<Ascii85Source>(std::move(in));
}
PsSourcePtr ps_source_ascii85_strings(std::vector<PsPiece> strings) {
  return make_stage<Ascii85StringsSource>(std::move(strings));
}
PsSourcePtr ps_source_asciihex(PsSourcePtr in) {
  return in == nullptr ? nullptr : make_stage<AsciiHexSource>(std::move(in));
}
PsSourcePtr ps_source_lzw(PsSourcePtr in) {
  return in == nullptr ? nullptr : make_stage<LzwSource>(std::move(in));
}
PsSourcePtr ps_source_inflate(PsSourcePtr in) {
  return in == nullptr ? nullptr : make_stage<InflateSource>(std::move(in));
}
PsSourcePtr ps_source_run_length(PsSourcePtr in, bool chained) {
  return in == nullptr ? nullptr : make_stage<RunLengthSource>(std::move(in), chained);
}
PsSourcePtr ps_source_limit(PsSourcePtr in, std::uint64_t limit) {
  return in == nullptr ? nullptr : make_stage<LimitSource>(std::move(in), limit);
}

std::int64_t ps_filter_inflate(const std::uint8_t* in, std::uint64_t in_length, std::uint8_t* out,
                               std::uint64_t capacity) {
  LOG_DEV(" ps_filter_inflate: compressed_size=%llu,uncompressed_size=%llu",
          static_cast<unsigned long long>(in_length), static_cast<unsigned long long>(capacity));
  PsSourcePtr source = ps_source_inflate(ps_source_bytes(in, in_length));
  if (source == nullptr || source->failed()) return -1;
  std::uint64_t written = 0;
  while (written < capacity) {
    const std::uint64_t n = source->read(out + written, capacity - written);
    if (n == 0) break;
    written += n;
  }
  if (source->failed()) return -1;
  const double ratio = in_length > 0 ? static_cast<double>(written) / static_cast<double>(in_length)
                                     : -1.0;
  LOG_DEV(" ps_filter_inflate decompressed: in=%llu,out=%llu (%.1f:1 compression)",
          static_cast<unsigned long long>(in_length), static_cast<unsigned long long>(written),
          ratio);
  return static_cast<std::int64_t>(written);
}
