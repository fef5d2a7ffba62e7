/* The check of a host call's code. */
#include "src/call_check.h"

#include <stdio.h>

#include "host/uf_api.h"

int Tools_check(const char *file, int line, const char *call, int code) {
    if (code == 0) return 0;
    printf("%s, line %d:  %s\n", file, line, call);
    char message[UF_FAIL_MESSAGE_BUFSIZE] = "";
    if (UF_get_fail_message(code, message) != 0)
        printf("    returned a %d\n", code);
    else
        printf("    returned error %d:  %s\n", code, message);
    return code;
}
