// Process start-up of the library.
#pragma once

// Readies the process: the log lock, a cleared server-redirect state, the
// configuration defaults in `global_ctx` and a seeded C random generator.
// Called once, before the configuration is loaded.
void global_init();
