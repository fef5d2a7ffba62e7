/* Start of the simulator on a tool library file, through the launcher
   programs listed in section "VRUN" of the settings file. */
#include "src/settings/launch.h"

#include <limits.h>
#include <stdio.h>

#include "host/platform/platform.h"
#include "host/uf_api.h"
#include "src/settings/settings.h"
#include "src/text_buffer.h"
#include "src/tls/tls_file.h"

/* Room for a launcher path and a tool file path of their largest sizes,
   each in quotes, one blank between them. */
#define COMMAND_LINE_SIZE (SETTINGS_TEXT_SIZE + TLS_FILE_NAME_SIZE + 4)
/* Room for either message around a tool file path of its largest size. */
#define LAUNCH_MESSAGE_SIZE (TLS_FILE_NAME_SIZE + 128)

#define NOT_READ_MESSAGE "Не могу запустить Vericut для:\n %s\n сделайте это вручную.."
#define NOT_STARTED_MESSAGE "Невозможно запустить Vericut для %s\nсделайте это вручную.."

/* The launcher path of entry index, into launcher; 0 when the entry is
   missing or empty, or names no existing file. */
static int launcher_of(int index, char *launcher, unsigned size) {
    char key[16];
    tv_format(key, sizeof key, "%d", index);
    if (!_ini_get("VRUN", key, launcher, size, _ini_file_path())) return 0;
    /* Counts as missing unless the host says it exists. */
    int status = 1;
    UF_CFI_ask_file_exist(launcher, &status);
    return status == 0;
}

int Tools_run_vericut(int unused, const char *tls_path) {
    (void)unused;
    char message[LAUNCH_MESSAGE_SIZE];
    if (!Settings.active) {
        tv_format(message, sizeof message, NOT_READ_MESSAGE, tls_path);
        uc1601(message, 1);
        return -1;
    }
    for (int i = 0; i <= Settings.num_path; ++i) {
        char launcher[SETTINGS_TEXT_SIZE];
        if (launcher_of(i, launcher, sizeof launcher)) {
            char cmd_line[COMMAND_LINE_SIZE];
            if (!tv_format(cmd_line, sizeof cmd_line, "\"%s\" \"%s\"", launcher, tls_path)) {
                /* Only a longer tool file path than the export ever hands
                   over gets here; a cut command line is never started. */
                printf("\n Tools_run_vericut %d) command line too long, not started: %s ", i, launcher);
            } else {
                printf("\n Tools_run_vericut %d) GetParam=%s file=%s \n", i, launcher, tls_path);
                printf("\n %s ", cmd_line);
                if (Tools_start_process(cmd_line, launcher, tls_path) == 0) return 0;
            }
        }
        if (i == INT_MAX) break;
    }
    tv_format(message, sizeof message, NOT_STARTED_MESSAGE, tls_path);
    uc1601(message, 1);
    return 0;
}

int Tools_start_process(const char *cmd_line, const char *program, const char *argument) {
    if (plat_start_process(cmd_line, program, argument) != 0) {
        printf("\n\t (CreateProcess) - error run %s ", cmd_line);
        return -1;
    }
    return 0;
}
