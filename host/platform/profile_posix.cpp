// The profile reader of the POSIX build.  It answers every question the way
// the Windows reader (GetPrivateProfileStringA) does on the same file; the
// rules below were taken from that reader by experiment:
//
// - Lines end at CR or LF.  Blanks are TAB, VT, FF, CR, LF, ' ' and ^Z;
//   they are trimmed around lines, names and values (and the names asked).
// - A line opens a section when it starts with '[' and has a ']' after it:
//   the name is what lies between the '[' and the last ']', trimmed.  Keys
//   before the first section belong to a section named "".
// - Any other line is a key: the name before the first '=', the value after
//   it; a line without '=' is a key without a value (it answers with the
//   default).  Comment lines are keys too, named after their text.
// - Names match ASCII letters without regard to case, other bytes exactly.
//   Only the first section of a name is searched, and its first key of the
//   name answers, even when it has no value.
// - A NUL byte ends a name or value.
// - A value (or the default) that starts and ends with the same quote, ' or
//   ", and is longer than one character loses its first quote; its last one
//   goes too when the buffer could hold the rest, else the buffer's last
//   character goes.  The default loses trailing ' ' (never its first one).
// - A missing file in an existing folder reads as empty; any other file
//   that cannot be read gives the default unchanged.
// - A file starting with a UTF-8 or UTF-16 byte order mark is decoded and
//   read as Windows-1251; characters that code page lacks become '?' (where
//   Windows picks a look-alike for some, such as 'e' for an accented e).
// - The list of a section's key names (a null key) leaves out comments
//   (';') and lines without '=', and counts a run of nameless keys once; a
//   list cut to fit ends in two zeros and returns the size less two; a list
//   that starts with a nameless key reads as empty; the section name asked
//   is not trimmed.  Listing sections (a null section) is not offered.
#include "host/platform/platform.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "host/common/cp1251.h"
#include "host/common/native_path.h"

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\x1a';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view up_to_nul(std::string_view s) { return s.substr(0, s.find('\0')); }

char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool same_name(std::string_view stored, std::string_view asked) {
    if (stored.size() != asked.size()) return false;
    for (size_t i = 0; i < stored.size(); ++i)
        if (ascii_upper(stored[i]) != ascii_upper(asked[i])) return false;
    return true;
}

// ---- Byte order marks ----------------------------------------------------

std::string from_utf16(std::string_view s, bool big_endian) {
    std::string out;
    for (size_t i = 0; i + 1 < s.size(); i += 2) {
        unsigned char a = static_cast<unsigned char>(s[i]), b = static_cast<unsigned char>(s[i + 1]);
        uint32_t unit = big_endian ? (a << 8u) | b : (b << 8u) | a;
        out += unit >= 0xD800 && unit <= 0xDFFF ? '?' : kesto::cp1251_byte(unit);
    }
    return out;
}

std::string decoded(const std::string &bytes) {
    std::string_view s(bytes);
    if (s.size() >= 3 && s.compare(0, 3, "\xEF\xBB\xBF") == 0) return kesto::utf8_to_cp1251(bytes.substr(3));
    if (s.size() >= 2 && s.compare(0, 2, "\xFF\xFE") == 0) return from_utf16(s.substr(2), false);
    if (s.size() >= 2 && s.compare(0, 2, "\xFE\xFF") == 0) return from_utf16(s.substr(2), true);
    return bytes;
}

// ---- The file --------------------------------------------------------------

enum class Load { Read, Missing, Failed };

bool is_directory(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A missing file counts as an empty one only when its folder exists.
Load missing_or_failed(const std::string &path) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    return is_directory(folder) ? Load::Missing : Load::Failed;
}

Load load(const char *file, std::string &text) {
    std::string path = kesto::native_path(file);
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? missing_or_failed(path) : Load::Failed;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return Load::Failed;
    }
    std::string bytes;
    char chunk[65536];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            close(fd);
            return Load::Failed;
        }
        if (n == 0) break;
        bytes.append(chunk, static_cast<size_t>(n));
    }
    close(fd);
    text = decoded(bytes);
    return Load::Read;
}

// ---- Lookup --------------------------------------------------------------

