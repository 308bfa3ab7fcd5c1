/* Holds a file of a working folder the way a trainer's program does while a setup or an
 * uninstaller runs beside it, until the file RELEASE appears (at most two minutes):
 *   file_holder image PATH RELEASE      loaded as a library is (the simulator and HBV7.dll)
 *   file_holder exclusive PATH RELEASE  opened without sharing
 *   file_holder reader PATH RELEASE     opened for reading as the C runtime's fopen does, which
 *                                       lets others read and write it but not rename it
 * Prints "held" once it holds the file. Under Wine only a Windows process's handle locks a
 * file: an open on the Linux side does not. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: file_holder image|exclusive|reader PATH RELEASE\n");
        return 2;
    }
    const char* how = argv[1];
    BOOL held;
    if (strcmp(how, "image") == 0) {
        held = LoadLibraryExA(argv[2], NULL, DONT_RESOLVE_DLL_REFERENCES) != NULL;
    } else {
        DWORD sharing = strcmp(how, "reader") == 0 ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
        held = CreateFileA(argv[2], GENERIC_READ, sharing, NULL, OPEN_EXISTING, 0, NULL) !=
               INVALID_HANDLE_VALUE;
    }
    if (!held) {
        fprintf(stderr, "file_holder: cannot hold %s: error %lu\n", argv[2], GetLastError());
        return 1;
    }
    printf("held\n");
    fflush(stdout);
    for (int i = 0; i < 1200 && GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(100);
    return 0;
}
