// A simulator shared by the tests of one GoogleTest suite.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "support/snmpsim.h"
#include "support/test_support.h"

namespace sw_test {

// One simulator for a whole test suite, in a directory of its own: started
// by the suite's set-up (ready once `community` answers), stopped by its
// tear-down before the directory goes.
class SuiteSimulator {
 public:
  void start(const std::filesystem::path& source_dir, const std::string& community) {
    dir_ = std::make_unique<TempDir>();
    sim_ = std::make_unique<SnmpSimulator>(source_dir, dir_->path());
    ready_ = sim_->ready(community);
  }
  void stop() {
    sim_.reset();
    dir_.reset();
  }
  static bool installed() { return access(SNMPSIMD, X_OK) == 0; }
  bool ready() const { return ready_; }
  SnmpSimulator* operator->() const { return sim_.get(); }

 private:
  std::unique_ptr<TempDir> dir_;
  std::unique_ptr<SnmpSimulator> sim_;
  bool ready_ = false;
};

}  // namespace sw_test
