#include "tools/tlsfile/output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#  include <io.h>
#  include <process.h>
#  define KESTO_OPEN _open
#  define KESTO_WRITE _write
#  define KESTO_CLOSE _close
#  define KESTO_SYNC _commit
#  define KESTO_GETPID _getpid
#  define KESTO_OPEN_FLAGS (_O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY)
#  define KESTO_OPEN_MODE (_S_IREAD | _S_IWRITE)
#else
#  include <unistd.h>
#  define KESTO_OPEN ::open
#  define KESTO_WRITE ::write
#  define KESTO_CLOSE ::close
#  define KESTO_SYNC ::fsync
#  define KESTO_GETPID ::getpid
#  define KESTO_OPEN_FLAGS (O_WRONLY | O_CREAT | O_EXCL)
#  define KESTO_OPEN_MODE 0666
#endif

namespace fs = std::filesystem;

namespace tlsfile {

namespace {

// The temporary file is created exclusively, so two writers never share one.
int create_temporary(const fs::path &target, std::string &temp) {
    fs::path folder = target.parent_path();
    std::string base = "." + target.filename().string() + ".tmp-" + std::to_string(KESTO_GETPID()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = (folder / (base + std::to_string(attempt))).string();
        int fd = KESTO_OPEN(temp.c_str(), KESTO_OPEN_FLAGS, KESTO_OPEN_MODE);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

bool write_output_file(const std::string &path, const std::string &content, std::string &error) {
    fs::path target(path);
    if (target.filename().empty()) {
        error = path + ": not a file name";
        return false;
    }
    std::string temp;
    int fd = create_temporary(target, temp);
    if (fd < 0) {
        error = path + ": cannot create a temporary file beside it: " + std::strerror(errno);
        return false;
    }
    const char *data = content.data();
    size_t left = content.size();
    bool ok = true;
    while (ok && left > 0) {
        unsigned chunk = left > (1u << 30) ? (1u << 30) : static_cast<unsigned>(left);
        auto n = KESTO_WRITE(fd, data, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    if (ok && KESTO_SYNC(fd) != 0) ok = false;
    int saved = errno;
    if (KESTO_CLOSE(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        error = path + ": writing failed: " + std::strerror(saved ? saved : EIO);
        std::remove(temp.c_str());
        return false;
    }
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) {
        error = path + ": cannot replace it: " + ec.message();
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace tlsfile
