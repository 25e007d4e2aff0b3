// The PCL5 command reader (see pcl5_commands.h).
#include "modify/pcl5_commands.h"

#include "foundation/ascii.h"

namespace {

bool is_parameterized_char(std::uint8_t b) { return b >= 0x21 && b <= 0x2f; }
bool is_group_char(std::uint8_t b) { return b >= 0x60 && b <= 0x7e; }
bool is_value_char(std::uint8_t b) { return ascii_is_digit(b) || b == '+' || b == '-' || b == '.'; }
// Parameter letters: lower case continues the command, upper case ends it.
bool is_param_letter(std::uint8_t b) { return b >= 0x40 && b <= 0x7e; }
bool ends_command(std::uint8_t b) { return b >= 0x40 && b <= 0x5e; }

// Binary data follows the value: the W of ESC*b, ESC(s, ESC*c ... and
// ESC&p X (transparent print data).
bool carries_data(const Pcl5Command& cmd, char letter) {
  const char upper = static_cast<char>(letter & ~0x20);
  return upper == 'W' || (cmd.is('&', 'p') && upper == 'X');
}

std::uint64_t data_count(ByteSpan data, const Pcl5Param& p) {
  std::int64_t n = 0;
  return pcl5_param_int(data, p, &n) && n > 0 ? static_cast<std::uint64_t>(n) : 0;
}

// Reads the parameters from the cursor on, up to the upper-case letter that
// ends the command.
void read_params(ByteCursor* c, Pcl5Command* cmd) {
  const ByteSpan data = c->data();
  while (!c->at_end()) {
    Pcl5Param p;
    p.value_offset = c->pos();
    p.value_length = c->skip_while(is_value_char);
    if (p.value_length > PCL5_VALUE_MAX || c->at_end() || !is_param_letter(data[c->pos()])) return;
    p.letter = static_cast<char>(data[c->pos()]);
    c->skip(1);
    if (cmd->param_count < PCL5_PARAMS_MAX) cmd->params[cmd->param_count++] = p;
    if (carries_data(*cmd, p.letter)) {
      const std::uint64_t n = data_count(data, p);
      cmd->data_offset = c->pos();
      cmd->data_length = n < c->remaining() ? n : c->remaining();
      c->skip(cmd->data_length);
    }
    if (ends_command(static_cast<std::uint8_t>(p.letter))) {
      cmd->complete = true;
      return;
    }
  }
}

}  // namespace

bool pcl5_read_command(ByteSpan data, std::uint64_t at, Pcl5Command* cmd) {
  *cmd = Pcl5Command{};
  cmd->offset = at;
  cmd->end = at + 1;
  if (at >= data.size() || data[at] != PCL5_ESC || at + 1 >= data.size()) return false;
  const std::uint8_t b = data[at + 1];
  if (!is_parameterized_char(b)) {
    if (b < 0x30 || b > 0x7e) return false;
    cmd->final = static_cast<char>(b);
    cmd->end = at + 2;
    cmd->complete = true;
    return true;
  }
  cmd->parameterized = static_cast<char>(b);
  ByteCursor c(data, at + 2);
  if (!c.at_end() && is_group_char(data[c.pos()])) {
    cmd->group = static_cast<char>(data[c.pos()]);
    c.skip(1);
  }
  read_params(&c, cmd);
  cmd->end = c.pos();
  return true;
}

bool pcl5_param_int(ByteSpan data, const Pcl5Param& p, std::int64_t* value) {
  if (p.value_length == 0 || p.value_length > 9) return false;
  std::int64_t n = 0;
  for (std::uint64_t i = 0; i < p.value_length; ++i) {
    const std::uint8_t b = data[p.value_offset + i];
    if (!ascii_is_digit(b)) return false;
    n = n * 10 + (b - '0');
  }
  *value = n;
  return true;
}
