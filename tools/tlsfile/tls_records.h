// A tool library's text cut at its records: the header, then each TOOLID
// record as the bytes from its TOOLID line up to the next record's (the
// last one up to the end of the file).  Diff and merge work on these
// slices, so that a record is compared and carried over as the file holds
// it, never as it would be written again.
#ifndef KESTO_TOOLS_TLSFILE_TLS_RECORDS_H
#define KESTO_TOOLS_TLSFILE_TLS_RECORDS_H

#include <string>
#include <string_view>
#include <vector>

#include "tools/tlsfile/tls_reader.h"

namespace tlsfile {

// A library's text with its parsed model.
struct LibraryText {
    std::string text;
    Library library;
};

// One record of a library's text.
struct RecordSpan {
    const Tool *tool = nullptr;  // the reader's record (its name)
    int line = 0;                // its TOOLID line
    int last_line = 0;           // the last line of its slice
    size_t begin = 0, end = 0;   // its bytes in the text
};

struct LibrarySpans {
    size_t header_end = 0;  // the header: the bytes before the first record
    int header_lines = 0;
    std::vector<RecordSpan> records;  // in the file's order
};

// The slices of text, parsed as library (parse_tls of the same text).
LibrarySpans record_spans(const std::string &text, const Library &library);

// The lines of a record as diff compares them: without their line ends
// (CR LF and LF alike) and without the blank lines after its last line.
std::vector<std::string_view> record_lines(const std::string &text, const RecordSpan &record);

// The line end a library uses: CR LF when its first line ends so.
bool crlf_file(const std::string &text);

// Appends a record's bytes with every line ended as crlf says: CR LF for
// LF alone, or LF alone for CR LF; a record carried into another library
// takes that library's line ends.  A line whose text ends in a CR of its
// own keeps its CR LF, which LF alone would turn into another text.
void append_with_line_ends(std::string &out, std::string_view bytes, bool crlf);

// Whether text starts with the tool library's header line (after a UTF-8
// byte-order mark, if any): what diff and merge take as a library at all.
bool starts_as_library(const std::string &text);

// Whether text starts as a JSON object (after blanks and a UTF-8
// byte-order mark): a part or session file, not a library.
bool starts_as_json_object(std::string_view text);

}  // namespace tlsfile

#endif
