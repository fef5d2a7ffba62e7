/* The current tool library file. */
#include "src/tls/tls_file.h"

char tls_file_name[TLS_FILE_NAME_SIZE];
FILE *tls_file;
