/* The TOOLID record of one tool table entry. */
#ifndef KESTO_SRC_TLS_TLS_WRITER_H
#define KESTO_SRC_TLS_TLS_WRITER_H

#include "src/text_buffer.h"
#include "src/tls/cutter_profile.h"

/* Appends the record of uTool[tool_index] to tls_file (nothing for a skipped
   entry).  0 when written or skipped, -1 when writing to the stream failed. */
int Tools_write_tls(int tool_index, int with_optipath);

/* 1 when Tools_write_tls writes a record for uTool[tool_index], 0 when it
   skips the entry (out of range, the host's NONE member, a negative type
   or subtype, a table past its load limit). */
int tls_entry_has_record(int tool_index);

/* Formatted output to tls_file, shared by the record and its holder block:
   0 when written, -1 when there is no stream or the stream refused. */
int tls_write(const char *fmt, ...) TV_PRINTF(1, 2);

/* One outline line, of a cutter or a holder, to tls_file; as tls_write. */
int tls_write_profile_line(const ProfileLine *line);

#endif
