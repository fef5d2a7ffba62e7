/* Start of the simulator on a tool library file, through the launcher
   programs listed in section "VRUN" of the settings file. */
#include "src/settings/launch.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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

/* Room for the key names of section "VRUN".  A list that may have been
   cut is not trusted: the indices are then visited one by one. */
#define VRUN_KEYS_SIZE 65536

static char vrun_keys[VRUN_KEYS_SIZE];
static int vrun_indices[VRUN_KEYS_SIZE / 2];

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

/* Tries the launcher of entry index on tls_path; 1 when it was started. */
static int start_entry(int index, const char *tls_path) {
    char launcher[SETTINGS_TEXT_SIZE];
    if (!launcher_of(index, launcher, sizeof launcher)) return 0;
    char cmd_line[COMMAND_LINE_SIZE];
    if (!tv_format(cmd_line, sizeof cmd_line, "\"%s\" \"%s\"", launcher, tls_path)) {
        /* Only a longer tool file path than the export ever hands over gets
           here; a cut command line is never started. */
        printf("\n Tools_run_vericut %d) command line too long, not started: %s ", index, launcher);
        return 0;
    }
    printf("\n Tools_run_vericut %d) GetParam=%s file=%s \n", index, launcher, tls_path);
    printf("\n %s ", cmd_line);
    return Tools_start_process(cmd_line, launcher, tls_path) == 0;
}

/* The index a key name stands for when it is written as "%d" writes an
   index from 0 to last; -1 for any other name. */
static int index_of(const char *name, int last) {
    if (name[0] == '0') return name[1] == '\0' ? 0 : -1;
    long long value = 0;
    for (const char *c = name; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') return -1;
        value = value * 10 + (*c - '0');
        if (value > last) return -1;
    }
    return name[0] == '\0' ? -1 : (int)value;
}

static int compare_ints(const void *a, const void *b) {
    int x = *(const int *)a;
    int y = *(const int *)b;
    return x < y ? -1 : x > y;
}

/* A key without a name in section "VRUN" (two defaults give one answer)
   hides the whole list when it comes first. */
static int vrun_has_nameless_key(const char *path) {
    char a[4], b[4];
    plat_get_profile_string("VRUN", "", "a", a, sizeof a, path);
    plat_get_profile_string("VRUN", "", "b", b, sizeof b, path);
    return strcmp(a, b) == 0;
}

/* The indices from 0 to last that section "VRUN" has a key for, in
   increasing order, into vrun_indices; their number, or -1 when the list
   of key names cannot be trusted to hold them all. */
static int vrun_entry_indices(int last) {
    const char *path = _ini_file_path();
    unsigned count = plat_get_profile_keys("VRUN", vrun_keys, sizeof vrun_keys, path);
    if (count >= sizeof vrun_keys - 2) return -1;
    if (count == 0 && vrun_has_nameless_key(path)) return -1;
    int n = 0;
    for (unsigned at = 0; at < count; at += (unsigned)strlen(vrun_keys + at) + 1) {
        int index = index_of(vrun_keys + at, last);
        if (index >= 0) vrun_indices[n++] = index;
    }
    qsort(vrun_indices, (size_t)n, sizeof vrun_indices[0], compare_ints);
    int unique = 0;
    for (int k = 0; k < n; ++k)
        if (unique == 0 || vrun_indices[unique - 1] != vrun_indices[k]) vrun_indices[unique++] = vrun_indices[k];
    return unique;
}

int Tools_run_vericut(int unused, const char *tls_path) {
    (void)unused;
    char message[LAUNCH_MESSAGE_SIZE];
    if (!Settings.active) {
        tv_format(message, sizeof message, NOT_READ_MESSAGE, tls_path);
        uc1601(message, 1);
        return -1;
    }
    /* Only the entries the section has are visited, so that a large NUM
       costs nothing; the order and the output are those of a walk over
       every index from 0 to NUM. */
    int entries = Settings.num_path < 0 ? 0 : vrun_entry_indices(Settings.num_path);
    if (entries >= 0) {
        for (int k = 0; k < entries; ++k)
            if (start_entry(vrun_indices[k], tls_path)) return 0;
    } else {
        for (int i = 0; i <= Settings.num_path; ++i) {
            if (start_entry(i, tls_path)) return 0;
            if (i == INT_MAX) break;
        }
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
