// The text format of kesto_ini_dump's questions and answers, shared by the
// program and the test that writes and reads them: any byte can stand as
// "\xHH", a backslash as "\\", and fields are separated by tabs.
#ifndef KESTO_TESTS_PROGRAMS_INI_QUERY_FORMAT_H
#define KESTO_TESTS_PROGRAMS_INI_QUERY_FORMAT_H

#include <cstdio>
#include <string>
#include <vector>

namespace ini_query {

inline std::string escape(const char *data, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(data[i]);
        if (c == '\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

inline std::string escape(const std::string &bytes) { return escape(bytes.data(), bytes.size()); }

inline std::vector<std::string> split_tabs(const std::string &line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return fields;
}

}  // namespace ini_query

#endif
