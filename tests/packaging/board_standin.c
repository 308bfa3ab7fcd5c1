/* Plays "hbvtool boards" inside the setup programs that the tests build: prints the models in
 * the environment variable ATTACHED_BOARDS (comma-separated), one a line, as if those boards
 * were attached. Under Wine no board is. */
#include <stdio.h>
#include <stdlib.h>

int main(void) {
    const char* boards = getenv("ATTACHED_BOARDS");
    if (!boards || !*boards) return 0;
    for (const char* c = boards; *c; ++c) putchar(*c == ',' ? '\n' : *c);
    putchar('\n');
    return 0;
}
