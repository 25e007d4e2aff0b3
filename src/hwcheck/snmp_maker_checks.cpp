#include "hwcheck/snmp_netsnmp.h"

#include <algorithm>
#include <cstring>

#include "foundation/config.h"
#include "hwcheck/snmp_get.h"
#include "hwcheck/snmp_logging.h"
#include "hwcheck/snmp_maker_checks.h"
#include "hwcheck/snmp_request.h"
#include "hwcheck/snmp_walk.h"

namespace {

// --- Ricoh counter types ---------------------------------------------------

constexpr SnmpSubId RICOH_COUNTER_TYPES[] = {1, 3, 6, 1, 4, 1, 367, 3, 2, 1, 2, 19, 5, 1, 2};
constexpr const char RICOH_COUNTER_VALUES[] = "1.3.6.1.4.1.367.3.2.1.2.19.5.1.9";
constexpr std::int64_t RICOH_COLOUR = 606;
constexpr std::int64_t RICOH_TOTAL = 400;
constexpr std::int64_t RICOH_LARGE = 700;

struct RicohScan {
  HwcheckModelConfig* entry;
  bool color = false;
  bool total = false;
  bool large = false;
};

void set_first(std::vector<std::string>* list, const std::string& text) { list->assign(1, text); }

int ricoh_callback(void* context, const variable_list* var) {
  auto* scan = static_cast<RicohScan*>(context);
  if (var->type != ASN_INTEGER || var->name_length == 0) return 0;
  std::int64_t type = 0;
  if (!snmp_var_integer(var, &type)) return 0;
  const SnmpSubId index = var->name[var->name_length - 1];
  HW_DEBUG("Custom counter index: %lu, value: %ld", index, static_cast<long>(type));
  const std::string object = std::string(RICOH_COUNTER_VALUES) + "." + std::to_string(index);
  if (type == RICOH_COLOUR) {
    set_first(&scan->entry->color_mibs, object);
    scan->color = true;
    HW_DEBUG("Using custom counter color: %s", object.c_str());
  } else if (type == RICOH_TOTAL) {
    set_first(&scan->entry->total_mibs, object);
    scan->total = true;
    HW_DEBUG("Using custom counter total: %s", object.c_str());
  } else if (type == RICOH_LARGE) {
    set_first(&scan->entry->large_mibs, object);
    scan->large = true;
    HW_DEBUG("Using custom counter large: %s", object.c_str());
  }
  return scan->color && scan->total && scan->large ? 1 : 0;
}

// --- single values -----------------------------------------------------------

constexpr SnmpSubId TOSHIBA_BLINK_CODE[] = {1, 3, 6, 1, 4, 1, 1129, 2, 3, 50, 1, 2, 4, 1, 61, 1, 1};
constexpr SnmpSubId TOSHIBA_JOB_EXISTING[] = {1, 3, 6, 1, 4, 1, 1129, 2, 3, 50, 1, 2, 4, 1, 65, 1, 1};
constexpr SnmpSubId KONICA_ACTIVE_JOB_INDEX[] = {1, 3, 6, 1, 4, 1, 18334, 1, 1, 4, 1, 2, 1, 1, 4, 1};

// --- Konica Minolta active jobs ----------------------------------------------

constexpr SnmpSubId KONICA_JOBS[] = {1, 3, 6, 1, 4, 1, 18334, 1, 1, 4, 1};
constexpr int KONICA_JOB_COLUMNS[] = {3, 4, 6, 7, 10, 11, 12, 16, 13};
constexpr std::int64_t KONICA_TYPE_IN_ERROR = 20;
constexpr std::int64_t KONICA_STATUS_IN_ERROR = 25;

SnmpOid konica_object(std::initializer_list<SnmpSubId> tail) {
  SnmpOid o{};
  (void)snmp_oid_assign(KONICA_JOBS, &o);
  for (SnmpSubId id : tail) o.ids[o.length++] = id;
  return o;
}

struct KonicaJob {
  std::int64_t function = 0, status = 0, type = 0, pages = 0;
  std::uint8_t start[12] = {}, end[12] = {};
  char owner[65] = {}, name[257] = {}, destination[257] = {};
};

bool copy_octets(const netsnmp_variable_list* var, std::uint8_t* out, std::size_t size) {
  if (var->type != ASN_OCTET_STR) return false;
  std::memcpy(out, var->val.string, std::min(var->val_len, size));
  return true;
}

bool copy_text(const netsnmp_variable_list* var, char* out, std::size_t size) {
  if (var->type != ASN_OCTET_STR) return false;
  const std::size_t n = std::min(var->val_len, size - 1);
  std::memcpy(out, var->val.string, n);
  out[n] = '\0';
  return true;
}

bool read_job_column(const netsnmp_variable_list* var, int column, KonicaJob* job) {
  switch (column) {
    case 3: return snmp_var_integer(var, &job->function);
    case 4: return snmp_var_integer(var, &job->status);
    case 6: return copy_octets(var, job->start, sizeof job->start);
    case 7: return copy_octets(var, job->end, sizeof job->end);
    case 10: return copy_text(var, job->owner, sizeof job->owner);
    case 11: return snmp_var_integer(var, &job->type);
    case 12: return copy_text(var, job->name, sizeof job->name);
    case 16: return copy_text(var, job->destination, sizeof job->destination);
    case 13: return snmp_var_integer(var, &job->pages);
    default: return false;
  }
}

// One GET of the nine columns of active job `index`.
bool read_konica_job(SnmpSession* session, SnmpSubId index, KonicaJob* job) {
  PduPtr request = snmp_new_request(SNMP_MSG_GET);
  if (!request) return false;
  for (int column : KONICA_JOB_COLUMNS) {
    const SnmpOid o = konica_object({3, 1, 1, static_cast<SnmpSubId>(column), 1, index});
    if (!snmp_request_add(request.get(), snmp_oid_view(o))) return false;
  }
  PduPtr answer;
  if (snmp_send(session, std::move(request), &answer) != SnmpOutcome::ANSWER) return false;
  for (int column : KONICA_JOB_COLUMNS) {
    const SnmpOid o = konica_object({3, 1, 1, static_cast<SnmpSubId>(column), 1, index});
    const netsnmp_variable_list* var = snmp_answer_variable(answer.get(), snmp_oid_view(o));
    if (var == nullptr || !read_job_column(var, column, job)) return false;
  }
  return true;
}

// DateAndTime: year in two bytes, then month, day, hour, minute, second.
int year_of(const std::uint8_t* t) { return t[0] * 256 + t[1]; }

void log_konica_job(SnmpSubId index, const KonicaJob& j) {
  HW_DEBUG("KM Job[%lu]: func=%ld, status=%ld, start=%d-%d-%d %d:%d:%d, end=%d-%d-%d %d:%d:%d, "
           "owner=%s, type=%ld, name=%s, pages=%ld, dest=%s",
           index, static_cast<long>(j.function), static_cast<long>(j.status), year_of(j.start),
           j.start[2], j.start[3], j.start[4], j.start[5], j.start[6], year_of(j.end), j.end[2],
           j.end[3], j.end[4], j.end[5], j.end[6], j.owner, static_cast<long>(j.type), j.name,
           static_cast<long>(j.pages), j.destination);
}

// --- Toshiba trays -------------------------------------------------------------

constexpr SnmpSubId TOSHIBA_TRAY_PAPER_SIZE[] = {1, 3, 6, 1, 4, 1, 1129, 2, 3, 50, 1, 3, 5, 1, 1, 1};
constexpr SnmpSubId TOSHIBA_TRAY_FULLNESS[] = {1, 3, 6, 1, 4, 1, 1129, 2, 3, 50, 1, 3, 5, 1, 1, 5};

struct Trays {
  std::int64_t size[TOSHIBA_MAX_TRAY + 1];  // paper-size code; -1 none
  std::int64_t full[TOSHIBA_MAX_TRAY + 1];  // percent full
  int highest = 0;
};

// The tray number of a tray-table variable, or -1 when out of range.
int tray_of(const variable_list* var) {
  if (var->name_length == 0) return -1;
  const SnmpSubId tray = var->name[var->name_length - 1];
  if (tray > static_cast<SnmpSubId>(TOSHIBA_MAX_TRAY)) {
    HW_DEBUG("Toshiba tray data index too high: %lu", tray);
    return -1;
  }
  return static_cast<int>(tray);
}

// Codes that name the same paper in two orientations count as one.
std::int64_t same_paper(std::int64_t size) {
  switch (size) {
    case 6: return 5;
    case 11: return 10;
    case 15: return 14;
    case 22: return 21;
    default: return size;
  }
}

int toshiba_tray_papersize_callback(void* context, const variable_list* var) {
  auto* trays = static_cast<Trays*>(context);
  std::int64_t size = 0;
  const int tray = tray_of(var);
  if (tray < 0 || var->type != ASN_INTEGER || !snmp_var_integer(var, &size)) return 0;
  if (size == 2 || size == 24) return 0;
  size = same_paper(size);
  trays->size[tray] = size;
  trays->highest = std::max(trays->highest, tray);
  HW_DEBUG("Processing papersize tray data - index=%d, paper_size=%ld", tray,
           static_cast<long>(size));
  return 0;
}

int toshiba_tray_fullness_callback(void* context, const variable_list* var) {
  auto* trays = static_cast<Trays*>(context);
  std::int64_t full = 0;
  const int tray = tray_of(var);
  if (tray < 0 || trays->size[tray] < 0 || !snmp_var_integer(var, &full)) return 0;
  trays->full[tray] = full;
  HW_DEBUG("Processing fullness tray data - index=%d, percent full=%ld", tray,
           static_cast<long>(full));
  return 0;
}

enum class Paper { UNSET, HAS, NONE };

const char* paper_text(Paper p) {
  return p == Paper::HAS ? "TRUE" : p == Paper::UNSET ? "UNSET" : "FALSE";
}

}  // namespace

