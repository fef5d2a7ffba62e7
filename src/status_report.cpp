/* Failure codes shown to the user on the host's status line. */
#include "src/status_report.h"

#include <stdio.h>

#include "host/uf_api.h"
#include "src/text_buffer.h"

void Tools_status_report(int code, int to_stderr) {
    char message[UF_FAIL_MESSAGE_BUFSIZE] = "";
    /* A code without a host text is never shown as an empty line. */
    if (UF_get_fail_message(code, message) != 0 || message[0] == '\0')
        tv_format(message, sizeof message, "Ошибка %d (нет текста для этого кода)", code);
    UF_UI_set_status(message);
    if (to_stderr) fprintf(stderr, "%s\n", message);
}
