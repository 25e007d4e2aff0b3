// The application-server client: every server call, the redirect state, the
// job decision and the server events.
#pragma once

#include "server/events_manager.h"
#include "server/rpc_calls.h"
#include "server/rpc_printer_settings.h"
#include "server/rpc_process_job.h"
#include "server/rpc_redirect.h"
