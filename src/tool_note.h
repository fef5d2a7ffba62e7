/* The plug-in's notes on a tool: what it could not write as the host gave
   it, and what it wrote instead. */
#ifndef KESTO_SRC_TOOL_NOTE_H
#define KESTO_SRC_TOOL_NOTE_H

#include "src/text_buffer.h"

/* Prints "\n ROUTINE -> \"TOOL\": NOTE " on standard output, the note
   formatted from fmt (cut to a line), and hands tool and note to a host
   that takes notes (plat_tool_note). */
void Tools_note(const char *routine, const char *tool, const char *fmt, ...) TV_PRINTF(3, 4);

#endif
