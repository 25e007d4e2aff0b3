// The custom token file and the custom planner: parsing (quotes, byte
// escapes, instance order, refused lines), the rules' defaults, and runs over
// a driver's job and over a second job in the same process.
#include "modify/planner_custom.h"

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/watermark.h"
#include "modify/custom_tokens.h"
#include "modify/replacement_list.h"
#include "modify/replacement_regex.h"
#include "modify_test_support.h"

namespace {

class CustomTest : public modify_test::ModifyTest {
 protected:
  void TearDown() override {
    planner_custom_close();
    ModifyTest::TearDown();
  }

  // Loads `file_text` as the process's custom tokens and runs them over
  // `input`; "<failed>" when loading or planning fails.
  std::string run(const std::string& file_text, const std::string& input,
                  const char* printer_type = "") {
    planner_custom_close();
    if (planner_custom_init(write("custom.conf", file_text).c_str()) != 1) return "<no list>";
    return plan(input, printer_type);
  }

  static std::string plan(const std::string& input, const char* printer_type = "") {
    const auto* data = reinterpret_cast<const std::uint8_t*>(input.data());
    ReplacementListPtr list(replacement_list_create(input.size(), -1, nullptr));
    JobAttribsPtr job(analyzer_create_job_attribs());
    job->language = LANG_PCL6;
    std::snprintf(job->printer_type, sizeof job->printer_type, "%s", printer_type);
    watermark_params request{};
    if (plan_replacements_custom(&request, job.get(), data, input.size(), list.get()) != 1) {
      return "<failed>";
    }
    msf_state state{};
    get_msf_state(list.get(), &state);
    EXPECT_EQ(get_num_params_updated(list.get()), 0);
    replacement_list_sort(list.get());
    if (replacement_list_is_valid(data, input.size(), list.get()) != 1) return "<invalid>";
    BstringPtr out(replacement_list_flatten(data, input.size(), list.get()));
    return std::string(bdata(out.get()), blength(out.get()));
  }
};

TEST_F(CustomTest, RulesOfTheFileRewriteTheJob) {
  struct Case {
    const char* what;
    std::string file;
    std::string input;
    std::string expected;
  };
  const Case cases[] = {
      {"first occurrence, ignoring case",
       "1.friendly_name=A\n1.search_pattern=X\n1.replace_pattern=Y\n", "axbXc", "aYbXc"},
      {"blanks, comments and quotes",
       "# a comment\n\n  1.friendly_name = A  \n1.search_pattern=\"a  b\"\n"
       "1.replace_pattern=\" c \"\n",
       "xa  by", "x c y"},
      {"byte escapes",
       "1.friendly_name=A\n1.search_pattern=\\x1B\\x45\n1.replace_pattern=\\x1bE!\n",
       "a\x1b"
       "Eb",
       "a\x1b"
       "E!b"},
      {"the instance seen first comes first",
       "2.friendly_name=B\n1.friendly_name=A\n1.search_pattern=Z\n1.replace_pattern=1\n"
       "2.search_pattern=Z\n2.replace_pattern=2\n",
       "Z", "2"},
      {"the last line of a key wins",
       "1.friendly_name=A\n1.search_pattern=Q\n1.search_pattern=R\n1.replace_pattern=-\n", "QR",
       "Q-"},
      {"a key without instance is dropped",
       "friendly_name=B\n1.friendly_name=A\n1.search_pattern=R\n1.replace_pattern=-\n", "R", "-"},
      {"search distance",
       "1.friendly_name=A\n1.search_pattern=R\n1.search_distance=2\n"
       "1.replace_pattern=-\n",
       "abR", "abR"},
      {"presence pattern found",
       "1.friendly_name=A\n1.search_pattern=R\n1.replace_pattern=-\n1.apply_if_pattern=mark\n",
       "R MARK", "- MARK"},
      {"presence pattern missing",
       "1.friendly_name=A\n1.search_pattern=R\n1.replace_pattern=-\n1.apply_if_pattern=mark\n", "R",
       "R"},
      {"a required rule that finds nothing fails",
       "1.friendly_name=A\n1.search_pattern=R\n1.replace_pattern=-\n1.required=1\n", "x",
       "<failed>"},
      {"instance with letters refuses the file",
       "1.friendly_name=A\n1.search_pattern=R\nx1.replace_pattern=-\n", "R", "<no list>"},
      {"a too long pattern is refused, not cut",
       "1.friendly_name=A\n1.search_pattern=" + std::string(128, 'R') + "\n1.replace_pattern=-\n",
       "RRR", "RRR"},
  };
  for (const Case& c : cases) EXPECT_EQ(run(c.file, c.input), c.expected) << c.what;
}

TEST_F(CustomTest, PrinterNamesLimitRulesAndASecondJobStartsAfresh) {
  const std::string file =
      "1.friendly_name=RES\n1.search_pattern=@PJL SET RESOLUTION=\\d+\n"
      "1.replace_pattern=@PJL SET RESOLUTION=1200\n1.apply_if_printer_name=^HP \n";
  const std::string job = sw_test::corpus_bytes("gs-pxlcolor-mixed-a4.pxl");
  std::string expected = job;
  expected.replace(expected.find("RESOLUTION=300"), 14, "RESOLUTION=1200");
  EXPECT_TRUE(run(file, job, "HP LaserJet") == expected);
  EXPECT_TRUE(plan(job, "HP LaserJet") == expected);  // the same list, a second job
  EXPECT_TRUE(plan(job, "Kyocera") == job);
}

TEST_F(CustomTest, NoFileNoList) {
  EXPECT_EQ(planner_custom_init(temp_.file("missing.conf").c_str()), 0);
  EXPECT_EQ(planner_custom_num_planners(), -1);
  EXPECT_EQ(plan("abc"), "<failed>");
  EXPECT_TRUE(logged("custom token list not loaded"));
  EXPECT_EQ(load_custom_tokens(nullptr), nullptr);

  ASSERT_EQ(planner_custom_init(write("c.conf", "1.friendly_name=A\n2.friendly_name=B\n").c_str()),
            1);
  EXPECT_EQ(planner_custom_num_planners(), 2);
  // Loaded once: a second call keeps the first list.
  EXPECT_EQ(planner_custom_init(temp_.file("missing.conf").c_str()), 1);
}

// A file that is there but cannot be used is an ERROR naming the file (and
// the line, when one is at fault), and leaves no rules: jobs are rewritten
// without them. A missing file is no error: most sites write no rules.
TEST_F(CustomTest, AFileThatCannotBeUsedSaysWhyAndLeavesNoRules) {
  struct Case {
    const char* what;
    std::string path;
    std::vector<std::string> said;
    bool error;
  };
  std::filesystem::create_directories(temp_.file("a-directory"));
  const Case cases[] = {
      {"missing", temp_.file("missing.conf"),
       {"Could not open custom replacement config file"}, false},
      {"a directory", temp_.file("a-directory"),
       {"Could not read custom replacement config file " + temp_.file("a-directory")}, true},
      {"an instance that is no number",
       write("bad.conf", "1.friendly_name=A\n1.search_pattern=R\n\nx1.replace_pattern=-\n"),
       {"Invalid line 'x1.replace_pattern=-' (line 4)"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    planner_custom_close();
    EXPECT_EQ(planner_custom_init(c.path.c_str()), 0);
    EXPECT_EQ(planner_custom_num_planners(), -1);
    for (const std::string& text : c.said) EXPECT_TRUE(logged(text)) << text;
    EXPECT_EQ(logged("Custom token file " + c.path + " not loaded"), c.error);
  }
}

// A pattern that does not compile would fail every run of the list, and with
// it every rewrite the server asks for: its rule is left out at load, named
// with its line, and the other rules run.
TEST_F(CustomTest, ARuleWhosePatternsDoNotCompileIsLeftOut) {
  const std::string file =
      "1.friendly_name=A\n1.search_pattern=(R\n1.replace_pattern=-\n"
      "2.friendly_name=B\n2.search_pattern=Q\n2.replace_pattern=+\n"
      "3.friendly_name=C\n3.search_pattern=S\n3.replace_pattern=*\n3.apply_if_pattern=[x\n";
  EXPECT_EQ(run(file, "RQS"), "R+S");
  EXPECT_EQ(planner_custom_num_planners(), 1);
  EXPECT_TRUE(logged("Custom instance 1 (line 2): search_pattern '(R' does not compile"));
  EXPECT_TRUE(logged("Custom instance 3 (line 10): apply_if_pattern '[x' does not compile"));
  EXPECT_TRUE(logged(" Custom instance 1: friendly_name='A', search_pattern='(R' not added"));
}

TEST_F(CustomTest, TrimAndTheInstanceLimit) {
  char text[] = " \t value \r\n";
  trim(text);
  EXPECT_STREQ(text, "value");
  std::string many;
  for (int i = 1; i <= 100; ++i)
    many += std::to_string(i) + ".friendly_name=N" + std::to_string(i) + "\n";
  EXPECT_EQ(load_custom_tokens(write("many.conf", many).c_str()), nullptr);
  EXPECT_TRUE(logged("too many replace ids"));
}

}  // namespace
