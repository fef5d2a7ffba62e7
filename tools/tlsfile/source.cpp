#include "tools/tlsfile/source.h"

#include <algorithm>

#include "host/common/cp1251.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/tls_records.h"

namespace tlsfile {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The code points of UTF-16 bytes, one at a time; a lone surrogate or a
// byte left over is U+FFFD.
class Utf16Reader {
public:
    Utf16Reader(std::string_view bytes, bool big_endian) : bytes_(bytes), big_(big_endian) {}
    bool next(uint32_t &cp) {
        if (at_ >= bytes_.size()) return false;
        if (at_ + 1 >= bytes_.size()) {
            at_ = bytes_.size();
            cp = 0xFFFD;
            return true;
        }
        const uint32_t unit = take();
        if (unit >= 0xD800 && unit <= 0xDBFF && at_ + 1 < bytes_.size()) {
            const uint32_t low = peek();
            if (low >= 0xDC00 && low <= 0xDFFF) {
                at_ += 2;
                cp = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                return true;
            }
        }
        cp = unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit;
        return true;
    }

private:
    uint32_t peek() const {
        const auto b0 = static_cast<unsigned char>(bytes_[at_]), b1 = static_cast<unsigned char>(bytes_[at_ + 1]);
        return big_ ? (uint32_t(b0) << 8 | b1) : (uint32_t(b1) << 8 | b0);
    }
    uint32_t take() {
        const uint32_t unit = peek();
        at_ += 2;
        return unit;
    }
    std::string_view bytes_;
    bool big_;
    size_t at_ = 0;
};

// Text without a mark that is UTF-16 all the same: every other byte of its
// first characters a zero, as no Windows-1251 or UTF-8 text has.
bool unmarked_utf16(std::string_view b, bool &big_endian) {
    if (b.size() < 4) return false;
    const bool little = b[0] != 0 && b[1] == 0 && b[2] != 0 && b[3] == 0;
    const bool big = b[0] == 0 && b[1] != 0 && b[2] == 0 && b[3] != 0;
    big_endian = big;
    return little || big;
}

// Whether text is UTF-8 through and through and holds something beyond
// ASCII; where, when it does, the first such character's line is.
bool utf8_beyond_ascii(std::string_view text, int &line) {
    size_t first = std::string_view::npos;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        uint32_t cp;
        size_t len;
        if (!kesto::utf8_code_point(text, i, cp, len)) return false;
        if (first == std::string_view::npos) first = i;
        i += len;
    }
    if (first == std::string_view::npos) return false;
    line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(first), '\n'));
    return true;
}

// Appends a code point as Windows-1251, noting the first one it lacks.
void put_cp1251(Source &s, uint32_t cp, int line) {
    const char b = cp < 0x80 ? static_cast<char>(cp) : cp <= 0xFFFF ? kesto::cp1251_byte(cp) : '?';
    if (b == '?' && cp != '?' && s.lost_line == 0) {
        s.lost_character = cp;
        s.lost_line = line;
    }
    s.text += b;
}

bool json_object_start(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '{';
}

void from_utf16(Source &s, std::string_view bytes, bool big_endian) {
    // the kind from the first characters, as UTF-8
    std::string head;
    Utf16Reader probe(bytes, big_endian);
    uint32_t cp;
    for (int n = 0; n < 64 && probe.next(cp); ++n) kesto::append_utf8(head, cp);
    s.kind = starts_as_library(head) ? SourceKind::library : json_object_start(head) ? SourceKind::part
                                                                                        : SourceKind::other;
    // anything but a part is decoded as a library would be: check reads it
    // as one, to say what is wrong with it
    s.text.reserve(bytes.size() / 2);
    Utf16Reader reader(bytes, big_endian);
    int line = 1;
    while (reader.next(cp)) {
        if (s.kind == SourceKind::part) {
            kesto::append_utf8(s.text, cp);
        } else {
            put_cp1251(s, cp, line);
            line += cp == '\n';
        }
    }
}

}  // namespace

const char *encoding_name(Encoding encoding) {
    switch (encoding) {
    case Encoding::windows_1251: return "Windows-1251";
    case Encoding::utf8: return "UTF-8";
    case Encoding::utf16le:
    case Encoding::utf16be: return "UTF-16";
    }
    return "?";
}

