// Every file the tools read, told apart and decoded in one place: a tool
// library (in Windows-1251, UTF-8 or UTF-16, with or without a byte-order
// mark), a part or session file (JSON, with or without a mark), or anything
// else.  A library is handed on as the Windows-1251 text the plug-in and
// the simulator read, its lines as the file has them, so that every command
// finds, compares, draws and merges the same records whatever editor saved
// the file; what it was saved as is kept, for check to report and fix to
// mend.
#ifndef KESTO_TOOLS_TLSFILE_SOURCE_H
#define KESTO_TOOLS_TLSFILE_SOURCE_H

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/tlsfile/tls_reader.h"

namespace tlsfile {

enum class SourceKind {
    library,  // starts with the library's header line
    part,     // a JSON object: a part or session file
    other,
};

enum class Encoding { windows_1251, utf8, utf16le, utf16be };

// "Windows-1251", "UTF-8", "UTF-16".
const char *encoding_name(Encoding encoding);

struct Source {
    std::string label;  // how messages name it: the path as given, or "(standard input)"
    SourceKind kind = SourceKind::other;
    Encoding encoding = Encoding::windows_1251;
    bool byte_order_mark = false;
    // A library: its Windows-1251 text, line ends as the file has them.  A
    // part: its JSON as UTF-8, without a mark.  Anything else: its bytes.
    std::string text;
    // A library holding a character Windows-1251 lacks: the first one and
    // its line; '?' stands for each in text.
    uint32_t lost_character = 0;
    int lost_line = 0;
    // A library in UTF-8: the line of its first letter beyond ASCII.
    int first_utf8_line = 0;
};

// Tells what bytes are and decodes them.
Source source_of(std::string label, std::string bytes);

// Reads a regular file (up to max_bytes, as read_input_file) and tells what
// it is.  False, with error naming the file and the cause, when it cannot
// be read.
bool read_source(const std::string &path, Source &source, std::string &error, size_t max_bytes);

// What the simulator would make of a library not in Windows-1251, as a
// problem of its text (line 1 for a mark, else the first letter's line),
// or false for a library in Windows-1251.
bool encoding_problem(const Source &library, Problem &problem);

// A library parsed, its encoding's problem among the reader's.
Library parse_source(const Source &library);
// Puts a problem of the text among a library's, in line order, the record
// whose lines hold it named.
void add_encoding_problem(Library &library, Problem problem);

// What a command says of an input of the wrong kind, the same in every
// command: what the file is, and the command that takes it.  wanted is
// what command takes: a library, a part, or (with either) both.
enum class Wanted { library, part, either };
std::string wrong_kind(const Source &source, const std::string &command, Wanted wanted);

// Whether a file of this kind is what command takes.
bool is_wanted(const Source &source, Wanted wanted);

}  // namespace tlsfile

#endif
