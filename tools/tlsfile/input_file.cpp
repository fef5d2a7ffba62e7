#include "tools/tlsfile/input_file.h"

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

namespace fs = std::filesystem;

namespace tlsfile {

namespace {

#if defined(_WIN32)
using Stat = struct _stat64;
int open_input(const fs::path &p) { return _wopen(p.c_str(), _O_RDONLY | _O_BINARY); }
int stat_fd(int fd, Stat &st) { return _fstat64(fd, &st); }
bool is_regular(const Stat &st) { return (st.st_mode & _S_IFMT) == _S_IFREG; }
long read_some(int fd, char *buf, size_t n) { return _read(fd, buf, static_cast<unsigned>(n)); }
void close_fd(int fd) { _close(fd); }
void blocking(int) {}
#else
using Stat = struct stat;
// Without O_NONBLOCK, opening a pipe would wait for a writer.
int open_input(const fs::path &p) { return ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); }
int stat_fd(int fd, Stat &st) { return ::fstat(fd, &st); }
bool is_regular(const Stat &st) { return S_ISREG(st.st_mode); }
long read_some(int fd, char *buf, size_t n) { return static_cast<long>(::read(fd, buf, n)); }
void close_fd(int fd) { ::close(fd); }
void blocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK); }
#endif

std::string mib(size_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

}  // namespace

fs::path fs_path(const std::string &utf8) { return fs::u8path(utf8); }

std::string utf8_path(const fs::path &path) { return path.u8string(); }

bool read_input_file(const std::string &path, size_t max_bytes, bool regular_only, std::string &text,
                     std::string &error) {
    const fs::path p = fs_path(path);
    std::error_code ec;
    if (fs::is_directory(p, ec)) {
        error = path + ": " + std::strerror(EISDIR);
        return false;
    }
    errno = 0;
    int fd = open_input(p);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno ? errno : EIO);
        return false;
    }
    Stat st{};
    if (stat_fd(fd, st) != 0) {
        error = path + ": " + std::strerror(errno ? errno : EIO);
        close_fd(fd);
        return false;
    }
    const bool regular = is_regular(st);
    if (regular_only && !regular) {
        error = path + ": is not a regular file (a device, a pipe or a socket); give a file";
        close_fd(fd);
        return false;
    }
    if (regular && static_cast<unsigned long long>(st.st_size) > max_bytes) {
        error = path + ": is larger than " + mib(max_bytes) + ", the most this command reads";
        close_fd(fd);
        return false;
    }
    if (!regular) blocking(fd);
    // A regular file is read into one buffer of its size; a pipe in pieces,
    // up to the limit.
    text.clear();
    if (regular) text.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    int saved = 0;
    bool too_large = false;
    char piece[65536];
    for (;;) {
        char *dst = regular ? &text[0] + got : piece;
        size_t room = regular ? text.size() - got : sizeof piece;
        if (room == 0) break;
        long n = read_some(fd, dst, room);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) saved = errno ? errno : EIO;
        if (n <= 0) break;
        if (!regular) {
            too_large = text.size() + static_cast<size_t>(n) > max_bytes;
            if (too_large) break;
            text.append(piece, static_cast<size_t>(n));
        }
        got += static_cast<size_t>(n);
    }
    close_fd(fd);
    if (regular) text.resize(got);  // a file that shrank meanwhile
    if (saved) {
        error = path + ": " + std::strerror(saved);
        return false;
    }
    if (too_large) {
        error = path + ": is larger than " + mib(max_bytes) + ", the most this command reads";
        text.clear();
        return false;
    }
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
