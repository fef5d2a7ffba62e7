/* Start of the simulator on a tool library file. */
#ifndef KESTO_SRC_SETTINGS_LAUNCH_H
#define KESTO_SRC_SETTINGS_LAUNCH_H

/* -1 when the settings were not read, 0 otherwise. */
int Tools_run_vericut(int unused, const char *tls_path);

/* Starts cmd_line (the launcher program with argument) without waiting:
   0 when the process was created, -1 when not. */
int Tools_start_process(const char *cmd_line, const char *program, const char *argument);

#endif
