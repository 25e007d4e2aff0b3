// The event process, "spoolwarden-events": drains the application server's
// events and so keeps the held-job markers that release held jobs. Started
// as root by its service unit, it makes the held-job directory and then runs
// as the service account. A termination request (SIGTERM, SIGINT) ends it at
// once, even in the middle of a long poll. The configuration is found as for
// the backend (beside the program); exit statuses 10 to 12 report one that
// cannot be loaded, 1 a failed start.
#pragma once

[[nodiscard]] int events_program_main(int argc, char** argv);
