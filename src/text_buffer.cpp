#include "src/text_buffer.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

int tv_copy(char *dst, size_t size, const char *src) {
    if (size == 0) return 0;
    size_t n = strlen(src);
    int whole = n < size;
    if (!whole) n = size - 1;
    memmove(dst, src, n);
    dst[n] = '\0';
    return whole;
}

int tv_format(char *dst, size_t size, const char *fmt, ...) {
    if (size == 0) return 0;
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(dst, size, fmt, ap);
    va_end(ap);
    if (n < 0) {
        dst[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(n) < size;
}
