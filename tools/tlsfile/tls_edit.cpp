#include "tools/tlsfile/tls_edit.h"

#include <algorithm>
#include <cstdint>

#include "host/common/cp1251.h"
#include "tools/tlsfile/toolid_pattern.h"

namespace tlsfile {
namespace {

constexpr char kMark[] = "\xEF\xBB\xBF";

// Whether all of s is UTF-8 and some of it beyond ASCII.
bool is_utf8_text(const std::string &s) {
    bool beyond = false;
    for (size_t i = 0; i < s.size();) {
        uint32_t cp;
        size_t len;
        if (!kesto::utf8_code_point(s, i, cp, len)) return false;
        beyond = beyond || len > 1;
        i += len;
    }
    return beyond;
}

}  // namespace

FixResult fix_library(const std::string &bytes) {
    FixResult r;
    std::string text = bytes;
    if (text.compare(0, 3, kMark) == 0) {
        text.erase(0, 3);
        r.byte_order_mark = true;
    }
    r.from_utf8 = is_utf8_text(text);
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    int line = 1;
    bool line_converted = false;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\n') ++r.lf_ends;
            else if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            else ++r.cr_ends;
            out += "\r\n";
            ++i;
            r.converted_lines += line_converted;
            line_converted = false;
            ++line;
            continue;
        }
        uint32_t cp = static_cast<unsigned char>(c);
        size_t len = 1;
        if (r.from_utf8 && !kesto::utf8_code_point(text, i, cp, len)) cp = 0xFFFD;
        if (r.from_utf8 && len > 1) {
            const char b = cp <= 0xFFFF ? kesto::cp1251_byte(cp) : '?';
            if (b == '?') {
                r.error_line = line;
                r.error = "line " + std::to_string(line) + ": the character \"" + text.substr(i, len) + "\" (U+" +
                          [](uint32_t v) {
                              const char *digits = "0123456789ABCDEF";
                              std::string h;
                              for (int shift = v > 0xFFFF ? 20 : 12; shift >= 0; shift -= 4) h += digits[(v >> shift) & 0xF];
                              return h;
                          }(cp) +
                          ") has no Windows-1251 form; nothing was changed";
                r.text.clear();
                return r;
            }
            out += b;
            line_converted = true;
        } else {
            out += c;
        }
        i += len;
    }
    if (!out.empty() && out.back() != '\n') {
        out += "\r\n";
        r.end_added = true;
        r.converted_lines += line_converted;
    }
    if (!starts_as_library(out)) {
        r.error_line = 1;
        r.error = std::string("does not start with the tool library header \"") + kLibraryHeaderLine + "\"";
        return r;
    }
    r.text = std::move(out);
    return r;
}

std::string as_toolid(std::string name) {
    std::replace(name.begin(), name.end(), '"', '|');
    return name;
}

std::vector<size_t> records_named(const LibrarySpans &spans, const std::vector<std::string> &names,
                                  std::vector<std::string> &unmatched) {
    std::vector<bool> chosen(spans.records.size(), false);
    for (const std::string &name : names) {
        bool any = false;
        for (size_t i = 0; i < spans.records.size(); ++i) {
            const std::string &toolid = spans.records[i].tool->name;
            if (is_pattern(name) ? matches(name, toolid) : as_toolid(name) == as_toolid(toolid)) {
                chosen[i] = true;
                any = true;
            }
        }
        if (!any) unmatched.push_back(name);
    }
    std::vector<size_t> out;
    for (size_t i = 0; i < chosen.size(); ++i)
        if (chosen[i]) out.push_back(i);
    return out;
}

std::string without_records(const std::string &text, const LibrarySpans &spans, const std::vector<size_t> &indexes) {
    std::string out = text.substr(0, spans.header_end);
    size_t next = 0;
    for (size_t i = 0; i < spans.records.size(); ++i) {
        if (next < indexes.size() && indexes[next] == i) {
            ++next;
            continue;
        }
        const RecordSpan &r = spans.records[i];
        out.append(text, r.begin, r.end - r.begin);
    }
    return out;
}

std::string only_records(const std::string &text, const LibrarySpans &spans, const std::vector<size_t> &indexes) {
    const bool crlf = crlf_file(text);
    std::string out = text.substr(0, spans.header_end);
    for (size_t i : indexes) {
        const RecordSpan &r = spans.records[i];
        out.append(text, r.begin, r.end - r.begin);
        if (!out.empty() && out.back() != '\n') out += crlf ? "\r\n" : "\n";
    }
    return out;
}

std::string renamed_record(const std::string &text, const LibrarySpans &spans, size_t index, const std::string &name) {
    const RecordSpan &r = spans.records[index];
    // the name stands between the first two quotes of the TOOLID line
    const size_t open = text.find('"', r.begin);
    const size_t close = open == std::string::npos ? open : text.find('"', open + 1);
    if (close == std::string::npos || close >= r.end) return text;
    return text.substr(0, open + 1) + as_toolid(name) + text.substr(close);
}

}  // namespace tlsfile
