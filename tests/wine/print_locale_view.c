/* Prints what a program sees of the locale it started with: the ANSI and OEM code pages and its
   first argument in UTF-8. On a Russian Windows: 1251, 866 and a Cyrillic argument as given;
   under Wine the argument arrives whole only when the Unix locale was whole at the start. */
#include <stdio.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    char argument[256] = "";
    if (argc > 1)
        WideCharToMultiByte(CP_UTF8, 0, argv[1], -1, argument, sizeof argument, NULL, NULL);
    printf("%u %u %s\n", GetACP(), GetOEMCP(), argument);
    return 0;
}
