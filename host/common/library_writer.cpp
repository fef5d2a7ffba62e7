#include "host/common/library_writer.h"

#include "src/shared_facts.h"

#include <algorithm>
#include <vector>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <dirent.h>
#  include <stdio.h>
#  include <string.h>
#  include <errno.h>
#  include <fcntl.h>
#  include <sys/stat.h>
#  include <time.h>
#  include <unistd.h>
#endif

namespace kesto {

int library_lock_wait_ms = 5000;

namespace {

#if defined(_WIN32)
using Char = wchar_t;
#else
using Char = char;
#endif

// What follows NAME in the lock file's name.
const char kLockSuffix[] = KESTO_LOCK_SUFFIX;

// Why something in the lock file's place is not taken as one.
const char kIsLink[] = "is a link";
const char kIsFolder[] = "is a folder";
const char kNotPlain[] = "is not a plain file";
const char kOtherName[] = "has another name (a hard link)";
const char kHasData[] = "is not empty";

NativePath native(const char *ascii) {
    NativePath out;
    while (*ascii) out += static_cast<Char>(*ascii++);
    return out;
}

bool is_separator(Char c) {
#if defined(_WIN32)
    return c == '\\' || c == '/' || c == ':';
#else
    return c == '/';
#endif
}

// The file's folder as it is written before its name ("" for the current
// folder), and its name.
void split(const NativePath &file, NativePath &folder, NativePath &name) {
    size_t cut = file.size();
    while (cut > 0 && !is_separator(file[cut - 1])) --cut;
    folder = file.substr(0, cut);
    name = file.substr(cut);
}

// A code point in small letters, where it is a capital of ASCII, Latin-1
// or Cyrillic; both builds fold alike, so that their lock names agree.
unsigned long small_letter(unsigned long c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x410 && c <= 0x42F))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    return c;
}