// Calls visit(name, value, has_value) for each key line of the first
// section named section, in the file's order, until it returns false.
template <class Visit>
void walk_section(std::string_view text, std::string_view section, Visit visit) {
    bool in_section = section.empty();  // the keys before any section header
    size_t pos = 0;
    while (pos < text.size()) {
        size_t start = pos;
        while (pos < text.size() && text[pos] != '\n' && text[pos] != '\r') ++pos;
        std::string_view line = trimmed(text.substr(start, pos - start));
        while (pos < text.size() && (text[pos] == '\n' || text[pos] == '\r')) ++pos;
        if (line.empty()) continue;

        if (line.front() == '[') {
            size_t close = line.size() - 1;
            while (close > 0 && line[close] != ']') --close;
            if (close > 0) {
                if (in_section) return;  // only the first section of the name counts
                in_section = same_name(up_to_nul(trimmed(line.substr(1, close - 1))), section);
                continue;
            }
        }
        if (!in_section) continue;

        size_t eq = line.find('=');
        std::string_view name = up_to_nul(trimmed(line.substr(0, eq)));
        bool has_value = eq != std::string_view::npos;
        std::string_view value = has_value ? up_to_nul(trimmed(line.substr(eq + 1))) : std::string_view();
        if (!visit(name, value, has_value)) return;
    }
}

// The value of key in the first section named section; false when there is
// no such key or it has no value.
bool find_value(std::string_view text, std::string_view section, std::string_view key,
                std::string_view &value) {
    bool found = false;
    walk_section(text, section, [&](std::string_view name, std::string_view v, bool has_value) {
        if (!same_name(name, key)) return true;
        found = has_value;
        value = v;
        return false;
    });
    return found;
}

// The key names of the first section named section, as the Windows reader
// lists them: in order, each with its zero; not the comments (';'), nor the
// lines without '=', and a run of nameless keys counts once.  Cut to size
// as it cuts them.  Returns the count the Windows reader returns.
unsigned list_keys(std::string_view text, std::string_view section, char *out, unsigned size) {
    unsigned left = size;
    char *at = out;
    bool after_nameless = false;
    walk_section(text, section, [&](std::string_view name, std::string_view, bool has_value) {
        if (left <= 2) return false;
        bool nameless_again = name.empty() && after_nameless;
        after_nameless = name.empty();
        if (nameless_again || (!name.empty() && name.front() == ';') || !has_value) return true;
        size_t n = name.size() < left - 2 ? name.size() : left - 2;
        memcpy(at, name.data(), n);
        at[n] = '\0';
        at += n + 1;
        left -= static_cast<unsigned>(n + 1);
        return left >= 2;
    });
    *at = '\0';
    if (left <= 1) {
        at[-1] = '\0';
        return size - 2;
    }
    return size - left;
}

// Copies value into out (size > 0), cut to size - 1 characters, with the
// reader's handling of surrounding quotes.
void copy_entry(char *out, unsigned size, std::string_view value) {
    bool quoted = value.size() > 1 && (value.front() == '"' || value.front() == '\'') &&
                  value.back() == value.front();
    if (quoted) value.remove_prefix(1);
    size_t n = value.size() < size - 1 ? value.size() : size - 1;
    memcpy(out, value.data(), n);
    out[n] = '\0';
    if (quoted && size >= value.size() && n > 0) out[n - 1] = '\0';
}

}  // namespace

unsigned plat_get_profile_string(const char *section, const char *key, const char *def,
                                 char *out, unsigned size, const char *file) {
    if (out == nullptr || size == 0) return 0;
    if (section == nullptr || key == nullptr || file == nullptr) {
        out[0] = '\0';
        return 0;
    }
    std::string_view fallback(def ? def : "");
    while (fallback.size() > 1 && fallback.back() == ' ') fallback.remove_suffix(1);

    std::string text;
    Load loaded = load(file, text);
    if (loaded == Load::Failed) {
        size_t n = fallback.size() < size - 1 ? fallback.size() : size - 1;
        memcpy(out, fallback.data(), n);
        out[n] = '\0';
        return static_cast<unsigned>(strlen(out));
    }
    std::string_view value;
    if (!find_value(text, trimmed(section), trimmed(key), value)) value = fallback;
    copy_entry(out, size, value);
    return static_cast<unsigned>(strlen(out));
}

unsigned plat_get_profile_keys(const char *section, char *out, unsigned size, const char *file) {
    if (out == nullptr || size == 0) return 0;
    out[0] = '\0';
    if (section == nullptr || file == nullptr || size < 2) return 0;
    std::string text;
    if (load(file, text) == Load::Failed) return 0;
    // Unlike a key's, the section name asked for a list is not trimmed.
    unsigned count = list_keys(text, section, out, size);
    // A list that starts with a nameless key reads as no list at all.
    return out[0] == '\0' ? 0 : count;
}
