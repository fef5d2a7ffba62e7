/* The current tool library file: its path and, during an export, its stream. */
#ifndef KESTO_SRC_TLS_TLS_FILE_H
#define KESTO_SRC_TLS_TLS_FILE_H

#include <stdio.h>

#define TLS_FILE_NAME_SIZE 260

extern char tls_file_name[TLS_FILE_NAME_SIZE];
extern FILE *tls_file;

/* The header of a new or rewritten file. */
#define TLS_FILE_HEADER "CGTECH Tool Library File\nVersion-5.2\n\n"

#endif
