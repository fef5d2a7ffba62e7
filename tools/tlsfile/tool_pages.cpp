#include "tools/tlsfile/tool_pages.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "host/common/cp1251.h"
#include "tools/tlsfile/number_text.h"
#include "tools/tlsfile/output_guard.h"
#include "tools/tlsfile/web_assets.h"

namespace tlsfile {

namespace {

// A JSON string of UTF-8 text.  '<' is written as \u003c, so that no text
// can close the script element the data stands in.
void json_string(std::string &out, std::string_view text) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || c == '<') {
            out += "\\u00";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

// A record's text as a page shows it: UTF-8, control bytes escaped.
void json_raw(std::string &out, std::string_view raw) { json_string(out, kesto::cp1251_shown(raw)); }

// A number, or null for a value the record does not give.
void json_number(std::string &out, double v) {
    if (!std::isfinite(v)) out += "null";
    else append_number(out, v);
}

// A page's frame with its marks ({{NAME}}) filled in, in one pass: what
// is put in is never read for marks.
std::string fill(std::string_view page, const std::vector<std::pair<std::string_view, std::string_view>> &marks) {
    std::string out;
    size_t at = 0;
    while (at < page.size()) {
        const size_t open = page.find("{{", at);
        if (open == std::string_view::npos) break;
        const size_t close = page.find("}}", open);
        if (close == std::string_view::npos) break;
        out.append(page, at, open - at);
        const std::string_view name = page.substr(open + 2, close - open - 2);
        auto it = std::find_if(marks.begin(), marks.end(), [&](const auto &m) { return m.first == name; });
        if (it != marks.end()) out += it->second;
        else out.append(page, open, close + 2 - open);
        at = close + 2;
    }
    out.append(page, std::min(at, page.size()), std::string_view::npos);
    return out;
}

// A page: the shared frame, style and drawing code, with the page's own
// body (its heading filled in), script and data (NAME_body.html holds the
// body, NAME.js the script).
std::string page(const std::string &name, const std::string &title, const std::string &data) {
    const std::string heading = markup_text(title);
    const std::string body = fill(web_asset(name + "_body.html"), {{"TITLE", heading}});
    return fill(web_asset("page.html"), {{"TITLE", heading},
                                         {"GENERATOR", kGeneratorMeta},
                                         {"CLASS", name},
                                         {"STYLE", web_asset("page.css")},
                                         {"BODY", body},
                                         {"DRAW", web_asset("draw.js")},
                                         {"SCRIPT", web_asset(name + ".js")},
                                         {"DATA", data}});
}

void json_head(std::string &out, const PageHead &head) {
    out += "\"name\":";
    json_string(out, head.name);
    out += ",\"file\":";
    json_string(out, head.file);
    out += ",\"date\":";
    json_string(out, head.date);
}

// A record's holder for the pages: the rounded sections, bottom first.
void json_holder(std::string &out, const ToolFacts &f) {
    out += '[';
    const std::vector<std::string> sections = holder_brief(f);
    for (size_t i = 0; i < sections.size(); ++i) {
        if (i) out += ',';
        json_string(out, sections[i]);
    }
    out += ']';
}

// The problems of a file that fall in each record's lines, by record;
// those before the first record are the head's.
template <typename Add>
void problems_by_record(const std::vector<Problem> &problems, const std::vector<const Tool *> &records, Add add) {
    for (const Problem &p : problems) {
        auto after = std::upper_bound(records.begin(), records.end(), p.line,
                                      [](int line, const Tool *t) { return line < t->line; });
        add(after == records.begin() ? -1 : static_cast<long>(after - records.begin()) - 1, p);
    }
}

std::string problem_text(const Problem &p) { return "line " + std::to_string(p.line) + ": " + p.message; }

}  // namespace

std::vector<SheetRow> sheet_rows(const Library &library, const std::vector<Problem> &problems, PageHead &head) {
    std::vector<SheetRow> rows;
    std::vector<const Tool *> records;
    for (const Tool &t : library.tools) {
        rows.emplace_back();
        rows.back().tool = &t;
        records.push_back(&t);
    }
    problems_by_record(problems, records, [&](long at, const Problem &p) {
        (at < 0 ? head.notes : rows[static_cast<size_t>(at)].problems).push_back(problem_text(p));
    });
    return rows;
}

void judge_rows(std::vector<SheetRow> &rows, const Database &db, const FindResult &found) {
    for (size_t i = 0; i < rows.size() && i < found.tools.size(); ++i) {
        const ToolFinding &f = found.tools[i];
        SheetRow &row = rows[i];
        row.verdict = f.verdict;
        row.site = {};
        std::vector<uint32_t> named;
        if (f.verdict == Verdict::renamed) named = f.matches;
        for (const DifferingRecord &d : f.differing)
            if (f.verdict == Verdict::differs) named.push_back(d.record);
        if (named.empty()) continue;
        const DatabaseRecord &rec = db.records()[named.front()];
        row.site = {rec.name, db.libraries()[rec.library].label, rec.line, named.size() - 1};
    }
}

const char *verdict_words(Verdict v) { return v == Verdict::missing ? "not in the database" : verdict_name(v); }

std::string holder_text(const ToolFacts &f) {
    std::string out;
    for (const HolderSection &s : f.holder) {
        if (!out.empty()) out += "; ";
        out += 'D';
        append_number(out, s.bottom_diameter);
        if (s.top_diameter != s.bottom_diameter) {
            out += '-';
            append_number(out, s.top_diameter);
        }
        out += " x ";
        append_number(out, s.to - s.from);
    }
    return out;
}

std::string sheet_units(const std::vector<SheetRow> &rows) {
    bool inch = false, mm = false;
    for (const SheetRow &r : rows) (r.tool->units == kInch ? inch : mm) = true;
    if (inch && mm) return "millimetres or inches (each inch tool marked)";
    return inch ? "inches" : "millimetres";
}

std::string sheet_html(const PageHead &head, const std::vector<SheetRow> &rows, bool verdicts) {
    // the site's libraries by their paths below the folder they all share
    size_t shared = std::string::npos;
    const std::string *first = nullptr;
    for (const SheetRow &r : rows) {
        if (r.site.library.empty()) continue;
        if (!first) first = &r.site.library, shared = first->size();
        size_t same = 0;
        while (same < shared && same < r.site.library.size() && r.site.library[same] == (*first)[same]) ++same;
        shared = same;
    }
    if (first) {
        const size_t slash = first->find_last_of("/\\", shared == 0 ? 0 : shared - 1);
        shared = slash == std::string::npos || shared == 0 ? 0 : slash + 1;
    }
    std::string data = "{";
    json_head(data, head);
    data += ",\"units\":";
    json_string(data, sheet_units(rows));
    data += ",\"notes\":[";
    for (size_t i = 0; i < head.notes.size(); ++i) {
        if (i) data += ',';
        json_raw(data, head.notes[i]);
    }
    data += "],\"verdicts\":";
    data += verdicts ? "true" : "false";
    data += ",\"t\":[";
    for (size_t i = 0; i < rows.size(); ++i) {
        const SheetRow &r = rows[i];
        const ToolFacts f = tool_facts(*r.tool);
        const OutlineTexts o = outline_texts(*r.tool);
        data += i ? ",{\"n\":" : "{\"n\":";
        data += std::to_string(i + 1);
        data += ",\"num\":";
        json_raw(data, r.number);
        data += ",\"id\":";
        json_raw(data, r.tool->name);
        data += ",\"kind\":";
        json_string(data, kind_shop_word(f.kind));
        data += ",\"form\":";
        json_string(data, kind_label(f.kind));
        const std::pair<const char *, double> sizes[] = {{"d", f.diameter},        {"r", f.corner_radius},
                                                        {"l", f.length},          {"so", f.stick_out},
                                                        {"fl", f.flute_length}};
        for (const auto &[key, v] : sizes) {
            data += ",\"";
            data += key;
            data += "\":";
            json_number(data, v);
        }
        data += ",\"flutes\":";
        json_raw(data, r.flutes);
        data += ",\"holder\":";
        json_holder(data, f);
        data += ",\"hx\":";
        json_string(data, holder_text(f));
        data += ",\"cat\":";
        json_raw(data, r.catalogue);
        data += ",\"desc\":";
        json_raw(data, r.tool->description);
        data += ",\"c\":";
        json_string(data, o.cutter);
        data += ",\"h\":";
        json_string(data, o.holder);
        if (verdicts) {
            data += ",\"v\":";
            json_string(data, verdict_name(r.verdict));
            data += ",\"vw\":";
            json_string(data, verdict_words(r.verdict));
            if (!r.site.library.empty()) {
                data += ",\"site\":{\"id\":";
                json_raw(data, r.site.toolid);
                data += ",\"lib\":";
                json_string(data, std::string_view(r.site.library).substr(shared));
                data += ",\"path\":";
                json_string(data, r.site.library);
                data += ",\"line\":" + std::to_string(r.site.line) + ",\"more\":" + std::to_string(r.site.more) + "}";
            }
        }
        data += ",\"p\":[";
        for (size_t k = 0; k < r.problems.size(); ++k) {
            if (k) data += ',';
            json_raw(data, r.problems[k]);
        }
        data += f.inch ? "],\"inch\":1}" : "]}";
    }
    data += "]}";
    return page("sheet", "Tool sheet: " + head.name, data);
}

namespace {

// UTF-8 text with its capitals, Latin and Cyrillic, made small letters.
std::string small_letters(std::string_view text) {
    std::string out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        unsigned char &c = reinterpret_cast<unsigned char &>(out[i]);
        if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
        if (c != 0xD0 || i + 1 >= out.size()) continue;
        unsigned char &next = reinterpret_cast<unsigned char &>(out[i + 1]);
        if (next >= 0x90 && next <= 0x9F) next = static_cast<unsigned char>(next + 0x20);  // А..П
        else if (next >= 0xA0 && next <= 0xAF) c = 0xD1, next = static_cast<unsigned char>(next - 0x20);  // Р..Я
        else if (next == 0x81) c = 0xD1, next = 0x91;  // Ё
        ++i;
    }
    return out;
}

// Whether text (UTF-8) starts with a month's name or its first three
// letters, English or Russian, then a separator and a digit: "Mar-5",
// "янв 5", which a spreadsheet reads as dates.
bool month_date(std::string_view text) {
    static const char *const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct",
                                          "nov", "dec", "\xD1\x8F\xD0\xBD\xD0\xB2", "\xD1\x84\xD0\xB5\xD0\xB2",
                                          "\xD0\xBC\xD0\xB0\xD1\x80", "\xD0\xB0\xD0\xBF\xD1\x80",
                                          "\xD0\xBC\xD0\xB0\xD0\xB9", "\xD0\xBC\xD0\xB0\xD1\x8F",
                                          "\xD0\xB8\xD1\x8E\xD0\xBD", "\xD0\xB8\xD1\x8E\xD0\xBB",
                                          "\xD0\xB0\xD0\xB2\xD0\xB3", "\xD1\x81\xD0\xB5\xD0\xBD",
                                          "\xD0\xBE\xD0\xBA\xD1\x82", "\xD0\xBD\xD0\xBE\xD1\x8F",
                                          "\xD0\xB4\xD0\xB5\xD0\xBA"};
    const std::string lower = small_letters(text.substr(0, 64));
    for (const char *month : kMonths) {
        const size_t n = std::strlen(month);
        if (lower.compare(0, n, month) != 0) continue;
        size_t at = n;
        while (at < lower.size() && (std::isalpha(static_cast<unsigned char>(lower[at])) ||
                                     static_cast<unsigned char>(lower[at]) >= 0x80))
            ++at;
        while (at < lower.size() && std::strchr(" -/.,", lower[at])) ++at;
        if (at > n && at < lower.size() && lower[at] >= '0' && lower[at] <= '9') return true;
    }
    return false;
}