int custom_ricoh_counter_func(SnmpSession* session, HwcheckModelConfig* entry) {
  char table[SNMP_OID_TEXT_SIZE];
  snmp_format_oid(RICOH_COUNTER_TYPES, table, sizeof table);
  HW_DEBUG("Using counter type = %s", table);
  RicohScan scan{entry};
  return snmp_walk(session, &scan, ricoh_callback, RICOH_COUNTER_TYPES);
}

int custom_toshiba_error_func(SnmpSession* session, int* error) {
  *error = 0;
  std::int64_t code = 0;
  if (!get_int_metric(session, TOSHIBA_BLINK_CODE, &code)) return 0;
  HW_DEBUG("Retrieved Toshiba job status blink reason code of: %ld", static_cast<long>(code));
  *error = code >= 10 && code <= 99 ? 1 : 0;
  return 1;
}

int custom_toshiba_job_exists_func(SnmpSession* session, int* exists) {
  *exists = 0;
  std::int64_t value = 0;
  if (!get_int_metric(session, TOSHIBA_JOB_EXISTING, &value)) {
    HW_DEBUG("Failed to get SNMP data to retrieve Toshiba job existence data");
    return 0;
  }
  HW_DEBUG("Retrieved Toshiba job existing of: %ld", static_cast<long>(value));
  *exists = value == 1 ? 1 : 0;
  HW_DEBUG("Toshiba job does%sexist", *exists ? " " : " not ");
  return 1;
}

