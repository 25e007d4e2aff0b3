// Choosing a printer's model entry: the built-in table, the configuration's
// HWCheckModel lines, and the settings they give a watched printer.
#include "hwcheck_test_support.h"

#include "hwcheck/snmp_printer_data.h"

namespace {

using sw_test::counter;
using sw_test::FakeAgent;
using sw_test::integer;

// The row number (1 to 23) the table chooses, 0 for none.
int builtin_row(int enterprise, const char* descr) {
  const auto& table = snmp_builtin_model_table();
  const HwcheckModelConfig* row =
      snmp_find_model_entry(enterprise, descr, table.data(), table.size());
  return row == nullptr ? 0 : static_cast<int>(row - table.data()) + 1;
}

class ModelTable : public sw_test::HwcheckTest {};

TEST_F(ModelTable, BestRowForDescriptionAndMaker) {
  ASSERT_EQ(snmp_builtin_model_table().size(), HWCHECK_BUILTIN_MODEL_ROWS);
  struct Case {
    const char* descr;
    int enterprise;
    int row;
  };
  const Case cases[] = {
      // An exact model after the make and a blank.
      {"TOSHIBA e-STUDIO4520C", 1129, 23},
      // Exact match only: a longer model falls back to the make.
      {"TOSHIBA e-STUDIO4520CS", 1129, 22},
      // The second make "Ricoh Aficio", then the model, caseless.
      {"RICOH Aficio MP C3002", 367, 13},
      // The longest model wins over a shorter prefix (MP C300).
      {"Ricoh MP C3003 series", 367, 13},
      {"Canon LBP9660C", 1602, 2},
      {"Canon iR-ADV C5535", 1602, 1},
      {"Samsung CLP-620 Series", 236, 4},
      {"HP LaserJet 4250", 11, 8},
      // No make matches: the maker's rows without models are enterprise
      // fallbacks, and the last one is kept.
      {"Generic 30C-9", 1347, 21},
      // A make-matched fallback is not displaced by later fallbacks.
      {"TASKalfa 3551ci", 1347, 19},
      // A description shorter than the make: nothing is compared past its end.
      {"R", 367, 11},
      {"", 367, 11},
      {"Brother HL-L2350DW", 2435, 0},
      // An unknown maker number matches no row by number.
      {"Unknown", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.descr);
    EXPECT_EQ(builtin_row(c.enterprise, c.descr), c.row);
  }
}

TEST_F(ModelTable, ConfigurationLines) {
  struct Case {
    const char* name;
    const char* line;
    bool kept;
    const char* logged;
  };
  const Case cases[] = {
      {"plain", "model=\"MP C3002\" make=\"Ricoh\" customcounter=\"0\"", true, nullptr},
      {"blanks and tabs", "  model = \"X 1\"\tmake=\"Acme\"\r\n", true, nullptr},
      {"unknown names ignored", "model=\"X\" colour=\"1.3.6\"", true, nullptr},
      {"no model", "make=\"Ricoh\"", false, "Missing model variable from hwcheck config line"},
      {"unquoted", "model=MP", false, "Failed to read hwcheck config line"},
      {"unterminated", "model=\"MP", false, "Failure stopped at"},
      {"line end in value", "model=\"MP\nC\"", false, "Failed to read hwcheck config line"},
      {"no =", "model", false, "Failed to read hwcheck config line"},
      {"five totals", "model=\"M\" total=\"1.3\" total=\"1.3\" total=\"1.3\" total=\"1.3\" total=\"1.3\"",
       false, "too many total count oids specified"},
      {"bad number left unset", "model=\"M\" beforeloops=\"ten\" errorbyteswap=\"2\"", true,
       "Invalid data \"ten\" for beforeloops"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log_.clear();
    std::vector<HwcheckModelConfig> entries;
    process_hwcheck_model_str(c.line, &entries);
    EXPECT_EQ(entries.size(), c.kept ? 1u : 0u);
    if (c.logged != nullptr) {
      EXPECT_TRUE(logged(c.logged)) << log_text();
    }
  }
  std::vector<HwcheckModelConfig> entries;
  process_hwcheck_model_str(
      "model=\"MP C3002\" make=\"Ricoh\" customcounter=\"0\" beforeloops=\"ten\" "
      "errorbyteswap=\"2\" afterloops=\"4\" PAUSEONPAPERTRAYERROR=\"alltrays\" "
      "total=\"1.3.6.1.4.1.367.3.2.1.2.19.2.0\"",
      &entries);
  ASSERT_EQ(entries.size(), 1u);
  const HwcheckModelConfig& e = entries[0];
  EXPECT_EQ(e.model_strings, std::vector<std::string>{"MP C3002"});
  EXPECT_EQ(e.make_strings, std::vector<std::string>{"Ricoh"});
  EXPECT_EQ(e.do_custom_counter, 0);
  EXPECT_EQ(e.loops_before, HWCHECK_LOOPS_UNSET);
  EXPECT_EQ(e.loops_after, 4);
  EXPECT_EQ(e.error_byte_swap, HWCHECK_FLAG_UNSET);
  EXPECT_EQ(e.use_device_status, HWCHECK_FLAG_UNSET);
  EXPECT_EQ(e.pause_on_tray_error, TRAY_PAUSE_ALL_TRAYS);
  EXPECT_EQ(e.total_mibs.size(), 1u);
  // At most five entries.
  for (int i = 0; i < 6; ++i) process_hwcheck_model_str("model=\"M\"", &entries);
  EXPECT_EQ(entries.size(), HWCHECK_MAX_USER_MODELS);
}

// The dump of the whole table, for an administrator reading the debug log:
// the configuration's entries, then every built-in row; nothing without
// debug logging.
TEST_F(ModelTable, TableDumpListsTheConfigurationEntriesThenTheBuiltInRows) {
  std::vector<HwcheckModelConfig> entries;
  process_hwcheck_model_str("model=\"MP C3002\" make=\"Ricoh\" afterloops=\"4\"", &entries);
  ASSERT_EQ(entries.size(), 1u);
  const auto count = [](const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  log_.clear();
  snmp_log_hwcheck_model_table(entries);
  const std::string text = log_text();
  EXPECT_EQ(count(text, "HWCheck Config Entry (config):"), 1u);
  EXPECT_EQ(count(text, "HWCheck Config Entry (internal):"), HWCHECK_BUILTIN_MODEL_ROWS);
  const auto config = text.find("HWCheck Config Entry (config):");
  EXPECT_LT(config, text.find("HWCheck Config Entry (internal):"));
  EXPECT_NE(text.find("model_string[0] = \"MP C3002\"", config), std::string::npos);
  EXPECT_NE(text.find("stabilization_num_loops_after = 4", config), std::string::npos);
  EXPECT_NE(text.find("model_string[7] = \"e-STUDIO855\""), std::string::npos);  // row 23
  log_.clear();
  global_ctx.debug_logging = 0;
  snmp_log_hwcheck_model_table(entries);
  EXPECT_EQ(log_text().find("HWCheck Config Entry"), std::string::npos);
}

// A Ricoh MP C3002 (row 13 through the make Ricoh) whose counter-type table puts the total at index 2, the
// colour at 5 and the large pages at 9; row 13's own objects answer too.
void ricoh_c3002(FakeAgent& agent) {
  sw_test::idle_printer(agent, "RICOH MP C3002", 367, 1000);
  const std::string types = "1.3.6.1.4.1.367.3.2.1.2.19.5.1.2.";
  const std::string values = "1.3.6.1.4.1.367.3.2.1.2.19.5.1.9.";
  agent.set(types + "2", integer(400));
  agent.set(types + "5", integer(606));
  agent.set(types + "9", integer(700));
  agent.set(types + "11", integer(123));
  for (int i : {2, 5, 9, 19, 46}) agent.set(values + std::to_string(i), counter(100 + i));
  agent.set("1.3.6.1.4.1.367.3.2.1.2.19.2.0", counter(5000));
}

std::string object_text(const SnmpMetricArray& array, int i) {
  if (i >= array.count) return "";
  char text[SNMP_OID_TEXT_SIZE];
  snmp_format_oid(snmp_oid_view(array.entries[i].object), text, sizeof text);
  return text;
}

TEST_F(ModelTable, RicohCounterCheckAndItsSwitch) {
  ricoh_c3002(agent_);
  SnmpSessionPtr session(agent_.open());
  SnmpSnapshotConfig config{};
  EXPECT_EQ(snmp_init_snapshot_config(session.get(), &config), 1);
  // The maker's table chose the objects.
  EXPECT_EQ(object_text(config.total, 0), "1.3.6.1.4.1.367.3.2.1.2.19.5.1.9.2");
  EXPECT_EQ(object_text(config.color, 0), "1.3.6.1.4.1.367.3.2.1.2.19.5.1.9.5");
  EXPECT_EQ(object_text(config.large, 0), "1.3.6.1.4.1.367.3.2.1.2.19.5.1.9.9");
  EXPECT_TRUE(config.use_device_status);
  // The administrator switches the check off for this model: row 13's own.
  std::snprintf(global_ctx.hwcheck_model[0], CONFIG_TEXT_SIZE, "%s",
                "model=\"MP C3002\" make=\"Ricoh\" customcounter=\"0\"");
  EXPECT_EQ(snmp_init_snapshot_config(session.get(), &config), 1);
  EXPECT_EQ(object_text(config.total, 0), "1.3.6.1.4.1.367.3.2.1.2.19.2.0");
  EXPECT_EQ(object_text(config.color, 0), "1.3.6.1.4.1.367.3.2.1.2.19.5.1.9.19");
  EXPECT_EQ(object_text(config.large, 0), "1.3.6.1.4.1.367.3.2.1.2.19.5.1.9.46");
  // A table without a total type keeps the row's objects.
  global_ctx.hwcheck_model[0][0] = '\0';
  agent_.erase("1.3.6.1.4.1.367.3.2.1.2.19.5.1.2.2");
  EXPECT_EQ(snmp_init_snapshot_config(session.get(), &config), 1);
  EXPECT_EQ(object_text(config.total, 0), "1.3.6.1.4.1.367.3.2.1.2.19.2.0");
  EXPECT_TRUE(logged("Don't use custom counter func as can't even get 1 total counter"));
}

TEST_F(ModelTable, SettingsFromTheChosenEntry) {
  global_ctx.hwcheck_stabilization_num_loops_before = 2;
  global_ctx.hwcheck_stabilization_num_loops_after = 7;
  struct Case {
    const char* name;
    const char* descr;
    int enterprise;
    const char* line;  // HWCheckModel1
    std::int64_t loops_before, loops_after;
    int byte_swap, device_status, delete_on_error, tray_mode;
  };
  const Case cases[] = {
      {"row 23 loops", "TOSHIBA e-STUDIO4520C", 1129, "", 5, 12, 0, 1, 0, TRAY_PAUSE_OFF},
      {"configured loops win, unset ones are the row's", "TOSHIBA e-STUDIO4520C", 1129,
       "make=\"Toshiba\" model=\"e-STUDIO4520C\" afterloops=\"3\" deleteonerror=\"1\" "
       "PauseOnPaperTrayError=\"AnyTray\"",
       5, 3, 0, 1, 1, TRAY_PAUSE_ANY_TRAY},
      // Only the configuration matches: its unset flags are off and its
      // unset loops leave the global ones.
      {"configuration only", "Acme Laser 9", 99999, "make=\"Acme\" model=\"Laser 9\"", 2, 7, 0,
       0, 0, TRAY_PAUSE_OFF},
      {"row 3 swaps", "Samsung ML-2850", 236, "", 2, 7, 1, 1, 0, TRAY_PAUSE_OFF},
      {"no match keeps the globals", "Brother HL", 2435, "", 2, 7, 0, 0, 0, TRAY_PAUSE_OFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeAgent agent;
    sw_test::idle_printer(agent, c.descr, c.enterprise, 10);
    std::snprintf(global_ctx.hwcheck_model[0], CONFIG_TEXT_SIZE, "%s", c.line);
    SnmpSessionPtr session(agent.open());
    SnmpSnapshotConfig config{};
    EXPECT_EQ(snmp_init_snapshot_config(session.get(), &config), 1);
    EXPECT_EQ(config.loops_before, c.loops_before);
    EXPECT_EQ(config.loops_after, c.loops_after);
    EXPECT_EQ(config.error_byte_swap, c.byte_swap);
    EXPECT_EQ(config.use_device_status, c.device_status);
    EXPECT_EQ(config.delete_on_error, c.delete_on_error);
    EXPECT_EQ(config.tray_pause_mode, c.tray_mode);
  }
  // Merging took copies: the built-in row is as it was.
  EXPECT_EQ(snmp_builtin_model_table()[22].loops_after, 12);
  EXPECT_EQ(snmp_builtin_model_table()[22].delete_on_error, 0);
}

}  // namespace
