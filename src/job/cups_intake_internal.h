// Helpers shared by the units of the CUPS intake.
#pragma once

struct JobAttribs;

// Whether `name` is "localhost" or "127.0.0.1" (any case).
bool common_is_local_host_name(const char* name);

// Replaces a client machine of "localhost" or "127.0.0.1" (any case) by this
// host's own name.
void common_replace_local_client_machine(JobAttribs* ja);
