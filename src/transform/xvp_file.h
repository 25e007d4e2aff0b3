// Which transform script applies to a job redirected from its own (source)
// printer to a target printer. Scripts live under TransformsDir in the trees
// "custom" and "system" (searched in that order): a directory per language
// (matched against the language's display name), optional directories per
// source printer, and ".transform" files named after the target printer's
// name or driver, with "primary.transform" first and "default.transform"
// last.
#pragma once

#include <string>
#include <vector>

struct JobAttribs;

// Standard subdirectories made under TransformsDir.
inline constexpr const char* XVP_TRANSFORMS_DIR_STRUCTURE[] = {
    "system", "custom", "logs", "examples", "system/postscript", "system/postscript/tv-win",
    "custom/postscript"};

// The chosen script's path, empty when none applies. `supported_language`
// says whether a language directory matched in either tree;
// `supported_source` whether a script was chosen or a source directory
// matched. Target name and type may be null or empty.
[[nodiscard]] std::string xvp_select_script(const JobAttribs* ja, const char* target_name,
                                            const char* target_type, bool* supported_language,
                                            bool* supported_source);

// Makes TransformsDir, TransformLogsDir and the standard subdirectories
// (nothing below environment version 11). 1 or 0.
[[nodiscard]] int xvp_create_scripts_dir();

// The subdirectories of `dir` (directories) or its ".transform" files,
// full paths in selection order: "primary.transform" first,
// "default.transform" last, more "." first, then caseless alphabetical.
[[nodiscard]] std::vector<std::string> get_dir_paths_sorted(const std::string& dir,
                                                            bool directories);
// Index of the first entry whose name matches the printer's name or type
// (aliases first, then name parts), -1 when none does.
[[nodiscard]] int match_path(const std::vector<std::string>& paths, const char* name,
                             const char* type, bool script_files);
