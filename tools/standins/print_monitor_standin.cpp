// Stand-in for the print monitor, for tests and the demo: speaks the line
// protocol on standard input and output and answers each line as scripted.
//
// Answers: "OK" unless scripted. The script is SW_MONITOR_ANSWERS
// ("startdoc_lock=DELETE,printername=ERROR": command or variable name, "=",
// the answer line) or, when that is not set, the lines of the file
// "<program>.answers" next to the program. Every line received is appended
// to SW_MONITOR_LOG, or to "<program>.log" next to the program. The program
// ends at the end of its input.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "foundation/os_file.h"
#include "foundation/os_process.h"

namespace {

std::string own_path() {
  char path[OS_PATH_BUFFER_SIZE] = {};
  return os_executable_path(path, sizeof path) ? std::string(path)
                                               : std::string("print_monitor_standin");
}

void add_answer(std::map<std::string, std::string>& answers, const std::string& item) {
  auto eq = item.find('=');
  if (eq != std::string::npos && eq > 0) answers[item.substr(0, eq)] = item.substr(eq + 1);
}

std::map<std::string, std::string> load_answers(const std::string& self) {
  std::map<std::string, std::string> answers;
  if (const char* env = std::getenv("SW_MONITOR_ANSWERS"); env != nullptr) {
    std::stringstream items(env);
    for (std::string item; std::getline(items, item, ',');) add_answer(answers, item);
    return answers;
  }
  std::ifstream file(self + ".answers");
  for (std::string line; std::getline(file, line);) add_answer(answers, line);
  return answers;
}

}  // namespace

int main() {
  const std::string self = own_path();
  const auto answers = load_answers(self);
  const char* log_env = std::getenv("SW_MONITOR_LOG");
  std::ofstream log(log_env != nullptr ? std::string(log_env) : self + ".log", std::ios::app);
  for (std::string line; std::getline(std::cin, line);) {
    log << line << '\n' << std::flush;
    auto found = answers.find(line.substr(0, line.find('=')));
    std::cout << (found != answers.end() ? found->second : std::string("OK")) << '\n'
              << std::flush;
  }
  return 0;
}
