// CUPS intake: what the CUPS backend program calls before the job flow runs.
// The incoming data becomes a spool file (gzip data inflated, with a bound on
// how far it may grow), and the job record is filled from the CUPS options
// string and the job's control file. The results follow the foundation's
// convention: 1 for success, 0 for failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct JobAttribs;

// Size of the pieces the incoming data is read in.
inline constexpr std::size_t CUPS_INTAKE_READ_SIZE = 8192;
// Spool files are "<directory>/tv<pid>-" and 16 random hexadecimal digits
// (os_file_create_unique): the pid tells whether their backend still runs.
inline constexpr const char CUPS_INTAKE_SPOOL_PREFIX[] = "tv";
// The private directory for spool files inside SpoolDir when TmpCupsSpoolDir
// names none: only root writes it; CUPS's group may pass through it to the
// files handed to a real backend that CUPS would run unprivileged.
inline constexpr const char CUPS_INTAKE_PRIVATE_DIR_NAME[] = "tmp";
inline constexpr unsigned CUPS_INTAKE_PRIVATE_DIR_MODE = 0710;

// Bounds on gzip inflation, so that a small compressed job cannot fill the
// disk. The intake fails when the inflated data exceeds `max_inflated_bytes`,
// or when it exceeds `ratio_floor_bytes` and is more than `max_ratio` times
// the compressed bytes read so far. A limit of 0 turns that test off.
struct CupsIntakeLimits {
  std::uint64_t max_inflated_bytes;
  std::uint64_t ratio_floor_bytes;
  std::uint64_t max_ratio;
};
inline constexpr std::uint64_t CUPS_INTAKE_MAX_INFLATED_BYTES = 8ULL << 30;  // 8 GiB
inline constexpr std::uint64_t CUPS_INTAKE_RATIO_FLOOR_BYTES = 64ULL << 20;  // 64 MiB
inline constexpr std::uint64_t CUPS_INTAKE_MAX_RATIO = 1000;
inline constexpr CupsIntakeLimits CUPS_INTAKE_DEFAULT_LIMITS{
    CUPS_INTAKE_MAX_INFLATED_BYTES, CUPS_INTAKE_RATIO_FLOOR_BYTES, CUPS_INTAKE_MAX_RATIO};

// Buffer sizes of the control-file attributes read.
inline constexpr std::size_t CUPS_ATTR_TEXT_SIZE = 1024;
inline constexpr std::size_t CUPS_ATTR_RECT_SIZE = 100;

// The CUPS spool directories searched after CupsSpoolDir, in order.
inline constexpr const char* CUPS_SPOOL_DIRS[] = {
    "/var/spool/cups", "/opt/cups/var/spool/cups", "/usr/local/cups/var/spool/cups"};

// Why a spool file could not be made. The caller needs to know whether the
// job could succeed later (a full disk, a read error) or never can: gzip
// data that does not inflate, or that inflates beyond the limits, is the
// same on every try.
enum CupsIntakeFailure : int {
  CUPS_INTAKE_NO_FAILURE = 0,
  CUPS_INTAKE_CREATE_FAILED,  // no spool file could be created
  CUPS_INTAKE_READ_FAILED,    // the input could not be read
  CUPS_INTAKE_WRITE_FAILED,   // the spool file could not be written
  CUPS_INTAKE_BAD_GZIP,       // corrupt or truncated gzip data
  CUPS_INTAKE_TOO_LARGE,      // inflation beyond the limits
};

// 1 when the failure lies in the data itself, so that no retry can succeed.
[[nodiscard]] constexpr int cups_intake_failure_is_permanent(CupsIntakeFailure failure) {
  return failure == CUPS_INTAKE_BAD_GZIP || failure == CUPS_INTAKE_TOO_LARGE ? 1 : 0;
}

