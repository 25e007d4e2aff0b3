// The hardware-check tests' fixture: the configuration's defaults for the
// test's length (restored after), SNMP messages to a captured log, and a
// simulated printer (fake_agent.h) with the standard objects.
#pragma once

#include "fake_agent.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/config.h"
#include "hwcheck/snmp_logging.h"
#include "hwcheck/snmp_objects.h"
#include "support/test_support.h"

namespace sw_test {

inline constexpr const char* DESCR = "1.3.6.1.2.1.25.3.2.1.3.1";
inline constexpr const char* SYS_DESCR = "1.3.6.1.2.1.1.1.0";
inline constexpr const char* SYS_OBJECT_ID = "1.3.6.1.2.1.1.2.0";
inline constexpr const char* MARKER = "1.3.6.1.2.1.43.10.2.1.4.1.1";
inline constexpr const char* MARKER0 = "1.3.6.1.2.1.43.10.2.1.4.0.1";
inline constexpr const char* PRINTER_STATUS = "1.3.6.1.2.1.25.3.5.1.1.1";
inline constexpr const char* PRINTER_ERROR = "1.3.6.1.2.1.25.3.5.1.2.1";
inline constexpr const char* DEVICE_STATUS = "1.3.6.1.2.1.25.3.2.1.5.1";

// An idle printer with a page counter.
inline void idle_printer(FakeAgent& agent, const std::string& descr, int enterprise,
                         long pages) {
  agent.set(DESCR, octets(descr));
  agent.set(SYS_DESCR, octets(descr + " (sysDescr)"));
  agent.set(SYS_OBJECT_ID, object_id("1.3.6.1.4.1." + std::to_string(enterprise) + ".1"));
  agent.set(MARKER, counter(pages));
  agent.set(PRINTER_STATUS, integer(3));
  agent.set(PRINTER_ERROR, octets(std::string("\0\0", 2)));
  agent.set(DEVICE_STATUS, integer(2));
}

class HwcheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = new SessionContext(global_ctx);
    config_init_session_defaults(&global_ctx);
    global_ctx.debug_logging = 1;
    global_ctx.dev_logging = 1;
    snmp_init(1, nullptr);
  }
  void TearDown() override {
    global_ctx = *saved_;
    delete saved_;
  }
  std::string log_text() const { return log_.text(); }
  bool logged(const std::string& text) const { return log_.contains(text); }

  LogCapture log_{LogFlags{.debug = true, .dev = true}};
  FakeAgent agent_;

 private:
  SessionContext* saved_ = nullptr;
};

}  // namespace sw_test