// A number as the sheet gives it: optional minus, digits without a
// leading zero (but "0" itself), an optional decimal part.
bool plain_number(std::string_view text) {
    size_t at = text.size() && text[0] == '-' ? 1 : 0;
    const size_t digits = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
    if (at == digits || (text[digits] == '0' && at - digits > 1)) return false;
    if (at == text.size()) return true;
    if (text[at++] != '.' || at == text.size()) return false;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
    return at == text.size();
}

// A CSV field of text: a text a spreadsheet would take for something
// else becomes ="TEXT", a formula whose value is the text (its quotes
// doubled), which Excel and LibreOffice show as the text itself, and which
// stays bare as Excel's own tables have it unless it holds the separator or
// a line end; another text is in double quotes when it holds either or a
// quote.
void csv_text(std::string &out, const std::string &utf8) {
    std::string text;
    const bool guard = csv_text_needs_guard(utf8);
    if (guard) {
        text = "=\"";
        for (char c : utf8) text += c == '"' ? std::string("\"\"") : std::string(1, c);
        text += '"';
    } else {
        text = utf8;
    }
    if (text.find_first_of(guard ? ";\r\n" : ";\"\r\n") == std::string::npos) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

// A number with a decimal comma; empty when not given.
void csv_number(std::string &out, double v) {
    if (!std::isfinite(v)) return;
    const size_t at = out.size();
    append_number(out, v);
    std::replace(out.begin() + static_cast<std::ptrdiff_t>(at), out.end(), '.', ',');
}

// A part's value that is a number (a tool number, a flute count) as a
// number; another text as text.
void csv_part_value(std::string &out, const std::string &raw) {
    const std::string utf8 = kesto::cp1251_shown(raw);
    if (!plain_number(utf8)) return csv_text(out, utf8);
    std::string number = utf8;
    std::replace(number.begin(), number.end(), '.', ',');
    out += number;
}

// Decimal points of a text of numbers made commas, as the table's numbers have them.
std::string decimal_commas(std::string text) {
    std::replace(text.begin(), text.end(), '.', ',');
    return text;
}

const char *const kSheetColumns[] = {"Position",       "Tool number",  "TOOLID", "Kind",   "Simulator's kind",
                                     "Units",          "Diameter",     "Corner radius", "Length", "Stick-out",
                                     "Flute length",   "Flutes",       "Holder", "Catalogue number",
                                     "Description",    "Problems"};
const char *const kVerdictColumns[] = {"In the database", "Site TOOLID", "Site library", "Site line"};

}  // namespace

