/* The export commands: all tools, or those selected in the navigator. */
#ifndef KESTO_SRC_TLS_EXPORT_COMMAND_H
#define KESTO_SRC_TLS_EXPORT_COMMAND_H

/* mode 1: all tools; mode 2: selected tools.  -2 when the file cannot be
   opened, 0 otherwise. */
int Tools_ui_create(int mode);

/* The file chooser; 2 when a file was chosen (its path in tls_file_name). */
int Tools_select_file(void);

#endif
