#include "tools/tlsfile/tls_database.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/tls_check.h"

namespace fs = std::filesystem;

namespace tlsfile {

namespace {

bool blank(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

// A DESCRIPTION line: the word first, then a blank, a quote or the end.
bool description_line(std::string_view line) {
    size_t at = line.find_first_not_of(" \t");
    if (at == std::string_view::npos || line.compare(at, 11, "DESCRIPTION") != 0) return false;
    at += 11;
    return at == line.size() || line[at] == ' ' || line[at] == '\t' || line[at] == '"';
}

// A record's geometry with its TOOLID line.
struct Geometry {
    std::vector<GeometryLine> lines;
    int toolid_line = 0;
};

// The first line at which two geometries differ, in both; false when none
// does.  A geometry that ends first gives the line after its last.
bool first_difference(const Geometry &a, const Geometry &b, DiffLine *da = nullptr, DiffLine *db = nullptr) {
    size_t k = 0;
    while (k < a.lines.size() && k < b.lines.size() && a.lines[k].text == b.lines[k].text) ++k;
    if (k == a.lines.size() && k == b.lines.size()) return false;
    auto side = [k](const Geometry &g, DiffLine *d) {
        if (!d) return;
        d->present = k < g.lines.size();
        d->line = d->present ? g.lines[k].line : (g.lines.empty() ? g.toolid_line : g.lines.back().line) + 1;
        d->text = d->present ? std::string(g.lines[k].text) : std::string();
    };
    side(a, da);
    side(b, db);
    return true;
}

// The files named *.tls under folder (its subfolders, not links to
// folders), as paths relative to it with '/'; folders that cannot be read,
// and *.tls entries that are no file (a dangling link, a pipe, a device),
// in unreadable.
void tls_files(const fs::path &folder, const std::string &relative, std::vector<std::string> &files,
               std::vector<std::pair<std::string, std::string>> &unreadable) {
    std::vector<FolderEntry> entries;
    std::string error;
    if (!list_folder(folder, entries, error)) unreadable.emplace_back(relative, error);
    for (const FolderEntry &entry : entries) {
        const std::string name = utf8_path(entry.name);
        const std::string path = relative.empty() ? name : relative + "/" + name;
        if (entry.kind == EntryKind::folder) {
            tls_files(folder / entry.name, path, files, unreadable);
            continue;
        }
        std::string extension = utf8_path(entry.name.extension());
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
        if (extension != ".tls") continue;
        if (entry.kind == EntryKind::file) files.push_back(path);
        // named as a library but none to read: warned about, not passed over
        else if (entry.kind == EntryKind::missing) unreadable.emplace_back(path, "is a link to nothing");
        else unreadable.emplace_back(path, "is not a regular file (a device, a pipe or a socket)");
    }
}

// folder + relative, in the separator folder is written with; one written
// with none gets the system's own.
std::string joined(const std::string &folder, std::string relative) {
#if defined(_WIN32)
    const bool backslash = folder.find('/') == std::string::npos;
#else
    const bool backslash = folder.find('\\') != std::string::npos && folder.find('/') == std::string::npos;
#endif
    const char sep = backslash ? '\\' : '/';
    if (relative.empty()) return folder;
    if (backslash) std::replace(relative.begin(), relative.end(), '/', '\\');
    return folder.empty() || folder.back() == sep ? folder + relative : folder + sep + relative;
}

// Calls line(text, number) for each line of text[begin, end) without its
// line end, numbered from first_line.
template <typename Line>
void each_line(std::string_view text, size_t begin, size_t end, int first_line, Line line) {
    int number = first_line;
    for (size_t at = begin; at < end; ++number) {
        size_t stop = text.find('\n', at);
        const size_t next = stop == std::string_view::npos || stop >= end ? end : stop + 1;
        stop = next > at && text[next - 1] == '\n' ? next - 1 : next;
        if (stop > at && text[stop - 1] == '\r') --stop;
        line(text.substr(at, stop - at), number);
        at = next;
    }
}

}  // namespace

const char *verdict_name(Verdict v) {
    switch (v) {
    case Verdict::same: return "same";
    case Verdict::renamed: return "renamed";
    case Verdict::differs: return "differs";
    case Verdict::missing: break;
    }
    return "missing";
}

std::vector<GeometryLine> geometry_lines(std::string_view text, size_t begin, size_t end, int first_line) {
    std::vector<GeometryLine> lines;
    each_line(text, begin, end, first_line, [&](std::string_view line, int number) {
        if (number != first_line && !description_line(line)) lines.push_back({line, number});
    });
    while (!lines.empty() && blank(lines.back().text)) lines.pop_back();
    return lines;
}

uint64_t geometry_hash(std::string_view text, size_t begin, size_t end, int first_line) {
    // blank lines count only when a line follows them
    uint64_t kept = 0, with_blanks = 0;
    each_line(text, begin, end, first_line, [&](std::string_view line, int number) {
        if (number == first_line || description_line(line)) return;
        with_blanks = (with_blanks ^ std::hash<std::string_view>()(line)) * 0x100000001b3ull + 0x9e3779b97f4a7c15ull;
        if (!blank(line)) kept = with_blanks;
    });
    return kept;
}

bool Database::add_folder(const std::string &folder, std::string &error) {
    const fs::path root = fs_path(folder);
    std::error_code ec;
    const EntryKind kind = entry_kind(root, true);
    if (kind == EntryKind::file) {
        // one library named by itself: read as a folder's library would be,
        // but one that cannot be read is the caller's error, not a skip
        Source source;
        if (!read_source(folder, source, error, kMaxLibraryBytes)) return false;
        const std::string identity = utf8_path(fs::weakly_canonical(root, ec));
        if (ec || seen_.insert(identity).second) add_library(std::move(source));
        return true;
    }
    if (kind != EntryKind::folder) {
        error = folder + ": " + (kind != EntryKind::missing ? "is neither a folder nor a library file" : "no such folder");
        return false;
    }
    std::vector<std::string> files;
    std::vector<std::pair<std::string, std::string>> unreadable;
    tls_files(root, "", files, unreadable);
    for (const auto &[relative, cause] : unreadable) {
        if (!relative.empty()) continue;
        error = folder + ": " + cause;  // the folder itself
        return false;
    }
    std::sort(files.begin(), files.end());
    for (const auto &[relative, cause] : unreadable) {
        DatabaseLibrary lib;
        lib.label = joined(folder, relative);
        lib.error = lib.label + ": " + cause;
        lib.skipped = true;
        libraries_.push_back(std::move(lib));
    }
    for (const std::string &relative : files) {
        const std::string label = joined(folder, relative);
        const std::string identity = utf8_path(fs::weakly_canonical(root / fs_path(relative), ec));
        if (!ec && !seen_.insert(identity).second) continue;  // reached twice
        Source source;
        std::string read_error;
        if (!read_source(label, source, read_error, kMaxLibraryBytes)) {
            DatabaseLibrary lib;
            lib.label = label;
            lib.error = read_error;
            lib.skipped = true;
            libraries_.push_back(std::move(lib));
            continue;
        }
        add_library(std::move(source));
    }
    return true;
}

void Database::add_library(Source source) {
    DatabaseLibrary lib;
    lib.label = std::move(source.label);
    lib.first_record = static_cast<uint32_t>(records_.size());
    const Library model = parse_source(source);
    std::string &text = source.text;
    size_t beyond = 0;
    const std::vector<Problem> problems = check_library(model, &beyond);
    lib.problems = problems.size() + beyond;
    lib.skipped = model.problems.size() + model.problems_beyond > model.text_problems;
    if (!lib.skipped) {
        const uint32_t index = static_cast<uint32_t>(libraries_.size());
        std::vector<const Tool *> tools;
        for (const RecordSpan &r : record_spans(text, model).records) {
            if (hook_) tools.push_back(r.tool);
            DatabaseRecord rec;
            rec.library = index;
            rec.line = r.line;
            rec.begin = r.begin;
            rec.end = r.end;
            rec.name = r.tool->name;
            rec.geometry = geometry_hash(text, r.begin, r.end, r.line);
            const uint32_t at = static_cast<uint32_t>(records_.size());
            by_name_.emplace_back(std::hash<std::string>()(rec.name), at);
            by_geometry_.emplace_back(rec.geometry, at);
            records_.push_back(std::move(rec));
            sorted_ = false;
        }
        lib.record_count = static_cast<uint32_t>(records_.size()) - lib.first_record;
        lib.text = std::move(text);
        if (hook_) hook_(problems, tools);
    }
    libraries_.push_back(std::move(lib));
}

std::vector<uint32_t> Database::lookup(Index &index, uint64_t hash) const {
    if (!sorted_) {
        std::sort(by_name_.begin(), by_name_.end());
        std::sort(by_geometry_.begin(), by_geometry_.end());
        sorted_ = true;
    }
    std::vector<uint32_t> out;
    for (auto it = std::lower_bound(index.begin(), index.end(), std::make_pair(hash, uint32_t(0)));
         it != index.end() && it->first == hash; ++it)
        out.push_back(it->second);
    return out;
}

std::vector<uint32_t> Database::named(const std::string &toolid) const {
    std::vector<uint32_t> out = lookup(by_name_, std::hash<std::string>()(toolid));
    out.erase(std::remove_if(out.begin(), out.end(), [&](uint32_t i) { return records_[i].name != toolid; }),
              out.end());
    return out;
}

std::vector<uint32_t> Database::shaped(uint64_t geometry) const { return lookup(by_geometry_, geometry); }

std::vector<GeometryLine> Database::geometry(const DatabaseRecord &r) const {
    return geometry_lines(libraries_[r.library].text, r.begin, r.end, r.line);
}

std::string_view Database::slice(const DatabaseRecord &r) const {
    return std::string_view(libraries_[r.library].text).substr(r.begin, r.end - r.begin);
}

size_t FindResult::count(Verdict v) const {
    return static_cast<size_t>(
        std::count_if(tools.begin(), tools.end(), [v](const ToolFinding &t) { return t.verdict == v; }));
}

FindResult find_tools(const Database &db, const LibraryText &input) {
    FindResult result;
    std::set<std::pair<uint32_t, std::string>> noted;  // (library, TOOLID) looked at
    auto note = [&](uint32_t index) {
        const DatabaseRecord &rec = db.records()[index];
        if (!noted.emplace(rec.library, rec.name).second) return;
        RepeatedInLibrary rep{rec.library, rec.name, {}};
        for (uint32_t i : db.named(rec.name))
            if (db.records()[i].library == rec.library) rep.lines.push_back(db.records()[i].line);
        if (rep.lines.size() > 1) result.repeated.push_back(std::move(rep));
    };
    for (const RecordSpan &r : record_spans(input.text, input.library).records) {
        ToolFinding f;
        f.name = r.tool->name;
        f.line = r.line;
        const Geometry g{geometry_lines(input.text, r.begin, r.end, r.line), r.line};
        auto stored = [&db](uint32_t i) { return Geometry{db.geometry(db.records()[i]), db.records()[i].line}; };
        for (uint32_t i : db.named(f.name)) {
            DifferingRecord d{i, {}, {}};
            if (!first_difference(g, stored(i), &d.input, &d.database)) f.matches.push_back(i);
            else f.differing.push_back(std::move(d));
        }
        if (!f.matches.empty()) {
            f.verdict = Verdict::same;
        } else {
            for (uint32_t i : db.shaped(geometry_hash(input.text, r.begin, r.end, r.line)))
                if (db.records()[i].name != f.name && !first_difference(g, stored(i))) f.matches.push_back(i);
            if (!f.matches.empty()) f.verdict = Verdict::renamed;
        }
        if (f.matches.empty()) f.verdict = f.differing.empty() ? Verdict::missing : Verdict::differs;
        for (uint32_t i : f.matches) note(i);
        for (const DifferingRecord &d : f.differing) note(d.record);
        result.tools.push_back(std::move(f));
    }
    return result;
}

const PreferredRecord *PreferResult::taken_at(int line) const {
    for (const PreferredRecord &p : taken)
        if (line >= p.output_line && line <= p.output_last_line) return &p;
    return nullptr;
}

PreferResult prefer_records(const Database &db, const LibraryText &generated,
                            const std::function<std::string(const std::string &)> &catalogue, bool site_geometry) {
    PreferResult result;
    const LibrarySpans spans = record_spans(generated.text, generated.library);
    std::string &out = result.text;
    out.assign(generated.text, 0, spans.header_end);
    const bool crlf = crlf_file(generated.text);  // a record taken gets the export's line ends
    int line = spans.header_lines + 1;  // the line the next record starts on
    for (const RecordSpan &r : spans.records) {
        const std::string &name = r.tool->name;
        const std::string number = catalogue(name);
        // the records of the catalogue number, then those of the name; the
        // first of the tool's own geometry is taken
        std::vector<uint32_t> found = number.empty() ? std::vector<uint32_t>() : db.named(number);
        const size_t by_number = found.size();
        if (number != name)
            for (uint32_t i : db.named(name)) found.push_back(i);
        const Geometry g{geometry_lines(generated.text, r.begin, r.end, r.line), r.line};
        auto stored = [&db](uint32_t i) { return Geometry{db.geometry(db.records()[i]), db.records()[i].line}; };
        auto same = std::find_if(found.begin(), found.end(), [&](uint32_t i) { return !first_difference(g, stored(i)); });
        bool by_catalogue = same != found.end() ? static_cast<size_t>(same - found.begin()) < by_number : by_number > 0;
        if (same != found.end()) {
            found = {*same};
        } else if (!found.empty()) {
            DifferingPreference d{name, found.front(), by_catalogue, site_geometry, {}, {}};
            first_difference(g, stored(found.front()), &d.generated, &d.database);
            result.differing.push_back(std::move(d));
            if (!site_geometry) found.clear();
            else found.resize(1);
        }
        std::string record;
        if (!found.empty()) {
            const DatabaseRecord &rec = db.records()[found.front()];
            // A sound record's TOOLID line holds the name in quotes, and
            // its last line ends with a line end (the reader says when not).
            record = std::string(db.slice(rec));
            const size_t open = record.find('"'), close = record.find('"', open + 1);
            record.replace(open + 1, close - open - 1, name);
        } else {
            record = generated.text.substr(r.begin, r.end - r.begin);
            result.generated.push_back(name);
        }
        const int lines = static_cast<int>(std::count(record.begin(), record.end(), '\n'));
        if (!found.empty()) result.taken.push_back({name, found.front(), by_catalogue, line, line + lines - 1});
        if (found.empty()) out += record;
        else append_with_line_ends(out, record, crlf);
        line += lines;
    }
    return result;
}

}  // namespace tlsfile
