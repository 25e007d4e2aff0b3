#include "foundation/serialize_settings.h"

#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "foundation/os_process.h"
#include "support/test_support.h"

namespace {

using sw_test::read_file;
using sw_test::write_file;

class SerializeSettingsTest : public sw_test::TempDirTest {};

TEST_F(SerializeSettingsTest, SettingsRoundTripAndKeepArchiving) {
  const PrinterSettings cases[] = {
      {0, 0, 1, 0, 0, 0},
      {1, 1, 0, 1, 1, 1},
      {1, 2, 1, 0, 0, 1},
      {0, 2, 0, 1, 1, 0},
  };
  for (const PrinterSettings& s : cases) {
    SCOPED_TRACE(std::to_string(s.enable_color_detection) + std::to_string(s.failure_mode) +
                 std::to_string(s.hwcheck_mode) + std::to_string(s.is_virtual));
    ASSERT_EQ(serialize_settings_writeout(dir_.c_str(), "office", &s), 1);
    PrinterSettings back{9, 9, 9, 5, 9, 9};
    ASSERT_EQ(serialize_settings_readin(dir_.c_str(), "office", &back), 1);
    EXPECT_EQ(back.archiving, 5);  // not stored, not touched
    back.archiving = s.archiving;
    EXPECT_EQ(serialize_settings_equals(&back, &s), 1);
  }
  EXPECT_EQ(read_file(path_of("office.dat")),
            "# TV Serialize Data\nversion=4\nenable_color_detection=N\nfailure_mode=HOLD\n"
            "hardware_check_mode=SNMP\nis_virtual=N\nqueue-confidentiality-mode=HIDE_NAME\n#END\n");
}

TEST_F(SerializeSettingsTest, EqualsComparesAllSixFields) {
  const PrinterSettings base{1, 2, 0, 1, 1, 0};
  EXPECT_EQ(serialize_settings_equals(&base, &base), 1);
  for (int i = 0; i < 6; ++i) {
    PrinterSettings other = base;
    std::int32_t* fields[] = {&other.enable_color_detection, &other.failure_mode,
                              &other.hwcheck_mode,           &other.archiving,
                              &other.confidentiality_mode,   &other.is_virtual};
    *fields[i] += 1;
    EXPECT_EQ(serialize_settings_equals(&base, &other), 0) << i;
  }
}

TEST_F(SerializeSettingsTest, OlderAndOddFiles) {
  struct Case {
    const char* what;
    const char* body;
    int result;
    PrinterSettings want;  // colour, failure, hwcheck, (archiving), confidentiality, virtual
  };
  const Case cases[] = {
      {"version 1", "version=1\nenable_color_detection=Y\nfailure_mode=HOLD\n#END\n", 1,
       {1, 2, 1, 0, 0, 0}},
      {"version 2",
       "version=2\nenable_color_detection=Y\nfailure_mode=HOLD\nhardware_check_mode=SNMP\n#END\n", 1,
       {1, 2, 0, 0, 0, 0}},
      {"version 3",
       "version=3\nenable_color_detection=N\nfailure_mode=PRINT_NEW_WITH_REPLAY\n"
       "hardware_check_mode=NONE\nis_virtual=Yes\n#END\n",
       1,
       {0, 1, 1, 0, 0, 1}},
      {"lower-case y is off",
       "version=4\nenable_color_detection=y\nfailure_mode=HOLD\nhardware_check_mode=NONE\n"
       "is_virtual=y\nqueue-confidentiality-mode=HIDE_NONE\n#END\n",
       1,
       {0, 2, 1, 0, 0, 0}},
      {"no terminator",
       "version=4\nenable_color_detection=Y\nfailure_mode=HOLD\nhardware_check_mode=NONE\n"
       "is_virtual=N\nqueue-confidentiality-mode=HIDE_NAME\n",
       0,
       {1, 2, 1, 0, 1, 0}},
      {"undefined mode refused", "version=1\nenable_color_detection=Y\nfailure_mode=Undefined\n#END\n",
       0, {1, 7, 7, 0, 7, 7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    write_file(path_of("lab.dat"), std::string("# TV Serialize Data\n") + c.body);
    PrinterSettings got{7, 7, 7, 0, 7, 7};
    EXPECT_EQ(serialize_settings_readin(dir_.c_str(), "lab", &got), c.result);
    EXPECT_EQ(got.enable_color_detection, c.want.enable_color_detection);
    EXPECT_EQ(got.failure_mode, c.want.failure_mode);
    EXPECT_EQ(got.hwcheck_mode, c.want.hwcheck_mode);
    EXPECT_EQ(got.confidentiality_mode, c.want.confidentiality_mode);
    EXPECT_EQ(got.is_virtual, c.want.is_virtual);
  }
  EXPECT_NE(log_text().find("NOTE: version mismatch on settings file, file's version 2 and "
                            "expected version 4"),
            std::string::npos);
}

TEST_F(SerializeSettingsTest, NamesPermissionsAndMissingFiles) {
  PrinterSettings s{};
  printer_settings_init_defaults(&s);
  EXPECT_EQ(s.hwcheck_mode, 1);
  PrinterSettings got{};
  EXPECT_EQ(serialize_settings_readin(dir_.c_str(), "a/b:c", &got), 0);
  EXPECT_NE(log_text().find("Printer settings file '" + path_of("a_b_c.dat") + "' does not exist"),
            std::string::npos);
  ASSERT_EQ(serialize_settings_writeout(dir_.c_str(), "a/b:c", &s), 1);
  EXPECT_TRUE(std::filesystem::exists(path_of("a_b_c.dat")));
  EXPECT_EQ(serialize_settings_readin(dir_.c_str(), "a/b:c", &got), 1);

  chmod(path_of("a_b_c.dat").c_str(), 0666);
  serialize_settings_openup_permissions(dir_.c_str(), "a/b:c");
  struct stat st {};
  ASSERT_EQ(stat(path_of("a_b_c.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// Runs `check` as another account (uid 65534, the given group); its exit
// status.
int as_other_account(gid_t group, const std::function<int()>& check) {
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    constexpr uid_t NOBODY = 65534;
    if (setgroups(0, nullptr) != 0 || setresgid(group, group, group) != 0 ||
        setresuid(NOBODY, NOBODY, NOBODY) != 0) {
      _exit(10);
    }
    _exit(check());
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// The backend runs as root and writes the settings: the service account's
// group reads them (and cannot change them), every other account is kept out
// of a printer's settings.
TEST_F(SerializeSettingsTest, OnlyTheServiceGroupReadsTheFile) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to write as one account and read as another";
  const long service_group = os_account_group(OS_SERVICE_ACCOUNT);
  if (service_group < 0) GTEST_SKIP() << "no service account (scripts/install-deps makes it)";
  ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
  const PrinterSettings written{1, 2, 0, 0, 1, 1};
  ASSERT_EQ(serialize_settings_writeout(dir_.c_str(), "office", &written), 1);
  const std::string path = path_of("office.dat");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(static_cast<long>(st.st_gid), service_group);

  const auto reads_back = [&] {
    PrinterSettings read_back{};
    if (serialize_settings_readin(dir_.c_str(), "office", &read_back) != 1) return 11;
    read_back.archiving = written.archiving;
    if (serialize_settings_equals(&read_back, &written) != 1) return 12;
    return access(path.c_str(), W_OK) == 0 ? 13 : 0;
  };
  EXPECT_EQ(as_other_account(static_cast<gid_t>(service_group), reads_back), 0);
  constexpr gid_t NOGROUP = 65534;
  EXPECT_EQ(as_other_account(NOGROUP, [&] { return access(path.c_str(), R_OK) == 0 ? 1 : 0; }),
            0);
}

}  // namespace
