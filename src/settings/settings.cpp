/* The site settings: kesto_tools_vericut.ini, looked for in the folder
   "application" under the directories the host's environment names. */
#include "src/settings/settings.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "host/platform/platform.h"
#include "host/uf_api.h"
#include "src/shared_facts.h"
#include "src/text_buffer.h"

#define INI_FAILED "Cant open and read *.ini file!\n"

/* A candidate path: 255 characters and the terminating zero. */
#define CANDIDATE_SIZE 256
/* Stored paths keep at most this many characters. */
#define STORED_PATH_FORMAT "%.132s"

SettingsBlock Settings;

/* The whole path of the file found; runpath keeps only its first 132
   characters, which may not name the file any more. */
static char ini_found_path[CANDIDATE_SIZE];

bool _ini_get(const char *section, const char *key, char *buffer, unsigned size,
              const char *path) {
    return plat_get_profile_string(section, key, "", buffer, size, path) != 0;
}

const char *_ini_file_path(void) {
    char cut[SETTINGS_TEXT_SIZE];
    tv_format(cut, sizeof cut, STORED_PATH_FORMAT, ini_found_path);
    if (ini_found_path[0] != '\0' && strcmp(cut, Settings.runpath) == 0) return ini_found_path;
    return Settings.runpath;
}

static void set_defaults(void) {
    Settings.active = 0;
    tv_copy(Settings.file, sizeof Settings.file, KESTO_SETTINGS_FILE);
    Settings.runpath[0] = '\0';
    tv_copy(Settings.ver, sizeof Settings.ver, KESTO_DEFAULT_VERSION);
    tv_copy(Settings.path_tool, sizeof Settings.path_tool, KESTO_DEFAULT_PATH_TOOL);
    tv_copy(Settings.path_usr, sizeof Settings.path_usr, KESTO_DEFAULT_PATH_USR);
    Settings.num_path = 0;
    ini_found_path[0] = '\0';
}

/* The first candidate that exists, into path; 0 when there is none. */
static int find_ini_file(char *path, size_t size) {
    for (int i = 0; i < KESTO_SETTINGS_VARIABLE_COUNT; ++i) {
        char *value = NULL;
        UF_translate_variable(kesto_settings_variables[i], &value);
        if (value == NULL) continue;
        if (!tv_format(path, size, "%s\\" KESTO_SETTINGS_FOLDER "\\%s", value, Settings.file)) {
            printf("\n _ini_read - %s: the path would be longer than %d characters, skipped ",
                   kesto_settings_variables[i], (int)size - 1);
            continue;
        }
        /* Counts as missing unless the host says it exists. */
        int status = 1;
        UF_CFI_ask_file_exist(path, &status);
        UF_print_syslog(path, false);
        UF_print_syslog("\n", false);
        if (status == 0) return 1;
    }
    path[0] = '\0';
    return 0;
}

/* Reads the "VMAIN" keys over the defaults. */
static void read_main_section(const char *path) {
    char version[SETTINGS_VER_SIZE];
    if (_ini_get("VMAIN", "VERSION", version, sizeof version, path))
        tv_copy(Settings.ver, sizeof Settings.ver, version);

    char text[SETTINGS_TEXT_SIZE];
    if (_ini_get("VMAIN", "TLS", text, sizeof text, path))
        tv_format(Settings.path_tool, sizeof Settings.path_tool, STORED_PATH_FORMAT, text);
    if (_ini_get("VMAIN", "USR", text, sizeof text, path))
        tv_format(Settings.path_usr, sizeof Settings.path_usr, STORED_PATH_FORMAT, text);

    char number[SETTINGS_VER_SIZE];
    if (_ini_get("VMAIN", "NUM", number, sizeof number, path)) Settings.num_path = atoi(number);
}

int _ini_read(void) {
    printf("\n ----start----- _ini_read ");
    set_defaults();
    printf("\n _ini_read init finish");

    char path[CANDIDATE_SIZE];
    if (!find_ini_file(path, sizeof path)) {
        printf("\n\t UF_CFI_ask_file_exist(%d) - %s ", -1, Settings.file);
        UF_print_syslog(INI_FAILED, false);
        return -1;
    }
    /* The open only proves that the file can be read. */
    if (!plat_file_opens(path)) {
        UF_print_syslog(INI_FAILED, false);
        return -1;
    }

    printf("\n _ini_read - read ini");
    Settings.active = 1;
    tv_format(Settings.runpath, sizeof Settings.runpath, STORED_PATH_FORMAT, path);
    tv_copy(ini_found_path, sizeof ini_found_path, path);
    read_main_section(path);

    printf("\nactive=%d", Settings.active);
    printf("\nfile=%s", Settings.file);
    printf("\nrunpath=%s", Settings.runpath);
    printf("\nver=%s", Settings.ver);
    printf("\npath_tool=%s", Settings.path_tool);
    printf("\npath_usr=%s", Settings.path_usr);
    printf("\nnum_path=%d", Settings.num_path);
    printf("\n ----end----- _ini_read");
    return 0;
}
