/* The plug-in's notes on a tool, for the user and for a host that keeps them. */
#include "src/tool_note.h"

#include <stdarg.h>
#include <stdio.h>

#include "host/platform/platform.h"

/* One line of standard output holds a note. */
#define TOOL_NOTE_SIZE 256

void Tools_note(const char *routine, const char *tool, const char *fmt, ...) {
    char note[TOOL_NOTE_SIZE];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(note, sizeof note, fmt, ap);
    va_end(ap);
    if (n < 0) note[0] = '\0';
    printf("\n %s -> \"%s\": %s ", routine, tool, note);
    plat_tool_note(tool, note);
}