#if defined(_WIN32)
NativePath folded(const NativePath &name) {
    NativePath out = name;
    for (wchar_t &c : out) c = static_cast<wchar_t>(small_letter(c));
    return out;
}
#else
// UTF-8: every letter folded is one or two bytes, and so is its small one.
std::string folded(const std::string &name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(name[i]);
        if (b < 0x80) {
            out += static_cast<char>(small_letter(b));
        } else if ((b & 0xE0) == 0xC0 && i + 1 < name.size() && (name[i + 1] & 0xC0) == 0x80) {
            unsigned long c = (b & 0x1Fu) << 6 | (static_cast<unsigned char>(name[i + 1]) & 0x3Fu);
            unsigned long small = c >= 0x80 ? small_letter(c) : c;  // an overlong form stays as it is
            out += static_cast<char>(small == c ? b : 0xC0 | (small >> 6));
            out += static_cast<char>(small == c ? name[i + 1] : 0x80 | (small & 0x3F));
            ++i;
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}
#endif

// The name the folder stores for file: Windows finds a file under its
// short name, another letter case or with dots and blanks at its end too.
NativePath stored_name(const NativePath &file, const NativePath &name) {
#if defined(_WIN32)
    WIN32_FIND_DATAW found;
    HANDLE h = name.find_first_of(L"*?") == NativePath::npos ? FindFirstFileW(file.c_str(), &found)
                                                              : INVALID_HANDLE_VALUE;
    if (h != INVALID_HANDLE_VALUE) {
        FindClose(h);
        return found.cFileName;
    }
    // Not there yet: Windows creates it without dots and blanks at its end.
    NativePath trimmed = name;
    while (!trimmed.empty() && (trimmed.back() == L'.' || trimmed.back() == L' ')) trimmed.pop_back();
    return trimmed.empty() ? name : trimmed;
#else
    (void)file;
    return name;
#endif
}

// Whether rest, what follows a file's name, makes one of our temporaries of
// that file: ".~kesto-PROCESS-N.tmp" once or more (a temporary of a
// temporary), then nothing or the lock suffix (a scratch file's lock).
bool temporary_suffix(const NativePath &rest) {
    size_t at = 0;
    auto take = [&](const char *text) {
        size_t n = 0;
        while (text[n] && at + n < rest.size() && rest[at + n] == static_cast<Char>(text[n])) ++n;
        if (text[n]) return false;
        at += n;
        return true;
    };
    auto digits = [&] {
        size_t start = at;
        while (at < rest.size() && rest[at] >= '0' && rest[at] <= '9') ++at;
        return at > start;
    };
    int segments = 0;
    while (at < rest.size()) {
        if (segments > 0 && take(kLockSuffix)) return at == rest.size();
        if (!take(KESTO_WRITER_MARK) || !digits() || !take("-") || !digits() || !take(KESTO_TEMPORARY_END)) return false;
        ++segments;
    }
    return segments > 0;
}

#if defined(_WIN32)

// Names compare without regard to ASCII case, as Windows names do.
bool same_name_start(const NativePath &name, const NativePath &start) {
    if (name.size() < start.size()) return false;
    for (size_t i = 0; i < start.size(); ++i) {
        Char a = name[i], b = start[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<Char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<Char>(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

// The names in folder that match pattern, with whether each is a folder.
std::vector<std::pair<NativePath, bool>> listed(const NativePath &pattern) {
    std::vector<std::pair<NativePath, bool>> out;
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(pattern.c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;  // a link is nobody's temporary
        out.emplace_back(found.cFileName, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return out;
}

// Removes a scratch folder: its files, then itself (which fails, leaving
// it, when it holds anything else).
void remove_scratch_folder(const NativePath &folder) {
    for (const auto &[name, is_folder] : listed(folder + L"\\*"))
        if (!is_folder) DeleteFileW((folder + L"\\" + name).c_str());
    RemoveDirectoryW(folder.c_str());
}

void sweep(const NativePath &file) {
    NativePath folder, name;
    split(file, folder, name);
    for (const auto &[found, is_folder] : listed(file + native(KESTO_WRITER_MARK "*"))) {
        if (found.size() <= name.size() || !same_name_start(found, name) ||
            !temporary_suffix(found.substr(name.size())))
            continue;
        if (is_folder) remove_scratch_folder(folder + found);
        else DeleteFileW((folder + found).c_str());
    }
}

bool same_file(HANDLE h, const NativePath &path) {
    HANDLE now = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (now == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION a, b;
    bool same = GetFileInformationByHandle(h, &a) && GetFileInformationByHandle(now, &b) &&
                a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
                a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(now);
    return same;
}

// Opens the lock file, making it when there is none, without following a
// link; what is no lock file of ours is refused (refusal set).  Null, with
// GetLastError() set, when it cannot be opened.
HANDLE open_lock_file(const NativePath &path, const char *&refusal) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        refusal = kIsLink;
        return nullptr;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        refusal = kIsFolder;
        return nullptr;
    }
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info)) refusal = kNotPlain;
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) refusal = kIsLink;
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) refusal = kIsFolder;
    else if (info.nNumberOfLinks > 1) refusal = kOtherName;
    else if (info.nFileSizeHigh != 0 || info.nFileSizeLow != 0) refusal = kHasData;
    if (!refusal) return h;
    CloseHandle(h);
    return nullptr;
}

#else

// The names in folder that start with start, with whether each is a folder.
std::vector<std::pair<std::string, bool>> listed(const std::string &folder, const std::string &start) {
    std::vector<std::pair<std::string, bool>> out;
    DIR *dir = opendir(folder.c_str());
    if (!dir) return out;
    while (const dirent *entry = readdir(dir)) {
        if (std::string(entry->d_name).compare(0, start.size(), start) != 0) continue;
        struct stat st;
        std::string path = folder + "/" + entry->d_name;
        if (lstat(path.c_str(), &st) != 0) continue;
        // a link, a device or a pipe is nobody's temporary
        if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) out.emplace_back(entry->d_name, S_ISDIR(st.st_mode));
    }
    closedir(dir);
    return out;
}

void remove_scratch_folder(const std::string &folder) {
    for (const auto &[name, is_folder] : listed(folder, ""))
        if (!is_folder) unlink((folder + "/" + name).c_str());
    rmdir(folder.c_str());
}

void sweep(const std::string &file) {
    std::string folder, name;
    split(file, folder, name);
    const std::string dir = folder.empty() ? "." : folder;
    for (const auto &[found, is_folder] : listed(dir, name + KESTO_WRITER_MARK)) {
        if (!temporary_suffix(found.substr(name.size()))) continue;
        if (is_folder) remove_scratch_folder(folder + found);
        else unlink((folder + found).c_str());
    }
}

bool same_file(int fd, const std::string &path) {
    struct stat a, b;
    return fstat(fd, &a) == 0 && lstat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens the lock file, making it when there is none: every user of a shared
// folder may lock it, whatever the maker's umask.  A link is not followed,
// and what is no lock file of ours is refused (refusal set).  -1, with
// errno set (EAGAIN: removed meanwhile, try again), when it cannot be opened.
int open_lock_file(const std::string &path, const char *&refusal) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
        fchmod(fd, 0666);
        return fd;
    }
    if (errno != EEXIST) return -1;
    fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) errno = EAGAIN;  // removed meanwhile by its holder: try again
        if (errno == ELOOP) refusal = kIsLink;
        if (errno == EISDIR) refusal = kIsFolder;
        return -1;
    }
    struct stat st;
    const bool seen = fstat(fd, &st) == 0;
    if (seen && st.st_nlink == 0) {  // deleted meanwhile by its holder: try again
        close(fd);
        errno = EAGAIN;
        return -1;
    }
    if (!seen || !S_ISREG(st.st_mode)) refusal = kNotPlain;
    else if (st.st_nlink > 1) refusal = kOtherName;
    else if (st.st_size != 0) refusal = kHasData;
    if (!refusal) return fd;
    close(fd);
    return -1;
}

