/* Bounded copies and formats into the plug-in's fixed text buffers. */
#ifndef KESTO_SRC_TEXT_BUFFER_H
#define KESTO_SRC_TEXT_BUFFER_H

#include <stddef.h>
#include <stdio.h>

#if defined(_WIN32)
#  define TV_PRINTF(fmt, args) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, args)))
#else
#  define TV_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#endif

/* Copies src into dst (size bytes), cut to size - 1 characters and always
   terminated.  Returns 1 when the whole text fitted, 0 when it was cut. */
int tv_copy(char *dst, size_t size, const char *src);

/* snprintf into dst (size bytes), always terminated.  Returns 1 when the
   whole text fitted, 0 when it was cut or could not be formatted. */
int tv_format(char *dst, size_t size, const char *fmt, ...) TV_PRINTF(3, 4);

#endif
