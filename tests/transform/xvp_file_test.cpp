// Script selection over temporary trees, whether a target has work, the
// job logs with their pruning, and the scripts directory.
#include "transform/xvp_file.h"

#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <string>

#include "foundation/ja_languages.h"
#include "transform/xvp_logs.h"
#include "transform/xvp_xform.h"
#include "transform_test_support.h"

namespace {

using transform_test::TransformTest;

struct Choice {
  std::string script;  // relative to TransformsDir, "" for none
  bool language;
  bool source;
};

class SelectionTest : public TransformTest {
 protected:
  Choice choose(const char* target_name, const char* target_type) {
    Choice c;
    const std::string path =
        xvp_select_script(ja_.get(), target_name, target_type, &c.language, &c.source);
    const std::string root = temp_.file("transforms/");
    c.script = path.rfind(root, 0) == 0 ? path.substr(root.size()) : path;
    return c;
  }
  void files(std::initializer_list<const char*> paths) {
    for (const char* p : paths) script_file(p, "x = 1\n");
  }
};

TEST_F(SelectionTest, ScriptsByLanguageSourceAndTarget) {
  files({"custom/pcl5/hp.transform", "custom/pcl5/hp.laserjet.transform",
         "custom/pcl5/canon.name.transform", "custom/post/default.transform",
         "custom/post/tv-win/primary.transform", "system/postscript/xerox.transform",
         "system/postscript/default.transform", "custom/postscript/readme.txt",
         "custom/pcl6/ricoh.type.transform"});
  struct Case {
    const char* name;
    int language;
    const char* source_type;  // the job's own driver
    const char* target_name;
    const char* target_type;
    Choice want;
  };
  const Case cases[] = {
      // More name parts sort first: both HP scripts match, the longer wins.
      {"hp", LANG_PCL5, "", "q2", "HP LaserJet 4250", {"custom/pcl5/hp.laserjet.transform", true, true}},
      {"pcl5 not pcl6", LANG_PCL6, "", "q2", "HP LaserJet 4250", {"", true, false}},
      // ".name" restricts the test to the printer's name.
      {"canon by name", LANG_PCL5, "", "canon-3", "x", {"custom/pcl5/canon.name.transform", true, true}},
      {"canon not by type", LANG_PCL5, "", "q2", "Canon iR", {"", true, false}},
      {".type", LANG_PCL6, "", "ricoh", "x", {"", true, false}},
      {".type by type", LANG_PCL6, "", "x", "Ricoh Aficio", {"custom/pcl6/ricoh.type.transform", true, true}},
      // A language directory need only be part of the display name; its
      // default serves any target, before the system tree.
      {"post", LANG_POSTSCRIPT, "", "q2", "Xerox", {"custom/post/default.transform", true, true}},
      // A source directory named by an alias takes jobs of that driver.
      {"alias", LANG_POSTSCRIPT, "Torvelle Global PostScript 2.1", "q2", "Xerox",
       {"custom/post/tv-win/primary.transform", true, true}},
      {"no tree has the language", LANG_PDF, "", "q2", "HP", {"", false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ja_->language = c.language;
    util_copy(ja_->printer_type, c.source_type);
    const Choice got = choose(c.target_name, c.target_type);
    EXPECT_EQ(got.script, c.want.script);
    EXPECT_EQ(got.language, c.want.language);
    EXPECT_EQ(got.source, c.want.source);
  }
}

TEST_F(SelectionTest, TheSystemTreeServesWhenTheCustomTreeHasNoScript) {
  files({"custom/postscript/q1/notes.txt", "system/postscript/q2.name.transform"});
  ja_->language = LANG_POSTSCRIPT;
  const Choice got = choose("q2", "");
  EXPECT_EQ(got.script, "system/postscript/q2.name.transform");
  EXPECT_TRUE(got.source);
  // The source directory q1 (the job's printer) is where the custom tree
  // looks; a script beside it is not seen.
  files({"custom/postscript/q2.name.transform"});
  EXPECT_EQ(choose("q2", "").script, "system/postscript/q2.name.transform");
  files({"custom/postscript/q1/q2.name.transform"});
  EXPECT_EQ(choose("q2", "").script, "custom/postscript/q1/q2.name.transform");
}

TEST_F(SelectionTest, ATargetNamedScriptGivesTheTargetWork) {
  files({"custom/postscript/q2.name.transform"});
  ja_->language = LANG_POSTSCRIPT;
  util_copy(ja_->printer_type, "Generic PostScript");
  struct Case {
    const char* name;
    const char* target_name;
    const char* target_type;
    int enabled;
    int work;
  };
  const Case cases[] = {
      {"named target", "q2", "", 1, 1},
      {"another target", "q3", "", 1, 0},
      {"the same printer", "q1", "", 1, 0},
      {"the same driver", "q2", "Generic PostScript", 1, 0},
      {"transforms off", "q2", "", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    global_ctx.xvp_enabled = c.enabled;
    EXPECT_EQ(xvp_has_work_to_do(ja_.get(), c.target_name, c.target_type), c.work);
  }
}

TEST_F(SelectionTest, PruningKeepsTheNewestJobFilesAndNothingElseIsTouched) {
  global_ctx.xvp_max_logs = 2;
  const std::string dir = temp_.file("transforms/logs");
  for (int i = 0; i < 10; ++i) {
    const std::string path = temp_.write("transforms/logs/" + std::to_string(100 + i) + ".log", "x");
    const utimbuf times{1000000 + i * 60, 1000000 + i * 60};
    ASSERT_EQ(utime(path.c_str(), &times), 0);
  }
  temp_.write("transforms/logs/other.log", "not a job log");
  temp_.write("transforms/logs/notes.txt", "kept");
  xvp_prune_logs(true);
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(dir)) left.push_back(e.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"104.log", "105.log", "106.log", "107.log", "108.log",
                                            "109.log", "notes.txt", "other.log"}));
}

TEST_F(SelectionTest, JobLogPathsAreSafeFileNames) {
  char path[4096];
  ASSERT_EQ(xvp_log_path("../../etc/x", "log", path, sizeof path), 1);
  EXPECT_EQ(std::string(path), temp_.file("transforms/logs/.._.._etc_x.log"));
}

TEST_F(SelectionTest, TheScriptsDirectoryIsMade) {
  util_copy(global_ctx.xvp_scripts_dir_path, temp_.file("new/transforms"));
  util_copy(global_ctx.xvp_logs_dir_path, temp_.file("new/transforms/logs"));
  ASSERT_EQ(xvp_create_scripts_dir(), 1);
  for (const char* sub : XVP_TRANSFORMS_DIR_STRUCTURE) {
    EXPECT_TRUE(std::filesystem::is_directory(temp_.file("new/transforms/") + sub)) << sub;
  }
  global_ctx.env_version = 10;
  util_copy(global_ctx.xvp_scripts_dir_path, temp_.file("old/transforms"));
  EXPECT_EQ(xvp_create_scripts_dir(), 1);
  EXPECT_FALSE(std::filesystem::exists(temp_.file("old")));
}

}  // namespace
