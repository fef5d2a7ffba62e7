/* Placeholders for the commands whose subsystems are still being written.
   Each stands only until its subsystem's file exists (weak on ELF as well).
   Delete this file when every routine below has its real definition. */
#include <stdio.h>

#include "src/help/help.h"
#include "src/holder/holder_create.h"
#include "src/settings/settings.h"
#include "src/table/tool_table.h"
#include "src/tls/export_command.h"
#include "src/tls/tls_file.h"

#if defined(_WIN32)
#  define PENDING
#else
#  define PENDING __attribute__((weak))
#endif

#if !__has_include("src/tls/tls_file.cpp")
PENDING char tls_file_name[TLS_FILE_NAME_SIZE];
PENDING FILE *tls_file;
#endif
#if !__has_include("src/tls/export_command.cpp")
PENDING int Tools_ui_create(int mode) { (void)mode; return 0; }
#endif
#if !__has_include("src/holder/holder_create.cpp")
PENDING int Tools_create_holders(void) { return 0; }
#endif
#if !__has_include("src/help/help.cpp")
PENDING int Tools_help(void) { return 0; }
#endif
#if !__has_include("src/settings/settings.cpp")
PENDING int _ini_read(void) { return -1; }
#endif
