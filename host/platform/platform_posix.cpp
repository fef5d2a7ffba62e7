// Platform layer of the POSIX build: the open test, the process start, the
// CR LF text stream and the replacement files (the profile reader is in
// profile_posix.cpp).
#include "host/platform/platform.h"

#include <dlfcn.h>
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

#include "host/common/library_writer.h"
#include "host/common/native_path.h"
#include "src/shared_facts.h"

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

// A CR LF stream on an open descriptor, which it owns from here on (closed
// when no stream can be made).
FILE *crlf_stream(int fd, const char *mode) {
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

// ---- Replacement files ---------------------------------------------------

std::string folder_of(const std::string &path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Where a chain of links ends (the path itself when it is no link), also
// when the last link names nothing yet.
std::string followed(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        std::string target(static_cast<size_t>(st.st_size) + 1, '\0');
        ssize_t n = readlink(path.c_str(), &target[0], target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) break;
        target.resize(static_cast<size_t>(n));
        path = target[0] == '/' ? target : folder_of(path) + "/" + target;
    }
    return path;
}

// Creates a new file beside target, named after it, this process and a
// counter so that no other writer has it; its descriptor, or -1.
int create_unique(const std::string &target, std::string &name) {
    static unsigned counter = 0;
    for (int tries = 0; tries < 100; ++tries) {
        name = kesto::temporary_name(target, static_cast<unsigned long>(getpid()), counter++);
        int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Copies the bytes of the regular file from to fd; *last_byte gets the last
// one.  Anything else put in its place is not waited for.
bool copy_bytes(const std::string &from, int fd, int *last_byte) {
    int in = open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st;
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return false;
    }
    char chunk[65536];
    bool ok = true;
    for (;;) {
        ssize_t n = read(in, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (last_byte) *last_byte = static_cast<unsigned char>(chunk[n - 1]);
        if (!write_all(fd, chunk, static_cast<size_t>(n))) {
            ok = false;
            break;
        }
    }
    close(in);
    return ok;
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
    return crlf_stream(open(kesto::native_path(path).c_str(), flags, 0666), mode);
}

int plat_path_kind(const char *path) {
    struct stat st;
    if (stat(kesto::native_path(path).c_str(), &st) != 0) return PLAT_PATH_MISSING;
    return S_ISREG(st.st_mode) ? PLAT_PATH_FILE : PLAT_PATH_OTHER;
}

struct PlatReplacement {
    std::string temp;    // the new file
    std::string target;  // the file it replaces, links followed
    kesto::LibraryLock lock;
};

int plat_replacement_open(const char *target, int keep_old, int *last_byte, FILE **stream,
                          PlatReplacement **replacement) {
    *stream = nullptr;
    *replacement = nullptr;
    if (last_byte) *last_byte = -1;
    std::string real = followed(kesto::native_path(target));
    struct stat st;
    if (lstat(real.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return PLAT_REPLACEMENT_FAILED;  // a loop of links
    if (kesto::replaceable(real) != kesto::Replaceable::kYes) return PLAT_REPLACEMENT_FAILED;
    PlatReplacement *r = new PlatReplacement{std::string(), real, {}};
    kesto::LibraryLock::Result locked = r->lock.take(real);
    if (locked != kesto::LibraryLock::kTaken) {
        delete r;
        return locked == kesto::LibraryLock::kBusy ? PLAT_REPLACEMENT_BUSY : PLAT_REPLACEMENT_FAILED;
    }
    // Whatever the file is now, another writer may have made or replaced it
    // while this one waited.
    bool exists = stat(real.c_str(), &st) == 0;
    bool ok = !exists || S_ISREG(st.st_mode);
    if (ok && exists) {
        // A file that could not be written in place is not replaced either.
        int fd = open(real.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        ok = fd >= 0;
        if (ok) close(fd);
    }
    int fd = ok ? create_unique(real, r->temp) : -1;
    if (fd >= 0 && (!exists || !keep_old || copy_bytes(real, fd, last_byte))) {
        *stream = crlf_stream(fd, "w");  // after the copied bytes
        if (*stream) {
            *replacement = r;
            return PLAT_REPLACEMENT_OPEN;
        }
    } else if (fd >= 0) {
        close(fd);
    }
    if (!r->temp.empty()) unlink(r->temp.c_str());
    delete r;
    return PLAT_REPLACEMENT_FAILED;
}

int plat_replacement_commit(PlatReplacement *r) {
    bool done = false;
    int fd = open(r->temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        done = fsync(fd) == 0;
        close(fd);
    }
    // the new file keeps the old one's mode, owner and group; a library
    // that holds these bytes already is left untouched
    int error = 0;
    const kesto::Commit commit = done ? kesto::commit_file(r->temp, r->target, error) : kesto::Commit::kFailed;
    done = commit != kesto::Commit::kFailed;
    if (commit == kesto::Commit::kReplaced) {
        // The new name on the disk too.
        int dir = open(folder_of(r->target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            fsync(dir);
            close(dir);
        }
    } else if (!done) {
        unlink(r->temp.c_str());
    }
    delete r;  // the lock goes with it, once the new file has its name
    return done ? 0 : -1;
}

void plat_replacement_discard(PlatReplacement *r) {
    unlink(r->temp.c_str());
    delete r;
}

void plat_tool_note(const char *tool, const char *note) {
    // the host's libufun, already loaded with the plug-in; never loaded here
    void *host = dlopen("libufun.so", RTLD_LAZY | RTLD_NOLOAD);
    if (!host) return;
    KestoNoteHook hook = reinterpret_cast<KestoNoteHook>(dlsym(host, KESTO_NOTE_HOOK));
    if (hook) hook(tool, note);
    dlclose(host);
}
