// Runs the built spool-analyze program as the job flow's diagnostics do and
// reads back the merged record it prints: one "name=value" line a field, in
// a fixed order, and its exit status (0 analysed, 1 analysis failed, 2 bad
// usage).
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "foundation/ascii.h"

namespace sw_test {

struct SpoolAnalyzeRun {
  int status = -1;
  std::vector<std::string> names;  // field names in printed order
  std::map<std::string, std::string> fields;
};

// `arguments` go to the shell as they stand (quote paths).
inline SpoolAnalyzeRun spool_analyze_run(const std::string& arguments) {
  const std::string command =
      std::string(SW_BINARY_DIR) + "/tools/spool-analyze " + arguments + " 2>/dev/null";
  SpoolAnalyzeRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    const auto equals = text.find('=');
    if (equals == std::string::npos) continue;
    run.names.push_back(text.substr(0, equals));
    run.fields[text.substr(0, equals)] = text.substr(equals + 1);
  }
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// The fields of the analysis of one file, its exit status as "status";
// `color` asks for colour detection (without it no colour page is counted).
inline std::map<std::string, std::string> spool_analyze_fields(const std::string& path,
                                                               bool color = false) {
  SpoolAnalyzeRun run = spool_analyze_run("'" + path + "'" + (color ? " --color" : ""));
  run.fields["status"] = std::to_string(run.status);
  return run.fields;
}

// Paper names compare without regard to case ("Letter", "LETTER").
inline std::string paper_key(std::string name) {
  for (char& c : name) c = ascii_to_upper(c);
  return name;
}

}  // namespace sw_test
