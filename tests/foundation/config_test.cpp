#include "foundation/config.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/global.h"
#include "foundation/redirect_state.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

using sw_test::read_file;
using sw_test::TempDir;
using sw_test::write_file;

std::unique_ptr<SessionContext> make_defaults() {
  auto ctx = std::make_unique<SessionContext>();
  config_init_session_defaults(ctx.get());
  return ctx;
}

// Parses `text` as a configuration file into a context holding the defaults.
std::unique_ptr<SessionContext> parse_text(const std::string& text, int* result = nullptr) {
  TempDir dir;
  write_file(dir / "spoolwarden.conf", text);
  auto ctx = make_defaults();
  const int rc = config_parse_file((dir / "spoolwarden.conf").c_str(), ctx.get());
  if (result != nullptr) *result = rc;
  return ctx;
}

bool same_bytes(const SessionContext& a, const SessionContext& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Every key of the table, checked independently of it: type and default.
struct KeyDefault {
  const char* key;
  int type;
  int int_default;
  const char* text_default;
};

const KeyDefault KEY_DEFAULTS[] = {
    {"Debug", CONFIG_TYPE_HANDLER, 0, nullptr},
    {"OnAppServerError", CONFIG_TYPE_IGNORED, 0, nullptr},
    {"IgnoreDocumentNames", CONFIG_TYPE_TEXT, 0, ""},
    {"Logfile", CONFIG_TYPE_TEXT, 0, "spoolwarden.log"},
    {"ParseTimeout", CONFIG_TYPE_INT, 300, nullptr},
    {"ConnectTimeout", CONFIG_TYPE_INT, 10000, nullptr},
    {"NetworkTimeout", CONFIG_TYPE_INT, 120000, nullptr},
    {"ProcessJobConnectRetries", CONFIG_TYPE_INT, 2, nullptr},
    {"ApplicationServer", CONFIG_TYPE_TEXT, 0, "localhost"},
    {"ApplicationServerPort", CONFIG_TYPE_INT, 9191, nullptr},
    {"RedirectCheckPeriodSecs", CONFIG_TYPE_INT, 60, nullptr},
    {"ServerName", CONFIG_TYPE_HANDLER, 0, nullptr},
    {"DirectPrintingMode", CONFIG_TYPE_BOOL, 0, nullptr},
    {"CsvLogFilePath", CONFIG_TYPE_TEXT, 0, ""},
    {"PlainTextLinesPerPage", CONFIG_TYPE_INT, 66, nullptr},
    {"JobReplaySpoolDir", CONFIG_TYPE_TEXT, 0, ""},
    {"JobReplayAllowReplay", CONFIG_TYPE_BOOL, 1, nullptr},
    {"JobReplayPollIntervalSecs", CONFIG_TYPE_INT, 300, nullptr},
    {"JobReplayResendDelayMillis", CONFIG_TYPE_INT, 1000, nullptr},
    {"SettingsSpoolDir", CONFIG_TYPE_TEXT, 0, ""},
    {"LocksSpoolDir", CONFIG_TYPE_TEXT, 0, ""},
    {"ErrorPollPeriodsecs", CONFIG_TYPE_INT, 120, nullptr},
    {"HoldJobOnErrorMs", CONFIG_TYPE_INT, 120000, nullptr},
    {"SpoolSnapShotDir", CONFIG_TYPE_TEXT, 0, ""},
    {"CupsBackendDir", CONFIG_TYPE_TEXT, 0, ""},
    {"CupsSpoolDir", CONFIG_TYPE_TEXT, 0, ""},
    {"TmpCupsSpoolDir", CONFIG_TYPE_TEXT, 0, ""},
    {"CupsPrintersConfFile", CONFIG_TYPE_TEXT, 0, ""},
    {"CupsForceSingleCopy", CONFIG_TYPE_BOOL, 1, nullptr},
    {"CupsEventPollInterval", CONFIG_TYPE_INT, 3, nullptr},
    {"RedirectCommand", CONFIG_TYPE_TEXT, 0,
     R"(lp -d "%printer%" -h "%server%" -t "%docname%" -o raw "%spoolfile%" > /dev/null 2>&1)"},
    {"UnixPrintCommand", CONFIG_TYPE_TEXT, 0,
     R"(lp -d "%printer%" -h "%server%" -t "%docname%" %options% "%spoolfile%" > /dev/null 2>&1)"},
    {"JobDeleteCommand", CONFIG_TYPE_TEXT, 0,
     R"(cancel -U "%username%" "%jobid%" "%printer%" >/dev/null 2>&1)"},
    {"PrintMonitorPath", CONFIG_TYPE_TEXT, 0, ""},
    {"ForcedAttributesBySpoolModification", CONFIG_TYPE_BOOL, 1, nullptr},
    {"NovellUsernameRemoveSuffixes", CONFIG_TYPE_TEXT, 0, ""},
    {"ActiveJobsSpoolDir", CONFIG_TYPE_TEXT, 0, ""},
    {"HeldJobsSpoolDir", CONFIG_TYPE_TEXT, 0, ""},
    {"ActiveJobsResendDelayMillis", CONFIG_TYPE_INT, 100, nullptr},
    {"LogRotateNumber", CONFIG_TYPE_INT, 10, nullptr},
    {"LogRotateSizeKBytes", CONFIG_TYPE_INT, 10240, nullptr},
    {"DummyDocumentSizeBytes", CONFIG_TYPE_INT, 24, nullptr},
    {"ForceAttributesSpoolDir", CONFIG_TYPE_TEXT, 0, ""},
    {"ForceAttributesDebug", CONFIG_TYPE_BOOL, 0, nullptr},
    {"SpoolDir", CONFIG_TYPE_TEXT, 0, ""},
    {"SpooledJobsDir", CONFIG_TYPE_TEXT, 0, ""},
    {"EnableTransforms", CONFIG_TYPE_BOOL, 1, nullptr},
    {"TransformsDir", CONFIG_TYPE_TEXT, 0, ""},
    {"EnableTransformTestMode", CONFIG_TYPE_BOOL, 0, nullptr},
    {"TransformLogsDir", CONFIG_TYPE_TEXT, 0, ""},
    {"TransformLogsMax", CONFIG_TYPE_INT, 100, nullptr},
    {"TransformLogsCheckSecs", CONFIG_TYPE_INT, 300, nullptr},
    {"TransformCacheLifetimeSecs", CONFIG_TYPE_INT, 14400, nullptr},
    {"HWCheckWaitIdlePollIntervalMillis", CONFIG_TYPE_INT, 1000, nullptr},
    {"HWCheckWaitPrintingPollIntervalMillis", CONFIG_TYPE_INT, 1000, nullptr},
    {"HWCheckWaitMaxErrorPollBackoffSecs", CONFIG_TYPE_INT, 20, nullptr},
    {"HWCheckWaitErrorIncrementSecs", CONFIG_TYPE_INT, 2, nullptr},
    {"HWCheckWaitIdleNoerrorMaxSecs", CONFIG_TYPE_INT, 0, nullptr},
    {"HWCheckWaitPrintingNoerrorMaxSecs", CONFIG_TYPE_INT, 40, nullptr},
    {"HWCheckWaitIdleErrorMaxSecs", CONFIG_TYPE_INT, 0, nullptr},
    {"HWCheckWaitPrintingErrorMaxSecs", CONFIG_TYPE_INT, 0, nullptr},
    {"HWCheckSnmpTimeoutSecs", CONFIG_TYPE_INT, 2, nullptr},
    {"HWCheckSnmpRetries", CONFIG_TYPE_INT, 5, nullptr},
    {"HWCheckWaitRetriesAfter", CONFIG_TYPE_INT, 60, nullptr},
    {"HWCheckStabilizationNumLoopsBefore", CONFIG_TYPE_INT, 0, nullptr},
    {"HWCheckStabilizationNumLoopsAfter", CONFIG_TYPE_INT, 5, nullptr},
    {"HWCheckExtraTimeLoops", CONFIG_TYPE_INT, 60, nullptr},
    {"HWCheckIgnoreErrors", CONFIG_TYPE_TEXT, 0,
     "Service Requested|Input Tray Empty|Low Paper|Low Toner|No Toner|Marker Supply "
     "Missing|Output Near Full|Overdue Prevent Maintenance"},
    {"HWCheckModel1", CONFIG_TYPE_TEXT, 0, ""},
    {"HWCheckModel2", CONFIG_TYPE_TEXT, 0, ""},
    {"HWCheckModel3", CONFIG_TYPE_TEXT, 0, ""},
    {"HWCheckModel4", CONFIG_TYPE_TEXT, 0, ""},
    {"HWCheckModel5", CONFIG_TYPE_TEXT, 0, ""},
    {"HWCheckPortMonitorRunAsSystem", CONFIG_TYPE_BOOL, 0, nullptr},
    {"ServerEventsPollTimeoutMillis", CONFIG_TYPE_INT, 90000, nullptr},
    {"ServerEventsDisable", CONFIG_TYPE_BOOL, 0, nullptr},
    {"ServerEventsEnableOnDesktops", CONFIG_TYPE_BOOL, 0, nullptr},
    {"SpooledJobsManagerPollTimeoutMillis", CONFIG_TYPE_INT, 300000, nullptr},
    {"SpooledJobsManagerDisable", CONFIG_TYPE_BOOL, 0, nullptr},
    {"SpooledJobsManagerJobProcessLimit", CONFIG_TYPE_INT, 5, nullptr},
    {"SNMPCommunity", CONFIG_TYPE_TEXT, 0, "vorlex"},
    {"SNMPMapFailureToOffline", CONFIG_TYPE_BOOL, 1, nullptr},
    {"SNMPDisableErrorReporting", CONFIG_TYPE_BOOL, 0, nullptr},
    {"UsernameOverridePrefix", CONFIG_TYPE_TEXT, 0, ""},
    {"UsernameOverrideSuffix", CONFIG_TYPE_TEXT, 0, ""},
    {"UsernameOverrideRegex1", CONFIG_TYPE_TEXT, 0, ""},
    {"UsernameOverrideRegex2", CONFIG_TYPE_TEXT, 0, ""},
    {"UsernameOverrideRegex3", CONFIG_TYPE_TEXT, 0, ""},
    {"UsernameOverrideRegex4", CONFIG_TYPE_TEXT, 0, ""},
    {"UsernameOverrideRegex5", CONFIG_TYPE_TEXT, 0, ""},
    {"Force.*", CONFIG_TYPE_IGNORED, 0, nullptr},
    {"ArchiveDir", CONFIG_TYPE_TEXT, 0, ""},
    {"SavedSpoolDir", CONFIG_TYPE_TEXT, 0, ""},
    {"SavedSpoolKeepCount", CONFIG_TYPE_INT, 3, nullptr},
    {"SavedSpoolMaxPages", CONFIG_TYPE_INT, 10000, nullptr},
    {"SavedSpoolMaxCopies", CONFIG_TYPE_INT, 10000, nullptr},
    {"SavedSpoolMaxDimensionCm", CONFIG_TYPE_INT, 10000, nullptr},
    {"LogDevmode", CONFIG_TYPE_BOOL, 0, nullptr},
    {"ConvertGrayscaleRPJL", CONFIG_TYPE_BOOL, 1, nullptr},
    {"WatermarkPCL5MacroNumber", CONFIG_TYPE_INT, 22, nullptr},
    {"WatermarkPCL5MacroIsTemp", CONFIG_TYPE_INT, 0, nullptr},
    {"WatermarkPCL5NoGrayLevel", CONFIG_TYPE_BOOL, 0, nullptr},
    {"GzipCompress", CONFIG_TYPE_LONG_TEXT, 0, ""},
    {"CustomTokenFile", CONFIG_TYPE_TEXT, 0, ""},
};

}  // namespace