#endif

// A clock in milliseconds; the difference of two readings is right across
// its wrap (GetTickCount's, every 49 days).
unsigned long clock_ms() {
#if defined(_WIN32)
    return GetTickCount();
#else
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<unsigned long>(t.tv_sec) * 1000 + static_cast<unsigned long>(t.tv_nsec / 1000000);
#endif
}

void pause_ms(int ms) {
#if defined(_WIN32)
    Sleep(static_cast<DWORD>(ms));
#else
    struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&t, nullptr);
#endif
}

// Pauses before another try, 1 ms at first and twice as long each time up
// to 50 ms; false, without pausing, once limit_ms have passed since start.
bool pause_before_retry(unsigned long start, unsigned long limit_ms, int &pause) {
    if (clock_ms() - start >= limit_ms) return false;
    pause_ms(pause);
    pause = pause < 50 ? pause * 2 : 50;
    return true;
}

// The lock file's name without its suffix: the file's folded stored name.
NativePath lock_base(const NativePath &lock) { return lock.substr(0, lock.size() - (sizeof kLockSuffix - 1)); }

// Sweeps what killed writers left beside file, under its name as given and
// as its lock names it (another letter case, which the lock shares).
void sweep_for(const NativePath &file, const NativePath &lock) {
    sweep(file);
    const NativePath base = lock_base(lock);
    if (base != file) sweep(base);
}

}  // namespace

bool LibraryLock::held() const {
#if defined(_WIN32)
    return handle_ != nullptr;
#else
    return fd_ >= 0;
#endif
}

NativePath final_path(const NativePath &path) {
#if defined(_WIN32)
    // Systems older than links to files lack the call: looked up, so that
    // the DLL still loads there.
    typedef DWORD(WINAPI * FinalPathFn)(HANDLE, LPWSTR, DWORD, DWORD);
    FinalPathFn final_path_of = reinterpret_cast<FinalPathFn>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetFinalPathNameByHandleW")));
    if (!final_path_of) return path;
    HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return path;
    NativePath out(32768, L'\0');
    DWORD n = final_path_of(h, &out[0], static_cast<DWORD>(out.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(h);
    if (n == 0 || n >= out.size()) return path;
    out.resize(n);
    if (path.compare(0, 4, L"\\\\?\\") == 0 || out.compare(0, 4, L"\\\\?\\") != 0 || n - 4 >= MAX_PATH) return out;
    // "\\?\C:\x" is "C:\x", "\\?\UNC\s\x" is "\\s\x"
    if (out.compare(4, 4, L"UNC\\") == 0) return L"\\" + out.substr(7);
    return out.substr(4);
#else
    return path;
#endif
}

NativePath lock_file_of(const NativePath &file) {
    NativePath folder, name;
    split(file, folder, name);
    return folder + folded(stored_name(file, name)) + native(kLockSuffix);
}

LibraryLock::Result LibraryLock::take(const NativePath &file) {
    release();
    error_ = 0;
    refusal_ = nullptr;
    path_ = lock_file_of(file);
    const unsigned long start = clock_ms();
    int pause = 1;
    // Each round: open (or make) the lock file and try to lock it.  Another
    // writer holding it, or a lock file that left its name once locked,
    // means another round after a pause, until the deadline.
    for (;;) {
#if defined(_WIN32)
        HANDLE h = open_lock_file(path_, refusal_);
        if (refusal_) return kFailed;
        if (!h) {
            // A lock file an older writer deletes cannot be opened for a
            // moment; one that is not there could not be made.
            error_ = static_cast<int>(GetLastError());
            if (error_ != ERROR_ACCESS_DENIED || (GetFileAttributesW(path_.c_str()) == INVALID_FILE_ATTRIBUTES &&
                                                      GetLastError() == ERROR_FILE_NOT_FOUND))
                return kFailed;
        } else {
            OVERLAPPED at = {};
            if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
                if (same_file(h, path_)) {
                    handle_ = h;
                    sweep_for(file, path_);
                    return kTaken;
                }
                UnlockFileEx(h, 0, 1, 0, &at);
            } else if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) {
                error_ = static_cast<int>(GetLastError());
                CloseHandle(h);
                return kFailed;
            }
            CloseHandle(h);
            error_ = 0;
        }
#else
        int fd = open_lock_file(path_, refusal_);
        if (refusal_) return kFailed;
        if (fd < 0 && errno != EAGAIN) {
            error_ = errno;
            return kFailed;
        }
        if (fd >= 0) {
            struct flock whole = {};
            whole.l_type = F_WRLCK;
            whole.l_whence = SEEK_SET;
            if (fcntl(fd, F_OFD_SETLK, &whole) == 0) {
                if (same_file(fd, path_)) {
                    fd_ = fd;
                    sweep_for(file, path_);
                    return kTaken;
                }
            } else if (errno != EAGAIN && errno != EACCES && errno != EINTR) {
                error_ = errno;
                close(fd);
                return kFailed;
            }
            close(fd);
        }
#endif
        if (!pause_before_retry(start, static_cast<unsigned long>(library_lock_wait_ms), pause))
            return error_ ? kFailed : kBusy;
    }
}

