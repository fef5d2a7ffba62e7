#include "tools/tlsfile/toolid_match.h"

#include <algorithm>
#include <cstdint>

#include "host/common/cp1251.h"
#include "src/shared_facts.h"

namespace tlsfile {
namespace {

char quote_as_bar(char c) { return c == '"' ? '|' : c; }

// "U+00D8" of a code point.
std::string code_point_name(uint32_t cp) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string digits;
    for (int shift = cp > 0xFFFF ? 20 : 12; shift >= 0; shift -= 4) digits += kHex[(cp >> shift) & 0xF];
    return "U+" + digits;
}

// The character of a code point as UTF-8, or a name for one that shows nothing.
std::string shown_character(uint32_t cp) {
    if (cp < 0x20 || cp == 0x7F || cp == 0xFFFD) return code_point_name(cp);
    std::string out;
    kesto::append_utf8(out, cp);
    return "'" + out + "' (" + code_point_name(cp) + ")";
}

size_t edit_distance(const std::string &a, const std::string &b) {
    // Damerau-Levenshtein with adjacent swaps ("exprot" is one slip from "export")
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

}  // namespace

std::string as_toolid(std::string_view name) {
    std::string out(name);
    for (char &c : out) c = kesto_toolid_byte(c);
    return out;
}

bool parse_toolid_query(const std::string &typed, ToolidQuery &q, std::string &error) {
    q = ToolidQuery();
    q.typed = typed;
    const bool literal = !typed.empty() && typed[0] == '=';
    const std::string text = literal ? typed.substr(1) : typed;
    if (text.empty()) {
        error = "an empty TOOLID names no record";
        return false;
    }
    uint32_t bad = 0;
    if (!kesto::utf8_to_cp1251_exact(text, q.raw, bad)) {
        error = "\"" + kesto::utf8_shown(typed) + "\" holds " + shown_character(bad) +
                ", which Windows-1251 lacks, so no TOOLID a library holds can have it";
        return false;
    }
    q.bytes = as_toolid(q.raw);
    q.pattern = !literal && q.raw.find_first_of("*?") != std::string::npos;
    return true;
}

bool query_matches(const ToolidQuery &q, std::string_view toolid) {
    if (q.pattern) return pattern_matches(q.bytes, toolid);
    return q.bytes.size() == toolid.size() && as_toolid(toolid) == q.bytes;
}

bool pattern_matches(std::string_view pattern, std::string_view name) {
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

std::string new_toolid_fault(const std::string &typed, std::string &bytes) {
    std::string raw;
    uint32_t bad = 0;
    if (typed.empty()) return "a TOOLID cannot be empty";
    if (!kesto::utf8_to_cp1251_exact(typed, raw, bad))
        return "it holds " + shown_character(bad) + ", which Windows-1251 lacks";
    for (char c : raw) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return "it holds the control byte " + kesto::cp1251_shown(std::string(1, c));
    }
    if (raw.find_first_of("*?") != std::string::npos)
        return "it holds '*' or '?', which would make every later name of it a pattern";
    bytes = as_toolid(raw);
    return "";
}

std::string nearest(const std::string &word, const std::vector<std::string> &names) {
    // letters compared one to a byte and in either case ("фреза" is a slip of "ФРЕЗА")
    auto folded = [](const std::string &utf8) {
        std::string out = kesto::utf8_to_cp1251(utf8);
        for (char &c : out) {
            const unsigned char u = static_cast<unsigned char>(c);
            if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDF)) c = static_cast<char>(u + 32);
            else if (u == 0xA8) c = static_cast<char>(0xB8);  // Ё
        }
        return out;
    };
    const std::string typed = folded(word);
    std::string best, prefixed;
    size_t best_distance = 3, starts = 0;
    for (const std::string &n : names) {
        size_t d = n == word ? 0 : std::max<size_t>(1, edit_distance(typed, folded(n)));
        if (d < best_distance && d < n.size()) {
            best = n;
            best_distance = d;
        }
        if (word.size() >= 2 && n.rfind(word, 0) == 0) {
            prefixed = n;
            ++starts;
        }
    }
    return !best.empty() ? best : starts == 1 ? prefixed : "";
}

}  // namespace tlsfile