bool csv_text_needs_guard(std::string_view text) {
    if (text.empty()) return false;
    const unsigned char first = static_cast<unsigned char>(text[0]);
    // a digit, a sign, a formula's start, a blank, a bracket, a currency: a
    // number, a date, a time, a formula or an amount
    if (first < 0x80 && !std::isalpha(first) && first != '_') return true;
    if (text.rfind("\xE2\x82", 0) == 0) return true;  // the currency signs U+20A0 to U+20BF
    const std::string lower = small_letters(text.substr(0, 16));
    for (const char *truth : {"true", "false", "\xD0\xB8\xD1\x81\xD1\x82\xD0\xB8\xD0\xBD\xD0\xB0",
                              "\xD0\xBB\xD0\xBE\xD0\xB6\xD1\x8C"})
        if (lower == truth) return true;
    return month_date(text);
}

std::string sheet_csv(const PageHead &head, const std::vector<SheetRow> &rows, bool verdicts) {
    std::string out = "\xEF\xBB\xBF";
    for (size_t c = 0; c < std::size(kSheetColumns); ++c) out += std::string(c ? ";" : "") + kSheetColumns[c];
    if (verdicts)
        for (const char *column : kVerdictColumns) out += std::string(";") + column;
    out += "\r\n";
    for (size_t i = 0; i < rows.size(); ++i) {
        const SheetRow &r = rows[i];
        const ToolFacts f = tool_facts(*r.tool);
        out += std::to_string(i + 1) + ";";
        csv_part_value(out, r.number);
        out += ';';
        csv_text(out, kesto::cp1251_shown(r.tool->name));
        out += ';';
        csv_text(out, kind_shop_word(f.kind));
        out += ';';
        csv_text(out, kind_label(f.kind));
        out += f.inch ? ";inch" : ";mm";
        for (double v : {f.diameter, f.corner_radius, f.length, f.stick_out, f.flute_length}) {
            out += ';';
            csv_number(out, v);
        }
        out += ';';
        csv_part_value(out, r.flutes);
        out += ';';
        std::string holder;
        for (const std::string &section : holder_brief(f)) holder += (holder.empty() ? "" : " / ") + section;
        csv_text(out, decimal_commas(holder));
        out += ';';
        csv_text(out, kesto::cp1251_shown(r.catalogue));
        out += ';';
        csv_text(out, kesto::cp1251_shown(r.tool->description));
        out += ';';
        std::string problems;
        for (const std::string &p : r.problems) problems += (problems.empty() ? "" : "; ") + kesto::cp1251_shown(p);
        csv_text(out, problems);
        if (verdicts) {
            out += ';';
            csv_text(out, verdict_words(r.verdict));
            out += ';';
            csv_text(out, kesto::cp1251_shown(r.site.toolid));
            out += ';';
            csv_text(out, r.site.library);
            out += ';';
            if (r.site.line) out += std::to_string(r.site.line);
        }
        out += "\r\n";
    }
    // the head, last: the name, date, file, count and units
    out += kTableMark;
    for (const std::string *field : {&head.name, &head.date, &head.file}) {
        csv_text(out, *field);
        out += ';';
    }
    out += std::to_string(rows.size()) + (rows.size() == 1 ? " tool" : " tools") + ";lengths in ";
    out += sheet_units(rows) + "\r\n";
    return out;
}

