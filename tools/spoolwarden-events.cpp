// The event process (src/job/events_program.h).
#include "job/events_program.h"

int main(int argc, char** argv) { return events_program_main(argc, argv); }