// Copies `in` into a new spool file (mode 0600, at a name nobody can guess)
// in the temporary spool directory and leaves its path in `path`. Data that begins with the gzip
// magic is inflated. 1 on success; 0 on failure, and then no file is left
// behind: a failed write, an inflate error (corrupt or truncated gzip data)
// or inflation beyond the default limits.
[[nodiscard]] int common_make_spool_file(char* path, std::size_t size, FILE* in);
// The same with explicit inflation limits; `failure` (may be null) gets why
// it failed, CUPS_INTAKE_NO_FAILURE on success.
[[nodiscard]] int common_make_spool_file_ex(char* path, std::size_t size, FILE* in,
                                            const CupsIntakeLimits& limits,
                                            CupsIntakeFailure* failure = nullptr);
// The spool file of CUPS's own file at `source`: plain data becomes a second
// name of that file in the spool directory (a hard link: no byte copied, the
// file never written), gzip data is inflated as above, and where no link can
// be made (another file system) the data is copied in the kernel. The same
// results as common_make_spool_file_ex.
[[nodiscard]] int common_make_spool_file_from_path(char* path, std::size_t size,
                                                   const char* source,
                                                   const CupsIntakeLimits& limits,
                                                   CupsIntakeFailure* failure = nullptr);

// The directory for new spool files: TmpCupsSpoolDir when it is a directory,
// else the private directory "<SpoolDir>/tmp" (made with mode 0710 and, as
// root, CUPS's group). Null when neither can be used: spool files never go
// to a shared directory such as /tmp.
[[nodiscard]] const char* common_get_temp_spool_dir();

// Fills the client machine (and with `canon` the Canon colour, copies, duplex
// and page-size options) from the CUPS options string. 1, or 0 when the
// Canon patterns cannot be compiled.
[[nodiscard]] int common_extract_cups_options_info(JobAttribs* ja, const char* options,
                                                   int canon);
// Copies the value of the first "name=" in `text` (escaped blanks kept) into
// `buffer`, at most size - 1 characters. 1 when found, else 0.
[[nodiscard]] int common_extract_param_string(char* buffer, std::size_t size, const char* text,
                                              const char* name, int caseless);
// Copies a host name, trimming a bracketed address with colons to the
// address. 1 when copied as a host name; 0 when cut (does not fit) or copied
// unchanged (brackets without a colon).
[[nodiscard]] int common_extract_valid_hostname(char* buffer, std::size_t size, const char* text);

// Reads the job's CUPS control file "c%05d" (CupsSpoolDir, then the fixed
// directories) and fills client machine, paper, page size, duplex,
// grayscale and pages. 1 when found and read; 0 otherwise, and then the
// record is unchanged.
[[nodiscard]] int common_extract_cups_control_file_info(JobAttribs* ja, int job_id);
// The scan of the control file over bytes already in memory (the same
// results as above).
[[nodiscard]] int common_extract_cups_control_data(JobAttribs* ja, const std::uint8_t* data,
                                                   std::uint64_t size);
// Reads a string attribute whose two-byte big-endian length starts at `pos`
// (`end` is one past the file's last byte) into `buffer`. 1 on success; 0
// when the value runs past the end, does not fit, or begins with a control
// character.
[[nodiscard]] int read_str_attribute(const std::uint8_t* pos, const std::uint8_t* end,
                                     char* buffer, std::size_t size);

// The CUPS version from SOFTWARE ("CUPS/2.4.2" gives 2.4), -1.0 when unknown.
[[nodiscard]] float common_get_cups_version();
// Archive spool callback of the job flow: 1 with the CUPS data file's path
// when that file, and not the spool file, is PostScript or PDF; else 0.
[[nodiscard]] int common_cups_get_archive_spool(JobAttribs* ja, char* buffer, std::size_t size);
// The path of the job's CUPS data file "d%05d" (or "-001" when not split).
// 1 when found; 0 when none or the job was split.
[[nodiscard]] int find_spool_file(char* buffer, std::size_t size, int job_id);
// DEBUG dump of the environment entries (null-terminated array).
void common_print_env_debug(const char* const* env);
