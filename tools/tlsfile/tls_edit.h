// Mending and editing a tool library's text: its encoding and line ends
// made what the plug-in writes, records removed, renamed or taken out into
// a library of their own.  Records are cut from the text as it is
// (tls_records), so what is not edited stays byte for byte.
#ifndef KESTO_TOOLS_TLSFILE_TLS_EDIT_H
#define KESTO_TOOLS_TLSFILE_TLS_EDIT_H

#include <string>
#include <vector>

#include "tools/tlsfile/tls_records.h"

namespace tlsfile {

// A library made Windows-1251 with CR LF line ends, without a byte-order
// mark, ending in a line end; nothing else of it changes.
struct FixResult {
    std::string text;         // the mended library (empty when refused)
    std::string error;        // why it cannot be mended, with line
    int error_line = 0;
    bool byte_order_mark = false;  // removed
    bool from_utf8 = false;        // the text was UTF-8, now Windows-1251
    size_t converted_lines = 0;    // lines whose bytes the conversion changed
    size_t lf_ends = 0;            // LF alone made CR LF
    size_t cr_ends = 0;            // CR alone made CR LF
    bool end_added = false;        // a line end added after the last line
    bool changed() const {
        return byte_order_mark || from_utf8 || lf_ends || cr_ends || end_added;
    }
};

// The text is taken as UTF-8 when it has a byte-order mark, or when all of
// it is valid UTF-8 holding characters beyond ASCII; a character Windows-1251
// lacks is refused, with its line.  A text that does not start as a
// library (after the mark) is refused.
FixResult fix_library(const std::string &bytes);

// The records whose TOOLIDs names gives: each a TOOLID or a pattern
// (toolid_pattern.h), a '"' taken as '|'.  Indexes into spans.records, in
// the file's order; unmatched gets each name that matched none.
std::vector<size_t> records_named(const LibrarySpans &spans, const std::vector<std::string> &names,
                                  std::vector<std::string> &unmatched);

// The text without the records at indexes (sorted); the header and the
// other records byte for byte.
std::string without_records(const std::string &text, const LibrarySpans &spans, const std::vector<size_t> &indexes);

// A library of text's header and the records at indexes (sorted) alone,
// each ending in a line end of the file's kind.
std::string only_records(const std::string &text, const LibrarySpans &spans, const std::vector<size_t> &indexes);

// The text with the TOOLID of the record at index made name (raw bytes; a
// '"' written as '|', as the plug-in writes it); nothing else changes.
std::string renamed_record(const std::string &text, const LibrarySpans &spans, size_t index, const std::string &name);

// A name as a TOOLID line holds it: '"' written as '|'.
std::string as_toolid(std::string name);

}  // namespace tlsfile

#endif
