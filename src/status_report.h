/* Failure codes shown to the user on the host's status line. */
#ifndef KESTO_SRC_STATUS_REPORT_H
#define KESTO_SRC_STATUS_REPORT_H

/* Shows the host's text for a failure code on the status line (and, with
   to_stderr, on standard error with a line break); when the host has no
   text for the code, a text that names the code. */
void Tools_status_report(int code, int to_stderr);

#endif
