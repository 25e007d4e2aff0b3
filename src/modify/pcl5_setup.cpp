// The set-up scan of the PCL5 planner (see pcl5_setup.h).
#include "modify/pcl5_setup.h"

#include <cinttypes>

#include "foundation/log.h"
#include "modify/pcl5_commands.h"

namespace {

constexpr std::uint8_t FORM_FEED = 0x0c;
// The longest start token: a shorter window cannot hold the set-up.
constexpr std::uint64_t LONGEST_TOKEN = 60;
// A Kyocera block "!R! ... ;exit;" is at most this long.
constexpr std::uint64_t KYOCERA_MAX = 40;
constexpr std::string_view NOT_PCL5 = "No match on START PCL. File does not appear to be PCL5";

bool has_letter(const Pcl5Command& cmd, char lower) {
  for (int i = 0; i < cmd.param_count; ++i) {
    if ((cmd.params[i].letter | 0x20) == lower) return true;
  }
  return false;
}

// A command that draws, or starts drawing, on the page.
bool is_page_mark(const Pcl5Command& cmd) {
  if (cmd.is('*', 'r')) return has_letter(cmd, 'a');
  if (cmd.is('*', 'b')) return has_letter(cmd, 'w') || has_letter(cmd, 'v') || has_letter(cmd, 'y');
  if (cmd.is('*', 'c')) return has_letter(cmd, 'p');
  if (cmd.is('&', 'p')) return has_letter(cmd, 'x');
  return cmd.parameterized == '%' && cmd.group == 0 && has_letter(cmd, 'b');
}

bool is_universal_exit(const Pcl5Command& cmd) {
  return cmd.parameterized == '%' && cmd.group == 0 && has_letter(cmd, 'x');
}

void note_orientation(ByteSpan data, const Pcl5Command& cmd, Pcl5Setup* setup) {
  for (int i = 0; i < cmd.param_count; ++i) {
    std::int64_t value = 0;
    if ((cmd.params[i].letter | 0x20) == 'o' && pcl5_param_int(data, cmd.params[i], &value)) {
      setup->orientation = static_cast<int>(value);
      LOG_DEV("pcl5 orientation = %d", setup->orientation);
    }
  }
}

bool esc_at(ByteSpan data, std::uint64_t p) { return p < data.size() && data[p] == PCL5_ESC; }

// One command of the set-up; false at a page mark.
bool setup_command(ByteSpan data, const Pcl5Command& cmd, Pcl5Setup* setup) {
  if (is_page_mark(cmd)) return false;
  const bool start_token =
      cmd.final == 'E' ||
      (cmd.is('&', 'l') && (has_letter(cmd, 'a') || has_letter(cmd, 'p') || has_letter(cmd, 'o')));
  if (cmd.is('&', 'l')) note_orientation(data, cmd, setup);
  if (start_token && cmd.complete && esc_at(data, cmd.end)) {
    setup->insertion = static_cast<std::int64_t>(cmd.end);
  }
  return true;
}

// End of a Kyocera block at `p` (its last ";exit;"), 0 when none.
std::uint64_t kyocera_end(ByteSpan data, std::uint64_t p) {
  if (!scan_bytes_at_caseless(data, p, "!R!")) return 0;
  std::uint64_t end = 0;
  for (std::uint64_t q = p + 3; q < data.size() && q - p < KYOCERA_MAX; ++q) {
    if (scan_bytes_at_caseless(data, q, ";exit;") && q + 6 - p <= KYOCERA_MAX) end = q + 6;
  }
  return end;
}

std::uint64_t line_end(ByteSpan data, std::uint64_t p) {
  const auto lf = scan_find_byte(data, p, '\n');
  return lf ? *lf + 1 : data.size();
}

// Walks from `from` up to the first page mark or the window's end.
void scan_setup(ByteSpan data, std::uint64_t from, Pcl5Setup* setup) {
  const std::uint64_t window =
      data.size() - from < PCL5_SETUP_WINDOW ? data.size() : from + PCL5_SETUP_WINDOW;
  setup->start = from;
  std::uint64_t p = from;
  bool line_start = true;
  while (p < window) {
    const std::uint8_t b = data[p];
    if (b == PCL5_ESC) {
      Pcl5Command cmd;
      if (pcl5_read_command(data, p, &cmd) && !setup_command(data, cmd, setup)) break;
      line_start = is_universal_exit(cmd);
      p = cmd.end;
    } else if (line_start && scan_bytes_at(data, p, "@PJL")) {
      p = line_end(data, p);
    } else if (const std::uint64_t k = kyocera_end(data, p); k > 0) {
      setup->insertion = static_cast<std::int64_t>(k);
      p = k;
    } else if (b == '\r' || b == '\n' || b == 0 || b == ' ' || b == '\t') {
      line_start = b == '\n' || (line_start && b != ' ' && b != '\t');
      ++p;
    } else {
      break;  // text or a form feed: the first page has begun
    }
  }
  setup->page_follows = p < window;
  setup->first_mark = p;
}

}  // namespace

bool pcl5_find_setup(ByteSpan data, Pcl5Setup* setup) {
  *setup = Pcl5Setup{};
  if (data.size() <= LONGEST_TOKEN || data[0] == FORM_FEED) {
    LOG_ERROR("%.*s", static_cast<int>(NOT_PCL5.size()), NOT_PCL5.data());
    return false;
  }
  scan_setup(data, 0, setup);
  if (setup->insertion < 0) {
    LOG_ERROR("%.*s", static_cast<int>(NOT_PCL5.size()), NOT_PCL5.data());
    return false;
  }
  if (!esc_at(data, static_cast<std::uint64_t>(setup->insertion))) {
    LOG_INFO("First char after PCL5 insertion is not ESC. Treating as non-PCL 5");
    return false;
  }
  LOG_DEBUG("find_insertion_point - start of pcl5 at %" PRId64 ", first page mark at %" PRIu64,
            setup->insertion, setup->first_mark);
  return true;
}

bool pcl5_find_setup_after_reset(ByteSpan data, std::uint64_t reset, Pcl5Setup* setup) {
  *setup = Pcl5Setup{};
  scan_setup(data, reset, setup);
  return setup->insertion >= 0 && setup->page_follows &&
         esc_at(data, static_cast<std::uint64_t>(setup->insertion));
}
