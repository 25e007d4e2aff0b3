// The platform layer: the one place that touches POSIX for files,
// directories, maps, locks, time, the process and TCP sockets.
#pragma once

#include "foundation/os_dir.h"
#include "foundation/os_file.h"
#include "foundation/os_lock.h"
#include "foundation/os_mmap.h"
#include "foundation/os_process.h"
#include "foundation/os_tcp.h"
#include "foundation/os_time.h"
