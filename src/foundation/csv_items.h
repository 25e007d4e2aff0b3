// The walk over the trimmed items of a separated list, shared by the list
// matchers (not for other modules).
#pragma once

#include <functional>
#include <string>

// Calls `test` with each item, trimmed of white space, until it returns true.
// 1 when some item passed, 0 otherwise (also when the split fails).
int csv_any_item(const char* list, char separator,
                 const std::function<bool(const std::string&)>& test);
