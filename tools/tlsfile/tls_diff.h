// Comparison of two tool libraries tool by tool, records matched by TOOLID.
// A record's text is compared line by line; line ends (CR LF against LF)
// and blank lines after a record's last line do not count, nor does the
// header.  A TOOLID a file holds more than once is matched in order: its
// first record with the other file's first, and so on.
#ifndef KESTO_TOOLS_TLSFILE_TLS_DIFF_H
#define KESTO_TOOLS_TLSFILE_TLS_DIFF_H

#include <string>
#include <vector>

#include "tools/tlsfile/tls_records.h"

namespace tlsfile {

struct ListedTool {
    std::string name;  // raw bytes
    int line = 0;      // its TOOLID line
};

// One side of a changed tool: its first line that differs from the other
// side's, or the line after the record when the record ends there.
struct DiffLine {
    int line = 0;
    bool present = false;  // false: the record has no more lines
    std::string text;      // without its line end
};

// One line of a changed tool's records, compared in full: in both (' '),
// only in the old record ('-') or only in the new one ('+').
struct LineEdit {
    char op = ' ';
    int old_line = 0, new_line = 0;  // 0 on the side that lacks it
    std::string text;                // without its line end
};

struct ChangedTool {
    std::string name;
    int old_line = 0, new_line = 0;  // TOOLID lines
    DiffLine old_side, new_side;
    std::vector<LineEdit> lines;  // with full: every line of both records, in order
};

// A TOOLID one file holds more than once, with its TOOLID lines.
struct RepeatedToolid {
    bool in_old = true;
    std::string name;
    std::vector<int> lines;
};

struct LibraryDiff {
    std::vector<ListedTool> only_old;  // in the old file's order
    std::vector<ListedTool> only_new;  // in the new file's order
    std::vector<ChangedTool> changed;  // in the new file's order
    size_t unchanged = 0;
    std::vector<RepeatedToolid> repeated;
    bool same() const { return only_old.empty() && only_new.empty() && changed.empty(); }
};

// With full, each changed tool gets its lines compared in full: a shortest
// edit, but for records too long to compare that way (their middle is
// then all taken out and all put in).
LibraryDiff diff_libraries(const LibraryText &old_file, const LibraryText &new_file, bool full = false);

}  // namespace tlsfile

#endif
