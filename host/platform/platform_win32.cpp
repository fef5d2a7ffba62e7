// Platform layer of the Windows build: the KERNEL32 and C runtime services
// themselves.
#include "host/platform/platform.h"

#include <windows.h>

unsigned plat_get_profile_string(const char *section, const char *key, const char *def,
                                 char *out, unsigned size, const char *file) {
    return GetPrivateProfileStringA(section, key, def, out, size, file);
}

int plat_file_opens(const char *path) {
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) return 0;
    CloseHandle(h);
    return 1;
}

int plat_start_process(const char *cmd_line, const char *program, const char *argument) {
    // CreateProcessA finds the program in the command line itself.
    (void)program;
    (void)argument;
    // CreateProcessA may write into the command line, so it gets a copy.
    size_t n = 0;
    while (cmd_line[n] != '\0') ++n;
    char *line = static_cast<char *>(HeapAlloc(GetProcessHeap(), 0, n + 1));
    if (line == NULL) return -1;
    for (size_t i = 0; i <= n; ++i) line[i] = cmd_line[i];

    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof pi);
    BOOL created = CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi);
    HeapFree(GetProcessHeap(), 0, line);
    if (!created) return -1;
    // Nothing of the new process is used: its handles go at once.
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
}

FILE *plat_open_text(const char *path, const char *mode) {
    if (mode == NULL || (mode[0] != 'w' && mode[0] != 'a') || mode[1] != '\0') return NULL;
    return fopen(path, mode);
}
