/* A C host linked with the MinGW import libraries made for host programmers: the header
 * compiles as C, both DLLs' ten names resolve at link time, and the DLLs load and answer. */
#include "hbv.h"

#include <stdio.h>

int main(void) {
    uint16_t driver7 = 0, driver5 = 0;
    uint8_t buffer[64] = {0};
    int failures = 0;

    failures += GetDllVersionHBV7() != 0x0300;
    failures += GetDllVersionHBV5() != 0x0301;
    failures += GetDrvVersionHBV7(&driver7) != 1 || driver7 != 0x0300;
    failures += GetDrvVersionHBV5(&driver5) != 1 || driver5 != 0x0300;
    failures += InitHBV7(NULL, 0) == NULL;
    failures += InitHBV5(NULL, 0) == NULL;
    failures += WriteHBV7(buffer) != 1 || WriteHBV5(buffer) != 1;
    failures += GetPacketHBV7(buffer) != 0 || GetPacketHBV5(buffer) != 0;
    failures += QueryVersionHBV7() != 0 || ReadEEPROMHBV5(0, 1) != 0;
    failures += WriteEEPROMHBV7(buffer, 0, 0) != 1 || EnterBootloaderHBV5() != 0;
    DoneHBV7();
    DoneHBV5();
    printf("%d failures\n", failures);
    return failures != 0;
}
