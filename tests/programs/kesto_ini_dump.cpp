// Asks the profile reader of this build (our own on POSIX, the system's on
// Windows) a list of questions and prints each answer exactly, so that the
// answers of two builds can be compared byte for byte.
//
//   kesto_ini_dump QUERIES [DIR]
//
// QUERIES holds one question a line: file, section, key, buffer size and an
// optional default, separated by tabs; "\xHH" and "\\" stand for any byte.
// Blank lines and lines starting with '#' are skipped.  With DIR, each file
// name is taken relative to it.  For each question one line is printed:
// the count returned, a tab, the value in the same escapes.  A buffer that
// is left without its terminating zero, or a byte written beyond it, is
// reported instead of the value.  The key "\N" asks for the list of the
// section's key names instead: its count characters are printed, zeros
// included.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/platform/platform.h"
#include "tests/programs/ini_query_format.h"

#if defined(_WIN32)
#  include <fcntl.h>
#  include <io.h>
#endif

namespace {

using ini_query::escape;
using ini_query::split_tabs;

const unsigned char kGuard = 0xA5;
const size_t kGuardBytes = 16;

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool unescape(const std::string &in, std::string &out) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out += in[i];
            continue;
        }
        if (i + 1 < in.size() && in[i + 1] == '\\') {
            out += '\\';
            ++i;
            continue;
        }
        if (i + 3 < in.size() && in[i + 1] == 'x' && hex_digit(in[i + 2]) >= 0 && hex_digit(in[i + 3]) >= 0) {
            out += static_cast<char>(hex_digit(in[i + 2]) * 16 + hex_digit(in[i + 3]));
            i += 3;
            continue;
        }
        return false;
    }
    return true;
}

std::string answer(const std::string &file, const std::string &section, const std::string *key,
                   unsigned size, const std::string *def) {
    std::vector<char> buffer(size + kGuardBytes, static_cast<char>(kGuard));
    unsigned count = key ? plat_get_profile_string(section.c_str(), key->c_str(), def ? def->c_str() : nullptr,
                                                   buffer.data(), size, file.c_str())
                         : plat_get_profile_keys(section.c_str(), buffer.data(), size, file.c_str());
    for (size_t i = size; i < buffer.size(); ++i)
        if (static_cast<unsigned char>(buffer[i]) != kGuard) return std::to_string(count) + "\tOVERRUN";
    if (size == 0) return std::to_string(count) + "\t";
    size_t len = 0;
    if (key) {
        const void *zero = std::memchr(buffer.data(), '\0', size);
        if (!zero) return std::to_string(count) + "\tUNTERMINATED";
        len = static_cast<size_t>(static_cast<const char *>(zero) - buffer.data());
    } else {
        if (count >= size || buffer[count] != '\0') return std::to_string(count) + "\tUNTERMINATED";
        len = count;
    }
    return std::to_string(count) + "\t" + escape(buffer.data(), len);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: kesto_ini_dump QUERIES [DIR]\n");
        return 2;
    }
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::FILE *in = std::fopen(argv[1], "rb");
    if (!in) {
        std::fprintf(stderr, "kesto_ini_dump: cannot open %s\n", argv[1]);
        return 2;
    }
    std::string dir = argc == 3 ? argv[2] : "";
    std::string line;
    int line_no = 0;
    int status = 0;
    for (;;) {
        int c = std::fgetc(in);
        if (c != EOF && c != '\n') {
            if (c != '\r') line += static_cast<char>(c);
            continue;
        }
        if (c == EOF && line.empty()) break;
        ++line_no;
        if (!line.empty() && line[0] != '#') {
            std::vector<std::string> f = split_tabs(line);
            std::string file, section, key, def;
            bool list = f.size() >= 3 && f[2] == "\\N";
            char *end = nullptr;
            unsigned long size = f.size() >= 4 ? std::strtoul(f[3].c_str(), &end, 10) : 0;
            if (f.size() < 4 || f.size() > 5 || f[3].empty() || *end != '\0' || size > 1000000 ||
                !unescape(f[0], file) || !unescape(f[1], section) || (!list && !unescape(f[2], key)) ||
                (f.size() == 5 && !unescape(f[4], def))) {
                std::fprintf(stderr, "kesto_ini_dump: %s:%d: malformed question\n", argv[1], line_no);
                status = 2;
            } else {
                if (!dir.empty()) file = dir + "\\" + file;
                std::string a = answer(file, section, list ? nullptr : &key, static_cast<unsigned>(size),
                                       f.size() == 5 ? &def : nullptr);
                std::fwrite(a.data(), 1, a.size(), stdout);
                std::fputc('\n', stdout);
            }
        }
        line.clear();
        if (c == EOF) break;
    }
    std::fclose(in);
    return status;
}
