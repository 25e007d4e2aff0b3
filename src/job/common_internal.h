// Steps of the job flow shared between its source files.
#pragma once

#include <cstddef>

struct JobAttribs;
struct ProcessJobResponse;

// Puts a rewritten spool file in place when the decision asks for a change;
// the strategy is only acted on once a rewritten file exists.
void common_apply_spool_modification(JobAttribs* ja, const ProcessJobResponse* response,
                                     const char* printer_address, int replacement_strategy);

// The redirect steps of a REDIRECT decision.
void common_redirect(JobAttribs* ja, const ProcessJobResponse* response,
                     const char* printer_address);
