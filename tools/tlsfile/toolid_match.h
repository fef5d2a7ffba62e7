// The one way a user names TOOLIDs on the command line (remove, rename,
// extract, export --select): as a name, or as a pattern, as a shell names
// files ('*' any text, '?' one character).
//
// - A text without '*' or '?' is a name, never a pattern.  "=TEXT" is TEXT
//   as a name, '*' and '?' included, for a TOOLID that holds them.
// - What is typed is UTF-8; a TOOLID is Windows-1251.  A character that
//   Windows-1251 cannot hold (the diameter sign 'Ø') is refused, named:
//   it could match nothing, and taken as '?' it would match anything.
// - A name is compared as a library writes it: '"' as '|', a control
//   character as a blank.  Letter case counts.
#ifndef KESTO_TOOLS_TLSFILE_TOOLID_MATCH_H
#define KESTO_TOOLS_TLSFILE_TOOLID_MATCH_H

#include <string>
#include <string_view>
#include <vector>

namespace tlsfile {

struct ToolidQuery {
    std::string typed;  // as given (UTF-8), for messages
    std::string raw;    // the name in Windows-1251 as typed (without a leading '=')
    std::string bytes;  // raw as a TOOLID line holds it: '"' as '|', control characters as blanks
    bool pattern = false;
};

// Reads what was typed.  False, with error saying why ("\"Ø10\" holds 'Ø'
// (U+00D8), which no TOOLID can hold: ..."), for an empty text or one
// holding a character Windows-1251 lacks.
bool parse_toolid_query(const std::string &typed, ToolidQuery &query, std::string &error);

// Whether a TOOLID (raw bytes) is what the query names.
bool query_matches(const ToolidQuery &query, std::string_view toolid);

// Whether name (raw bytes) matches pattern as a whole ('*' any run of
// bytes, '?' one byte; '"' and '|' alike).
bool pattern_matches(std::string_view pattern, std::string_view name);

// A name (Windows-1251) as a TOOLID line holds it.
std::string as_toolid(std::string_view name);

// Why typed (UTF-8) cannot be a new TOOLID, by the rules check applies to
// the TOOLIDs a library holds (not empty, no control byte, a character
// Windows-1251 has) and one of its own (no '*' or '?', which would make it
// a pattern); empty when it can.  bytes gets it as the TOOLID line holds it.
std::string new_toolid_fault(const std::string &typed, std::string &bytes);

// The one of names nearest to word (a typing slip: two edits at most, or
// the start of only one name), or empty: "did you mean".
std::string nearest(const std::string &word, const std::vector<std::string> &names);

}  // namespace tlsfile

#endif
