/* The check of a host call's code that every command makes: a failure is
   reported with the source file, the line and the call. */
#ifndef KESTO_SRC_CALL_CHECK_H
#define KESTO_SRC_CALL_CHECK_H

/* Reports a failed host call (code not 0) with where it stands and its text;
   gives the code back. */
int Tools_check(const char *file, int line, const char *call, int code);

/* Makes a host call and passes its code, with the source file, the line and
   the call's own text, to Tools_check; the value is the call's code. */
#define TOOLS_CHECK(call) Tools_check(__FILE__, __LINE__, #call, (call))

#endif
