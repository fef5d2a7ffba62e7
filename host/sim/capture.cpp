// Capture of the plug-in's standard output and standard error.  Both are
// sent to temporary files while a run is on; at every host call the new
// bytes, when the file has grown, are read back as transcript events, so
// they stand between the dialogs in the order they happened.
#include "host/sim/host_state.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#if defined(_WIN32)
#  include <fcntl.h>
#  include <io.h>
#  include <share.h>
#  include <sys/stat.h>
#  include <windows.h>
#else
#  include <cstdlib>
#  include <sys/stat.h>
#  include <unistd.h>
#endif

namespace sim {
namespace {

struct Stream {
    int fd;            // 1 or 2
    Event::Kind kind;  // Stdout or Stderr
    int saved = -1;    // the original descriptor
    int file = -1;     // the temporary file
    long offset = 0;   // bytes already collected
};

Stream g_streams[2] = {{1, Event::Stdout}, {2, Event::Stderr}};
bool g_active = false;
int g_original_stdout = 1;

#if defined(_WIN32)
int open_temp() {
    char dir[MAX_PATH], name[MAX_PATH];
    if (!GetTempPathA(MAX_PATH, dir) || !GetTempFileNameA(dir, "kst", 0, name)) return -1;
    return _open(name, _O_RDWR | _O_BINARY | _O_TRUNC | _O_TEMPORARY, _S_IREAD | _S_IWRITE);
}
int dup_fd(int fd) { return _dup(fd); }
int dup2_fd(int from, int to) { return _dup2(from, to); }
void close_fd(int fd) { _close(fd); }
long read_from(int fd, long offset, std::string &out) {
    long end = _lseek(fd, 0, SEEK_END);
    if (end <= offset) return offset;
    _lseek(fd, offset, SEEK_SET);
    std::string buf(static_cast<size_t>(end - offset), '\0');
    int n = _read(fd, &buf[0], static_cast<unsigned>(buf.size()));
    if (n > 0) out.append(buf, 0, static_cast<size_t>(n));
    return offset + (n > 0 ? n : 0);
}
#else
int open_temp() {
    char name[] = "/tmp/kesto-capture-XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0) unlink(name);
    return fd;
}
int dup_fd(int fd) { return dup(fd); }
int dup2_fd(int from, int to) { return dup2(from, to); }
void close_fd(int fd) { close(fd); }
long read_from(int fd, long offset, std::string &out) {
    // the file's size tells whether anything was written; the offset the
    // plug-in writes at is not touched
    struct stat st;
    if (fstat(fd, &st) != 0 || st.st_size <= offset) return offset;
    out.resize(static_cast<size_t>(st.st_size - offset));
    size_t got = 0;
    while (got < out.size()) {
        ssize_t n = pread(fd, &out[got], out.size() - got, offset + static_cast<long>(got));
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    out.resize(got);
    return offset + static_cast<long>(got);
}
#endif

}  // namespace

bool capture_start() {
    if (g_active) return true;
    bool captured = true;
    std::fflush(stdout);
    std::fflush(stderr);
    for (Stream &s : g_streams) {
        errno = 0;
        s.file = open_temp();
        s.saved = s.file < 0 ? -1 : dup_fd(s.fd);
        // A stream closed before the run (dup gives EBADF) is captured, and
        // closed again after it.  One that cannot be kept aside (no
        // descriptor left) is not taken from the program: the run fails,
        // and the program's own messages still reach it.
        if (s.file < 0 || (s.saved < 0 && errno != EBADF)) {
            const int cause = errno ? errno : EMFILE;
            if (s.file >= 0) close_fd(s.file);
            s.file = -1;
            host_error(std::string("cannot capture the plug-in's ") + (s.fd == 1 ? "standard output" : "standard error") +
                       ": " + std::strerror(cause));
            captured = false;
            continue;
        }
        dup2_fd(s.file, s.fd);
        s.offset = 0;
    }
#if defined(_WIN32)
    _setmode(1, _O_BINARY);
    _setmode(2, _O_BINARY);
#endif
    g_original_stdout = g_streams[0].saved >= 0 ? g_streams[0].saved : 1;
    g_active = true;
    return captured;
}

void capture_collect() {
    if (!g_active) return;
    std::fflush(stdout);
    std::fflush(stderr);
    for (Stream &s : g_streams) {
        if (s.file < 0) continue;
        std::string text;
        s.offset = read_from(s.file, s.offset, text);
        if (text.empty()) continue;
        Event e;
        e.kind = s.kind;
        e.texts.push_back(std::move(text));
        record(std::move(e));
    }
}

void capture_stop() {
    if (!g_active) return;
    capture_collect();
    for (Stream &s : g_streams) {
        if (s.file < 0) continue;
        // a stream that was closed before the run is closed again, so that
        // what is written to it later fails as it would have
        if (s.saved >= 0) {
            dup2_fd(s.saved, s.fd);
            close_fd(s.saved);
        } else {
            close_fd(s.fd);
        }
        close_fd(s.file);
        s.saved = s.file = -1;
    }
    g_original_stdout = 1;
    g_active = false;
}

int original_stdout_fd() { return g_original_stdout; }

}  // namespace sim