int custom_konica_job_exists_func(SnmpSession* session, int* exists) {
  *exists = 0;
  std::int64_t index = 0;
  if (!get_int_metric(session, KONICA_ACTIVE_JOB_INDEX, &index)) {
    HW_DEBUG("Failed to get SNMP data to retrieve KM job existence data");
    return 0;
  }
  HW_DEBUG("Retrieved KM active job index of: %ld", static_cast<long>(index));
  *exists = index != 0 ? 1 : 0;
  if (*exists) {
    HW_DEBUG("KM job exists with job id: %lu", static_cast<unsigned long>(index));
  } else {
    HW_DEBUG("KM job does not exist");
  }
  return 1;
}

int custom_konica_error_func(SnmpSession* session, int* error) {
  return konica_process_all_active_jobs(session, error);
}

int konica_process_all_active_jobs(SnmpSession* session, int* error) {
  *error = 0;
  std::int64_t count = 0, first = 0, last = 0;
  if (!get_int_metric(session, snmp_oid_view(konica_object({2, 1, 1, 2, 1})), &count) ||
      !get_int_metric(session, snmp_oid_view(konica_object({2, 1, 1, 3, 1})), &first) ||
      !get_int_metric(session, snmp_oid_view(konica_object({2, 1, 1, 4, 1})), &last)) {
    return 0;
  }
  HW_DEBUG("Active Job Table (%lu)", static_cast<unsigned long>(count));
  if (first > last) return 1;  // no jobs
  if (first < 0 || last > static_cast<std::int64_t>(SNMP_SUBID_MAX)) return 0;
  if (last - first >= static_cast<std::int64_t>(KONICA_MAX_ACTIVE_JOBS)) {
    HW_DEBUG("KM active job indexes %ld to %ld: only the first %zu are read",
             static_cast<long>(first), static_cast<long>(last), KONICA_MAX_ACTIVE_JOBS);
    last = first + static_cast<std::int64_t>(KONICA_MAX_ACTIVE_JOBS) - 1;
  }
  for (std::int64_t i = first; i <= last; ++i) {
    KonicaJob job;
    const auto index = static_cast<SnmpSubId>(i);
    if (!read_konica_job(session, index, &job)) return 0;
    log_konica_job(index, job);
    if (job.type == KONICA_TYPE_IN_ERROR && job.status == KONICA_STATUS_IN_ERROR) {
      *error = 1;
      if (global_ctx.debug_logging == 0) break;
    }
  }
  return 1;
}

