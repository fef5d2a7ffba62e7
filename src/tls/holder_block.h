/* The HOLDER entry of a TOOLID record, from the tool's holder sections. */
#ifndef KESTO_SRC_TLS_HOLDER_BLOCK_H
#define KESTO_SRC_TLS_HOLDER_BLOCK_H

/* Asks the host for the holder of uTool[i] and writes its entry to tls_file.
   0 when done (or nothing to write), -1 when writing to the stream failed. */
int Tools_write_holder(int i);

#endif
