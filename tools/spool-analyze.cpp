// spool-analyze FILE [--color]: analyses one spool file as the job flow does
// and prints the merged record, one "name=value" line a field. Exit status 0
// when the file was analysed, 1 when the analysis failed, 2 for bad usage
// (--help and any other option but --color print the usage).
//
// The configuration is read from spoolwarden.conf next to the program when
// there is one; otherwise the built-in defaults apply.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "analysis/analyzer.h"
#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/os_file.h"
#include "foundation/os_process.h"

namespace {


std::string program_dir() {
  char path[OS_PATH_BUFFER_SIZE];
  if (!os_executable_path(path, sizeof path)) return {};
  std::string dir(path);
  const auto slash = dir.rfind('/');
  return slash == std::string::npos ? std::string() : dir.substr(0, slash);
}

void load_configuration() {
  config_init_session_defaults(&global_ctx);
  const std::string dir = program_dir();
  if (dir.empty()) return;
  const std::string conf = dir + "/" + CONFIG_FILE_NAME;
  if (access(conf.c_str(), R_OK) != 0) return;
  const std::string self = dir + "/spool-analyze";
  if (config_load_no_exit(self.c_str(), &global_ctx, nullptr, nullptr) != 0) {
    std::fprintf(stderr, "spool-analyze: cannot use %s, running with the defaults\n", conf.c_str());
    config_init_session_defaults(&global_ctx);
  }
}

// Without a spooler, the names fall back to what the print data said.
const char* name_or(const char* merged, const char* analysed) {
  return merged[0] != '\0' ? merged : analysed;
}

void print_record(const JobAttribs* j, const JobAttribs* a) {
  std::printf("language=%d\n", j->language);
  std::printf("language_name=%s\n", analyzer_lang_to_string(j->language));
  std::printf("pages=%d\n", j->pages);
  std::printf("color_pages=%d\n", j->color_pages);
  std::printf("copies=%d\n", j->copy_count);
  std::printf("duplex=%d\n", j->is_duplex);
  std::printf("tumble=%d\n", j->is_tumble);
  std::printf("grayscale=%d\n", j->is_grayscale);
  std::printf("paper=%s\n", j->paper_size_name);
  std::printf("page_width_mm=%d\n", j->page_width_mm);
  std::printf("page_height_mm=%d\n", j->page_height_mm);
  std::printf("document=%s\n", name_or(j->document_name, a->document_name));
  std::printf("user=%s\n", name_or(j->username, a->username));
}

int usage() {
  std::fprintf(stderr, "usage: spool-analyze FILE [--color]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const char* file = nullptr;
  int color = 0;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--color") == 0) {
      color = 1;
    } else if (arg[0] == '-' || arg[0] == '\0' || file != nullptr) {
      // --help and any option we do not know, an empty name, a second file.
      return usage();
    } else {
      file = arg;
    }
  }
  if (file == nullptr) return usage();
  load_configuration();
  JobAttribsPtr analysis(analyzer_create_job_attribs());
  JobAttribsPtr job(analyzer_create_job_attribs());
  if (!analysis || !job) return 1;
  const int result = analyzer_process_spool_file(file, color, analysis.get());
  analyzer_splice_job_attribs(job.get(), analysis.get(), color, 1, -1);
  print_record(job.get(), analysis.get());
  return result == 0 ? 0 : 1;
}
