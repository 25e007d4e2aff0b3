// The statement parsers of the transform language, tried in table order on
// each statement (or chosen IF branch).
#pragma once

#include "transform/xvp_cook.h"

enum XvpParserResult : int {
  XVP_PARSER_NOT_MINE = -1,
  XVP_PARSER_FAILURE = 0,
  XVP_PARSER_SUCCESS = 1,
};

struct XvpParser {
  int (*parse)(interpreter* in, const XvpStatement& statement);
  const char* name;
};

// ENABLE_TEST_MODE, STRIP_HEADER, ADD_HEADER, REPEAT_ALL, DELETE_UNTIL,
// INSERT, DELETE, FIND ... REPLACE, FIND, assignment.
extern const XvpParser PARSER_LIST[10];

// REPEAT_ALL counts a script may ask for.
inline constexpr std::int64_t XVP_REPEAT_MAX = 1000;
