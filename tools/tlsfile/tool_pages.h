// The tool sheet (a part's or library's tools for the machine operator, as
// one HTML page that prints on A4, or as CSV for a spreadsheet) and the
// catalogue of a site's tool database (one HTML page with search,
// filters, sorting, groups and a drawing of each tool).  The pages are the
// files of tools/tlsfile/web with the tools' data as compact JSON in them:
// one self-contained file, no network.
#ifndef KESTO_TOOLS_TLSFILE_TOOL_PAGES_H
#define KESTO_TOOLS_TLSFILE_TOOL_PAGES_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tlsfile/tls_database.h"
#include "tools/tlsfile/tls_preview.h"
#include "tools/tlsfile/tool_facts.h"

namespace tlsfile {

// The words a page is known by as ours, at its top (a table's are
// kTableMark, in output_guard.h).
inline constexpr char kGeneratorMeta[] = "<meta name=\"generator\" content=\"kesto-tools-vericut\">";

// What a page says of where its tools come from.
struct PageHead {
    std::string name;                // the part or library, UTF-8
    std::string file;                // the input as given
    std::string date;                // when the page was made
    std::vector<std::string> notes;  // what belongs to no one tool (a problem of the file's head), raw bytes
};

// The site's record a tool was found as (renamed) or that differs from it.
struct SiteRecord {
    std::string toolid;   // raw bytes
    std::string library;  // its label in the database, UTF-8
    int line = 0;         // its TOOLID line
    size_t more = 0;      // further records found so, not named
};

// One tool of a sheet.  Texts from a part are Windows-1251 bytes, as the
// library holds its own.
struct SheetRow {
    const Tool *tool = nullptr;
    std::string number;     // the part's tool number; empty from a library
    std::string flutes;     // the part's flute count; empty from a library
    std::string catalogue;  // the part's catalogue number as the part holds it; empty from a library
    Verdict verdict = Verdict::missing;  // shown only when the sheet has verdicts
    SiteRecord site;                     // for renamed and differs
    std::vector<std::string> problems;   // "line N: message" of check's problems in its lines (raw bytes)
};

// A row per tool of library, each with the problems that fall in its lines;
// those before the first record go to head.notes.
std::vector<SheetRow> sheet_rows(const Library &library, const std::vector<Problem> &problems, PageHead &head);
// Each row's verdict as find gives it, and the site's record it names.
void judge_rows(std::vector<SheetRow> &rows, const Database &database, const FindResult &found);

// What a verdict is called on the sheet, page and table alike: "same",
// "renamed", "differs", "not in the database".
const char *verdict_words(Verdict verdict);

// The holder's sections exactly: "D40 x 50; D30-34.01338 x 20" (diameter,
// at the bottom and top when they differ, then the height).
std::string holder_text(const ToolFacts &facts);

// The units a sheet's lengths are in: "millimetres", "inches", or for
// tools of both, "millimetres or inches (each inch tool marked)".
std::string sheet_units(const std::vector<SheetRow> &rows);

std::string sheet_html(const PageHead &head, const std::vector<SheetRow> &rows, bool verdicts);
// Semicolons between fields, decimal commas, UTF-8 with a byte-order mark,
// CR LF; the column names first, the head on the last line, which names the
// file as ours.  A text a spreadsheet would take for a number, a date or a
// formula is written as a formula whose value is that text (="0105").
std::string sheet_csv(const PageHead &head, const std::vector<SheetRow> &rows, bool verdicts);

// Whether a spreadsheet opening a CSV could take a text (UTF-8) for
// anything but itself: a number, a date, a time, a truth value or a formula.
bool csv_text_needs_guard(std::string_view utf8);

// What the catalogue shows of one record of the database, in its order.
struct CatalogEntry {
    ToolFacts facts;
    OutlineTexts outlines;
    std::string description;            // raw bytes
    std::vector<std::string> problems;  // check's messages of its lines (raw bytes)
};

// The database's records, read as check reads them: to be handed to
// Database::on_library, then taken by catalog_html.
class CatalogEntries {
public:
    void add(const std::vector<Problem> &problems, const std::vector<const Tool *> &records);
    const std::vector<CatalogEntry> &entries() const { return entries_; }

private:
    std::vector<CatalogEntry> entries_;
};

// Records that belong together, as indexes into Database::records().
struct CatalogGroups {
    // the same geometry under more than one TOOLID
    std::vector<std::vector<uint32_t>> same_geometry;
    // one TOOLID with more than one geometry, in more than one library
    std::vector<std::vector<uint32_t>> toolid_differs;
};
CatalogGroups catalog_groups(const Database &database);

std::string catalog_html(const PageHead &head, const Database &database, const std::vector<CatalogEntry> &entries);

}  // namespace tlsfile

#endif