// The lock file leaves the folder before the lock is let go: renamed, while
// still locked, to a temporary name that nobody else has (a killed holder's
// is swept by the next one), then unlocked, closed and deleted.  Whoever
// opened the old file meanwhile finds, once it has locked it, that its name
// names another file or none, and tries again.  Should the rename fail, the
// lock file stays: the next writer locks it as it is.
void LibraryLock::release() {
    if (!held()) return;
    static unsigned counter = 0;
    const NativePath base = lock_base(path_);
    NativePath away;
#if defined(_WIN32)
    HANDLE h = static_cast<HANDLE>(handle_);
    if (same_file(h, path_)) {
        for (int tries = 0; tries < 100 && away.empty(); ++tries) {
            away = temporary_name(base, GetCurrentProcessId(), counter++);
            if (!MoveFileExW(path_.c_str(), away.c_str(), 0)) {
                if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS) tries = 100;
                away.clear();
            }
        }
    }
    OVERLAPPED at = {};
    UnlockFileEx(h, 0, 1, 0, &at);
    CloseHandle(h);
    handle_ = nullptr;
    if (!away.empty()) DeleteFileW(away.c_str());
#else
    if (same_file(fd_, path_)) {
        for (int tries = 0; tries < 100 && away.empty(); ++tries) {
            away = temporary_name(base, static_cast<unsigned long>(getpid()), counter++);
            if (renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, away.c_str(), RENAME_NOREPLACE) != 0) {
                if (errno != EEXIST) tries = 100;
                away.clear();
            }
        }
    }
    close(fd_);  // gives the lock up
    fd_ = -1;
    // Only the file this writer locked, now under the name it gave it.
    if (!away.empty()) unlink(away.c_str());
#endif
}

#if defined(_WIN32)
// Wine's ReplaceFileW takes the old file's name away before the new file
// gets it, so a reader (or a writer working out which library a link names)
// finds no library for a moment.  Its MoveFileExW is one rename, and it
// keeps no access control list or creation time that ReplaceFileW would.
namespace {
bool replace_leaves_a_gap() {
    static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}
}  // namespace
#endif