// ---- The key table and the defaults ----

TEST(ConfigKeys, TableHoldsEveryKeyInOrderWithItsTypeAndDefault) {
  ASSERT_EQ(config_vars.size(), std::size(KEY_DEFAULTS));
  auto ctx = make_defaults();
  for (std::size_t i = 0; i < config_vars.size(); ++i) {
    const ConfigVar& row = config_vars[i];
    const KeyDefault& want = KEY_DEFAULTS[i];
    SCOPED_TRACE(want.key);
    EXPECT_STREQ(row.name, want.key);
    EXPECT_EQ(row.type, want.type);
    if (want.type == CONFIG_TYPE_INT || want.type == CONFIG_TYPE_BOOL) {
      EXPECT_EQ(ctx.get()->*row.int_field, want.int_default);
    } else if (want.type == CONFIG_TYPE_TEXT || want.type == CONFIG_TYPE_LONG_TEXT) {
      EXPECT_STREQ(row.text_field(*ctx).data(), want.text_default);
    }
  }
}

TEST(ConfigKeys, DefaultsOfTheRecordOutsideTheTable) {
  auto ctx = make_defaults();
  EXPECT_STREQ(ctx->config_file_path, "spoolwarden.conf");
  EXPECT_EQ(ctx->env_version, 13);
  EXPECT_EQ(ctx->debug_logging, 0);
  EXPECT_EQ(ctx->dev_logging, 0);
  EXPECT_EQ(ctx->take_spool_snapshot, 0);
  EXPECT_STREQ(ctx->server_name, "");
  EXPECT_EQ(ctx->server_name_set, 0);
  EXPECT_STREQ(ctx->base_dir_path, "");
}

