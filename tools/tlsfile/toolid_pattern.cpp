#include "tools/tlsfile/toolid_pattern.h"

namespace tlsfile {
namespace {

char quote_as_bar(char c) { return c == '"' ? '|' : c; }

}  // namespace

bool is_pattern(std::string_view text) { return text.find_first_of("*?") != std::string_view::npos; }

bool matches(std::string_view pattern, std::string_view name) {
    // one pass with a single point to come back to: the last '*' and the
    // name position it stands for, widened by one on each mismatch
    size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || quote_as_bar(pattern[p]) == quote_as_bar(name[n]))) {
            ++p;
            ++n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace tlsfile
