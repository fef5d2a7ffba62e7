#include "tools/tlsfile/tls_edit.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "host/common/cp1251.h"
#include "tools/tlsfile/toolid_match.h"

namespace tlsfile {

FixResult fix_library(const Source &source, const std::string &text) {
    FixResult r;
    if (source.kind != SourceKind::library) {
        r.error_line = 1;
        r.error = std::string("does not start with the tool library header \"") + kLibraryHeaderLine + "\"";
        return r;
    }
    if (source.lost_line) {
        std::string shown;
        kesto::append_utf8(shown, source.lost_character);
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(source.lost_character));
        r.error_line = source.lost_line;
        r.error = "line " + std::to_string(source.lost_line) + ": the character \"" + shown + "\" (" + code +
                  ") has no Windows-1251 form; nothing was changed";
        return r;
    }
    r.byte_order_mark = source.byte_order_mark;
    const bool utf16 = source.encoding == Encoding::utf16le || source.encoding == Encoding::utf16be;
    if (source.encoding != Encoding::windows_1251) r.converted_from = encoding_name(source.encoding);
    std::string &out = r.text;
    out.reserve(text.size() + text.size() / 16);
    bool beyond_ascii = false;  // on this line
    auto line_done = [&] {
        // a UTF-16 line is all new bytes; a UTF-8 one where it had letters beyond ASCII
        r.converted_lines += r.converted_from && (utf16 || beyond_ascii);
        beyond_ascii = false;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\n') ++r.lf_ends;
            else if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            else ++r.cr_ends;
            out += "\r\n";
            line_done();
            continue;
        }
        beyond_ascii = beyond_ascii || static_cast<unsigned char>(c) >= 0x80;
        out += c;
    }
    if (!out.empty() && out.back() != '\n') {
        out += "\r\n";
        r.end_added = true;
        line_done();
    }
    return r;
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
