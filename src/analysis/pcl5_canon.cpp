// PCL5 wrapped in Canon CPCA packets: the print data is unpacked into a
// temporary file and analysed as PCL5; the CPCA records' copies, grayscale
// and duplex then override what the PCL5 said.
#include "analysis/pcl5.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/mapped_mem.h"
#include "foundation/os_file.h"
#include "scan/canon.h"
#include "scan/cpca.h"

namespace {

constexpr int UNKNOWN = -1;

// The CPCA settings: -1 where the records say nothing.
struct CpcaSettings {
  int copies = UNKNOWN;
  int grayscale = UNKNOWN;
  int duplex = UNKNOWN;
};

CpcaSettings read_cpca_settings(const std::uint8_t* data, std::uint64_t length, int color) {
  CpcaSettings s;
  if (canon_has_canon_cpca(data, length) == 0) return s;
  s.copies = canon_get_cpca_copycount(data, length);
  int explicit_color = 0;
  if (canon_has_cpca_grayscale(data, length, &explicit_color) != 0) {
    s.grayscale = 1;
  } else if (color == 0 && explicit_color != 0) {
    // With colour detection the PCL5 decides; without it an explicit colour
    // mode says the job is not gray.
    s.grayscale = 0;
  }
  s.duplex = canon_has_cpca_duplex(data, length) != 0 ? 1 : UNKNOWN;
  return s;
}

// The unpacked file: unmapped and deleted on every path.
class Unpacked {
 public:
  explicit Unpacked(const char* path) : path_(path) {}
  ~Unpacked() {
    free_mapped_mem(&mm_);
    if (os_file_delete(path_) == 0) LOG_DEBUG("Could not delete '%s'", path_);
  }
  Unpacked(const Unpacked&) = delete;
  Unpacked& operator=(const Unpacked&) = delete;
  mapped_mem* map() {
    mm_ = create_mapped_mem(path_);
    return mm_;
  }

 private:
  const char* path_;
  mapped_mem* mm_ = nullptr;
};

int pcl5_canon_analyze(const std::uint8_t* data, std::uint64_t length, int color, JobAttribs* ja) {
  return pcl5_canon_process_job(data, length, color, ja);
}

}  // namespace

int pcl5_canon_process_job(const std::uint8_t* data, std::uint64_t length, int color,
                           JobAttribs* ja) {
  LOG_DEV("entering pcl5_canon_process_job");
  LOG_DEBUG("Processing a canon PCL5 file");
  char path[4096] = {};
  if (extract_canon_cpca_content2(data, length, path, sizeof path) == 0) return -1;
  if (path[0] == '\0') return 0;
  Unpacked unpacked(path);
  const CpcaSettings settings = read_cpca_settings(data, length, color);
  LOG_DEBUG("Finished filtering canon PCL5 file");
  mapped_mem* mm = unpacked.map();
  if (mm == nullptr) {
    LOG_ERROR("Unable to map filtered Canon PCL5 spool file");
    return -1;
  }
  if (pcl5_process_job(mm->data, mm->size, color, ja) < 0) {
    LOG_ERROR("Unable analyse filtered Canon PCL5 spool file.");
    return -1;
  }
  if (settings.copies > 1) {
    LOG_DEBUG("Setting Canon copy count");
    ja_set_copy_count(ja, settings.copies);
  }
  if (settings.grayscale != UNKNOWN) ja_set_is_grayscale(ja, settings.grayscale);
  // A job the CPCA records print gray has no colour pages, whatever the
  // PCL5 data held.
  if (settings.grayscale == 1 && ja->color_pages > 0) ja_set_color_pages(ja, 0);
  if (settings.duplex != UNKNOWN) ja_set_is_duplex(ja, settings.duplex);
  return 0;
}

const AnalyzerEntry PCL5_CANON_ANALYZER{"pcl5_canon_process_job", pcl5_canon_analyze};
