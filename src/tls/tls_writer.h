/* The TOOLID record of one tool table entry. */
#ifndef KESTO_SRC_TLS_TLS_WRITER_H
#define KESTO_SRC_TLS_TLS_WRITER_H

/* Appends the record of uTool[tool_index] to tls_file (nothing for a skipped
   entry).  0 when written or skipped, -1 when writing to the stream failed. */
int Tools_write_tls(int tool_index, int with_optipath);

#endif