void CatalogEntries::add(const std::vector<Problem> &problems, const std::vector<const Tool *> &records) {
    const size_t first = entries_.size();
    for (const Tool *t : records) {
        CatalogEntry e;
        e.facts = tool_facts(*t);
        e.outlines = outline_texts(*t);
        e.description = t->description;
        entries_.push_back(std::move(e));
    }
    problems_by_record(problems, records, [&](long at, const Problem &p) {
        if (at >= 0) entries_[first + static_cast<size_t>(at)].problems.push_back(p.message);
    });
}

CatalogGroups catalog_groups(const Database &db) {
    CatalogGroups groups;
    const std::vector<DatabaseRecord> &records = db.records();
    std::vector<uint32_t> order(records.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    // by geometry: the runs with more than one TOOLID
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return records[a].geometry < records[b].geometry; });
    for (size_t at = 0; at < order.size();) {
        size_t end = at;
        bool names = false;
        while (end < order.size() && records[order[end]].geometry == records[order[at]].geometry) {
            names = names || records[order[end]].name != records[order[at]].name;
            ++end;
        }
        if (names) groups.same_geometry.emplace_back(order.begin() + at, order.begin() + end);
        at = end;
    }
    // by TOOLID: the runs with more than one geometry in more than one library
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return records[a].name < records[b].name; });
    for (size_t at = 0; at < order.size();) {
        size_t end = at;
        bool shapes = false, libraries = false;
        while (end < order.size() && records[order[end]].name == records[order[at]].name) {
            shapes = shapes || records[order[end]].geometry != records[order[at]].geometry;
            libraries = libraries || records[order[end]].library != records[order[at]].library;
            ++end;
        }
        if (shapes && libraries) groups.toolid_differs.emplace_back(order.begin() + at, order.begin() + end);
        at = end;
    }
    // each group in the database's order, the groups by their first record
    for (auto *list : {&groups.same_geometry, &groups.toolid_differs}) {
        for (std::vector<uint32_t> &g : *list) std::sort(g.begin(), g.end());
        std::sort(list->begin(), list->end());
    }
    return groups;
}

