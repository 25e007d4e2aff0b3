// The hardware check's cost per poll of a printer:
//   - on an in-memory printer (tests/hwcheck/fake_agent.h): our CPU per poll,
//     beside the in-memory answer alone (building the request and the
//     answer, no reading of it) as the reference;
//   - over loopback UDP against snmpsimd (when installed): the wall time of
//     a poll (the round trip; snmpsimd is Python) and our CPU in it, beside
//     one GET of one object through net-snmp as the reference;
//   - memory: the resident-set growth over 10,000 polls, measured over
//     ten rounds of them after a warm-up (flat: it does not grow with the rounds).
#include "hwcheck/fake_agent.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "foundation/config.h"
#include "foundation/log.h"
#include "hwcheck/snmp_logging.h"
#include "hwcheck/snmp_objects.h"
#include "hwcheck/snmp_printer_data.h"
#include "hwcheck/snmp_request.h"
#include "support/snmpsim.h"

namespace {

void init_once() {
  static bool done = false;
  if (done) return;
  done = true;
  config_init_session_defaults(&global_ctx);
  log_set_path("/dev/null");
  snmp_init(1, nullptr);
}

// A colour printer of the model table (HP, a colour counter beside the
// marker) in memory, with its settings: a poll asks for five objects.
struct InMemoryPrinter {
  InMemoryPrinter() {
    init_once();
    agent.set("1.3.6.1.2.1.25.3.2.1.3.1", sw_test::octets("HP Color LaserJet CP4525"));
    agent.set("1.3.6.1.2.1.1.2.0", sw_test::object_id("1.3.6.1.4.1.11.2.3.9.1"));
    agent.set("1.3.6.1.2.1.43.10.2.1.4.1.1", sw_test::counter(48213));
    agent.set("1.3.6.1.2.1.25.3.5.1.1.1", sw_test::integer(3));
    agent.set("1.3.6.1.2.1.25.3.5.1.2.1", sw_test::octets(std::string("\xC0\x00", 2)));
    agent.set("1.3.6.1.2.1.25.3.2.1.5.1", sw_test::integer(2));
    agent.set("1.3.6.1.4.1.11.2.3.9.4.2.1.4.1.2.7.0", sw_test::counter(12007));
    session.reset(agent.open());
    (void)snmp_init_snapshot_config(session.get(), &config);
  }
  bool poll() { return snmp_get_printer_data(session.get(), &config, &data, &timed_out) != 0; }

  sw_test::FakeAgent agent;
  SnmpSessionPtr session;
  SnmpSnapshotConfig config{};
  PrinterData data{};
  int timed_out = 0;
};

long resident_kib() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void BM_PollInMemory(benchmark::State& state) {
  InMemoryPrinter printer;
  for (auto _ : state) {
    if (!printer.poll()) {
      state.SkipWithError("poll failed");
      break;
    }
    benchmark::DoNotOptimize(printer.data.marker_count);
  }
}
BENCHMARK(BM_PollInMemory);

// Reference: the same five-object request answered in memory, unread.
void BM_InMemoryAnswerOnly(benchmark::State& state) {
  InMemoryPrinter printer;
  const sw_test::Oid objects[] = {sw_test::oid_of("1.3.6.1.2.1.43.10.2.1.4.1.1"),
                                   sw_test::oid_of("1.3.6.1.2.1.25.3.5.1.1.1"),
                                   sw_test::oid_of("1.3.6.1.2.1.25.3.5.1.2.1"),
                                   sw_test::oid_of("1.3.6.1.2.1.25.3.2.1.5.1"),
                                   sw_test::oid_of("1.3.6.1.4.1.11.2.3.9.4.2.1.4.1.2.7.0")};
  for (auto _ : state) {
    PduPtr request = snmp_new_request(SNMP_MSG_GET);
    for (const sw_test::Oid& id : objects) {
      (void)snmp_request_add(request.get(), SnmpOidView(id.data(), id.size()));
    }
    PduPtr answer;
    benchmark::DoNotOptimize(snmp_send(printer.session.get(), std::move(request), &answer));
  }
}
BENCHMARK(BM_InMemoryAnswerOnly);

void BM_RssGrowthOver10000Polls(benchmark::State& state) {
  InMemoryPrinter printer;
  for (int i = 0; i < 1000; ++i) (void)printer.poll();
  const long before = resident_kib();
  for (auto _ : state) {
    for (int i = 0; i < 10000; ++i) (void)printer.poll();
  }
  state.counters["rss_growth_kib"] = static_cast<double>(resident_kib() - before);
}
BENCHMARK(BM_RssGrowthOver10000Polls)->Iterations(10)->Unit(benchmark::kMillisecond);

// snmpsimd serving tests/hwcheck/data, started once for the loopback runs.
class Simulator {
 public:
  static Simulator& get() {
    static Simulator instance;
    return instance;
  }
  bool ready() const { return ready_; }
  const std::string& address() const { return sim_->address(); }

 private:
  Simulator() {
    char pattern[] = "/tmp/sw_bench_snmp_XXXXXX";
    if (access(sw_test::SNMPSIMD, X_OK) != 0 || mkdtemp(pattern) == nullptr) return;
    dir_ = pattern;
    sim_ = std::make_unique<sw_test::SnmpSimulator>(SW_SOURCE_DIR "/tests/hwcheck/data", dir_);
    ready_ = sim_->ready("printer");
  }
  ~Simulator() {
    sim_.reset();
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  std::string dir_;
  std::unique_ptr<sw_test::SnmpSimulator> sim_;
  bool ready_ = false;
};

SnmpSession* loopback_session() {
  return snmp_create_session_with(Simulator::get().address().c_str(), 2,
                                  SnmpSessionOptions{"printer", 0, 2});
}

void BM_PollOverLoopback(benchmark::State& state) {
  init_once();
  if (!Simulator::get().ready()) {
    state.SkipWithError("snmpsimd is not available");
    return;
  }
  SnmpSessionPtr session(loopback_session());
  SnmpSnapshotConfig config{};
  (void)snmp_init_snapshot_config(session.get(), &config);
  PrinterData data{};
  int timed_out = 0;
  for (auto _ : state) {
    if (!snmp_get_printer_data(session.get(), &config, &data, &timed_out)) {
      state.SkipWithError("poll failed");
      break;
    }
  }
}
BENCHMARK(BM_PollOverLoopback)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Reference: one GET of one object through net-snmp, unread.
void BM_OneGetOverLoopback(benchmark::State& state) {
  init_once();
  if (!Simulator::get().ready()) {
    state.SkipWithError("snmpsimd is not available");
    return;
  }
  SnmpSessionPtr session(loopback_session());
  for (auto _ : state) {
    PduPtr answer;
    benchmark::DoNotOptimize(snmp_get_one(session.get(), OID_PRT_MARKER_LIFE_COUNT_1, &answer));
  }
}
BENCHMARK(BM_OneGetOverLoopback)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
