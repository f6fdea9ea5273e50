// The library's version, fixed at build time from the CMake project.
#include "keld/keld.h"
#include "keld/version.h"

extern "C" const char *keld_version(void) { return KELD_VERSION_STRING; }
