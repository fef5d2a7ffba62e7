// Platform layer of the Windows build: the KERNEL32 and C runtime services
// themselves (and the lock every writer of a library shares, host/common).
#include "host/platform/platform.h"

#include <windows.h>

#include <new>
#include <string>

#include "host/common/library_writer.h"
#include "src/shared_facts.h"

unsigned plat_get_profile_string(const char *section, const char *key, const char *def,
                                 char *out, unsigned size, const char *file) {
    return GetPrivateProfileStringA(section, key, def, out, size, file);
}

unsigned plat_get_profile_keys(const char *section, char *out, unsigned size, const char *file) {
    return GetPrivateProfileStringA(section, NULL, "", out, size, file);
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

int plat_path_kind(const char *path) {
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (h == INVALID_HANDLE_VALUE) return PLAT_PATH_MISSING;
    int kind = PLAT_PATH_OTHER;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        kind = PLAT_PATH_FILE;
    CloseHandle(h);
    return kind;
}

// ---- Replacement files -----------------------------------------------------

#define REPLACEMENT_PATH_SIZE 1024

struct PlatReplacement {
    char temp[REPLACEMENT_PATH_SIZE];    // the new file
    char target[REPLACEMENT_PATH_SIZE];  // the file it replaces, a link followed
    kesto::LibraryLock lock;
};

// The wide form of a path in the ANSI code page, as the ...A calls read it,
// so that the lock names the file those calls name.
static std::wstring wide_of(const char *path) {
    int n = MultiByteToWideChar(CP_ACP, 0, path, -1, NULL, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

static bool copy_text(char *dst, size_t size, const char *src) {
    size_t n = 0;
    while (src[n] != '\0') ++n;
    if (n >= size) return false;
    for (size_t i = 0; i <= n; ++i) dst[i] = src[i];
    return true;
}

// The file a link names, or the path itself when it is no link (or names
// nothing yet); an existing file as the system names it.  Systems older than links to files lack the call that
// names the final path; it is looked up, so that the DLL still loads there.
static bool followed(const char *path, char *out, DWORD size) {
    typedef DWORD(WINAPI * FinalPathFn)(HANDLE, LPSTR, DWORD, DWORD);
    FinalPathFn final_path_of = reinterpret_cast<FinalPathFn>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA")));
    DWORD attributes = GetFileAttributesA(path);
    // Every existing file is asked: Wine shows a POSIX link as no reparse point.
    if (final_path_of && attributes != INVALID_FILE_ATTRIBUTES) {
        HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
        if (h != INVALID_HANDLE_VALUE) {
            char final_path[REPLACEMENT_PATH_SIZE];
            DWORD n = final_path_of(h, final_path, sizeof final_path, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
            CloseHandle(h);
            // "\\?\C:\x" is "C:\x", "\\?\UNC\s\x" is "\\s\x".
            if (n > 0 && n < sizeof final_path) {
                char *p = final_path;
                if (p[0] == '\\' && p[1] == '\\' && p[2] == '?' && p[3] == '\\') {
                    p += 4;
                    if (p[0] == 'U' && p[1] == 'N' && p[2] == 'C' && p[3] == '\\') {
                        p += 2;
                        p[0] = '\\';
                    }
                }
                return copy_text(out, size, p);
            }
        }
    }
    return copy_text(out, size, path);
}

// Creates a new file beside target, named after it, this process and a
// counter so that no other writer has it.
static HANDLE create_unique(const char *target, char *name, size_t size) {
    static unsigned counter = 0;
    for (int tries = 0; tries < 100; ++tries) {
        std::string temp = kesto::temporary_name(std::string(target), GetCurrentProcessId(), counter++);
        if (!copy_text(name, size, temp.c_str())) return INVALID_HANDLE_VALUE;
        HANDLE h = CreateFileA(name, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return h;
    }
    return INVALID_HANDLE_VALUE;
}

// Copies the bytes of the file from to out; *last_byte gets the last one.
static bool copy_bytes(const char *from, HANDLE out, int *last_byte) {
    HANDLE in = CreateFileA(from, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, NULL);
    if (in == INVALID_HANDLE_VALUE) return false;
    static char chunk[65536];
    bool ok = true;
    for (;;) {
        DWORD got = 0, put = 0;
        if (!ReadFile(in, chunk, sizeof chunk, &got, NULL)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        if (last_byte) *last_byte = static_cast<unsigned char>(chunk[got - 1]);
        if (!WriteFile(out, chunk, got, &put, NULL) || put != got) {
            ok = false;
            break;
        }
    }
    CloseHandle(in);
    return ok;
}

int plat_replacement_open(const char *target, int keep_old, int *last_byte, FILE **stream,
                          PlatReplacement **replacement) {
    *stream = NULL;
    *replacement = NULL;
    if (last_byte) *last_byte = -1;
    PlatReplacement *r = new (std::nothrow) PlatReplacement;
    if (r == NULL) return PLAT_REPLACEMENT_FAILED;
    r->temp[0] = '\0';
    std::wstring wide;
    bool ok = followed(target, r->target, sizeof r->target);
    if (ok) wide = wide_of(r->target);
    ok = ok && !wide.empty() && kesto::replaceable(wide) == kesto::Replaceable::kYes;
    kesto::LibraryLock::Result locked = ok ? r->lock.take(wide) : kesto::LibraryLock::kFailed;
    if (locked != kesto::LibraryLock::kTaken) {
        delete r;
        return locked == kesto::LibraryLock::kBusy ? PLAT_REPLACEMENT_BUSY : PLAT_REPLACEMENT_FAILED;
    }
    // Whatever the file is now, another writer may have made or replaced it
    // while this one waited.
    DWORD attributes = GetFileAttributesA(r->target);
    bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists) {
        // A file that could not be written in place is not replaced either.
        HANDLE h = CreateFileA(r->target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        ok = h != INVALID_HANDLE_VALUE && !(attributes & FILE_ATTRIBUTE_DIRECTORY) && GetFileType(h) == FILE_TYPE_DISK;
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    HANDLE h = ok ? create_unique(r->target, r->temp, sizeof r->temp) : INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE) {
        delete r;
        return PLAT_REPLACEMENT_FAILED;
    }
    ok = !exists || !keep_old || copy_bytes(r->target, h, last_byte);
    CloseHandle(h);
    *stream = ok ? fopen(r->temp, "a") : NULL;
    if (*stream == NULL) {
        DeleteFileA(r->temp);
        delete r;
        return PLAT_REPLACEMENT_FAILED;
    }
    *replacement = r;
    return PLAT_REPLACEMENT_OPEN;
}

int plat_replacement_commit(PlatReplacement *r) {
    // The data on the disk before the new file takes the name.
    HANDLE h = CreateFileA(r->temp, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    bool done = h != INVALID_HANDLE_VALUE && FlushFileBuffers(h);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    // a library that holds these bytes already is left untouched
    int error = 0;
    done = done && kesto::commit_file(wide_of(r->temp), wide_of(r->target), error) != kesto::Commit::kFailed;
    if (!done) DeleteFileA(r->temp);
    delete r;  // the lock goes with it, once the new file has its name
    return done ? 0 : -1;
}

void plat_replacement_discard(PlatReplacement *r) {
    DeleteFileA(r->temp);
    delete r;
}

void plat_tool_note(const char *tool, const char *note) {
    // the host's libufun, loaded with the plug-in (the real host's has no hook)
    HMODULE host = GetModuleHandleW(L"libufun.dll");
    if (!host) return;
    KestoNoteHook hook = reinterpret_cast<KestoNoteHook>(reinterpret_cast<void *>(GetProcAddress(host, KESTO_NOTE_HOOK)));
    if (hook) hook(tool, note);
}
