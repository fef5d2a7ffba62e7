// Platform layer of the POSIX build: the open test, the process start and
// the CR LF text stream (the profile reader is in profile_posix.cpp).
#include "host/platform/platform.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "host/common/native_path.h"

namespace {

// Writes all of data; false on a write error (errno tells which).
bool write_all(int fd, const char *data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// ---- Process start -------------------------------------------------------

// Runs in the started child (after fork, so only async-signal-safe calls):
// no descriptor of ours but 0, 1, 2 and the report pipe reaches the
// program, as no handle is inherited on Windows.
void close_inherited(int keep) {
    if (keep > 3) close_range(3, static_cast<unsigned>(keep - 1), 0);
    if (close_range(static_cast<unsigned>(keep + 1), ~0u, 0) == 0) return;
    struct rlimit lim;
    int max = getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < 65536 ? static_cast<int>(lim.rlim_cur) : 65536;
    for (int fd = 3; fd < max; ++fd)
        if (fd != keep) close(fd);
}

// The grandchild: becomes the program, or reports why it could not.
[[noreturn]] void exec_program(const char *program, char *const argv[], int report) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    close_inherited(report);
    execv(program, argv);
    int error = errno;
    write_all(report, reinterpret_cast<const char *>(&error), sizeof error);
    _exit(127);
}

// ---- CR LF text stream -----------------------------------------------------

// A write error is remembered so that the close reports it too.
struct CrlfFile {
    int fd;
    int failed;
};

ssize_t crlf_write(void *cookie, const char *data, size_t size) {
    CrlfFile *file = static_cast<CrlfFile *>(cookie);
    char out[8192];
    size_t used = 0;
    bool ok = true;
    for (size_t i = 0; ok && i < size; ++i) {
        if (used + 2 > sizeof out) {
            ok = write_all(file->fd, out, used);
            used = 0;
        }
        if (data[i] == '\n') out[used++] = '\r';
        out[used++] = data[i];
    }
    if (ok) ok = write_all(file->fd, out, used);
    if (ok) return static_cast<ssize_t>(size);
    file->failed = 1;
    return 0;
}

int crlf_close(void *cookie) {
    CrlfFile *file = static_cast<CrlfFile *>(cookie);
    int result = close(file->fd) == 0 && !file->failed ? 0 : -1;
    free(file);
    return result;
}

}  // namespace

int plat_file_opens(const char *path) {
    int fd = open(kesto::native_path(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return 0;
    // A folder opens here but not for CreateFileA.
    struct stat st;
    int ok = fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
    close(fd);
    return ok;
}

int plat_start_process(const char *cmd_line, const char *program, const char *argument) {
    (void)cmd_line;  // no shell: program gets argument as it is
    std::string path = kesto::native_path(program);
    std::string arg = kesto::native_path(argument);
    char *argv[] = {&path[0], &arg[0], nullptr};

    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return -1;
    // Two forks: the child exits at once and is waited for here, so the
    // program (the grandchild) belongs to init and leaves no zombie.
    pid_t child = fork();
    if (child < 0) {
        close(report[0]);
        close(report[1]);
        return -1;
    }
    if (child == 0) {
        close(report[0]);
        pid_t grandchild = fork();
        if (grandchild == 0) exec_program(path.c_str(), argv, report[1]);
        if (grandchild < 0) {
            int error = errno;
            write_all(report[1], reinterpret_cast<const char *>(&error), sizeof error);
        }
        _exit(0);
    }
    close(report[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // The pipe closes without a word when the exec succeeded.
    int error = 0;
    ssize_t n;
    while ((n = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    return n == 0 ? 0 : -1;
}

FILE *plat_open_text(const char *path, const char *mode) {
    if (mode == nullptr || (mode[0] != 'w' && mode[0] != 'a') || mode[1] != '\0') return nullptr;
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mode[0] == 'w' ? O_TRUNC : O_APPEND);
    int fd = open(kesto::native_path(path).c_str(), flags, 0666);
    if (fd < 0) return nullptr;
    CrlfFile *file = static_cast<CrlfFile *>(malloc(sizeof(CrlfFile)));
    if (file == nullptr) {
        close(fd);
        return nullptr;
    }
    file->fd = fd;
    file->failed = 0;
    cookie_io_functions_t io = {nullptr, crlf_write, nullptr, crlf_close};
    FILE *stream = fopencookie(file, mode, io);
    if (stream == nullptr) {
        close(fd);
        free(file);
    }
    return stream;
}
