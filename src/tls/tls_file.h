/* The current tool library file: its path and, during an export, its stream. */
#ifndef KESTO_SRC_TLS_TLS_FILE_H
#define KESTO_SRC_TLS_TLS_FILE_H

#include <stdio.h>

#include "src/shared_facts.h"

#define TLS_FILE_NAME_SIZE 260

extern char tls_file_name[TLS_FILE_NAME_SIZE];
extern FILE *tls_file;

/* The header of a new or rewritten file. */
#define TLS_FILE_HEADER KESTO_LIBRARY_HEADER

/* What tls_file_open reports. */
#define TLS_FILE_OPEN 0
#define TLS_FILE_UNOPENABLE (-1)
#define TLS_FILE_BUSY (-2) /* another user is writing the file */

/* Opens tls_file on tls_file_name, mode "w" (rewrite) or "a" (append).  A
   regular file, or none, is written as a new file beside it that takes its
   place only when the export closes it as done; appending then starts on a
   new line.  Until then no other writer (another export, the command-line
   tool) may write the file.  Anything else (a folder, a device, a pipe) is
   refused, never opened, so that no open can wait.  TLS_FILE_OPEN, or
   TLS_FILE_UNOPENABLE or TLS_FILE_BUSY with nothing touched. */
int tls_file_open(const char *mode);

/* Closes tls_file.  done: the export succeeded, the new file takes the
   chosen file's place; 0 when all that was written reached the file, -1
   when not (the chosen file then keeps its old bytes, where it can).  Not
   done: the new file is removed and the chosen file is left as it was. */
int tls_file_close(int done);

#endif
