/* The site settings from kesto_tools_vericut.ini. */
#ifndef KESTO_SRC_SETTINGS_SETTINGS_H
#define KESTO_SRC_SETTINGS_SETTINGS_H

#define SETTINGS_TEXT_SIZE 257
#define SETTINGS_VER_SIZE 10

struct SettingsBlock {
    int active;
    char file[SETTINGS_TEXT_SIZE];
    char runpath[SETTINGS_TEXT_SIZE];
    char ver[SETTINGS_VER_SIZE];
    char path_tool[SETTINGS_TEXT_SIZE];
    char path_usr[SETTINGS_TEXT_SIZE];
    int num_path;
};

extern SettingsBlock Settings;

/* Finds and reads the settings file; 0 when read, -1 when none could be. */
int _ini_read(void);

/* One key of the settings file; true when it has a non-empty value. */
bool _ini_get(const char *section, const char *key, char *buffer, unsigned size,
              const char *path);

/* The settings file to read launcher entries from: the whole path found
   (runpath holds at most its first 132 characters), or runpath when the
   block was not filled by _ini_read. */
const char *_ini_file_path(void);

#endif
