// TOOLIDs named by patterns, as a shell names files: '*' any text, '?' one
// character (one byte of Windows-1251).  A '"' matches a '|' and the other
// way round, since a library writes a name's '"' as '|'.
#ifndef KESTO_TOOLS_TLSFILE_TOOLID_PATTERN_H
#define KESTO_TOOLS_TLSFILE_TOOLID_PATTERN_H

#include <string_view>

namespace tlsfile {

// Whether text holds '*' or '?', and so is a pattern, not a name.
bool is_pattern(std::string_view text);

// Whether name (raw bytes) matches pattern as a whole; letter case counts.
bool matches(std::string_view pattern, std::string_view name);

}  // namespace tlsfile

#endif
