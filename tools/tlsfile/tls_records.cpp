#include "tools/tlsfile/tls_records.h"

namespace tlsfile {

LibrarySpans record_spans(const std::string &text, const Library &library) {
    LibrarySpans spans;
    // The reader numbers lines from 1 and gives each record the line it
    // starts on, in increasing order; one pass finds where those lines begin.
    size_t at = 0;
    int line = 1;
    auto seek = [&](int wanted) {
        while (line < wanted && at < text.size()) {
            size_t end = text.find('\n', at);
            at = end == std::string::npos ? text.size() : end + 1;
            ++line;
        }
        return at;
    };
    for (const Tool &t : library.tools) {
        RecordSpan r;
        r.tool = &t;
        r.line = t.line;
        r.begin = seek(t.line);
        if (spans.records.empty()) {
            spans.header_end = r.begin;
            spans.header_lines = t.line - 1;
        } else {
            spans.records.back().end = r.begin;
            spans.records.back().last_line = t.line - 1;
        }
        spans.records.push_back(r);
    }
    if (spans.records.empty()) {
        spans.header_end = text.size();
        spans.header_lines = library.line_count;
    } else {
        spans.records.back().end = text.size();
        spans.records.back().last_line = library.line_count;
    }
    return spans;
}

std::vector<std::string_view> record_lines(const std::string &text, const RecordSpan &record) {
    std::vector<std::string_view> lines;
    const std::string_view bytes(text.data() + record.begin, record.end - record.begin);
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find('\n', at);
        size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
        if (end == std::string_view::npos) end = bytes.size();
        if (end > at && bytes[end - 1] == '\r') --end;
        lines.push_back(bytes.substr(at, end - at));
        at = next;
    }
    while (!lines.empty() && lines.back().find_first_not_of(" \t") == std::string_view::npos) lines.pop_back();
    return lines;
}

bool crlf_file(const std::string &text) {
    size_t lf = text.find('\n');
    return lf != std::string::npos && lf > 0 && text[lf - 1] == '\r';
}

void append_with_line_ends(std::string &out, std::string_view bytes, bool crlf) {
    size_t at = 0;
    for (size_t lf; (lf = bytes.find('\n', at)) != std::string_view::npos; at = lf + 1) {
        const size_t text_end = lf > at && bytes[lf - 1] == '\r' ? lf - 1 : lf;
        if (!crlf && text_end > at && bytes[text_end - 1] == '\r') {
            out.append(bytes.data() + at, lf + 1 - at);
            continue;
        }
        out.append(bytes.data() + at, text_end - at);
        out += crlf ? "\r\n" : "\n";
    }
    out.append(bytes.data() + at, bytes.size() - at);
}

bool starts_as_library(const std::string &text) {
    // after a UTF-8 byte-order mark too, which check reports
    const size_t at = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    const size_t n = sizeof kLibraryHeaderLine - 1;
    if (text.compare(at, n, kLibraryHeaderLine) != 0) return false;
    return text.size() == at + n || text[at + n] == '\n' || text[at + n] == '\r';
}

bool starts_as_json_object(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    const size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '{';
}

}  // namespace tlsfile