std::string catalog_html(const PageHead &head, const Database &db, const std::vector<CatalogEntry> &entries) {
    std::string data = "{";
    json_head(data, head);
    data += ",\"libs\":[";
    std::string skipped = "[";
    for (size_t i = 0; i < db.libraries().size(); ++i) {
        const DatabaseLibrary &lib = db.libraries()[i];
        if (i) data += ',';
        json_string(data, lib.label);
        if (lib.skipped) {
            if (skipped.size() > 1) skipped += ',';
            json_string(skipped, lib.error.empty() ? lib.label + ": damaged, " + std::to_string(lib.problems) +
                                                         (lib.problems == 1 ? " problem" : " problems")
                                                   : lib.error);
        }
    }
    data += "],\"skipped\":" + skipped + "],\"kinds\":[";
    for (size_t k = 0; k < std::size(kAllKinds); ++k) {
        if (k) data += ',';
        data += '[';
        json_string(data, kind_word(kAllKinds[k]));
        data += ',';
        json_string(data, kind_shop_word(kAllKinds[k]));
        data += ',';
        json_string(data, kind_label(kAllKinds[k]));
        data += ']';
    }
    // the drawings once each: many records share one
    std::unordered_map<std::string, size_t> shape_index;
    std::string shapes = "[", problems = "[", rows = "[";
    size_t problem_lists = 0;
    const std::vector<DatabaseRecord> &records = db.records();
    for (size_t i = 0; i < records.size() && i < entries.size(); ++i) {
        const DatabaseRecord &rec = records[i];
        const CatalogEntry &e = entries[i];
        std::string key = e.outlines.cutter + '|' + e.outlines.holder;
        auto [it, added] = shape_index.emplace(std::move(key), shape_index.size());
        if (added) {
            if (it->second) shapes += ',';
            shapes += '[';
            json_string(shapes, e.outlines.cutter);
            shapes += ',';
            json_string(shapes, e.outlines.holder);
            shapes += ']';
        }
        if (i) rows += ',';
        rows += '[' + std::to_string(rec.library) + ',' + std::to_string(rec.line) + ',';
        json_raw(rows, rec.name);
        rows += ',';
        rows += std::to_string(static_cast<int>(e.facts.kind));
        rows += e.facts.inch ? ",1" : ",0";
        for (double v : {e.facts.diameter, e.facts.corner_radius, e.facts.length, e.facts.flute_length,
                         e.facts.shank_diameter}) {
            rows += ',';
            json_number(rows, v);
        }
        rows += ',';
        std::string holder;
        for (const std::string &section : holder_brief(e.facts)) holder += (holder.empty() ? "" : " / ") + section;
        json_string(rows, holder);
        rows += ',';
        json_raw(rows, e.description);
        rows += ',' + std::to_string(it->second);
        if (!e.problems.empty()) {
            if (problem_lists++) problems += ',';
            problems += '[';
            for (size_t k = 0; k < e.problems.size(); ++k) {
                if (k) problems += ',';
                json_raw(problems, e.problems[k]);
            }
            problems += ']';
            rows += ',' + std::to_string(problem_lists - 1);
        }
        rows += ']';
    }
    data += "],\"shapes\":" + shapes + "],\"p\":" + problems + "],\"t\":" + rows + "],\"g\":{";
    const CatalogGroups groups = catalog_groups(db);
    const std::pair<const char *, const std::vector<std::vector<uint32_t>> *> lists[] = {
        {"same-geometry", &groups.same_geometry}, {"toolid-differs", &groups.toolid_differs}};
    for (size_t l = 0; l < std::size(lists); ++l) {
        data += l ? ",\"" : "\"";
        data += lists[l].first;
        data += "\":[";
        for (size_t g = 0; g < lists[l].second->size(); ++g) {
            data += g ? ",[" : "[";
            const std::vector<uint32_t> &members = (*lists[l].second)[g];
            for (size_t k = 0; k < members.size(); ++k) data += (k ? "," : "") + std::to_string(members[k]);
            data += ']';
        }
        data += ']';
    }
    data += "}}";
    return page("catalog", "Tool catalogue: " + head.name, data);
}

}  // namespace tlsfile
