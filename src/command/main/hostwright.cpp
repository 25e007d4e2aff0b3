// The hostwright executable; the command lives in the command library.
#include "command/hostwright.h"

int main(int argc, char** argv) { return hostwright_main(argc, argv); }
