#include "tools/tlsfile/input_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#  include <io.h>
#  include <windows.h>
#else
#  include <unistd.h>
#endif

#include "host/common/library_writer.h"

namespace fs = std::filesystem;

namespace tlsfile {

namespace {

#if defined(_WIN32)
using Stat = struct _stat64;
// Opened as Windows' own programs open a file to read it: whoever holds it
// open to write may go on.  A file that one holds without sharing it is
// said to be so, whatever error code the system gave.
int open_input(const fs::path &p, std::string &cause) {
    HANDLE h = CreateFileW(p.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // the C runtime's words where it has them, as the POSIX build says them
        switch (const DWORD error = GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME: cause = std::strerror(ENOENT); break;
        case ERROR_ACCESS_DENIED: cause = std::strerror(EACCES); break;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            cause = "the file is open in another program (" + kesto::system_error_text(static_cast<int>(error)) +
                    "); close it there and try again";
            break;
        default: cause = kesto::system_error_text(static_cast<int>(error));
        }
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        cause = std::strerror(errno ? errno : EIO);
        CloseHandle(h);
    }
    return fd;
}
int stat_fd(int fd, Stat &st) { return _fstat64(fd, &st); }
bool is_regular(const Stat &st) { return (st.st_mode & _S_IFMT) == _S_IFREG; }
long read_some(int fd, char *buf, size_t n) { return _read(fd, buf, static_cast<unsigned>(n)); }
void close_fd(int fd) { _close(fd); }
void blocking(int) {}
#else
using Stat = struct stat;
// Without O_NONBLOCK, opening a pipe would wait for a writer.
int open_input(const fs::path &p, std::string &cause) {
    const int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) cause = std::strerror(errno ? errno : EIO);
    return fd;
}
int stat_fd(int fd, Stat &st) { return ::fstat(fd, &st); }
bool is_regular(const Stat &st) { return S_ISREG(st.st_mode); }
long read_some(int fd, char *buf, size_t n) { return static_cast<long>(::read(fd, buf, n)); }
void close_fd(int fd) { ::close(fd); }
void blocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK); }
#endif

}  // namespace

fs::path fs_path(const std::string &utf8) { return fs::u8path(utf8); }

std::string utf8_path(const fs::path &path) { return path.u8string(); }

fs::path full_path(const fs::path &path) {
    if (path.empty()) return path;
#if defined(_WIN32)
    std::wstring full(MAX_PATH, L'\0');
    for (int tries = 0; tries < 3; ++tries) {
        const DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
        if (n == 0) return path;
        if (n < full.size()) return fs::path(full.substr(0, n));
        full.assign(n, L'\0');  // n is the size needed, with the NUL
    }
    return path;
#else
    std::error_code ec;
    fs::path full = fs::absolute(path, ec);
    return ec ? path : full;
#endif
}

fs::path system_path(const fs::path &path) {
#if defined(_WIN32)
    const std::wstring extended = L"\\\\?\\";
    if (path.native().compare(0, extended.size(), extended) == 0) return path;
    std::wstring full = full_path(path).native();
    if (full.size() < 248) return path;
    if (full.compare(0, 2, L"\\\\") == 0) return fs::path(extended + L"UNC" + full.substr(1));
    return fs::path(extended + full);
#else
    return path;
#endif
}