// Each key must reach its own field and no other: a value set through one
// row leaves every other row's field at its default.
TEST(ConfigKeys, EveryKeySetsItsOwnFieldOnly) {
  const auto defaults = make_defaults();
  std::set<std::ptrdiff_t> fields;
  for (const ConfigVar& row : config_vars) {
    if (row.type != CONFIG_TYPE_INT && row.type != CONFIG_TYPE_BOOL &&
        row.type != CONFIG_TYPE_TEXT && row.type != CONFIG_TYPE_LONG_TEXT) {
      continue;
    }
    SCOPED_TRACE(row.name);
    auto ctx = make_defaults();
    const char* value = row.type == CONFIG_TYPE_BOOL ? (row.int_default ? "off" : "on") : "4711";
    config_parse_line((std::string(row.name) + "=" + value).c_str(), 1, ctx.get());
    const void* field = nullptr;
    if (row.type == CONFIG_TYPE_INT || row.type == CONFIG_TYPE_BOOL) {
      field = &(ctx.get()->*row.int_field);
      EXPECT_NE(ctx.get()->*row.int_field, defaults.get()->*row.int_field);
      ctx.get()->*row.int_field = defaults.get()->*row.int_field;
    } else {
      const std::span<char> text = row.text_field(*ctx);
      field = text.data();
      EXPECT_STREQ(text.data(), "4711");
      std::memcpy(text.data(), row.text_field(*defaults).data(), text.size());
    }
    EXPECT_TRUE(same_bytes(*ctx, *defaults)) << "another field changed too";
    const std::ptrdiff_t offset =
        static_cast<const char*>(field) - reinterpret_cast<const char*>(ctx.get());
    EXPECT_TRUE(fields.insert(offset).second)
        << "two rows share a field";
  }
}

