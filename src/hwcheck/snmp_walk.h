// Walks of a subtree of a printer's objects, one variable per request.
#pragma once

#include <cstddef>
#include <cstdio>

#include "hwcheck/snmp_oid.h"
#include "hwcheck/snmp_session.h"

struct variable_list;

// Receives each variable of a walk; a non-zero answer ends the walk.
using SnmpWalkCallback = int (*)(void* context, const variable_list* var);

// Most variables one walk reads: the tables walked here have a few dozen
// rows; an agent that goes on answering new identifiers for ever is stopped.
inline constexpr std::size_t SNMP_WALK_MAX_VARIABLES = 10000;

// Walks the subtree under `root` (1.3.6.1 when empty). The root itself is
// asked first (a table root is no instance: an exception or noSuchName
// there is not an error), then GETNEXT from the root, one variable at a
// time. The walk ends with 1 at the end of the subtree, at v2c's
// endOfMibView, at v1's noSuchName, or when the callback answers non-zero;
// with 0 on a failed request, another error status, an answer that does not
// move forward (a looping agent), or after SNMP_WALK_MAX_VARIABLES.
[[nodiscard]] int snmp_walk(SnmpSession* session, void* context, SnmpWalkCallback callback,
                            SnmpOidView root);

// The same walk printing every variable in the library's format to `out`;
// with `use_bulk` GETBULK requests (non-repeaters 10, max-repetitions 0)
// replace GETNEXT; with `show_progress` a running count goes to standard
// output. Errors go to `err`; "End of MIB\n" to `out` ends the walk with 1.
[[nodiscard]] int snmp_walk_dump(SnmpSession* session, int use_bulk, int show_progress, FILE* out,
                                 FILE* err, SnmpOidView root);
