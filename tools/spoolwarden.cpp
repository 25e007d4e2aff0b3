// The CUPS backend (src/job/backend.h).
#include "job/backend.h"

int main(int argc, char** argv) { return cups_backend_main(argc, argv); }
