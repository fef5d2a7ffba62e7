#include "tools/cli/context.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#include "tools/tlsfile/input_file.h"

namespace kesto::cli {
namespace {

constexpr char kProgram[] = "kesto-tools-vericut: ";

bool is_control(unsigned char c) { return c < 0x20 || c == 0x7F; }

// The length of a colour code at text[at] ("\x1b[31m", "\x1b[0m"), or 0.
size_t colour_code(const std::string &text, size_t at) {
    if (text.compare(at, 2, "\x1b[") != 0) return 0;
    size_t end = at + 2;
    while (end < text.size() && (std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == ';')) ++end;
    return end < text.size() && text[end] == 'm' ? end + 1 - at : 0;
}

}  // namespace

std::string terminal_safe(const std::string &text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!is_control(c) || c == '\n') {
            out += text[i];
        } else if (const size_t n = colour_code(text, i)) {
            out.append(text, i, n);
            i += n - 1;
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

void Context::error(const std::string &what) {
    errors_.push_back(what);
    streams_.err_text(terminal_safe(kProgram + what + "\n"));
}

void Context::warn(const std::string &what) {
    warnings_.push_back(what);
    if (!quiet) streams_.err_text(terminal_safe(std::string(kProgram) + "warning: " + what + "\n"));
}

bool Context::print(const std::string &text) {
    if (stdout_closed_ || text.empty()) return true;
    const int cause = streams_.out_text(terminal_safe(text));
    if (cause == EPIPE) stdout_closed_ = true;
    if (cause == 0 || cause == EPIPE) return true;
    error(std::string("standard output: cannot be written: ") + std::strerror(cause));
    return false;
}

bool Context::tell(const std::string &text, bool output_is_stdout) {
    if (quiet || text.empty()) return true;
    if (!output_is_stdout) return print(text);
    streams_.err_text(terminal_safe(text));
    return true;
}

int Context::write_bytes(const std::string &bytes) {
    if (stdout_closed_) return 0;
    const int cause = streams_.out_bytes(bytes);
    if (cause == EPIPE) stdout_closed_ = true;
    return cause == EPIPE ? 0 : cause;
}

int StringStreams::out_text(const std::string &utf8) {
    out += utf8;
    return 0;
}

int StringStreams::out_bytes(const std::string &bytes) {
    out += bytes;
    return 0;
}

void StringStreams::err_text(const std::string &utf8) { err += utf8; }

bool StringStreams::read_in(size_t max_bytes, std::string &bytes, std::string &error) {
    if (in.size() > max_bytes) {
        error = tlsfile::too_large("(standard input)", max_bytes);
        return false;
    }
    bytes = in;
    return true;
}

}  // namespace kesto::cli
