// The makers' own checks on a simulated printer.
#include "hwcheck_test_support.h"

#include "hwcheck/snmp_maker_checks.h"

namespace {

using sw_test::FakeAgent;
using sw_test::integer;
using sw_test::octets;

class MakerChecks : public sw_test::HwcheckTest {};

TEST_F(MakerChecks, RicohCounterTypes) {
  const std::string types = "1.3.6.1.4.1.367.3.2.1.2.19.5.1.2.";
  agent_.set(types + "2", integer(400));
  agent_.set(types + "3", integer(400));  // a later row of a type replaces the first
  agent_.set(types + "4", integer(123));  // another type: skipped
  agent_.set(types + "5", octets("700")); // not an INTEGER: skipped
  agent_.set(types + "7", integer(606));
  agent_.set(types + "4294967295", integer(700));
  agent_.set(types + "4294967295.1", integer(400));  // after all three: not read
  SnmpSessionPtr session(agent_.open());
  HwcheckModelConfig entry;
  EXPECT_EQ(custom_ricoh_counter_func(session.get(), &entry), 1);
  const std::string values = "1.3.6.1.4.1.367.3.2.1.2.19.5.1.9.";
  EXPECT_EQ(entry.total_mibs, std::vector<std::string>{values + "3"});
  EXPECT_EQ(entry.color_mibs, std::vector<std::string>{values + "7"});
  EXPECT_EQ(entry.large_mibs, std::vector<std::string>{values + "4294967295"});
}

TEST_F(MakerChecks, ToshibaJobStatusAndJob) {
  const std::string blink = "1.3.6.1.4.1.1129.2.3.50.1.2.4.1.61.1.1";
  struct Case {
    long code;
    int error;
  };
  for (const Case& c : {Case{9, 0}, Case{10, 1}, Case{99, 1}, Case{100, 0}, Case{-10, 0}}) {
    SCOPED_TRACE(c.code);
    agent_.set(blink, integer(c.code));
    SnmpSessionPtr session(agent_.open());
    int error = -1;
    EXPECT_EQ(custom_toshiba_error_func(session.get(), &error), 1);
    EXPECT_EQ(error, c.error);
  }
  agent_.erase(blink);
  SnmpSessionPtr session(agent_.open());
  int error = -1;
  EXPECT_EQ(custom_toshiba_error_func(session.get(), &error), 0);
  EXPECT_EQ(error, 0);
  int exists = -1;
  EXPECT_EQ(custom_toshiba_job_exists_func(session.get(), &exists), 0);
  agent_.set("1.3.6.1.4.1.1129.2.3.50.1.2.4.1.65.1.1", integer(1));
  EXPECT_EQ(custom_toshiba_job_exists_func(session.get(), &exists), 1);
  EXPECT_EQ(exists, 1);
}

// The Konica Minolta active-job table under 1.3.6.1.4.1.18334.1.1.4.1.
void konica_jobs(FakeAgent& agent, long first, long last) {
  const std::string base = "1.3.6.1.4.1.18334.1.1.4.1.";
  agent.set(base + "2.1.1.2.1", integer(last >= first ? last - first + 1 : 0));
  agent.set(base + "2.1.1.3.1", integer(first));
  agent.set(base + "2.1.1.4.1", integer(last));
}

void konica_job(FakeAgent& agent, long index, long type, long status) {
  const std::string column = "1.3.6.1.4.1.18334.1.1.4.1.3.1.1.";
  const std::string i = ".1." + std::to_string(index);
  // DateAndTime 2024-05-06 07:08:09.
  const std::string when("\x07\xE8\x05\x06\x07\x08\x09\x00", 8);
  agent.set(column + "3" + i, integer(1));
  agent.set(column + "4" + i, integer(status));
  agent.set(column + "6" + i, octets(when));
  agent.set(column + "7" + i, octets(when));
  agent.set(column + "10" + i, octets("alice"));
  agent.set(column + "11" + i, integer(type));
  agent.set(column + "12" + i, octets("report.pdf"));
  agent.set(column + "16" + i, octets("tray 1"));
  agent.set(column + "13" + i, integer(4));
}

TEST_F(MakerChecks, KonicaActiveJobs) {
  struct Case {
    const char* name;
    long first, last;
    long stuck;  // the index of a job of type 20 in status 25, or 0
    int result, error;
  };
  const Case cases[] = {
      {"no jobs", 3, 2, 0, 1, 0},
      {"jobs, none stuck", 1, 3, 0, 1, 0},
      {"a stuck job", 1, 3, 2, 1, 1},
      {"a job missing from the table", 1, 4, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeAgent agent;
    konica_jobs(agent, c.first, c.last);
    for (long i = c.first; i <= c.last && i <= 3; ++i) {
      konica_job(agent, i, i == c.stuck ? 20 : 1, i == c.stuck ? 25 : 3);
    }
    SnmpSessionPtr session(agent.open());
    int error = -1;
    EXPECT_EQ(custom_konica_error_func(session.get(), &error), c.result);
    EXPECT_EQ(error, c.error);
  }
  EXPECT_TRUE(logged("KM Job[1]: func=1, status=3, start=2024-5-6 7:8:9"));
}

TEST_F(MakerChecks, KonicaIndexesFromThePrinterAreCapped) {
  konica_jobs(agent_, 1, 4000000000L);
  for (long i = 1; i <= 300; ++i) konica_job(agent_, i, 1, 3);
  SnmpSessionPtr session(agent_.open());
  int error = -1;
  EXPECT_EQ(konica_process_all_active_jobs(session.get(), &error), 1);
  EXPECT_EQ(agent_.requests, 3 + static_cast<int>(KONICA_MAX_ACTIVE_JOBS));
}

TEST_F(MakerChecks, ToshibaPaperSizes) {
  const std::string size = "1.3.6.1.4.1.1129.2.3.50.1.3.5.1.1.1.";
  const std::string full = "1.3.6.1.4.1.1129.2.3.50.1.3.5.1.1.5.";
  struct Tray {
    int tray;
    long size;
    long full;
  };
  struct Case {
    const char* name;
    std::vector<Tray> trays;
    int no_paper;
  };
  const Case cases[] = {
      {"two trays of one size, one with paper", {{1, 4, 0}, {2, 4, 30}}, 0},
      {"an empty tray of its own size", {{1, 4, 30}, {2, 7, 0}}, 1},
      {"orientations count as one size", {{1, 5, 0}, {2, 6, 50}}, 0},
      {"sizes 2 and 24 are no paper", {{1, 2, 0}, {2, 24, 0}}, 0},
      // Codes beyond the table and trays beyond 32 come from the printer.
      {"a size code beyond the table", {{1, 1000000, 0}, {2, 4, 10}}, 0},
      {"a tray beyond 32", {{33, 4, 0}, {2, 4, 10}}, 0},
      {"a negative size", {{1, -3, 0}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeAgent agent;
    for (const Tray& t : c.trays) {
      agent.set(size + std::to_string(t.tray), integer(t.size));
      agent.set(full + std::to_string(t.tray), integer(t.full));
    }
    SnmpSessionPtr session(agent.open());
    int no_paper = -1;
    EXPECT_EQ(snmp_has_no_paper_of_sizes(session.get(), &no_paper), 1);
    EXPECT_EQ(no_paper, c.no_paper);
  }
}

}  // namespace