int snmp_has_no_paper_of_sizes(SnmpSession* session, int* no_paper) {
  *no_paper = 0;
  Trays trays;
  std::fill(std::begin(trays.size), std::end(trays.size), -1);
  std::fill(std::begin(trays.full), std::end(trays.full), 0);
  if (!snmp_walk(session, &trays, toshiba_tray_papersize_callback, TOSHIBA_TRAY_PAPER_SIZE) ||
      !snmp_walk(session, &trays, toshiba_tray_fullness_callback, TOSHIBA_TRAY_FULLNESS)) {
    return 0;
  }
  Paper have_paper[TOSHIBA_PAPER_SIZE_CODES];
  std::fill(std::begin(have_paper), std::end(have_paper), Paper::UNSET);
  std::int64_t highest_size = -1;
  for (int tray = 0; tray <= trays.highest; ++tray) {
    const std::int64_t size = trays.size[tray];
    if (size < 0) continue;
    HW_DEBUG("tray[%d]: size=%ld, full=%ld", tray, static_cast<long>(size),
             static_cast<long>(trays.full[tray]));
    // Size codes are from the printer: only those of the table count.
    if (size >= TOSHIBA_PAPER_SIZE_CODES) continue;
    highest_size = std::max(highest_size, size);
    if (trays.full[tray] > 0) {
      have_paper[size] = Paper::HAS;
    } else if (have_paper[size] == Paper::UNSET) {
      have_paper[size] = Paper::NONE;
    }
  }
  for (std::int64_t s = 0; s <= highest_size; ++s) {
    if (global_ctx.debug_logging != 0) {
      HW_DEBUG("have_paper[%ld] = %s", static_cast<long>(s), paper_text(have_paper[s]));
    }
    if (have_paper[s] == Paper::NONE) *no_paper = 1;
  }
  return 1;
}
