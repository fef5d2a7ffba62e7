// Standard input, output and error of the program: "-" in place of a file,
// a reader that goes away, a Windows console, -q and the --json object's
// messages.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "tools/cli/commands.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/output_file.h"

#if defined(_WIN32)
#  include <fcntl.h>
#  include <io.h>
#  include <windows.h>
#else
#  include <unistd.h>
#endif

namespace kesto::cli {
namespace {

bool g_quiet = false;
int g_utf8 = -1;  // --encoding: 1 utf-8, 0 the console's; -1 not given
bool g_stdout_closed = false;
std::vector<std::string> g_errors, g_warnings;

#if defined(_WIN32)
// A console shows text in its own code page, which is seldom UTF-8: it is
// given UTF-16.  True when fd is a console and took the text.
bool is_console(int fd) {
    DWORD mode = 0;
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode);
}

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

// Text for a pipe or a file as Windows' own console programs write it, so
// that type, more and findstr show it: in the console's output code page,
// or the OEM code page where there is no console; UTF-8 when asked for.
std::string for_pipe_or_file(const std::string &utf8) {
    UINT cp = GetConsoleOutputCP();
    if (cp == 0) cp = GetOEMCP();
    if (utf8_output() || cp == CP_UTF8) return utf8;
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

// Standard output: text to a console as such, else bytes.  0, or the cause
// of the failure; a reader that has gone is none.
int to_stdout(const std::string &content, bool text) {
    if (g_stdout_closed) return 0;
#if defined(_WIN32)
    if (text && to_console(_fileno(stdout), content)) return 0;
    if (!text) _setmode(_fileno(stdout), _O_BINARY);
    const std::string bytes = text ? for_pipe_or_file(content) : std::string();
    int cause = text ? write_stream(stdout, bytes.data(), bytes.size())
                     : write_stream(stdout, content.data(), content.size());
#else
    (void)text;
    int cause = write_stream(stdout, content.data(), content.size());
#endif
    if (cause == EPIPE) g_stdout_closed = true;
    return cause == EPIPE ? 0 : cause;
}

void to_stderr(const std::string &line) {
#if defined(_WIN32)
    if (to_console(_fileno(stderr), line)) return;
    const std::string bytes = for_pipe_or_file(line);
    write_stream(stderr, bytes.data(), bytes.size());
#else
    write_stream(stderr, line.data(), line.size());
#endif
}

}  // namespace

std::vector<std::string> files_only(const std::vector<std::string> &paths) {
    std::vector<std::string> out;
    for (const std::string &p : paths)
        if (!is_standard_stream(p)) out.push_back(p);
    return out;
}

int write_stdout_bytes(const std::string &content) { return to_stdout(content, false); }


void complain(const std::string &what) {
    g_errors.push_back(what);
    to_stderr("kesto-tools-vericut: " + what + "\n");
}

void set_quiet(bool quiet) { g_quiet = quiet; }

void set_utf8_output(bool utf8) { g_utf8 = utf8 ? 1 : 0; }

bool utf8_output() {
    if (g_utf8 < 0) {
        const char *env = std::getenv("KESTO_ENCODING");
        g_utf8 = env && (std::strcmp(env, "utf-8") == 0 || std::strcmp(env, "UTF-8") == 0);
    }
    return g_utf8 == 1;
}
bool quiet() { return g_quiet; }

void warn(const std::string &what) {
    g_warnings.push_back(what);
    if (!g_quiet) to_stderr("kesto-tools-vericut: warning: " + what + "\n");
}

bool print(const std::string &text) {
    int cause = to_stdout(text, true);
    if (cause == 0) return true;
    complain(std::string("standard output: cannot be written: ") + std::strerror(cause));
    return false;
}

bool write_text(int fd, const std::string &utf8) {
#if defined(_WIN32)
    if (to_console(fd, utf8)) return true;
    const std::string text = for_pipe_or_file(utf8);
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

bool tell(const std::string &text, const std::string &output) {
    if (g_quiet || text.empty()) return true;
    if (!is_standard_stream(output)) return print(text);
    to_stderr(text);
    return true;
}

bool stdout_closed() { return g_stdout_closed; }

bool print_json(nlohmann::ordered_json object) {
    object["error"] = g_errors.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(g_errors.back());
    object["errors"] = g_errors;
    object["warnings"] = g_warnings;
    // JSON in a code page other than UTF-8 keeps every character as \uXXXX
#if defined(_WIN32)
    const bool ascii = !utf8_output() && !is_console(_fileno(stdout));
#else
    const bool ascii = false;
#endif
    return print(object.dump(2, ' ', ascii, nlohmann::ordered_json::error_handler_t::replace) + "\n");
}

bool is_standard_stream(const std::string &path) { return path == "-"; }

std::string input_label(const std::string &path) {
    return is_standard_stream(path) ? "(standard input)" : path;
}

bool standard_input_once(const std::vector<std::string> &paths) {
    int n = 0;
    for (const std::string &p : paths) n += is_standard_stream(p);
    if (n <= 1) return true;
    complain("standard input (-) can be read only once; name it once");
    return false;
}

bool read_input(const std::string &path, size_t max_bytes, std::string &text, std::string &error) {
    if (!is_standard_stream(path)) return tlsfile::read_input_file(path, max_bytes, true, text, error);
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
            error = tlsfile::too_large(input_label(path), max_bytes);
            return false;
        }
    } while (n == sizeof piece);
    if (std::ferror(stdin)) {
        text.clear();
        error = input_label(path) + ": " + std::strerror(errno ? errno : EIO);
        return false;
    }
    return true;
}

}  // namespace kesto::cli
