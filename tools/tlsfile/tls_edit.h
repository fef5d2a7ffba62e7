// Mending and editing a tool library's text: its encoding and line ends
// made what the plug-in writes, records removed, renamed or taken out into
// a library of their own.  Records are cut from the text as it is
// (tls_records), so what is not edited stays byte for byte.
#ifndef KESTO_TOOLS_TLSFILE_TLS_EDIT_H
#define KESTO_TOOLS_TLSFILE_TLS_EDIT_H

#include <string>
#include <vector>

#include "tools/tlsfile/source.h"
#include "tools/tlsfile/tls_records.h"

namespace tlsfile {

// A library made Windows-1251 with CR LF line ends, without a byte-order
// mark, ending in a line end; nothing else of it changes.
struct FixResult {
    std::string text;         // the mended library (empty when refused)
    std::string error;        // why it cannot be mended, with line
    int error_line = 0;
    bool byte_order_mark = false;  // removed
    const char *converted_from = nullptr;  // "UTF-8", "UTF-16": the encoding it was in
    size_t converted_lines = 0;    // lines whose bytes the conversion changed
    size_t lf_ends = 0;            // LF alone made CR LF
    size_t cr_ends = 0;            // CR alone made CR LF
    bool end_added = false;        // a line end added after the last line
    bool changed() const {
        return byte_order_mark || converted_from || lf_ends || cr_ends || end_added;
    }
};

// The library as the input layer read it (source.h; text, its Windows-1251
// text, may have been moved out of it): a character Windows-1251 lacks is
// refused, with its line.
FixResult fix_library(const Source &library, const std::string &text);

// The text without the records at indexes (sorted); the header and the
// other records byte for byte.
std::string without_records(const std::string &text, const LibrarySpans &spans, const std::vector<size_t> &indexes);

// A library of text's header and the records at indexes (sorted) alone,
// each ending in a line end of the file's kind.
std::string only_records(const std::string &text, const LibrarySpans &spans, const std::vector<size_t> &indexes);

// The text with the TOOLID of the record at index made name (raw bytes, as
// the TOOLID line holds them: toolid_match's as_toolid); nothing else
// changes.
std::string renamed_record(const std::string &text, const LibrarySpans &spans, size_t index, const std::string &name);

}  // namespace tlsfile

#endif
