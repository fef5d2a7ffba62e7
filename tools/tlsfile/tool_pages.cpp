#include "tools/tlsfile/tool_pages.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <unordered_map>

#include "host/common/cp1251.h"
#include "tools/tlsfile/number_text.h"
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
// body, script and data (NAME_body.html holds the body, NAME.js the script).
std::string page(const std::string &name, const std::string &title, const std::string &data) {
    return fill(web_asset("page.html"), {{"TITLE", markup_text(title)},
                                         {"GENERATOR", kGeneratorMeta},
                                         {"CLASS", name},
                                         {"STYLE", web_asset("page.css")},
                                         {"BODY", web_asset(name + "_body.html")},
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

const char *const kSheetColumns[] = {"Position",     "Tool number", "TOOLID", "Kind",    "Diameter",
                                     "Corner radius", "Length",     "Flute length", "Flutes", "Holder",
                                     "Catalogue number", "Description"};

}  // namespace

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
    std::string data = "{";
    json_head(data, head);
    data += ",\"units\":";
    json_string(data, sheet_units(rows));
    data += ",\"verdicts\":";
    data += verdicts ? "true" : "false";
    data += ",\"t\":[";
    for (size_t i = 0; i < rows.size(); ++i) {
        const SheetRow &r = rows[i];
        const ToolFacts f = tool_facts(*r.tool);
        const OutlineTexts o = outline_texts(*r.tool);
        data += i ? ",[" : "[";
        data += std::to_string(i + 1) + ",";
        json_raw(data, r.number);
        data += ',';
        json_raw(data, r.tool->name);
        data += ',';
        json_string(data, kind_label(f.kind));
        for (double v : {f.diameter, f.corner_radius, f.length, f.flute_length}) {
            data += ',';
            json_number(data, v);
        }
        data += ',';
        json_raw(data, r.flutes);
        data += ',';
        json_string(data, holder_text(f));
        data += ',';
        json_raw(data, r.catalogue);
        data += ',';
        json_raw(data, r.tool->description);
        data += ',';
        json_string(data, o.cutter);
        data += ',';
        json_string(data, o.holder);
        data += ',';
        json_string(data, r.verdict);
        data += f.inch ? ",1]" : ",0]";
    }
    data += "]}";
    return page("sheet", "Tool sheet: " + head.name, data);
}

namespace {

// A CSV field: in double quotes when it holds the separator, a quote or a
// line end; a text a spreadsheet would take for a formula gets an
// apostrophe before it.
void csv_text(std::string &out, const std::string &utf8) {
    std::string text = utf8;
    if (!text.empty() && (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@')) text.insert(0, "'");
    if (text.find_first_of(";\"\r\n") == std::string::npos) {
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

}  // namespace

std::string sheet_csv(const PageHead &head, const std::vector<SheetRow> &rows, bool verdicts) {
    std::string out = "\xEF\xBB\xBF";
    out += kSheetCsvFirstField;
    for (const std::string *field : {&head.name, &head.date, &head.file}) {
        out += ';';
        csv_text(out, *field);
    }
    out += ';' + std::to_string(rows.size()) + (rows.size() == 1 ? " tool" : " tools") + ";lengths in ";
    out += sheet_units(rows) + "\r\n";
    for (size_t c = 0; c < std::size(kSheetColumns); ++c) out += std::string(c ? ";" : "") + kSheetColumns[c];
    out += verdicts ? ";In the database\r\n" : "\r\n";
    for (size_t i = 0; i < rows.size(); ++i) {
        const SheetRow &r = rows[i];
        const ToolFacts f = tool_facts(*r.tool);
        out += std::to_string(i + 1) + ";";
        csv_text(out, kesto::cp1251_shown(r.number));
        out += ';';
        csv_text(out, kesto::cp1251_shown(r.tool->name));
        out += ';';
        csv_text(out, std::string(kind_label(f.kind)) + (f.inch ? " (inch)" : ""));
        for (double v : {f.diameter, f.corner_radius, f.length, f.flute_length}) {
            out += ';';
            csv_number(out, v);
        }
        out += ';';
        csv_text(out, kesto::cp1251_shown(r.flutes));
        out += ';';
        std::string holder = holder_text(f);
        std::replace(holder.begin(), holder.end(), '.', ',');
        csv_text(out, holder);
        out += ';';
        csv_text(out, kesto::cp1251_shown(r.catalogue));
        out += ';';
        csv_text(out, kesto::cp1251_shown(r.tool->description));
        if (verdicts) {
            out += ';';
            csv_text(out, r.verdict);
        }
        out += "\r\n";
    }
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
    // a problem belongs to the record whose lines it falls in
    for (const Problem &p : problems) {
        auto after = std::upper_bound(records.begin(), records.end(), p.line,
                                      [](int line, const Tool *t) { return line < t->line; });
        if (after == records.begin()) continue;
        entries_[first + static_cast<size_t>(after - records.begin()) - 1].problems.push_back(p.message);
    }
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
        json_string(rows, holder_text(e.facts));
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
