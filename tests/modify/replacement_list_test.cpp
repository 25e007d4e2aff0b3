// The replacement list: appending rules, sort order and validity, the
// writers (memory, file, stream) against a plain splice of the bytes,
// forced application, cloning, inline copies and compression.
#include "modify/replacement_list.h"

#include <cstring>
#include <string>
#include <vector>

#include "foundation/mapped_mem.h"
#include "foundation/os_file.h"
#include "modify_test_support.h"
#include "server/rpc_process_job.h"

namespace {

using modify_test::ModifyTest;

// One edit for the reference splice.
struct Edit {
  std::int64_t offset;
  std::uint64_t len;
  std::string text;
};

ReplacementListPtr make_list(std::uint64_t size, const std::vector<Edit>& edits) {
  ReplacementListPtr list(replacement_list_create(size, -1, nullptr));
  for (const Edit& e : edits) {
    EXPECT_EQ(replacement_list_append2(list.get(), e.offset, e.len, e.text.data(), e.text.size()),
              1)
        << e.offset;
  }
  return list;
}

std::string flatten(const std::string& input, const ReplacementList* list) {
  BstringPtr out(replacement_list_flatten(
      reinterpret_cast<const std::uint8_t*>(input.data()), input.size(), list));
  return out == nullptr ? std::string("<failed>") : std::string(bdata(out.get()), blength(out.get()));
}

TEST_F(ModifyTest, AppendPlacesNegativeOffsetsAtTheEndAndRefusesWhatDoesNotFit) {
  struct Case {
    std::int64_t offset;
    std::uint64_t len;
    int ok;
    std::uint64_t stored;
  };
  const Case cases[] = {
      {.offset = 0, .len = 10, .ok = 1, .stored = 0},
      {.offset = 10, .len = 0, .ok = 1, .stored = 10},   // a pure insertion at the end
      {.offset = -1, .len = 0, .ok = 1, .stored = 10},   // the end itself, not 10 - 1
      {.offset = -10, .len = 0, .ok = 1, .stored = 10},
      {.offset = -11, .len = 0, .ok = 0},                // before the buffer
      {.offset = 10, .len = 1, .ok = 0},                 // beyond it
      {.offset = 5, .len = 6, .ok = 0},
      {.offset = INT64_MIN, .len = 0, .ok = 0},
      {.offset = 4, .len = UINT64_MAX, .ok = 0},          // offset + len wraps
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    ReplacementListPtr list(replacement_list_create(10, -1, nullptr));
    ASSERT_EQ(replacement_list_append2(list.get(), c.offset, c.len, "x", 1), c.ok);
    EXPECT_EQ(replacement_list_size(list.get()), c.ok);
    if (c.ok) {
      EXPECT_EQ(replacement_list_get_offset(list.get(), 0), static_cast<std::int64_t>(c.stored));
    }
  }
}

TEST_F(ModifyTest, EditsAtOneOffsetGoLongerDeletionFirstWhateverTheirOrder) {
  const std::string input = "0123456789";
  // A pure insertion appended before a deletion at the same offset.
  ReplacementListPtr list = make_list(input.size(), {{3, 0, "<ins>"}, {3, 2, "<del>"}});
  replacement_list_sort(list.get());
  EXPECT_EQ(replacement_list_is_valid(nullptr, 0, list.get()), 1);
  EXPECT_EQ(list->replacements[0].len, 2u);
  EXPECT_EQ(flatten(input, list.get()), "012<del><ins>56789");
  // An insertion inside a deleted span does not bring the deleted bytes back.
  list = make_list(input.size(), {{2, 5, "[D]"}, {4, 0, "[I]"}});
  EXPECT_EQ(flatten(input, list.get()), "01[D][I]789");
}

TEST_F(ModifyTest, OverlappingDeletionsAreInvalidEvenWhenNotNeighbours) {
  struct Case {
    const char* name;
    std::vector<Edit> edits;
    int valid;
  };
  const Case cases[] = {
      {"empty", {}, 1},
      {"disjoint", {{0, 2, ""}, {2, 2, ""}, {9, 1, "x"}}, 1},
      {"insertion inside a deletion", {{1, 5, ""}, {3, 0, "x"}}, 1},
      {"two deletions at one offset", {{3, 2, "a"}, {3, 1, "b"}}, 0},
      {"neighbours overlap", {{1, 5, ""}, {4, 2, ""}}, 0},
      // The insertion between them must not hide the overlap.
      {"overlap across an insertion", {{0, 8, ""}, {4, 0, "x"}, {6, 1, ""}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReplacementListPtr list = make_list(10, c.edits);
    replacement_list_sort(list.get());
    EXPECT_EQ(replacement_list_is_valid(nullptr, 0, list.get()), c.valid);
  }
  EXPECT_TRUE(logged("Invalid ReplacementList: "));
}

// The reference: the input with each edit's bytes deleted and its text put
// in, edits taken by offset, deletions first (they do not overlap here).
std::string splice(const std::string& input, std::vector<Edit> edits) {
  std::stable_sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) {
    return a.offset != b.offset ? a.offset < b.offset : a.len > b.len;
  });
  std::string out;
  std::uint64_t at = 0;
  for (const Edit& e : edits) {
    const auto offset = static_cast<std::uint64_t>(e.offset);
    if (offset > at) out += input.substr(at, offset - at);
    out += e.text;
    at = std::max(at, offset + e.len);
  }
  return out + input.substr(at);
}

TEST_F(ModifyTest, MemoryFileAndStreamWritersAgreeWithASpliceOfARealJob) {
  const std::string input = sw_test::corpus_bytes("gs-pxlmono-text-a4.pxl");
  ASSERT_GT(input.size(), 50000u);
  const std::vector<Edit> edits = {
      {0, 0, "HEAD"},
      {100, 50, ""},
      {40000, 3, "mid"},
      {static_cast<std::int64_t>(input.size()) - 9, 9, "TAIL"},
      {static_cast<std::int64_t>(input.size()), 0, "END"},
  };
  const std::string expected = splice(input, edits);
  const std::string in_path = write("job.pxl", input);
  ReplacementListPtr list = make_list(input.size(), edits);
  EXPECT_EQ(flatten(input, list.get()), expected);
  const std::string file_path = temp_.file("file.out");
  ASSERT_EQ(replacement_list_apply_to_file(reinterpret_cast<const std::uint8_t*>(input.data()),
                                           list.get(), file_path.c_str()),
            1);
  EXPECT_EQ(sw_test::read_file(file_path), expected);
  ASSERT_EQ(replacement_list_force_apply(list.get(), in_path.c_str()), 1);
  EXPECT_EQ(sw_test::read_file(replacement_list_get_modified_file(list.get())), expected);
}

TEST_F(ModifyTest, TheMappedWriterCopiesLongGapsInTheKernelAndAgreesWithTheSplice) {
  const std::string one = sw_test::corpus_bytes("gs-pxlmono-text-a4.pxl");
  const std::string input = one + one + one + one;
  const auto size = static_cast<std::int64_t>(input.size());
  ASSERT_GT(size, 3 * static_cast<std::int64_t>(REPLACEMENT_KERNEL_COPY_MIN));
  // Gaps longer and shorter than the kernel-copy threshold, a deletion that
  // swallows an insertion inside it, edits at both ends.
  const std::vector<Edit> edits = {
      {0, 0, "HEAD"},       {100, 50, "x"},        {1000, 20000, "gone"},
      {5000, 0, "inside"},  {size / 2, 3, "mid"},  {size - 9, 9, "TAIL"},
      {size, 0, "END"},
  };
  const std::string in_path = write("job.pxl", input);
  MappedMemPtr mm(create_mapped_mem(in_path.c_str()));
  ASSERT_NE(mm, nullptr);
  ReplacementListPtr list = make_list(input.size(), edits);
  const std::string out_path = temp_.file("mapped.out");
  std::FILE* out = std::fopen(out_path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fputs("PRE", out);  // buffered in the stream: must come first
  ASSERT_EQ(replacement_list_apply_mapped_to_file_handle(mm.get(), list.get(), out), 1);
  ASSERT_EQ(std::fclose(out), 0);
  EXPECT_EQ(sw_test::read_file(out_path), "PRE" + flatten(input, list.get()));
  EXPECT_EQ(flatten(input, list.get()), splice(input, edits));
}

TEST_F(ModifyTest, InlineCopiesRepeatTheRewriteAndStayWithinOneToAThousand) {
  const std::string input = "abcdef";
  const std::string in_path = write("in", input);
  ReplacementListPtr list = make_list(input.size(), {{1, 1, "B"}});
  for (std::int64_t bad : {0, -3, 1001}) {
    replacement_list_set_inline_copies(list.get(), bad);
    EXPECT_EQ(list->inline_copies, 1);
  }
  replacement_list_set_inline_copies(list.get(), 3);
  ASSERT_EQ(replacement_list_force_apply(list.get(), in_path.c_str()), 1);
  EXPECT_EQ(sw_test::read_file(replacement_list_get_modified_file(list.get())),
            "aBcdefaBcdefaBcdef");
}

TEST_F(ModifyTest, ForcedApplicationOfAStaleListFailsAndLeavesNothingBehind) {
  const std::string in_path = write("in", "0123456789");
  ReplacementListPtr list = make_list(11, {{0, 1, "x"}});  // one byte more than the file
  EXPECT_EQ(replacement_list_force_apply(list.get(), in_path.c_str()), 0);
  EXPECT_EQ(replacement_list_has_modified_file(list.get()), 0);
  EXPECT_TRUE(temp_files().empty());
  EXPECT_TRUE(logged("replacement_list_check_in_path: filesize mismatch"));
}

// A reader over a string that claims more bytes than it has.
struct ShortReader {
  std::string data;
  std::size_t at = 0;
};

TEST_F(ModifyTest, AnInputThatEndsEarlyFailsTheStreamRewrite) {
  ReplacementListPtr list = make_list(10, {{2, 2, "x"}});
  ShortReader reader{"01234"};  // the list expects 10 bytes
  std::string written;
  auto read = [](void* h, void* buffer, std::uint64_t count) -> std::int64_t {
    auto* r = static_cast<ShortReader*>(h);
    const std::size_t n = std::min<std::size_t>(count, r->data.size() - r->at);
    std::memcpy(buffer, r->data.data() + r->at, n);
    r->at += n;
    return static_cast<std::int64_t>(n);
  };
  auto reset = [](void* h) {
    static_cast<ShortReader*>(h)->at = 0;
    return 1;
  };
  auto write = [](void* h, const void* bytes, std::uint64_t count) -> std::int64_t {
    static_cast<std::string*>(h)->append(static_cast<const char*>(bytes), count);
    return static_cast<std::int64_t>(count);
  };
  EXPECT_EQ(replacement_list_apply_rw(list.get(), 4, read, reset, &reader, write, &written), 0);
  reader.data = "0123456789";
  written.clear();
  EXPECT_EQ(replacement_list_apply_rw(list.get(), 4, read, reset, &reader, write, &written), 1);
  EXPECT_EQ(written, "01x456789");
}

TEST_F(ModifyTest, WritersRefuseRequestsBeyondTheirBuffer) {
  const std::string input = "0123456789";
  ReplacementListPtr list = make_list(input.size(), {{8, 2, "x"}});
  // A list that lies about its buffer (as a re-pointed list could).
  list->replacements[0].offset = 1 << 20;
  EXPECT_EQ(flatten(input, list.get()), "<failed>");
  EXPECT_EQ(replacement_list_apply_to_file(reinterpret_cast<const std::uint8_t*>(input.data()),
                                           list.get(), temp_.file("out").c_str()),
            0);
  const std::string in_path = write("in", input);
  EXPECT_EQ(replacement_list_force_apply(list.get(), in_path.c_str()), 0);
  EXPECT_TRUE(logged("beyond buffer_len=10"));
}

TEST_F(ModifyTest, ClonesCopyDeletionsButNotTheModifiedFile) {
  const std::string in_path = write("in", "0123456789");
  ReplacementListPtr list = make_list(10, {{1, 2, ""}, {5, 0, "ins"}});
  list->replacements[0].insertion.reset();  // a pure deletion has no insertion
  ASSERT_EQ(replacement_list_force_apply(list.get(), in_path.c_str()), 1);
  ReplacementListPtr copy(replacement_list_clone(list.get()));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(replacement_list_equal(list.get(), copy.get()), 1);
  EXPECT_EQ(replacement_list_has_modified_file(copy.get()), 0);
  const std::string modified = replacement_list_get_modified_file(list.get());
  copy.reset();
  EXPECT_TRUE(sw_test::exists(modified));  // still the original's
  ReplacementListPtr target(replacement_list_create(3, -1, nullptr));
  ASSERT_EQ(replacement_list_assign(target.get(), list.get()), 1);
  EXPECT_EQ(replacement_list_equal(target.get(), list.get()), 1);
  list.reset();
  EXPECT_FALSE(sw_test::exists(modified));  // freeing the owner deletes it
}

TEST_F(ModifyTest, TakingTheModifiedFileHandsItOver) {
  const std::string in_path = write("in", "0123456789");
  ReplacementListPtr list = make_list(10, {{0, 1, "x"}});
  ASSERT_EQ(replacement_list_force_apply(list.get(), in_path.c_str()), 1);
  char path[OS_PATH_BUFFER_SIZE];
  ASSERT_EQ(replacement_list_take_modified_file(list.get(), path, sizeof path), 1);
  list.reset();
  EXPECT_EQ(sw_test::read_file(path), "x123456789");
  std::remove(path);
}

TEST_F(ModifyTest, CompressionWritesTheCurrentRewriteAndHappensOnce) {
  const std::string input = sw_test::corpus_bytes("gs-ljet4-text-a4.pcl");
  const std::string in_path = write("job.pcl", input);
  watermark_params params{};
  ReplacementListPtr list = make_list(input.size(), {{0, 2, "@@"}});
  EXPECT_EQ(replacement_list_post_process(&params, list.get(), in_path.c_str()), 1);
  EXPECT_EQ(replacement_list_has_modified_file(list.get()), 0);  // no compression asked
  // Replicated first: the offsets now refer to the replicated file, and the
  // compressed job is the three copies, not the input.
  mapped_mem* mm = create_mapped_mem(in_path.c_str());
  ASSERT_NE(mm, nullptr);
  replacement_list_set_inline_copies(list.get(), 3);
  ASSERT_EQ(replacement_list_replicate_inline(mm, list.get()), 1);
  params.gzip = 1;
  ASSERT_EQ(replacement_list_post_process(&params, list.get(), in_path.c_str()), 1);
  const std::string once = "@@" + input.substr(2);
  const std::string unzipped = sw_test::command_output(
      std::string("gzip -dc '") + replacement_list_get_modified_file(list.get()) + "'");
  EXPECT_EQ(unzipped, once + once + once);
  EXPECT_EQ(replacement_list_post_process(&params, list.get(), in_path.c_str()), 0);
  EXPECT_TRUE(logged("replacement_list_post_process: Already post-processed"));
  list.reset();
  free_mapped_mem(&mm);
  EXPECT_TRUE(temp_files().empty());
}

}  // namespace
