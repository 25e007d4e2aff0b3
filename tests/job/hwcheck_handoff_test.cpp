// The hand-off of a job's printer to the print monitor: which printers get a
// monitor at all, the lines it is sent, and where the exchange stops.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "foundation/printer_settings.h"
#include "foundation/serialize_settings.h"
#include "intake_test_support.h"
#include "job/backend_run.h"

namespace {

constexpr char NO_CHECK[] = "No hardware checking will be done for job 17 on printer q1";

class HwcheckHandoffTest : public intake_test::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    std::snprintf(global_ctx.settings_spool_dir_path, sizeof global_ctx.settings_spool_dir_path,
                  "%s", dir_.c_str());
  }
  void write_settings(int hwcheck_mode) {
    PrinterSettings settings{};
    printer_settings_init_defaults(&settings);
    settings.hwcheck_mode = hwcheck_mode;
    ASSERT_EQ(serialize_settings_writeout(dir_.c_str(), "q1", &settings), 1);
  }
  // A monitor that logs each line it reads and answers `answer_for` (a shell
  // case body over $line; OK otherwise).
  std::string monitor(const std::string& answer_for) {
    std::string path = path_of("monitor.sh");
    sw_test::write_file(path, "#!/bin/sh\nwhile IFS= read -r line; do\n"
                                  "  printf '%s\\n' \"$line\" >> '" +
                                      path_of("lines") + "'\n  case \"$line\" in\n    " +
                                      answer_for + "\n    *) echo OK ;;\n  esac\ndone\n");
    chmod(path.c_str(), 0755);
    return path;
  }
  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    std::istringstream in(sw_test::read_file(path_of("lines")));
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
  }
};

TEST_F(HwcheckHandoffTest, ExchangeFollowsTheSettingsTheUriAndTheAnswers) {
  const std::vector<std::string> variables = {"printername=q1", "printeraddress=printer.example",
                                              "jobid=17", "papersize=A4"};
  auto with = [&variables](std::vector<std::string> tail) {
    std::vector<std::string> all = variables;
    all.insert(all.end(), tail.begin(), tail.end());
    return all;
  };
  struct {
    const char* name;
    int hwcheck_mode;  // -1: no settings file
    bool with_monitor_path;
    const char* uri;
    const char* answers;
    std::vector<std::string> lines;
    int delete_job;
    const char* error;  // the ERROR that explains it; null: no ERROR at all
  } cases[] = {
      {"all accepted", HWCHECK_MODE_SNMP, true, "socket://printer.example:9100", "",
       with({"startdoc_lock", "enddoc_bg"}), 0, nullptr},
      {"delete at startdoc", HWCHECK_MODE_SNMP, true, "socket://printer.example:9100",
       "startdoc_lock) echo DELETE ;;", with({"startdoc_lock"}), 1, NO_CHECK},
      {"refused address", HWCHECK_MODE_SNMP, true, "socket://printer.example:9100",
       "printeraddress=*) echo ERROR ;;", {"printername=q1", "printeraddress=printer.example"},
       0, "HwcheckJob: Failed printeraddress command in ze-zorov-eredazo"},
      {"invalid answer to enddoc", HWCHECK_MODE_SNMP, true, "socket://printer.example:9100",
       "enddoc_bg) echo ok ;;", with({"startdoc_lock", "enddoc_bg"}), 0,
       "HwcheckJob: Failed to write enddoc_bg"},
      {"host after user information", HWCHECK_MODE_SNMP, true,
       "ipp://alice:pw@printer.example/ipp/print", "", with({"startdoc_lock", "enddoc_bg"}), 0,
       nullptr},
      {"hardware check off", HWCHECK_MODE_NONE, true, "socket://printer.example:9100", "", {}, 0,
       nullptr},
      {"usb printer", HWCHECK_MODE_SNMP, true, "usb://Maker/Model", "", {}, 0,
       "CUPS backend from URI: \"usb://Maker/Model\" is not supported for hardware check"},
      {"no host", HWCHECK_MODE_SNMP, true, "socket://[::1]:9100", "", {}, 0,
       "Unable to extract host from URI: \"socket://[::1]:9100\" for hardware check"},
      {"no settings", -1, true, "socket://printer.example:9100", "", {}, 0,
       "Unable to read in Printer settings for printer q1"},
      {"no monitor path", HWCHECK_MODE_SNMP, false, "socket://printer.example:9100", "", {}, 0,
       "No ze-zorov-eredazo path set"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(path_of("lines"));
    std::filesystem::remove(path_of("q1.dat"));
    if (c.hwcheck_mode >= 0) write_settings(c.hwcheck_mode);
    const std::string program = monitor(c.answers);
    const std::size_t log_before = log_text().size();
    int delete_job = -1;
    (void)common_run_hwcheck(c.with_monitor_path ? program.c_str() : "", "17", "q1", "A4", c.uri,
                             &delete_job);
    EXPECT_EQ(lines(), c.lines);
    EXPECT_EQ(delete_job, c.delete_job);
    const std::string added = log_text().substr(log_before);
    if (c.error == nullptr) {
      EXPECT_EQ(added.find("ERROR"), std::string::npos) << added;
    } else {
      EXPECT_NE(added.find(c.error), std::string::npos) << added;
      EXPECT_NE(added.find(NO_CHECK), std::string::npos) << added;
    }
  }
}

}  // namespace
