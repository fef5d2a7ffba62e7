// A site's tool database: every *.tls library under its folders, read once
// into an index of records by TOOLID and by a hash of their geometry (the
// record without its TOOLID and DESCRIPTION lines, line ends not counted).
// find looks a library's tools up in it; export --prefer takes its records
// in place of the generated ones.
#ifndef KESTO_TOOLS_TLSFILE_TLS_DATABASE_H
#define KESTO_TOOLS_TLSFILE_TLS_DATABASE_H

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "tools/tlsfile/source.h"
#include "tools/tlsfile/tls_diff.h"
#include "tools/tlsfile/tls_records.h"

namespace tlsfile {

// One library of the database.  A library the reader finds damaged (a
// record cut short, a missing brace, a last line without its line end, a
// non-finite number, no header) is skipped whole: where its records begin
// and end, and what they hold, cannot be trusted.  One
// with only problems of content (an unknown cutter type, a TOOLID held
// twice) or of its text (control bytes, UTF-8, mixed line ends) is
// searched; problems says how many check finds.
struct DatabaseLibrary {
    std::string label;          // its path as messages give it
    std::string text;           // empty when skipped
    std::string error;          // why it could not be read at all
    bool skipped = false;       // unreadable or damaged
    size_t problems = 0;        // what check finds in it
    uint32_t first_record = 0;  // its records in Database::records()
    uint32_t record_count = 0;
};

struct DatabaseRecord {
    uint32_t library = 0;
    int line = 0;                 // its TOOLID line
    size_t begin = 0, end = 0;    // its slice of the library's text
    uint64_t geometry = 0;        // hash of its geometry lines
    std::string name;             // TOOLID, raw bytes
};

// A line of a record's geometry, with its line number in the file.
struct GeometryLine {
    std::string_view text;  // without its line end
    int line = 0;
};

// The geometry of a record: its lines but the TOOLID line and the
// DESCRIPTION lines, without line ends and trailing blank lines.
std::vector<GeometryLine> geometry_lines(std::string_view text, size_t begin, size_t end, int first_line);
// A hash of those lines, the same for the same lines (within one run).
uint64_t geometry_hash(std::string_view text, size_t begin, size_t end, int first_line);

class Database {
public:
    // Adds every regular file named *.tls (any case) under folder, its
    // subfolders included, in sorted path order; folder may also name one
    // library file, whatever its name.  False, with error, when folder is
    // neither, or is a file that cannot be read; a subfolder or file under
    // a folder that cannot be read is kept as a skipped library with its
    // error.
    bool add_folder(const std::string &folder, std::string &error);
    // Adds one library read through the input layer (what add_folder does
    // for each file it reads); its label names it.
    void add_library(Source source);

    // Called for each library searched, once its records are added: the
    // problems check finds in it (up to kMaxProblems), and the reader's
    // model of each of its records, in the order of records().
    using LibraryHook = std::function<void(const std::vector<Problem> &problems,
                                           const std::vector<const Tool *> &records)>;
    void on_library(LibraryHook hook) { hook_ = std::move(hook); }

    const std::vector<DatabaseLibrary> &libraries() const { return libraries_; }
    const std::vector<DatabaseRecord> &records() const { return records_; }
    // Indexes into records(), in path order.
    std::vector<uint32_t> named(const std::string &toolid) const;
    std::vector<uint32_t> shaped(uint64_t geometry) const;

    std::vector<GeometryLine> geometry(const DatabaseRecord &record) const;
    std::string_view slice(const DatabaseRecord &record) const;

private:
    std::vector<DatabaseLibrary> libraries_;
    std::vector<DatabaseRecord> records_;
    // (hash of the TOOLID or of the geometry, record), sorted when first asked
    using Index = std::vector<std::pair<uint64_t, uint32_t>>;
    std::vector<uint32_t> lookup(Index &index, uint64_t hash) const;
    mutable Index by_name_, by_geometry_;
    mutable bool sorted_ = true;
    std::unordered_set<std::string> seen_;
    LibraryHook hook_;  // the files read, by their canonical paths
};

enum class Verdict { same, renamed, differs, missing };

// "same", "renamed", "differs", "missing".
const char *verdict_name(Verdict verdict);

// A record of the database that differs from a tool of the same TOOLID:
// the first geometry line that differs, in both.
struct DifferingRecord {
    uint32_t record = 0;
    DiffLine input, database;
};

struct ToolFinding {
    std::string name;
    int line = 0;
    Verdict verdict = Verdict::missing;
    std::vector<uint32_t> matches;          // same or renamed: the records, in path order
    std::vector<DifferingRecord> differing;  // the records of its TOOLID of other geometry
};

// A TOOLID one library holds more than once, among those a finding names.
struct RepeatedInLibrary {
    uint32_t library = 0;
    std::string name;
    std::vector<int> lines;
};

struct FindResult {
    std::vector<ToolFinding> tools;  // in the input's order
    std::vector<RepeatedInLibrary> repeated;
    size_t count(Verdict v) const;
};

FindResult find_tools(const Database &database, const LibraryText &input);

// A record of the database put in the place of a generated one.
struct PreferredRecord {
    std::string name;         // the generated record's TOOLID, which it now carries
    uint32_t record = 0;      // the database's record
    bool by_catalogue = false;  // found by the catalogue number (else by the name)
    int output_line = 0, output_last_line = 0;  // its lines in the result
};

// A record of the database found for a tool by its catalogue number or
// name, but of other geometry: not taken (unless the site's geometry is
// preferred), with the first geometry line that differs in both.
struct DifferingPreference {
    std::string name;  // the generated record's TOOLID
    uint32_t record = 0;
    bool by_catalogue = false;
    bool taken = false;  // taken all the same
    DiffLine generated, database;
};

struct PreferResult {
    std::string text;
    std::vector<PreferredRecord> taken;  // in the output's order
    std::vector<std::string> generated;  // TOOLIDs of the records kept as generated
    std::vector<DifferingPreference> differing;  // in the output's order
    // The record of the database the result's line comes from, or nullptr.
    const PreferredRecord *taken_at(int line) const;
};

// For each record of generated, the database's first record whose TOOLID is
// the tool's catalogue number (catalogue(TOOLID), empty for none), else its
// TOOLID, and whose geometry is the generated record's, in its place: byte
// for byte, but for the name on its TOOLID line and its line ends, which
// become those of generated.  A record found so but of other geometry is
// not taken, so that the simulator never gets another tool than the NC
// program was made for; with site_geometry it is taken all the same (the
// first found).  Either way it is listed in differing.
PreferResult prefer_records(const Database &database, const LibraryText &generated,
                            const std::function<std::string(const std::string &)> &catalogue,
                            bool site_geometry = false);

}  // namespace tlsfile

#endif
