#include "tools/tlsfile/interrupt_cleanup.h"

#include <csignal>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "host/common/cp1251.h"
#include "src/shared_facts.h"

#if defined(_WIN32)
#  include <io.h>
#  include <process.h>
#  include <windows.h>
#else
#  include <fcntl.h>
#  include <pthread.h>
#  include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace tlsfile {
namespace {

// The one lock of the guarded list and of replacing a library (the
// Windows compiler's runtime has no std::mutex).
#if defined(_WIN32)
SRWLOCK g_lock = SRWLOCK_INIT;
void lock() { AcquireSRWLockExclusive(&g_lock); }
void unlock() { ReleaseSRWLockExclusive(&g_lock); }
#else
pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
void lock() { pthread_mutex_lock(&g_lock); }
void unlock() { pthread_mutex_unlock(&g_lock); }
#endif

struct Held {
    Held() { lock(); }
    ~Held() { unlock(); }
    Held(const Held &) = delete;
    Held &operator=(const Held &) = delete;
};

// A library whose lock this process holds.
struct Guarded {
    fs::path file;       // absolute
    fs::path lock_file;  // absolute, under the name the lock gave it
    bool replaced = false;
};

std::vector<Guarded> &guarded() {
    static std::vector<Guarded> files;
    return files;
}

// Removes what this process made beside each guarded library and its lock
// file, then ends; the guard's mutex stays held, so nothing is replaced
// after the clean-up began.
const char *g_program = "";
// Standard error as the program started: while the plug-in runs, the
// simulated host points descriptor 2 at its capture.
int g_stderr = 2;

[[noreturn]] void clean_up_and_exit(int code) {
    lock();
    std::error_code ec;
    std::string said = std::string(g_program) + ": interrupted";
    for (const Guarded &g : guarded())
        said += "; " + kesto::utf8_shown(g.file.filename().u8string()) +
                (g.replaced ? " was replaced whole before it: it holds the new content" : " is left as it was");
    said += "\n";
#if defined(_WIN32)
    _write(g_stderr, said.data(), static_cast<unsigned>(said.size()));
#else
    ssize_t ignored = ::write(g_stderr, said.data(), said.size());
    (void)ignored;
#endif
    for (const Guarded &g : guarded()) {
        const fs::path &file = g.file;
        const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
        const std::string own = file.filename().string() + KESTO_WRITER_MARK + std::to_string(own_process_id()) + "-";
        std::vector<fs::path> leftovers;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            if (it->path().filename().string().rfind(own, 0) == 0) leftovers.push_back(it->path());
        // the main thread goes on meanwhile: the plug-in may still make a
        // file in a scratch folder that is being removed, so that its
        // removal finds it not empty; tried again until it has gone
        for (const fs::path &p : leftovers)
            for (int tries = 0; tries < 100 && fs::exists(fs::symlink_status(p, ec)); ++tries) fs::remove_all(p, ec);
        fs::remove(g.lock_file, ec);
    }
    std::_Exit(code);
}

#if defined(_WIN32)
BOOL WINAPI on_console_event(DWORD event) {
    // the system runs this in a thread of its own
    switch (event) {
    case CTRL_C_EVENT: clean_up_and_exit(interrupt_exit_code(SIGINT));
    case CTRL_BREAK_EVENT: clean_up_and_exit(interrupt_exit_code(SIGBREAK));
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: clean_up_and_exit(interrupt_exit_code(SIGTERM));
    default: return FALSE;
    }
}
#else
// The handler only passes the signal on to a thread of ours, which may do
// what a handler may not (list a folder, remove files).
int g_pipe[2] = {-1, -1};

extern "C" void on_signal(int signal_number) {
    const unsigned char n = static_cast<unsigned char>(signal_number);
    // before any library is guarded there is nothing to clean up: the
    // signal does what it would have done
    if (g_pipe[1] < 0 || ::write(g_pipe[1], &n, 1) != 1) {
        ::signal(signal_number, SIG_DFL);
        ::raise(signal_number);
    }
}

void *wait_for_signal(void *);

// The pipe and its reader, made at the start; the copy of standard error
// is made when the first library is guarded.
void start_waiter() {
    if (g_pipe[0] >= 0) return;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    pthread_t waiter;
    g_pipe[0] = fds[0];
    if (pthread_create(&waiter, nullptr, wait_for_signal, nullptr) != 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        g_pipe[0] = -1;
        return;
    }
    pthread_detach(waiter);
    g_pipe[1] = fds[1];
}

void *wait_for_signal(void *) {
    unsigned char n = 0;
    while (::read(g_pipe[0], &n, 1) != 1) {
    }
    clean_up_and_exit(interrupt_exit_code(n));
}
#endif

}  // namespace

unsigned long own_process_id() {
#if defined(_WIN32)
    return static_cast<unsigned long>(_getpid());
#else
    return static_cast<unsigned long>(::getpid());
#endif
}

int interrupt_exit_code(int signal_number) { return 128 + signal_number; }

void interrupt_point(const char *step) {
#if defined(_WIN32)
    (void)step;
#else
    const char *at = std::getenv("KESTO_INTERRUPT_AT");
    if (!at || std::string(at) != step || g_pipe[1] < 0) return;
    ::raise(SIGINT);
    for (;;) ::pause();  // the clean-up ends the process
#endif
}

void clean_up_on_interrupt(const char *program) {
    g_program = program;
#if defined(_WIN32)
    const int saved = _dup(2);
    if (saved >= 0) g_stderr = saved;
#else
    start_waiter();
#endif
#if defined(_WIN32)
    SetConsoleCtrlHandler(on_console_event, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        // a signal ignored when the program started (a background job's SIGINT) stays ignored
        if (sigaction(signal_number, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(signal_number, &action, nullptr);
    }
#endif
}

namespace {

// Absolute, since the folder a clean-up runs in may be an export's scratch folder.
fs::path made_absolute(const fs::path &file) {
    std::error_code ec;
    fs::path p = fs::absolute(file, ec);
    return ec ? file : p;
}

}  // namespace

void guard_library(const fs::path &file, const fs::path &lock_file) {
    const fs::path p = made_absolute(file), lock = made_absolute(lock_file);
    Held hold;
#if !defined(_WIN32)
    if (g_stderr == 2) {
        const int saved = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
        if (saved >= 0) g_stderr = saved;
    }
#endif
    guarded().push_back({p, lock, false});
}

void unguard_library(const fs::path &file) {
    const fs::path p = made_absolute(file);
    Held hold;
    std::vector<Guarded> &files = guarded();
    for (size_t i = files.size(); i-- > 0;)
        if (files[i].file == p) {
            files.erase(files.begin() + static_cast<long>(i));
            break;
        }
}

bool replace_unless_interrupted(const std::function<bool()> &replace, const fs::path &library) {
    const fs::path p = library.empty() ? library : made_absolute(library);
    Held hold;
    if (!replace()) return false;
    for (Guarded &g : guarded())
        if (!p.empty() && g.file == p) g.replaced = true;
    return true;
}

}  // namespace tlsfile
