// Runs the input as a transform script over a small PJL-wrapped PostScript
// job held in memory: scanning, evaluation, searches and statements must end
// in success or a logged failure, never read outside the job or the script.
// A script that succeeds has its edits turned into a list; the memory and
// the stream writers must then agree on its rewrite, repeated as asked.
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/bstrlib.h"
#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/mapped_mem.h"
#include "modify/replacement_list.h"
#include "transform/xvp_cook.h"
#include "transform/xvp_xform.h"

namespace {

constexpr std::string_view SPOOL =
    "\x1B%-12345X@PJL JOB\n@PJL ENTER LANGUAGE = POSTSCRIPT\n"
    "%!PS-Adobe-3.0\n%%Pages: 2\n%%Title: (report) 3.5\n%%EndComments\n"
    "/Helvetica findfont 12 scalefont setfont\n72 720 moveto (page one) show showpage\n"
    "72 720 moveto (page two) show showpage\n%%Trailer\n%%EOF\n\x1B%-12345X@PJL EOJ\n";

// The stream writer's output, for comparison with the memory writer.
std::int64_t read_span(void* handle, void* buffer, std::uint64_t count) {
  auto* span = static_cast<std::string_view*>(handle);
  const std::size_t n = std::min<std::size_t>(count, span->size());
  std::memcpy(buffer, span->data(), n);
  span->remove_prefix(n);
  return static_cast<std::int64_t>(n);
}
int reset_span(void* handle) {
  *static_cast<std::string_view*>(handle) = SPOOL;
  return 1;
}
std::int64_t append(void* handle, const void* bytes, std::uint64_t count) {
  static_cast<std::string*>(handle)->append(static_cast<const char*>(bytes), count);
  return static_cast<std::int64_t>(count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool initialised = [] {
    config_init_session_defaults(&global_ctx);
    global_ctx.parse_timeout = 5;
    return true;
  }();
  (void)initialised;
  // Exact-size copies, so that AddressSanitizer sees a read one byte past.
  std::vector<char> script(data, data + size);
  std::vector<std::uint8_t> spool(SPOOL.begin(), SPOOL.end());
  mapped_mem mm{};
  mm.data = spool.data();
  mm.size = spool.size();
  JobAttribs ja{};
  std::strcpy(ja.job_id, "7");
  std::strcpy(ja.username, "fuzz");
  ja.language = 1;
  ja.pages = 2;
  ja.copy_count = 1;
  InterpreterPtr in(interpreter_create(&mm, &ja, 0));
  if (!in) __builtin_trap();
  if (!interpreter_parse_text(in.get(), std::string_view(script.data(), script.size()))) return 0;
  ReplacementList* raw = nullptr;
  if (!insertion_list_apply(nullptr, in->edits, &mm, in->n_repeats, ja.language, &raw)) return 0;
  ReplacementListPtr list(raw);
  if (list->inline_copies < 1 || list->inline_copies > REPLACEMENT_INLINE_COPIES_MAX) {
    __builtin_trap();
  }
  BstringPtr once(replacement_list_flatten(mm.data, mm.size, list.get()));
  if (once == nullptr) __builtin_trap();
  std::string_view input = SPOOL;
  std::string streamed;
  if (!replacement_list_apply_rw(list.get(), 7, read_span, reset_span, &input, append, &streamed)) {
    __builtin_trap();
  }
  std::string expected;
  for (int i = 0; i < list->inline_copies; ++i) expected.append(bdata(once.get()), blength(once.get()));
  if (streamed != expected) __builtin_trap();
  return 0;
}
