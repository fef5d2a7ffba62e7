// The process's standard input, output and error: a reader that goes away,
// a Windows console (UTF-16) and Windows pipes and files (the console's code
// page, or UTF-8 when asked for).
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/cli/context.h"
#include "tools/cli/terminal.h"
#include "tools/tlsfile/input_file.h"

#if defined(_WIN32)
#  include <fcntl.h>
#  include <io.h>
#  include <windows.h>
#else
#  include <unistd.h>
#endif

namespace kesto::cli {
namespace {

#if defined(_WIN32)
bool is_console(int fd) {
    DWORD mode = 0;
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode);
}

// A console shows text in its own code page, which is seldom UTF-8: it is
// given UTF-16.  True when fd is a console and took the text.
bool to_console(int fd, const std::string &utf8) {
    if (!is_console(fd)) return false;
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
    for (size_t at = 0; at < wide.size();) {
        DWORD done = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(wide.size() - at, 8192));
        if (!WriteConsoleW(h, wide.data() + at, chunk, &done, nullptr) || done == 0) break;
        at += done;
    }
    return true;
}
#endif

// The cause of a failed write: errno, or EPIPE for a pipe whose reader has
// gone (the Windows C runtime calls that EINVAL).
int write_error() {
#if defined(_WIN32)
    const DWORD last = GetLastError();
    if (last == ERROR_NO_DATA || last == ERROR_BROKEN_PIPE || last == ERROR_PIPE_NOT_CONNECTED) return EPIPE;
#endif
    return errno ? errno : EIO;
}

// Writes and flushes: 0, or the cause of the failure.
int write_stream(FILE *stream, const char *data, size_t size) {
    errno = 0;
    bool ok = std::fwrite(data, 1, size, stream) == size;
    int cause = ok ? 0 : write_error();
    if (ok && std::fflush(stream) != 0) {
        ok = false;
        cause = write_error();
    }
    if (ok && !std::ferror(stream)) return 0;
    std::clearerr(stream);
    return cause ? cause : EIO;
}

class ProcessStreams : public Streams {
public:
    ProcessStreams() {
        const char *env = std::getenv("KESTO_ENCODING");
        utf8_ = env && (std::strcmp(env, "utf-8") == 0 || std::strcmp(env, "UTF-8") == 0);
    }

    int out_text(const std::string &utf8) override {
#if defined(_WIN32)
        if (to_console(_fileno(stdout), utf8)) return 0;
        const std::string bytes = for_pipe_or_file(utf8);
        return write_stream(stdout, bytes.data(), bytes.size());
#else
        return write_stream(stdout, utf8.data(), utf8.size());
#endif
    }

    int out_bytes(const std::string &bytes) override {
#if defined(_WIN32)
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        return write_stream(stdout, bytes.data(), bytes.size());
    }

    void err_text(const std::string &utf8) override {
#if defined(_WIN32)
        if (to_console(_fileno(stderr), utf8)) return;
        const std::string bytes = for_pipe_or_file(utf8);
        write_stream(stderr, bytes.data(), bytes.size());
#else
        write_stream(stderr, utf8.data(), utf8.size());
#endif
    }

    bool read_in(size_t max_bytes, std::string &text, std::string &error) override {
#if defined(_WIN32)
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        text.clear();
        char piece[65536];
        size_t n = 0;
        do {
            n = std::fread(piece, 1, sizeof piece, stdin);
            text.append(piece, n);
            if (text.size() > max_bytes) {
                text.clear();
                error = tlsfile::too_large("(standard input)", max_bytes);
                return false;
            }
        } while (n == sizeof piece);
        if (std::ferror(stdin)) {
            text.clear();
            error = std::string("(standard input): ") + std::strerror(errno ? errno : EIO);
            return false;
        }
        return true;
    }

    void set_utf8(bool utf8) override { utf8_ = utf8; }

    bool ascii_json() const override {
#if defined(_WIN32)
        return !utf8_ && !is_console(_fileno(stdout));
#else
        return false;
#endif
    }

#if defined(_WIN32)
    // Text for a pipe or a file as Windows' own console programs write it, so
    // that type, more and findstr show it: in the console's output code page,
    // or the OEM code page where there is no console; UTF-8 when asked for.
    std::string for_pipe_or_file(const std::string &utf8) const {
        UINT cp = GetConsoleOutputCP();
        if (cp == 0) cp = GetOEMCP();
        if (utf8_ || cp == CP_UTF8) return utf8;
        const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
        if (n <= 0) return utf8;
        std::wstring wide(static_cast<size_t>(n), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
        const int bytes = WideCharToMultiByte(cp, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
        if (bytes <= 0) return utf8;
        std::string out(static_cast<size_t>(bytes), '\0');
        WideCharToMultiByte(cp, 0, wide.data(), n, &out[0], bytes, nullptr, nullptr);
        return out;
    }
#endif

private:
    bool utf8_ = false;
};

}  // namespace

std::unique_ptr<Streams> process_streams() { return std::make_unique<ProcessStreams>(); }

bool write_text(int fd, const std::string &utf8) {
#if defined(_WIN32)
    if (to_console(fd, utf8)) return true;
    ProcessStreams as_pipe;
    const std::string text = as_pipe.for_pipe_or_file(utf8);
#else
    const std::string &text = utf8;
#endif
    for (size_t done = 0; done < text.size();) {
#if defined(_WIN32)
        const int n = _write(fd, text.data() + done, static_cast<unsigned>(std::min<size_t>(text.size() - done, 1 << 20)));
#else
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
#endif
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace kesto::cli
