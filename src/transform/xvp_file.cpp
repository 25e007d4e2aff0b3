// Transform-script selection.
#include "transform/xvp_file.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "foundation/os_dir.h"
#include "foundation/os_file.h"
#include "transform/xvp_token.h"

namespace {

struct DriverAlias {
  const char* name;    // directory or file base name (caseless)
  const char* driver;  // looked for inside the printer's driver name (case-sensitive)
};
constexpr DriverAlias DRIVER_ALIASES[] = {
    {"tv-win", "Torvelle Global PostScript"},
    {"tv-mac", "MAC GENERIC POSTSCRIPT PRINTER DRIVER"},
    {"tv-mac", "Generic PostScript Printer"},
};

constexpr std::string_view SCRIPT_SUFFIX = ".transform";
// Name parts are taken from at most this many characters of a name.
constexpr std::size_t NAME_PARTS_MAX = 199;

bool ends_with_caseless(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         xvp_equal_caseless(text.substr(text.size() - suffix.size()), suffix);
}

bool contains_caseless(std::string_view haystack, std::string_view needle) {
  if (needle.size() > haystack.size()) return false;
  for (std::size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
    if (xvp_equal_caseless(haystack.substr(i, needle.size()), needle)) return true;
  }
  return false;
}

bool missing(const char* text) { return text == nullptr || text[0] == '\0'; }

std::string_view base_name(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool is_match_fname(std::string_view base, const char* type) {
  if (missing(type)) return false;
  for (const DriverAlias& alias : DRIVER_ALIASES) {
    if (xvp_equal_caseless(base, alias.name) && std::strstr(type, alias.driver) != nullptr)
      return true;
  }
  return false;
}

// Every "."-part of the base occurs, without case, inside `text`.
bool all_parts_in(std::string_view base, const char* text) {
  if (missing(text)) return false;
  base = base.substr(0, std::min(base.size(), NAME_PARTS_MAX));
  bool any = false;
  while (!base.empty()) {
    const std::size_t dot = base.find('.');
    const std::string_view part = base.substr(0, dot);
    base = dot == std::string_view::npos ? std::string_view() : base.substr(dot + 1);
    if (part.empty()) continue;
    if (!contains_caseless(text, part)) return false;
    any = true;
  }
  return any;
}

bool is_match_parts(std::string_view base, const char* name, const char* type) {
  return all_parts_in(base, name) || all_parts_in(base, type);
}

bool entry_matches(std::string_view base, const char* name, const char* type, bool aliases) {
  auto test = [aliases](std::string_view b, const char* n, const char* t) {
    return aliases ? is_match_fname(b, t) : is_match_parts(b, n, t);
  };
  if (base.size() > 5 && ends_with_caseless(base, ".type")) {
    return test(base.substr(0, base.size() - 5), nullptr, type);
  }
  if (base.size() > 5 && ends_with_caseless(base, ".name")) {
    return test(base.substr(0, base.size() - 5), name, nullptr);
  }
  return test(base, name, type);
}

int count_dots(std::string_view name) {
  return static_cast<int>(std::count(name.begin(), name.end(), '.'));
}

bool longest_first(const std::string& a_path, const std::string& b_path) {
  const std::string_view a = base_name(a_path);
  const std::string_view b = base_name(b_path);
  auto rank = [](std::string_view n) {
    if (xvp_equal_caseless(n, "primary.transform")) return 0;
    if (xvp_equal_caseless(n, "default.transform")) return 2;
    return 1;
  };
  if (rank(a) != rank(b)) return rank(a) < rank(b);
  if (count_dots(a) != count_dots(b)) return count_dots(a) > count_dots(b);
  return strcasecmp(std::string(a).c_str(), std::string(b).c_str()) < 0;
}

struct Listing {
  std::vector<std::string>* paths;
  bool directories;
};

int collect_entry(const char* path, std::int64_t, void* data) {
  auto* listing = static_cast<Listing*>(data);
  const std::string_view name = base_name(path);
  if (name == "." || name == "..") return 1;
  if (listing->directories || ends_with_caseless(name, SCRIPT_SUFFIX)) {
    listing->paths->emplace_back(path);
  }
  return 1;
}

std::string join(const std::string& dir, const char* name) {
  char path[OS_PATH_BUFFER_SIZE];
  return os_cat_path(path, sizeof path, dir.c_str(), name) ? std::string(path) : std::string();
}

struct TreeResult {
  bool language = false;
  bool source = false;
  std::string script;
};

// The script directory of a tree: the source directory that matches the
// job's printer, else the language directory.
std::string script_dir(const std::string& lang_dir, const JobAttribs* ja, TreeResult* result) {
  const std::vector<std::string> sources = get_dir_paths_sorted(lang_dir, true);
  if (sources.empty()) {
    LOG_DEBUG("XVP: no script dirs can be found in the language dir \"%s\"", lang_dir.c_str());
    return lang_dir;
  }
  const int found = match_path(sources, ja->printer_name, ja->printer_type, false);
  if (found < 0) {
    LOG_DEBUG("XVP: no script dir match on printer \"%s\" and printer model \"%s\" for lang dir "
              "\"%s\"",
              ja->printer_name, ja->printer_type, lang_dir.c_str());
    return lang_dir;
  }
  LOG_DEBUG("XVP: found script dir match on printer \"%s\" and printer model \"%s\" for lang dir "
            "\"%s\"",
            ja->printer_name, ja->printer_type, lang_dir.c_str());
  result->source = true;
  return sources[static_cast<std::size_t>(found)];
}

std::string choose_script(const std::string& dir, const char* target_name,
                          const char* target_type) {
  const std::vector<std::string> scripts = get_dir_paths_sorted(dir, false);
  if (scripts.empty()) {
    LOG_DEV("XVP: no script paths can be found in the script dir \"%s\"", dir.c_str());
    return {};
  }
  int found = match_path(scripts, "primary.transform", nullptr, true);
  LOG_DEV(found >= 0 ? "XVP: found script path match for primary.transform when searching in "
                       "script dir \"%s\""
                     : "XVP: no script path match for primary.transform when searching in "
                       "script dir \"%s\"",
          dir.c_str());
  if (found >= 0) return scripts[static_cast<std::size_t>(found)];
  found = match_path(scripts, target_name, target_type, true);
  LOG_DEV("XVP: %s script path match for target printer name \"%s\" and target printer type "
          "\"%s\" when searching in script dir \"%s\"",
          found >= 0 ? "found" : "no", target_name != nullptr ? target_name : "",
          target_type != nullptr ? target_type : "", dir.c_str());
  if (found >= 0) return scripts[static_cast<std::size_t>(found)];
  found = match_path(scripts, "default.transform", nullptr, true);
  LOG_DEBUG(found >= 0 ? "XVP: found script path match for default.transform when searching in "
                         "script dir \"%s\""
                       : "XVP: no script path match for default.transform when searching in "
                         "script dir \"%s\"",
            dir.c_str());
  return found >= 0 ? scripts[static_cast<std::size_t>(found)] : std::string();
}

TreeResult select_script_int(const std::string& tree, const JobAttribs* ja,
                             const char* target_name, const char* target_type) {
  TreeResult result;
  const std::vector<std::string> dirs = get_dir_paths_sorted(tree, true);
  if (dirs.empty()) {
    LOG_DEBUG("XVP: no language match due to no dirs in \"%s\"", tree.c_str());
    return result;
  }
  const char* language = analyzer_lang_to_string(ja->language);
  if (std::strcmp(language, "Undefined") == 0) {
    LOG_DEBUG("XVP: no language match in dir \"%s\" for language \"%s\"", tree.c_str(), language);
    return result;
  }
  const int lang = match_path(dirs, language, nullptr, false);
  if (lang < 0) {
    LOG_DEBUG("XVP: no language match in dir \"%s\" on lang directory for language \"%s\"",
              tree.c_str(), language);
    return result;
  }
  LOG_DEBUG("XVP: found language match on lang directory for language \"%s\"", language);
  result.language = true;
  const std::string dir = script_dir(dirs[static_cast<std::size_t>(lang)], ja, &result);
  result.script = choose_script(dir, target_name, target_type);
  if (!result.script.empty()) result.source = true;
  return result;
}

}  // namespace

std::vector<std::string> get_dir_paths_sorted(const std::string& dir, bool directories) {
  std::vector<std::string> paths;
  if (!TV_ASSERT(global_ctx.env_version >= ENV_VER_11_XVP)) return paths;
  Listing listing{&paths, directories};
  int count = 0;
  int stopped = 0;
  if (!os_forall_files_in_dir_ex(dir.c_str(), collect_entry, &listing, 0, &count, &stopped,
                                 directories ? 1 : 0, directories ? 0 : 1)) {
    LOG_DEBUG("get_dir_paths: os_forall_files_in_dir_ex failed: dir='%s'", dir.c_str());
    return {};
  }
  std::sort(paths.begin(), paths.end(), longest_first);
  return paths;
}

int match_path(const std::vector<std::string>& paths, const char* name, const char* type,
               bool script_files) {
  if (missing(name) && missing(type)) return -1;
  for (bool aliases : {true, false}) {
    for (std::size_t i = 0; i < paths.size(); ++i) {
      std::string_view base = base_name(paths[i]);
      if (script_files && base.size() > SCRIPT_SUFFIX.size() && ends_with_caseless(base, SCRIPT_SUFFIX)) {
        base.remove_suffix(SCRIPT_SUFFIX.size());
      }
      if (!base.empty() && entry_matches(base, name, type, aliases)) return static_cast<int>(i);
    }
  }
  return -1;
}

std::string xvp_select_script(const JobAttribs* ja, const char* target_name,
                              const char* target_type, bool* supported_language,
                              bool* supported_source) {
  TreeResult total;
  for (const char* tree : {"custom", "system"}) {
    const TreeResult r =
        select_script_int(join(global_ctx.xvp_scripts_dir_path, tree), ja, target_name, target_type);
    total.language = total.language || r.language;
    total.source = total.source || r.source;
    if (!r.script.empty()) {
      total.script = r.script;
      break;
    }
  }
  LOG_DEBUG("xvp_select_script: printer_name='%s',printer_type='%s',target_printer_name='%s',"
            "target_printer_type='%s',script='%s',supported_source=%s,supported_language=%s",
            ja->printer_name, ja->printer_type, target_name != nullptr ? target_name : "",
            target_type != nullptr ? target_type : "", total.script.c_str(),
            total.source ? "Y" : "N", total.language ? "Y" : "N");
  if (supported_language != nullptr) *supported_language = total.language;
  if (supported_source != nullptr) *supported_source = total.source;
  return total.script;
}

int xvp_create_scripts_dir() {
  if (global_ctx.env_version < ENV_VER_11_XVP) return 1;
  if (!os_create_dir_recursive(global_ctx.xvp_scripts_dir_path)) {
    LOG_LAST_SYSTEM_ERROR("Unable to create transform scripts directory: %s",
                          global_ctx.xvp_scripts_dir_path);
    return 0;
  }
  if (!os_create_dir_recursive(global_ctx.xvp_logs_dir_path)) {
    LOG_LAST_SYSTEM_ERROR("Unable to create transform logs directory: %s",
                          global_ctx.xvp_logs_dir_path);
    return 0;
  }
  for (const char* sub : XVP_TRANSFORMS_DIR_STRUCTURE) {
    const std::string path = join(global_ctx.xvp_scripts_dir_path, sub);
    if (path.empty() || !os_create_dir_recursive(path.c_str())) {
      LOG_LAST_SYSTEM_ERROR("Unable to create transform scripts directory: %s", path.c_str());
      return 0;
    }
  }
  return 1;
}