namespace {

// What the file system kept about file, given to the new file made: on
// POSIX its owner and group where this user may give them (the owner may
// give the group, root both), then its mode, which a change of owner may
// have cut; on Windows its attributes.  0, or the error of the one that
// must succeed (the mode).  Nothing when file is no regular file.
int give_what_was_kept(const NativePath &file, const NativePath &made) {
#if defined(_WIN32)
    const DWORD attributes = GetFileAttributesW(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
    const DWORD kept = attributes & (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (kept && !SetFileAttributesW(made.c_str(), kept)) return static_cast<int>(GetLastError());
    return 0;
#else
    struct stat old, now;
    if (stat(file.c_str(), &old) != 0 || !S_ISREG(old.st_mode) || stat(made.c_str(), &now) != 0) return 0;
    const bool other_owner = now.st_uid != old.st_uid || now.st_gid != old.st_gid;
    if (other_owner && chown(made.c_str(), old.st_uid, old.st_gid) != 0 &&
        chown(made.c_str(), static_cast<uid_t>(-1), old.st_gid) != 0) {
        // neither may be given: the new file is this user's, as any new file
    }
    return chmod(made.c_str(), old.st_mode & 07777) != 0 ? errno : 0;
#endif
}

}  // namespace

int replace_file(const NativePath &from, const NativePath &to) {
#if defined(_WIN32)
    // ReplaceFileW gives the new file the old one's attributes, access
    // control list, creation time and short name; not every implementation
    // keeps the attributes, so they are set again where they went.
    const DWORD attributes = GetFileAttributesW(to.c_str());
    bool exists = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    const DWORD kept = attributes & (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    auto moved = [&] {
        if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return false;
        if (exists && kept) SetFileAttributesW(to.c_str(), kept);
        return true;
    };
    // ReplaceFileW is given full paths (Wine's takes no others)
    auto full = [](const NativePath &path) {
        NativePath out(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
        DWORD n = out.empty() ? 0 : GetFullPathNameW(path.c_str(), static_cast<DWORD>(out.size()), &out[0], nullptr);
        out.resize(n < out.size() ? n : 0);
        return out.empty() ? path : out;
    };
    const NativePath full_from = full(from), full_to = full(to);
    bool replacing = exists && !replace_leaves_a_gap();
    const unsigned long start = clock_ms();
    int pause = 1;
    for (;;) {
        if (replacing ? ReplaceFileW(full_to.c_str(), full_from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                     nullptr, nullptr)
                      : moved()) {
            const DWORD now = GetFileAttributesW(to.c_str());
            if (replacing && now != INVALID_FILE_ATTRIBUTES && (now & kept) != kept)
                SetFileAttributesW(to.c_str(), (now & ~FILE_ATTRIBUTE_NORMAL) | kept);
            return 0;
        }
        DWORD error = GetLastError();
        // ERROR_UNABLE_TO_REMOVE_REPLACED: the old file, held open, still
        // has its name, and the new one too.
        bool held_open = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
                         error == ERROR_LOCK_VIOLATION || error == ERROR_UNABLE_TO_REMOVE_REPLACED;
        // A file system that cannot replace so (nothing changed) gets the
        // move, its attributes set again.
        if (replacing && (error == ERROR_DIRECTORY || error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED ||
                          error == ERROR_UNABLE_TO_MOVE_REPLACEMENT)) {
            replacing = false;
            continue;
        }
        if (!held_open || !pause_before_retry(start, 2000, pause)) return static_cast<int>(error);
    }
#else
    if (int error = give_what_was_kept(to, from)) return error;
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
#endif
}

namespace {

// Whether two files hold the same bytes.
bool same_content(const NativePath &a, const NativePath &b) {
#if defined(_WIN32)
    auto open = [](const NativePath &path) {
        return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    };
    HANDLE x = open(a), y = open(b);
    bool same = x != INVALID_HANDLE_VALUE && y != INVALID_HANDLE_VALUE;
    LARGE_INTEGER sx, sy;
    same = same && GetFileSizeEx(x, &sx) && GetFileSizeEx(y, &sy) && sx.QuadPart == sy.QuadPart;
    std::vector<char> bx(1 << 16), by(1 << 16);
    while (same) {
        DWORD nx = 0, ny = 0;
        same = ReadFile(x, bx.data(), static_cast<DWORD>(bx.size()), &nx, nullptr) &&
               ReadFile(y, by.data(), static_cast<DWORD>(by.size()), &ny, nullptr) && nx == ny &&
               std::equal(bx.begin(), bx.begin() + nx, by.begin());
        if (nx == 0) break;
    }
    if (x != INVALID_HANDLE_VALUE) CloseHandle(x);
    if (y != INVALID_HANDLE_VALUE) CloseHandle(y);
    return same;
#else
    const int x = open(a.c_str(), O_RDONLY | O_CLOEXEC), y = open(b.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat sx, sy;
    bool same = x >= 0 && y >= 0 && fstat(x, &sx) == 0 && fstat(y, &sy) == 0 && sx.st_size == sy.st_size;
    std::vector<char> bx(1 << 16), by(1 << 16);
    auto fill = [](int fd, std::vector<char> &buffer) {
        size_t got = 0;
        while (got < buffer.size()) {
            const ssize_t n = read(fd, buffer.data() + got, buffer.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return n < 0 ? static_cast<ssize_t>(-1) : static_cast<ssize_t>(got);
            got += static_cast<size_t>(n);
        }
        return static_cast<ssize_t>(got);
    };
    while (same) {
        const ssize_t nx = fill(x, bx), ny = fill(y, by);
        same = nx >= 0 && nx == ny && std::equal(bx.begin(), bx.begin() + nx, by.begin());
        if (nx <= 0) break;
    }
    if (x >= 0) close(x);
    if (y >= 0) close(y);
    return same;
#endif
}

void remove_file(const NativePath &path) {
#if defined(_WIN32)
    DeleteFileW(path.c_str());
#else
    unlink(path.c_str());
#endif
}

}  // namespace

Commit commit_file(const NativePath &temp, const NativePath &target, int &error, int (*before)(void *), void *context) {
    error = 0;
    if (same_content(temp, target)) {
        remove_file(temp);
        return Commit::kUnchanged;
    }
    if (before) error = before(context);
    if (!error) error = replace_file(temp, target);
    if (!error) return Commit::kReplaced;
    remove_file(temp);
    return Commit::kFailed;
}

int write_backup(const NativePath &library, const std::string &bytes, const NativePath &backup, bool replace_earlier) {
    static unsigned counter = 0;
#if defined(_WIN32)
    NativePath temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int tries = 0; tries < 100 && h == INVALID_HANDLE_VALUE; ++tries) {
        temp = temporary_name(library, GetCurrentProcessId(), 1000000 + counter++);
        h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (h == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
    int error = 0;
    for (size_t done = 0; !error && done < bytes.size();) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(bytes.size() - done < (1u << 30) ? bytes.size() - done : (1u << 30));
        if (!WriteFile(h, bytes.data() + done, chunk, &n, nullptr) || n == 0) error = static_cast<int>(GetLastError());
        done += n;
    }
    if (!error && !FlushFileBuffers(h)) error = static_cast<int>(GetLastError());
    CloseHandle(h);
    if (!error) error = give_what_was_kept(library, temp);
    if (!error && !MoveFileExW(temp.c_str(), backup.c_str(),
                               (replace_earlier ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH))
        error = static_cast<int>(GetLastError());
#else
    NativePath temp;
    int fd = -1;
    for (int tries = 0; tries < 100 && fd < 0; ++tries) {
        temp = temporary_name(library, static_cast<unsigned long>(getpid()), 1000000 + counter++);
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return errno;
    int error = 0;
    for (size_t done = 0; !error && done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) error = n < 0 ? errno : EIO;
        else done += static_cast<size_t>(n);
    }
    if (!error && fsync(fd) != 0) error = errno;
    if (close(fd) != 0 && !error) error = errno;
    if (!error) error = give_what_was_kept(library, temp);
    if (!error && (replace_earlier ? rename(temp.c_str(), backup.c_str())
                                   : renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, backup.c_str(), RENAME_NOREPLACE)) != 0)
        error = errno;
#endif
    if (error) remove_file(temp);
    return error;
}

std::string system_error_text(int error) {
#if defined(_WIN32)
    wchar_t *text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::wstring wide(text ? text : L"", n);
    if (text) LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' ' || wide.back() == L'.'))
        wide.pop_back();
    if (wide.empty()) return "error " + std::to_string(error);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? static_cast<size_t>(bytes) : 0, '\0');
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0], bytes, nullptr, nullptr);
    return out;
#else
    return strerror(error);
#endif
}

Replaceable replaceable(const NativePath &file) {
#if defined(_WIN32)
    DWORD attributes = GetFileAttributesW(file.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        (attributes & FILE_ATTRIBUTE_READONLY))
        return Replaceable::kFileReadOnly;
    return Replaceable::kYes;
#else
    auto writable = [](const std::string &path) {
        struct stat st;
        return stat(path.c_str(), &st) != 0 ||
               ((st.st_mode & S_IWUSR) && faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0);
    };
    if (!writable(file)) return Replaceable::kFileReadOnly;
    std::string folder, name;
    split(file, folder, name);
    if (!writable(folder.empty() ? "." : folder)) return Replaceable::kFolderReadOnly;
    return Replaceable::kYes;
#endif
}

}  // namespace kesto
