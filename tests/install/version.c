/* Prints the versions an installed keld reports to a C program: its CMake
 * package's (keld_VERSION, compiled in as KELD_PACKAGE_VERSION), its headers'
 * (keld/version.h) and the loaded library's (keld_version()). */
#include <keld/keld.h>
#include <keld/version.h>
#include <stdio.h>

int main(void) {
    printf("package %s\nheaders %s\nlibrary %s\n", KELD_PACKAGE_VERSION, KELD_VERSION_STRING, keld_version());
    return 0;
}