TEST(ConfigKeys, LookupIgnoresCaseAndHonoursPrefixRows) {
  struct Case {
    const char* key;
    const char* row;  // null: no row
  };
  const Case cases[] = {
      {"parsetimeout", "ParseTimeout"},  {"PARSETIMEOUT", "ParseTimeout"},
      {"Force.", "Force.*"},             {"force.Anything", "Force.*"},
      {"ForceAttributesDebug", "ForceAttributesDebug"},
      {"Force", nullptr},                {"ParseTimeout ", nullptr},
      {"\tParseTimeout", nullptr},       {"ParseTimeou", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    const ConfigVar* row = config_find_var(c.key);
    if (c.row == nullptr) {
      EXPECT_EQ(row, nullptr);
    } else {
      ASSERT_NE(row, nullptr);
      EXPECT_STREQ(row->name, c.row);
    }
  }
}

// ---- Lines of the configuration file ----

TEST(ConfigParse, LinesAgainstTheResultingContext) {
  struct Case {
    const char* name;
    std::string text;
    std::function<void(const SessionContext&)> check;
  };
  const std::string long_value(2000, 'v');
  const Case cases[] = {
      {"plain integer", "ParseTimeout=60\n",
       [](const SessionContext& c) { EXPECT_EQ(c.parse_timeout, 60); }},
      {"blanks around the value", "   ParseTimeout=  60   \r\n",
       [](const SessionContext& c) { EXPECT_EQ(c.parse_timeout, 60); }},
      {"blank before the equals sign is part of the key", "ParseTimeout =60\n",
       [](const SessionContext& c) { EXPECT_EQ(c.parse_timeout, 300); }},
      {"key case ignored", "pArSeTiMeOuT=61\n",
       [](const SessionContext& c) { EXPECT_EQ(c.parse_timeout, 61); }},
      {"tab is not a blank", "\tParseTimeout=62\n\t#ParseTimeout=63\n",
       [](const SessionContext& c) { EXPECT_EQ(c.parse_timeout, 300); }},
      {"comments", "#ParseTimeout=63\n;ParseTimeout=64\n   # ParseTimeout=65\n\n  \n",
       [](const SessionContext& c) { EXPECT_EQ(c.parse_timeout, 300); }},
      {"later line wins", "ParseTimeout=1\nParseTimeout=2\n",
       [](const SessionContext& c) { EXPECT_EQ(c.parse_timeout, 2); }},
      {"last line without line feed", "ParseTimeout=70",
       [](const SessionContext& c) { EXPECT_EQ(c.parse_timeout, 70); }},
      {"negative refused", "ParseTimeout=-5\n",
       [](const SessionContext& c) { EXPECT_EQ(c.parse_timeout, 300); }},
      {"no digits refused", "ParseTimeout=abc\n",
       [](const SessionContext& c) { EXPECT_EQ(c.parse_timeout, 300); }},
      {"digits then text", "ParseTimeout=10abc\n",
       [](const SessionContext& c) { EXPECT_EQ(c.parse_timeout, 10); }},
      {"largest 32-bit value", "ParseTimeout=2147483647\n",
       [](const SessionContext& c) { EXPECT_EQ(c.parse_timeout, 2147483647); }},
      {"one above refused", "ParseTimeout=2147483648\n",
       [](const SessionContext& c) { EXPECT_EQ(c.parse_timeout, 300); }},
      {"far too large refused", "ParseTimeout=999999999999999999999999999\n",
       [](const SessionContext& c) { EXPECT_EQ(c.parse_timeout, 300); }},
      {"plus sign", "ParseTimeout=+7\n",
       [](const SessionContext& c) { EXPECT_EQ(c.parse_timeout, 7); }},
      {"zero", "HWCheckSnmpRetries=0\n",
       [](const SessionContext& c) { EXPECT_EQ(c.hwcheck_snmp_retries, 0); }},
      {"empty value skipped", "ParseTimeout=   \nSNMPCommunity=\n",
       [](const SessionContext& c) {
         EXPECT_EQ(c.parse_timeout, 300);
         EXPECT_STREQ(c.snmp_community, "vorlex");
       }},
      {"value keeps hash, semicolon, equals and tabs",
       "IgnoreDocumentNames=a#b ; c=d\t\nUsernameOverrideRegex3=\tx\n",
       [](const SessionContext& c) {
         EXPECT_STREQ(c.ignore_document_names, "a#b ; c=d\t");
         EXPECT_STREQ(c.username_override_regex[2], "\tx");
       }},
      {"value ends at a carriage return", "SNMPCommunity=pub\rlic\n",
       [](const SessionContext& c) { EXPECT_STREQ(c.snmp_community, "pub"); }},
      {"booleans", "DirectPrintingMode=YES\nServerEventsDisable=true\nEnableTransforms=1\n"
                   "JobReplayAllowReplay=no\nLogDevmode=On\n",
       [](const SessionContext& c) {
         EXPECT_EQ(c.direct_printing_mode, 1);
         EXPECT_EQ(c.server_events_disable, 1);
         EXPECT_EQ(c.xvp_enabled, 0);
         EXPECT_EQ(c.jobreplay_allow_replay, 0);
         EXPECT_EQ(c.log_devmode, 1);
       }},
      {"texts cut to their buffers",
       "IgnoreDocumentNames=" + long_value + "\nSavedSpoolDir=" + long_value + "\n",
       [](const SessionContext& c) {
         EXPECT_EQ(std::strlen(c.ignore_document_names), 1023u);
         EXPECT_EQ(std::strlen(c.saved_spool_dir), 1023u);
       }},
      {"long text", "GzipCompress=" + std::string(5000, 'g') + "\n",
       [](const SessionContext& c) { EXPECT_EQ(std::strlen(c.gzip_compress), 5000u); }},
      {"debug dev then off", "Debug=dev\nDebug=off\n",
       [](const SessionContext& c) {
         EXPECT_EQ(c.debug_logging, 0);
         EXPECT_EQ(c.dev_logging, 1);
       }},
      {"debug snapshot", "Debug=SnapShot\n",
       [](const SessionContext& c) {
         EXPECT_EQ(c.debug_logging, 1);
         EXPECT_EQ(c.take_spool_snapshot, 1);
         EXPECT_EQ(c.dev_logging, 0);
       }},
      {"debug development", "Debug=Development\n",
       [](const SessionContext& c) {
         EXPECT_EQ(c.debug_logging, 1);
         EXPECT_EQ(c.dev_logging, 1);
       }},
      {"server name", "ServerName=print-01 east\n",
       [](const SessionContext& c) {
         EXPECT_STREQ(c.server_name, "print-01 east");
         EXPECT_EQ(c.server_name_set, 1);
       }},
      {"zero byte ends the line", std::string("ParseTimeout=5\0Debug=on\n", 25),
       [](const SessionContext& c) {
         EXPECT_EQ(c.parse_timeout, 5);
         EXPECT_EQ(c.debug_logging, 0);
       }},
      {"numbered keys", "HWCheckModel5=m5\nUsernameOverrideRegex1=r1\n",
       [](const SessionContext& c) {
         EXPECT_STREQ(c.hwcheck_model[4], "m5");
         EXPECT_STREQ(c.username_override_regex[0], "r1");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int rc = -2;
    auto ctx = parse_text(c.text, &rc);
    EXPECT_EQ(rc, 0);
    c.check(*ctx);
  }
}

TEST(ConfigParse, AcceptedLinesThatChangeNothing) {
  const char* cases[] = {
      "Force.PageSize=A4\n", "force.=x\n",   "OnAppServerError=hold\n",
      "Copyright=2016\n",    "NoSuchKey=1\n", "=value\n",
      "just text\n",         "ParseTimeout\n", "\x08\x08 # comment after backspaces\n",
  };
  const auto defaults = make_defaults();
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    testing::internal::CaptureStderr();
    auto ctx = parse_text(text);
    (void)testing::internal::GetCapturedStderr();
    EXPECT_TRUE(same_bytes(*ctx, *defaults));
  }
}

TEST(ConfigParse, ReportsBadLinesOnStandardError) {
  struct Case {
    std::string text;
    bool dev;
    std::string expected;  // empty: nothing written
  };
  const Case cases[] = {
      {"ParseTimeout=5\ngarbage\n", false,
       "Invalid config setting at line number: 2 with line: \"garbage\"\n"},
      {"  =5\n", false, "Invalid name in config file at line number: 1\n"},
      {"ParseTimeout=abc\n", false, "Invalid value assigned to ParseTimeout\n"},
      {"ParseTimeout=-1\n", false, "Invalid value assigned to ParseTimeout\n"},
      {"Bogus=1\n", false, ""},
      {"#x\nBogus=1 2\n", true,
       "Ignoring config entry (Bogus=1 2) at line: 2 - invalid entry or for other OS\n"},
      {"ParseTimeout =60\n", true,
       "Ignoring config entry (ParseTimeout =60) at line: 1 - invalid entry or for other OS\n"},
      {"Force.X=1\nCOPYRIGHT=me\nParseTimeout=\n", true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TempDir dir;
    write_file(dir / "c.conf", c.text);
    auto ctx = make_defaults();
    ctx->dev_logging = c.dev ? 1 : 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(config_parse_file((dir / "c.conf").c_str(), ctx.get()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.expected);
  }
}

TEST(ConfigParse, ParsingTurnsDebugOffUnlessTheFileTurnsItOn) {
  TempDir dir;
  write_file(dir / "off.conf", "ParseTimeout=5\n");
  write_file(dir / "on.conf", "Debug=on\n");
  auto ctx = make_defaults();
  ctx->debug_logging = 1;
  testing::internal::CaptureStderr();
  EXPECT_EQ(config_parse_file((dir / "off.conf").c_str(), ctx.get()), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Parsing config file: " + (dir / "off.conf") + "\n");
  EXPECT_EQ(ctx->debug_logging, 0);
  EXPECT_EQ(config_parse_file((dir / "on.conf").c_str(), ctx.get()), 0);
  EXPECT_EQ(ctx->debug_logging, 1);
}

// A line longer than the line buffer is cut; its tail must not be read as a
// line of its own (it could set any key).
TEST(ConfigParse, OverlongLineIsCutAndItsTailIgnored) {
  const std::string prefix = "GzipCompress=";
  const std::string head(CONFIG_MAX_LINE - prefix.size(), 'x');
  const std::string text = prefix + head + "ParseTimeout=5\nPlainTextLinesPerPage=70\nbad\n";
  testing::internal::CaptureStderr();
  auto ctx = parse_text(text);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(ctx->parse_timeout, 300);
  EXPECT_EQ(ctx->lines_per_page, 70);
  EXPECT_EQ(std::string(ctx->gzip_compress), head);
  EXPECT_NE(err.find("line number: 3 with line: \"bad\""), std::string::npos) << err;
}

TEST(ConfigParse, FilesThatCannotBeParsed) {
  TempDir dir;
  fs::create_directory(dir / "adir");
  ::mkfifo((dir / "fifo").c_str(), 0600);
  struct Case {
    std::string path;
    std::string message;
  };
  const Case cases[] = {
      {"", "Invalid config file path\n"},
      {dir / "missing.conf", "Failed to open config file: " + (dir / "missing.conf") + ", cwd="},
      {dir / "adir", "Failed to open config file: " + (dir / "adir")},
      {dir / "fifo", "Failed to open config file: " + (dir / "fifo")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    auto ctx = make_defaults();
    testing::internal::CaptureStderr();
    EXPECT_EQ(config_parse_file(c.path.c_str(), ctx.get()), -1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind(c.message, 0), 0u) << err;
  }
}

// ---- The environment-version file ----

TEST(ConfigEnvVersion, FileContentsAgainstTheVersion) {
  struct Case {
    const char* text;
    int version;
  };
  const Case cases[] = {
      {"EnvVersion=9\n", 9},
      {"envversion=12\n", 12},
      {"  EnvVersion = 11  \n", 13},  // the blank before "=" belongs to the key
      {"EnvVersion=11=3\n", 11},
      {"EnvVersion=7abc\n", 7},
      {"EnvVersion=x1\n", 13},
      {"EnvVersion=-4\n", 13},
      {"EnvVersion=99999999999999\n", 13},
      {"EnvVersion=\n", 13},
      {"# EnvVersion=5\nOther=1\n", 13},
      {"garbage\n=3\nEnvVersion=10\n", 10},
      {"", 13},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TempDir dir;
    write_file(dir / "env-version", c.text);
    auto ctx = make_defaults();
    EXPECT_EQ(config_load_env_version((dir / "env-version").c_str(), ctx.get()), 0);
    EXPECT_EQ(ctx->env_version, c.version);
  }
}

TEST(ConfigEnvVersion, MissingFileKeepsTheVersion) {
  TempDir dir;
  auto ctx = make_defaults();
  ctx->env_version = 12;
  EXPECT_EQ(config_load_env_version((dir / "env-version").c_str(), ctx.get()), -1);
  EXPECT_EQ(config_load_env_version("", ctx.get()), -1);
  EXPECT_EQ(ctx->env_version, 12);
}

// ---- Direct printing mode ----

TEST(ConfigDirectPrinting, ForcesOnlyWhatTheFileLeftAlone) {
  struct Case {
    const char* text;
    int connect_timeout;
    int retries;
  };
  const Case cases[] = {
      {"DirectPrintingMode=on\n", 3000, 0},
      {"DirectPrintingMode=on\nConnectTimeout=5000\n", 5000, 0},
      {"DirectPrintingMode=on\nProcessJobConnectRetries=3\n", 3000, 3},
      {"DirectPrintingMode=on\nServerEventsDisable=off\n", 3000, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto ctx = parse_text(c.text);
    config_set_direct_printing_defaults(ctx.get());
    EXPECT_EQ(ctx->server_events_disable, 1);
    EXPECT_EQ(ctx->connect_timeout_ms, c.connect_timeout);
    EXPECT_EQ(ctx->process_job_connect_retries, c.retries);
  }
}

// ---- Finding the file and deriving the rest ----

namespace {

// A configuration directory three levels below a temp root, with a command
// next to the file, so that the derived archive path can be made to exist.
struct Install {
  TempDir root;
  std::string base = root / "a/b/c";
  std::string command = base + "/spoolwarden-backend";
  std::string conf = base + "/spoolwarden.conf";

  void write(const std::string& conf_text, const std::string& env_text = "") {
    write_file(conf, conf_text);
    if (!env_text.empty()) write_file(base + "/env-version", env_text);
  }
};

bool fixed_paths_hold_a_file() {
  for (const char* p : {"/home/torvelle/providers/print/linux-x64/spoolwarden.conf",
                        "/etc/spoolwarden.conf", "/etc/torvelle/spoolwarden.conf"}) {
    if (fs::exists(p)) return true;
  }
  return false;
}

}  // namespace

class ConfigLoad : public testing::Test {
 protected:
  void TearDown() override { log_set_path(""); }

  const sw_test::ScopedGlobalContext context_;
};

TEST_F(ConfigLoad, FindsTheFileNextToAnAbsoluteCommandAndDerivesDirectories) {
  Install in;
  in.write("ParseTimeout=42\n", "EnvVersion=13\n");
  auto ctx = make_defaults();
  ASSERT_EQ(config_load_no_exit(in.command.c_str(), ctx.get(), nullptr, nullptr), 0);
  const std::string& b = in.base;
  const std::string spool = b + "/spool";
  struct Expect {
    const char* field;
    const char* actual;
    std::string want;
  };
  const Expect expects[] = {
      {"config_file_path", ctx->config_file_path, in.conf},
      {"base_dir_path", ctx->base_dir_path, b},
      {"spool_dir_path", ctx->spool_dir_path, spool},
      {"log_file_path", ctx->log_file_path, b + "/spoolwarden.log"},
      {"jobreplay", ctx->jobreplay_spool_dir_path, spool + "/jobreplay"},
      {"activejobs", ctx->activejobs_spool_dir_path, spool + "/activejobs"},
      {"forceattr", ctx->forceattr_spool_dir_path, spool + "/forceattr"},
      {"settings", ctx->settings_spool_dir_path, spool + "/settings"},
      {"locks", ctx->locks_spool_dir_path, spool + "/locks"},
      {"heldjobs", ctx->heldjobs_spool_dir_path, spool + "/heldjobs"},
      {"spooledjobs", ctx->spooled_jobs_spool_dir_path, spool + "/spooledjobs"},
      {"transforms", ctx->xvp_scripts_dir_path, b + "/transforms"},
      {"transform logs", ctx->xvp_logs_dir_path, b + "/transforms/logs"},
      {"saved spool", ctx->saved_spool_dir, b + "/savedspoolfiles"},
      {"print monitor", ctx->print_monitor_path, b + "/ze-zorov-eredazo"},
      {"custom token file", ctx->custom_token_file, b + "/custom-tokens.conf"},
      {"archive (absent)", ctx->archive_dir, ""},
      {"env version file", ctx->env_version_file_path, b + "/env-version"},
  };
  for (const Expect& e : expects) EXPECT_EQ(std::string(e.actual), e.want) << e.field;
  EXPECT_EQ(ctx->parse_timeout, 42);
  EXPECT_NE(ctx->server_name[0], '\0');  // the host name
  EXPECT_EQ(ctx->server_name_set, 0);
}

TEST_F(ConfigLoad, ConfiguredDirectoriesWinOverDerivedOnes) {
  Install in;
  const std::string spool = in.root / "myspool";
  const std::string archive = in.root / "server/data/archive";
  fs::create_directories(archive);
  in.write("SpoolDir=" + spool + "\nHeldJobsSpoolDir=/srv/held\nTransformsDir=" +
               (in.root / "xvp") + "\nLogfile=" + (in.root / "own.log") +
               "\nServerName=ps1\n",
           "EnvVersion=9\n");
  auto ctx = make_defaults();
  ASSERT_EQ(config_load_no_exit(in.command.c_str(), ctx.get(), nullptr, nullptr), 0);
  EXPECT_EQ(std::string(ctx->locks_spool_dir_path), spool + "/locks");
  EXPECT_STREQ(ctx->heldjobs_spool_dir_path, "/srv/held");
  EXPECT_EQ(std::string(ctx->xvp_scripts_dir_path), in.root / "xvp");
  EXPECT_EQ(std::string(ctx->xvp_logs_dir_path), in.root / "xvp/logs");
  EXPECT_EQ(std::string(ctx->log_file_path), in.root / "own.log");
  EXPECT_EQ(std::string(ctx->archive_dir), in.base + "/../../../server/data/archive");
  EXPECT_STREQ(ctx->server_name, "ps1");
  // The version file is read after the transform directories were derived.
  EXPECT_EQ(ctx->env_version, 9);
}

// A derived path that does not fit its field is left empty: cut short it
// would name some other directory.
TEST_F(ConfigLoad, DerivedPathsThatDoNotFitAreNotCut) {
  Install in;
  const std::string spool = "/" + std::string(1014, 'd');  // 1015 characters
  in.write("SpoolDir=" + spool + "\n");
  auto ctx = make_defaults();
  ASSERT_EQ(config_load_no_exit(in.command.c_str(), ctx.get(), nullptr, nullptr), 0);
  EXPECT_EQ(std::string(ctx->locks_spool_dir_path), spool + "/locks");   // 1021 characters
  EXPECT_EQ(std::string(ctx->heldjobs_spool_dir_path), "");              // would be 1024
  EXPECT_EQ(std::string(ctx->jobreplay_spool_dir_path), "");
  EXPECT_EQ(std::string(ctx->spooled_jobs_spool_dir_path), "");
}

TEST_F(ConfigLoad, TransformDirectoriesOnlyForNewerEnvironments) {
  Install in;
  in.write("ParseTimeout=1\n");
  auto ctx = make_defaults();
  ctx->env_version = 10;
  ASSERT_EQ(config_load_no_exit(in.command.c_str(), ctx.get(), nullptr, nullptr), 0);
  EXPECT_STREQ(ctx->xvp_scripts_dir_path, "");
  EXPECT_STREQ(ctx->xvp_logs_dir_path, "");
}

TEST_F(ConfigLoad, DirectPrintingModeAppliedDuringTheLoad) {
  Install in;
  in.write("DirectPrintingMode=on\nProcessJobConnectRetries=4\n");
  auto ctx = make_defaults();
  ASSERT_EQ(config_load_no_exit(in.command.c_str(), ctx.get(), nullptr, nullptr), 0);
  EXPECT_EQ(ctx->connect_timeout_ms, 3000);
  EXPECT_EQ(ctx->process_job_connect_retries, 4);
  EXPECT_EQ(ctx->server_events_disable, 1);
}

TEST_F(ConfigLoad, LogDirectoryAndNameOnlyLocateTheFile) {
  Install in;
  in.write("ParseTimeout=42\n");
  const std::string logs = in.root / "logs";
  auto ctx = make_defaults();
  ASSERT_EQ(config_load_no_exit(in.command.c_str(), ctx.get(), logs.c_str(), "x.log"), 0);
  EXPECT_EQ(std::string(ctx->config_file_path), in.conf);
  EXPECT_EQ(ctx->parse_timeout, 300);  // not parsed
  EXPECT_EQ(std::string(ctx->log_file_path), logs + "/x.log");

  // A preset path is kept as it is and not searched for.
  auto preset = make_defaults();
  const std::string other = in.root / "other/elsewhere.conf";
  std::strcpy(preset->config_file_path, other.c_str());
  ASSERT_EQ(config_load_no_exit("relative", preset.get(), logs.c_str(), "y.log"), 0);
  EXPECT_EQ(std::string(preset->config_file_path), other);
  EXPECT_EQ(std::string(preset->base_dir_path), in.root / "other");
  EXPECT_EQ(std::string(preset->log_file_path), logs + "/y.log");

  // Only a name: it goes into the base directory.
  auto name_only = make_defaults();
  ASSERT_EQ(config_load_no_exit(in.command.c_str(), name_only.get(), nullptr, "z.log"), 0);
  EXPECT_EQ(std::string(name_only->log_file_path), in.base + "/z.log");
  EXPECT_EQ(name_only->parse_timeout, 42);
}

TEST_F(ConfigLoad, PresetPathWithoutLogTargetIsNotFound) {
  Install in;
  in.write("ParseTimeout=42\n");
  auto ctx = make_defaults();
  std::strcpy(ctx->config_file_path, in.conf.c_str());
  testing::internal::CaptureStderr();
  EXPECT_EQ(config_load_no_exit(in.command.c_str(), ctx.get(), nullptr, nullptr), 10);
  EXPECT_NE(testing::internal::GetCapturedStderr().find(
                "Torvelle ZK: Unable to find the config file: spoolwarden.conf. Check the path "
                "for the configuration file and possibly ensure SELinux is not enabled\n"),
            std::string::npos);
  EXPECT_EQ(ctx->parse_timeout, 300);
}

// A directory carrying the file's name is not a configuration file: the
// search passes it by.
TEST_F(ConfigLoad, DirectoryNamedLikeTheFileIsPassedBy) {
  if (fixed_paths_hold_a_file()) GTEST_SKIP() << "a configuration file is installed here";
  if (fs::exists("spoolwarden.conf")) GTEST_SKIP() << "the current directory holds one";
  Install in;
  fs::create_directories(in.conf);
  auto ctx = make_defaults();
  testing::internal::CaptureStderr();
  EXPECT_EQ(config_load_no_exit(in.command.c_str(), ctx.get(), nullptr, nullptr), 10);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Unable to find spoolwarden config file\n"), std::string::npos) << err;
}

TEST_F(ConfigLoad, DebugSearchTraceOnStandardError) {
  Install in;
  in.write("ParseTimeout=1\n");
  auto ctx = make_defaults();
  ctx->debug_logging = 1;
  testing::internal::CaptureStderr();
  ASSERT_EQ(config_load_no_exit(in.command.c_str(), ctx.get(), nullptr, nullptr), 0);
  const std::string err = testing::internal::GetCapturedStderr();
  const std::string expected = "Searching for spoolwarden config file\n"
                               "Absolute command argument to base search: " + in.command + "\n"
                               "Checking on path " + in.conf + "\n"
                               "Found matching conf file based off command path: " + in.conf +
                               "\nParsing config file: " + in.conf + "\n";
  EXPECT_EQ(err.rfind(expected, 0), 0u) << err;
}

// The dump and the announcements go to the log that the load itself sets up.
TEST_F(ConfigLoad, DumpsTheContextToTheLogInOrder) {
  global_init();
  Install in;
  in.write("Debug=on\nDirectPrintingMode=on\nHWCheckModel2=m2\nUsernameOverridePrefix=pre\n",
           "EnvVersion=12\n");
  testing::internal::CaptureStderr();
  ASSERT_EQ(config_load_no_exit(in.command.c_str(), &global_ctx, nullptr, nullptr), 0);
  (void)testing::internal::GetCapturedStderr();
  log_set_path("");
  global_ctx.debug_logging = 0;
  const std::string log = read_file(in.base + "/spoolwarden.log");
  const std::string spool = in.base + "/spool";
  const std::vector<std::string> in_order = {
      "Direct Printing Mode: forcing ServerEventsDisable=on",
      "Set jobreplay spool dir to \"" + spool + "/jobreplay\"",
      "Serialize settings: Set settings spool dir to \"" + spool + "/settings\"",
      "Set spooled jobs spool dir to \"" + spool + "/spooledjobs\"",
      "Set transform scripts dir to \"" + in.base + "/transforms\"",
      "Environment version: 12",
      "Dump of Session Context:",
      "config_file_path: " + in.conf,
      "send_timeout_ms: 120000",
      "env_version: 12",
      "take_spool_snapshot: 0",
      "hwcheck_wait_max_error__poll_backoff_secs: 20",
      "hwcheck_model2: m2",
      "username_override_prefix: 'pre'",
      "spooled_jobs_manager_process_limit: 5",
      "xvp_scripts_dir_path: " + in.base + "/transforms",
      "xvp_printer_cache_lifetime_secs: 14400",
      "gzip print jobs sent to : ",
      "direct_printing_mode: 1 will not work with current env_var=12.  Minimum env_var "
      "required is: 13.",
  };
  std::size_t at = 0;
  for (const std::string& entry : in_order) {
    const std::size_t found = log.find(entry, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << entry << "\n" << log;
    at = found + entry.size();
  }
  const std::size_t error_at = log.find("direct_printing_mode: 1 will not");
  const std::size_t line_start = log.rfind('\n', error_at) + 1;
  EXPECT_NE(log.substr(line_start, error_at - line_start).find(" ERROR: "), std::string::npos);
  for (const char* absent : {"ignore_document_names:", "hwcheck_model1:", "hwcheck_model3:",
                             "username_override_suffix:", "direct_printing_mode: 1 ["}) {
    EXPECT_EQ(log.find(absent), std::string::npos) << absent;
  }
}

// ---- Exit statuses of config_load ----

namespace {

// Bodies of the death tests: each ends the child process.
[[noreturn]] void load_from_empty_dir(const std::string& dir, const std::string& command) {
  if (::chdir(dir.c_str()) != 0) std::_Exit(99);
  auto ctx = make_defaults();
  config_load(command.c_str(), ctx.get());
  std::_Exit(0);
}

[[noreturn]] void load_as_unprivileged_user(const std::string& command) {
  // Root reads anything: drop to an unprivileged account first.
  if (::geteuid() == 0 &&
      (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
    std::_Exit(98);
  }
  auto ctx = make_defaults();
  config_load(command.c_str(), ctx.get());
  std::_Exit(0);
}

[[noreturn]] void load_without_free_descriptors(const std::string& command) {
  // No descriptor left: the file is found and readable, but cannot be opened.
  const int lowest = ::dup(0);
  if (lowest < 0) std::_Exit(97);
  ::close(lowest);
  static rlimit saved{};
  if (::getrlimit(RLIMIT_NOFILE, &saved) != 0) std::_Exit(96);
  rlimit limit = saved;
  limit.rlim_cur = static_cast<rlim_t>(lowest);
  if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) std::_Exit(96);
  // The leak checker that runs at exit needs descriptors again.
  std::atexit([] { (void)::setrlimit(RLIMIT_NOFILE, &saved); });
  auto ctx = make_defaults();
  config_load(command.c_str(), ctx.get());
  std::_Exit(0);
}

}  // namespace

using ConfigLoadDeathTest = ConfigLoad;

TEST_F(ConfigLoadDeathTest, ExitsTenWhenNoFileIsFound) {
  if (fixed_paths_hold_a_file()) GTEST_SKIP() << "a configuration file is installed here";
  TempDir empty;
  EXPECT_EXIT(load_from_empty_dir(empty.path(), empty / "bin/prog"), testing::ExitedWithCode(10),
              "Unable to find spoolwarden config file");
}

TEST_F(ConfigLoadDeathTest, ExitsTenForAPresetPath) {
  Install in;
  in.write("ParseTimeout=1\n");
  EXPECT_EXIT(
      {
        auto ctx = make_defaults();
        std::strcpy(ctx->config_file_path, in.conf.c_str());
        config_load(in.command.c_str(), ctx.get());
        std::_Exit(0);
      },
      testing::ExitedWithCode(10), "Torvelle ZK: Unable to find the config file");
}

TEST_F(ConfigLoadDeathTest, ExitsElevenWhenTheFileIsNotReadable) {
  Install in;
  in.write("ParseTimeout=1\n");
  ::chmod(in.conf.c_str(), 0);
  for (fs::path d = in.base; d.string().size() >= in.root.path().size(); d = d.parent_path()) {
    ::chmod(d.c_str(), 0755);
  }
  EXPECT_EXIT(load_as_unprivileged_user(in.command), testing::ExitedWithCode(11),
              "Torvelle ZK: No read permissions for the config file: ");
}

TEST_F(ConfigLoadDeathTest, ExitsTwelveWhenTheFileCannotBeOpened) {
  Install in;
  in.write("ParseTimeout=1\n");
  EXPECT_EXIT(load_without_free_descriptors(in.command), testing::ExitedWithCode(12),
              "Torvelle ZK: Problem parsing config file: ");
}

// ---- A real program started by its absolute path ----

namespace {

// argv[0] of this process as it was started.
std::string own_argv0() {
  const std::string cmdline = read_file("/proc/self/cmdline");
  return cmdline.substr(0, cmdline.find('\0'));
}

struct RunResult {
  int status;
  std::string output;
};

RunResult run(const std::string& command) {
  RunResult result{-1, {}};
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace

// Run twice: as the test, it places a configuration file beside a link to
// this test program and starts the link by its absolute path; as the
// started program (SW_CONFIG_PROBE set), it loads the configuration the way
// the system's programs do and prints what it found.
TEST(ConfigStart, FindsTheFileBesideTheProgramStartedByAbsolutePath) {
  if (std::getenv("SW_CONFIG_PROBE") != nullptr) {
    global_init();
    config_load(own_argv0().c_str(), &global_ctx);
    std::printf("config_file_path=%s\nparse_timeout=%d\n", global_ctx.config_file_path,
                global_ctx.parse_timeout);
    return;
  }
  const bool have_setpriv = std::system("command -v setpriv >/dev/null 2>&1") == 0;
  TempDir dir;
  ::chmod(dir.path().c_str(), 0755);
  const std::string program = dir / "spoolwarden-probe";
  fs::create_symlink(fs::canonical("/proc/self/exe"), program);
  write_file(dir / "spoolwarden.conf", "ParseTimeout=77\n");
  const std::string as_nobody = "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
  struct Case {
    const char* name;
    bool unprivileged;
    mode_t mode;
    int status;
    std::string output;
  };
  const Case cases[] = {
      {"readable", false, 0644, 0,
       "config_file_path=" + (dir / "spoolwarden.conf") + "\nparse_timeout=77\n"},
      {"readable by an unprivileged user", true, 0644, 0, "parse_timeout=77\n"},
      {"unreadable for an unprivileged user", true, 0, 11,
       "Torvelle ZK: No read permissions for the config file: " + (dir / "spoolwarden.conf") +
           ".\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.unprivileged && (!have_setpriv || ::geteuid() != 0)) continue;
    ::chmod((dir / "spoolwarden.conf").c_str(), c.mode);
    const std::string command =
        "SW_CONFIG_PROBE=1 ASAN_OPTIONS=detect_leaks=0 " + (c.unprivileged ? as_nobody : "") +
        program + " --gtest_filter=ConfigStart.* 2>&1";
    const RunResult r = run(command);
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_NE(r.output.find(c.output), std::string::npos) << r.output;
  }
}

// ---- Start-up ----

TEST(GlobalInit, ClearsTheRedirectAndLoadsDefaults) {
  const sw_test::ScopedGlobalContext context;
  global_redirect_state.active = 1;
  global_redirect_state.start_time = 1234;
  std::strcpy(global_redirect_state.host, "elsewhere");
  global_ctx.parse_timeout = 1;
  std::strcpy(global_ctx.config_file_path, "/x.conf");
  global_init();
  EXPECT_EQ(global_redirect_state.active, 0);
  EXPECT_EQ(global_redirect_state.start_time, 0);
  EXPECT_STREQ(global_redirect_state.host, "");
  const auto defaults = make_defaults();
  EXPECT_TRUE(same_bytes(global_ctx, *defaults));
}