EntryKind entry_kind(const fs::path &path, bool follow_folder_links) {
#if defined(_WIN32)
    const DWORD a = GetFileAttributesW(system_path(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return EntryKind::missing;
    if (a & FILE_ATTRIBUTE_DIRECTORY)
        return (a & FILE_ATTRIBUTE_REPARSE_POINT) && !follow_folder_links ? EntryKind::other : EntryKind::folder;
    return a & FILE_ATTRIBUTE_DEVICE ? EntryKind::other : EntryKind::file;
#else
    std::error_code ec;
    const fs::file_status own = fs::symlink_status(path, ec);
    if (ec || own.type() == fs::file_type::not_found) return EntryKind::missing;
    const fs::file_status target = fs::is_symlink(own) ? fs::status(path, ec) : own;
    if (ec) return EntryKind::missing;
    if (fs::is_directory(target)) return fs::is_symlink(own) && !follow_folder_links ? EntryKind::other : EntryKind::folder;
    return fs::is_regular_file(target) ? EntryKind::file : EntryKind::other;
#endif
}

bool list_folder(const fs::path &folder, std::vector<FolderEntry> &entries, std::string &error) {
    entries.clear();
#if defined(_WIN32)
    // FindFirstFileW takes the extended form, where the C runtime's folder
    // listing does not
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((system_path(folder) / L"*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) {
        error = kesto::system_error_text(static_cast<int>(GetLastError()));
        return false;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const DWORD a = found.dwFileAttributes;
        EntryKind kind = a & FILE_ATTRIBUTE_DIRECTORY ? EntryKind::folder : EntryKind::file;
        if ((a & FILE_ATTRIBUTE_DIRECTORY) && (a & FILE_ATTRIBUTE_REPARSE_POINT)) kind = EntryKind::other;
        if (a & FILE_ATTRIBUTE_DEVICE) kind = EntryKind::other;
        entries.push_back({fs::path(name), kind});
    } while (FindNextFileW(h, &found));
    const DWORD last = GetLastError();
    FindClose(h);
    if (last != ERROR_NO_MORE_FILES) {
        error = kesto::system_error_text(static_cast<int>(last));
        return false;
    }
    return true;
#else
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec))
        entries.push_back({it->path().filename(), entry_kind(it->path(), false)});
    if (ec) error = ec.message();
    return !ec;
#endif
}

std::string too_large(const std::string &label, size_t max_bytes) {
    return label + ": is larger than " + std::to_string(max_bytes >> 20) + " MiB, the most this command reads";
}

InputFile::~InputFile() {
    if (fd_ >= 0) close_fd(fd_);
}

bool InputFile::open(const std::string &path, size_t max_bytes, bool regular_only, std::string &error) {
    path_ = path;
    max_bytes_ = max_bytes;
    const fs::path p = fs_path(path);
    std::error_code ec;
    if (fs::is_directory(p, ec)) {
        error = path + ": " + std::strerror(EISDIR);
        return false;
    }
    errno = 0;
    std::string cause;
    int fd = open_input(system_path(p), cause);
    if (fd < 0) {
        error = path + ": " + cause;
        return false;
    }
    Stat st{};
    if (stat_fd(fd, st) != 0) {
        error = path + ": " + std::strerror(errno ? errno : EIO);
        close_fd(fd);
        return false;
    }
    regular_ = is_regular(st);
    if (regular_only && !regular_) {
        error = path + ": is not a regular file (a device, a pipe or a socket); give a file";
        close_fd(fd);
        return false;
    }
    if (regular_ && static_cast<unsigned long long>(st.st_size) > max_bytes) {
        error = too_large(path, max_bytes);
        close_fd(fd);
        return false;
    }
    if (!regular_) blocking(fd);
    fd_ = fd;
    size_ = regular_ ? static_cast<size_t>(st.st_size) : 0;
    return true;
}

long InputFile::read(char *buf, size_t n, std::string &error) {
    // a regular file is read up to the size it had, a pipe up to the limit
    if (regular_ && n > size_ - got_) n = size_ - got_;
    if (n == 0) return 0;
    for (;;) {
        long got = read_some(fd_, buf, n);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = path_ + ": " + std::strerror(errno ? errno : EIO);
            return -1;
        }
        got_ += static_cast<size_t>(got);
        if (!regular_ && got_ > max_bytes_) {
            error = too_large(path_, max_bytes_);
            return -1;
        }
        return got;
    }
}

bool read_input_file(const std::string &path, size_t max_bytes, bool regular_only, std::string &text,
                     std::string &error) {
    InputFile file;
    text.clear();
    if (!file.open(path, max_bytes, regular_only, error)) return false;
    // A regular file is read into one buffer of its size; a pipe in pieces.
    if (file.regular()) text.resize(file.size());
    size_t got = 0;
    char piece[65536];
    for (;;) {
        char *dst = file.regular() ? &text[0] + got : piece;
        size_t room = file.regular() ? text.size() - got : sizeof piece;
        if (room == 0) break;
        long n = file.read(dst, room, error);
        if (n < 0) {
            text.clear();
            return false;
        }
        if (n == 0) break;
        if (!file.regular()) text.append(piece, static_cast<size_t>(n));
        got += static_cast<size_t>(n);
    }
    if (file.regular()) text.resize(got);  // a file that shrank meanwhile
    return true;
}

#if defined(_WIN32)
// Windows: the volume's serial number and the file's index.
bool same_file(const std::string &a, const std::string &b) {
    auto identity = [](const std::string &path, BY_HANDLE_FILE_INFORMATION &info) {
        HANDLE h = CreateFileW(fs_path(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        bool ok = GetFileInformationByHandle(h, &info) != 0;
        CloseHandle(h);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return identity(a, x) && identity(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}
#else
bool same_file(const std::string &a, const std::string &b) {
    struct stat x{}, y{};
    return ::stat(fs_path(a).c_str(), &x) == 0 && ::stat(fs_path(b).c_str(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
}
#endif

}  // namespace tlsfile