Source source_of(std::string label, std::string bytes) {
    Source s;
    s.label = std::move(label);
    const std::string_view all(bytes);
    bool big_endian = false;
    const bool marked16 = all.substr(0, 2) == "\xFF\xFE" || all.substr(0, 2) == "\xFE\xFF";
    if (marked16 || unmarked_utf16(all, big_endian)) {
        if (marked16) big_endian = all[0] == '\xFE';
        s.encoding = big_endian ? Encoding::utf16be : Encoding::utf16le;
        s.byte_order_mark = marked16;
        from_utf16(s, all.substr(marked16 ? 2 : 0), big_endian);
        return s;
    }
    s.byte_order_mark = all.substr(0, 3) == kUtf8Mark;
    const std::string_view body = all.substr(s.byte_order_mark ? 3 : 0);
    if (starts_as_library(std::string(body.substr(0, 64)))) {
        s.kind = SourceKind::library;
        int line = 0;
        const bool utf8 = utf8_beyond_ascii(body, line);
        if (!utf8) {
            // Windows-1251 (a stray mark is dropped: check names it)
            if (s.byte_order_mark) bytes.erase(0, 3);
            s.text = std::move(bytes);
            return s;
        }
        s.encoding = Encoding::utf8;
        s.first_utf8_line = line;
        s.text.reserve(body.size());
        int at_line = 1;
        for (size_t i = 0; i < body.size();) {
            uint32_t cp = 0;
            size_t len = 1;
            kesto::utf8_code_point(body, i, cp, len);  // valid: utf8_beyond_ascii said so
            put_cp1251(s, cp, at_line);
            at_line += cp == '\n';
            i += len;
        }
        return s;
    }
    if (json_object_start(body)) {
        s.kind = SourceKind::part;
        s.encoding = Encoding::utf8;
        if (s.byte_order_mark) bytes.erase(0, 3);
        s.text = std::move(bytes);
        return s;
    }
    // anything else is kept as it is; what it was saved as is told all the same
    int line = 0;
    if (s.byte_order_mark || utf8_beyond_ascii(body, line)) s.encoding = Encoding::utf8;
    s.first_utf8_line = line;
    s.text = std::move(bytes);
    return s;
}

bool read_source(const std::string &path, Source &source, std::string &error, size_t max_bytes) {
    std::string bytes;
    if (!read_input_file(path, max_bytes, true, bytes, error)) return false;
    source = source_of(path, std::move(bytes));
    return true;
}

bool encoding_problem(const Source &s, Problem &p) {
    if (s.kind == SourceKind::part) return false;
    const char *const kHint = " (hint: save it as Windows-1251, \"ANSI\"";
    if (s.encoding == Encoding::utf16le || s.encoding == Encoding::utf16be) {
        p = {1, "", std::string(s.byte_order_mark ? "the file starts with a UTF-16 byte-order mark: " : "") +
                        "it is UTF-16 (Notepad's \"Unicode\"), not Windows-1251" + kHint + ")"};
    } else if (s.byte_order_mark && s.encoding == Encoding::windows_1251 &&
               std::any_of(s.text.begin(), s.text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        p = {1, "", std::string("the file starts with a UTF-8 byte-order mark, but its text is Windows-1251") +
                        kHint + ", without the mark)"};
    } else if (s.byte_order_mark) {
        p = {1, "", std::string("the file starts with a UTF-8 byte-order mark: it is UTF-8, not Windows-1251") +
                        kHint + ", without the mark)"};
    } else if (s.encoding == Encoding::utf8) {
        p = {s.first_utf8_line, "", std::string("the quoted text is UTF-8, not Windows-1251: its letters would show "
                                                "garbled") + kHint + ")"};
    } else {
        return false;
    }
    if (s.lost_line)
        p.message += "; line " + std::to_string(s.lost_line) + " holds a character Windows-1251 lacks, read as '?'";
    return true;
}

void add_encoding_problem(Library &library, Problem p) {
    for (const Tool &t : library.tools)
        if (t.line <= p.line) p.tool = t.name;
    ++library.text_problems;
    auto at = std::upper_bound(library.problems.begin(), library.problems.end(), p.line,
                               [](int line, const Problem &q) { return line < q.line; });
    library.problems.insert(at, std::move(p));
}

Library parse_source(const Source &s) {
    Library library = parse_tls(s.text);
    Problem p;
    if (encoding_problem(s, p)) add_encoding_problem(library, std::move(p));
    return library;
}

bool is_wanted(const Source &source, Wanted wanted) {
    switch (wanted) {
    case Wanted::library: return source.kind == SourceKind::library;
    case Wanted::part: return source.kind == SourceKind::part;
    case Wanted::either: return source.kind != SourceKind::other;
    }
    return false;
}

std::string wrong_kind(const Source &s, const std::string &command, Wanted wanted) {
    const std::string header = std::string("\"") + kLibraryHeaderLine + "\"";
    if (s.kind == SourceKind::part)
        return s.label + ": is a part or session file (JSON), not a tool library; " + command +
               " takes libraries. Export its tools first: kesto-tools-vericut export " +
               (s.label == "(standard input)" ? std::string("PART.json") : s.label) + " -o NEW.tls";
    if (s.kind == SourceKind::library)
        return s.label + ": is a tool library (*.tls), not a part or session file (JSON); look at it with "
                         "kesto-tools-vericut check " + (s.label == "(standard input)" ? std::string("-") : s.label);
    if (wanted == Wanted::library)
        return s.label + ": does not start with the tool library header " + header + "; " + command +
               " takes tool libraries only";
    return s.label + ": is neither a tool library (its first line is not " + header +
           ") nor a part or session file (JSON)";
}

}  // namespace tlsfile
