// kesto-tools-vericut export: the plug-in's all-tools (or selective) export
// without the host.  The dialogs are answered by a plan; the plug-in writes
// into a scratch file, the result is checked, and only a sound result takes
// the output's name, whole.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "host/common/cp1251.h"
#include "host/common/library_writer.h"
#include "tools/cli/commands.h"
#include "tools/cli/library_merge.h"
#include "tools/cli/session_input.h"
#include "tools/cli/tool_database.h"
#include "tools/cli/usage.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/interrupt_cleanup.h"
#include "tools/tlsfile/output_file.h"
#include "tools/tlsfile/tls_check.h"
#include "tools/tlsfile/tls_merge.h"
#include "tools/tlsfile/toolid_pattern.h"

namespace fs = std::filesystem;

namespace kesto::cli {
namespace {

// The first lines the plug-in writes into a new tool library.
const char kHeader[] = "CGTECH Tool Library File\r\nVersion-5.2\r\n\r\n";

struct ExportArgs {
    std::vector<std::string> parts;  // as given; input is the first
    std::string input;
    std::string output;
    std::vector<std::string> select;
    bool append = false;
    std::string merge;
    std::vector<std::string> prefer;
    std::string settings;
    std::string plugin;
    bool force = false;
    bool quiet = false;
    bool json = false;
    std::string backup;
    bool dry_run = false;
    bool site_geometry = false;
};

using json = nlohmann::ordered_json;

int count_records(const std::string &text) {
    int n = 0;
    for (size_t at = 0; (at = text.find("TOOLID \"", at)) != std::string::npos; ++at)
        if (at == 0 || text[at - 1] == '\n') ++n;
    return n;
}

int count_lines(const std::string &text) {
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

// The part's name without folder and extension, with '/' or '\' (or a
// drive's ':') before it, as the host names parts on either system.
std::string default_output(const sim::Part &part) { return part_stem(part.name) + ".tls"; }

// Why a member of the machine-tool root gets no record, as a reason and as
// the summary line counts it.
struct SkipReason {
    std::string why;
    std::string counted;  // "not selected", "not a tool", ...
};

SkipReason skip_reason(const sim::Member &m, const std::vector<std::string> &selected) {
    if (m.name == "NONE") return {"the host's NONE member, no tool", "the host's NONE member"};
    if (m.object_type != UF_machining_tool_type)
        return {"not a tool (object type " + std::to_string(m.object_type) + ")", "not a tool"};
    if (m.type < 0 || m.subtype < 0) return {"negative cutter type or subtype", "of a negative cutter type"};
    if (!selected.empty()) {
        bool chosen = false;
        for (const std::string &s : selected) chosen = chosen || s == m.name;
        if (!chosen) return {"not selected", "not selected"};
    }
    return {};
}

// What was left out: one line, "skipped 3: the host's NONE member, 2 not
// selected", and each member with its reason in the JSON object.
std::string skipped(const sim::Part &part, int records, json *object) {
    std::vector<std::pair<std::string, int>> counts;  // in the order first met
    int expected = 0, total = 0;
    auto skip = [&](const std::string &name, const SkipReason &r) {
        ++total;
        if (object) (*object)["skipped"].push_back({{"name", cp1251_to_utf8(name)}, {"reason", r.why}});
        auto it = std::find_if(counts.begin(), counts.end(), [&](const auto &c) { return c.first == r.counted; });
        if (it == counts.end()) counts.emplace_back(r.counted, 1);
        else ++it->second;
    };
    sim::Member none;
    none.name = "NONE";
    auto judge = [&](const sim::Member &m) {
        SkipReason r = skip_reason(m, part.selected);
        if (r.why.empty()) ++expected;
        else skip(m.name, r);
    };
    if (object) (*object)["skipped"] = json::array();
    if (part.none_member) judge(none);
    for (const sim::Member &m : part.members) judge(m);
    for (const sim::Member &m : part.others)
        for (const std::string &s : part.selected)
            if (s == m.name) skip(m.name, {"not in the machine-tool root", "outside the machine-tool root"});
    if (expected != records)
        warn(std::to_string(expected) + " tools were expected, " + std::to_string(records) + " written");
    std::string out;
    for (const auto &[counted, n] : counts)
        out += (out.empty() ? "" : ", ") +
               (counted == "the host's NONE member" ? counted : std::to_string(n) + " " + counted);
    return total == 0 ? "" : "skipped " + std::to_string(total) + ": " + out + "\n";
}


// The members --select names: by name, or else by the name the library
// writes (all members that have it); a pattern, every member whose name
// either way matches it.  False after saying so (with the nearest name for
// a slip) when none does.
bool select_members(sim::Part &part, const std::vector<std::string> &names) {
    part.selected.clear();
    for (const std::string &name : names) {
        const std::string host_name = utf8_to_cp1251(name);
        std::vector<std::string> found;
        auto each = [&](const std::function<bool(const sim::Member &)> &match) {
            for (const std::vector<sim::Member> *list : {&part.members, &part.others})
                for (const sim::Member &m : *list)
                    if (match(m) && std::find(found.begin(), found.end(), m.name) == found.end())
                        found.push_back(m.name);
        };
        if (tlsfile::is_pattern(host_name)) {
            each([&](const sim::Member &m) {
                return tlsfile::matches(host_name, m.name) || tlsfile::matches(host_name, written_name(m.name));
            });
        } else {
            each([&](const sim::Member &m) { return m.name == host_name; });
            if (found.empty()) each([&](const sim::Member &m) { return written_name(m.name) == host_name; });
        }
        if (found.empty()) {
            std::vector<std::string> members;
            for (const std::vector<sim::Member> *list : {&part.members, &part.others})
                for (const sim::Member &m : *list) members.push_back(cp1251_to_utf8(m.name));
            const std::string guess = tlsfile::is_pattern(host_name) ? "" : nearest(name, members);
            complain("--select " + name +
                     (tlsfile::is_pattern(host_name) ? ": no tool of the part matches it" : ": the part has no such tool") +
                     (guess.empty() ? "" : "; did you mean \"" + guess + "\"?"));
            return false;
        }
        for (const std::string &f : found)
            if (std::find(part.selected.begin(), part.selected.end(), f) == part.selected.end())
                part.selected.push_back(f);
    }
    return true;
}

// The library an --append adds to: it must be one (its header first) and
// end with a line end, or the first new record would join its last line.
bool read_library_to_append(const std::string &output, std::string &old) {
    std::error_code ec;
    if (!fs::exists(tlsfile::fs_path(output), ec)) return true;
    std::string error;
    if (!tlsfile::read_input_file(output, tlsfile::kMaxLibraryBytes, true, old, error)) {
        complain(error);
        return false;
    }
    if (!tlsfile::starts_as_library(old)) {
        complain(output + ": does not start with the tool library header \"" + tlsfile::kLibraryHeaderLine +
                 "\"; --append adds only to a tool library");
        return false;
    }
    if (old.back() != '\n') {
        complain(output + ": does not end with a line end (cut short?); --append would join its last line to the "
                          "first new record");
        return false;
    }
    return true;
}

// The plug-in writes into a scratch folder beside the library, named as
// every writer's temporaries of it are (so that a killed export's is
// removed by the next writer), and runs with that folder current.  The file
// it writes there has a plain ASCII name, the library's when it has one:
// the plug-in hands paths to the system in its own code page, which cannot
// name every file.
class ScratchFolder {
public:
    explicit ScratchFolder(const fs::path &library) {
        std::error_code ec;
        previous_ = fs::current_path(ec);
        for (unsigned n = 0; !ec && folder_.empty() && n < 100; ++n) {
            fs::path candidate = tlsfile::full_path(
                kesto::temporary_name(library.native(), tlsfile::own_process_id(), n));
            // never a new scratch folder once an interrupt's clean-up has begun
            if (tlsfile::replace_unless_interrupted([&] { return fs::create_directory(candidate, ec); }))
                folder_ = candidate;
        }
        if (!ec && folder_.empty()) ec = std::make_error_code(std::errc::file_exists);
        if (!ec) fs::current_path(folder_, ec);
        entered_ = !ec;
        cause_ = folder_cause(tlsfile::utf8_path(folder_.empty() ? library.parent_path() : folder_), ec);
        const std::string leaf = tlsfile::utf8_path(library.filename());
        bool plain = !leaf.empty();
        for (char c : leaf) plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-');
        name_ = plain ? leaf : "export.tls";
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!folder_.empty()) {
            // The file, then the folder, by short names from the folder
            // above: the Windows runtime cannot list a folder whose path is
            // beyond MAX_PATH, as remove_all would.
            fs::current_path(folder_.parent_path(), ec);
            const fs::path folder = ec ? folder_ : folder_.filename();
            fs::remove(folder / name_, ec);
            if (!fs::remove(folder, ec)) fs::remove_all(folder, ec);
        }
        if (!previous_.empty()) fs::current_path(previous_, ec);
    }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    bool entered() const { return entered_; }
    const std::string &cause() const { return cause_; }
    const std::string &name() const { return name_; }

private:
    fs::path previous_;
    fs::path folder_;
    bool entered_ = false;
    std::string cause_;
    std::string name_;
};

// A scratch library in the temporary folder has no lock whose taker would
// sweep what a killed run left of it: each run removes the scratch folders
// (library + ".~kesto-PROCESS-N.tmp") of processes that are gone.
void remove_dead_scratch(const fs::path &library) {
    std::error_code ec;
    const std::string start = tlsfile::utf8_path(library.filename()) + ".~kesto-";
    for (fs::directory_iterator it(library.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = tlsfile::utf8_path(it->path().filename());
        if (name.compare(0, start.size(), start) != 0) continue;
        const char *p = name.c_str() + start.size();
        char *after = nullptr;
        const unsigned long pid = std::strtoul(p, &after, 10);
        if (after == p || *after != '-' || std::string(after).find(".tmp") == std::string::npos) continue;
        if (pid == tlsfile::own_process_id() || process_alive(pid)) continue;
        std::error_code ignored;
        if (fs::is_directory(fs::symlink_status(it->path(), ignored))) fs::remove_all(it->path(), ignored);
    }
}

// The tools of library whose TOOLIDs are among those of others.
std::vector<tlsfile::ListedTool> tools_held(const tlsfile::Library &library, const tlsfile::Library &others) {
    std::unordered_set<std::string> names;
    for (const tlsfile::Tool &t : others.tools) names.insert(t.name);
    std::vector<tlsfile::ListedTool> out;
    for (const tlsfile::Tool &t : library.tools)
        if (names.count(t.name) > 0) out.push_back({t.name, t.line});
    return out;
}

// The header of the records an append adds, checked as a library of their
// own: the export's, in the line ends of the library appended to.
std::string header_for(const std::string &old) {
    if (old.empty() || tlsfile::crlf_file(old)) return kHeader;
    std::string lf;
    tlsfile::append_with_line_ends(lf, kHeader, false);
    return lf;
}

// One run of the plug-in's export: where and on what it works, and what it
// wrote.
struct PluginExport {
    fs::path library;   // the library its scratch folder is a temporary of
    std::string label;  // what messages name for it
    std::string old;    // the library it appends to, or empty
    bool selective = false;
    std::string plugin;
    std::string left;   // what a failure leaves as it was
    json *object = nullptr;  // --json: the plug-in's notes go there
    std::string written;
    int records = 0;
};

// Runs the plug-in's export of the session's part into a scratch file and
// reads back what it wrote; relays the plug-in's notes on tools.  0, or the
// exit code of the failure, said.
int run_plugin(sim::Session &session, PluginExport &run) {
    const std::string &old = run.old;
    const bool selective = run.selective;
    json *object = run.object;
    std::string &written = run.written, error;
    PlannedUser user;
    sim::RunResult result;
    {
        std::error_code ec;
        ScratchFolder scratch(run.library);
        if (!scratch.entered()) {
            complain(run.label + ": cannot work in its folder: " + scratch.cause());
            return kExitUsage;
        }
        if (!old.empty() && !tlsfile::write_output_file(scratch.name(), old, error)) {
            complain(error);
            return kExitProblems;
        }
        const std::string file = scratch.name();
        user.on("Select menu ", [selective](const sim::Event &, int times) {
            return menu_answer(times == 1 ? (selective ? 6 : 5) : UF_UI_CANCEL);
        });
        user.on("Select Tools and pick 'Fix'", [](const sim::Event &, int) { return menu_answer(5); });
        user.on("Create TLS file..?", [](const sim::Event &, int) { return question_answer(1); });
        user.on("Выберите файл с инструментом..", [file](const sim::Event &, int) { return file_answer(file); });
        bool append = !old.empty();
        user.on("Create TLS - файл...",
                [append](const sim::Event &, int) { return question_answer(append ? 2 : 1); });
        user.on("Open Vericut ...?", [](const sim::Event &, int) { return question_answer(2); });

        sim::RunOptions options;
        options.plugin_path = run.plugin;
        options.answers = &user;
        result = sim::run_session(session, options);
        if (fs::exists(file, ec) && !tlsfile::read_input_file(file, tlsfile::kMaxLibraryBytes, true, written, error)) {
            complain(error);
            return kExitProblems;
        }
    }
    if (result.return_codes.empty()) {
        complain(result.error);
        return kExitNoPlugin;
    }

    for (const sim::ToolNote &n : result.notes) {
        warn("the plug-in says of tool " + quoted_toolid(n.tool) + ": " + cp1251_to_utf8(n.note));
        if (object) (*object)["notes"].push_back({{"toolid", cp1251_to_utf8(n.tool)}, {"note", cp1251_to_utf8(n.note)}});
    }
    bool failed = false;
    for (const sim::Event &e : result.events) {
        if (e.kind == sim::Event::Message) {
            complain("the plug-in says: " + cp1251_to_utf8(e.texts.empty() ? "" : e.texts[0]));
            failed = true;
        } else if (e.kind == sim::Event::Error) {
            complain("host: " + e.texts[0]);
            failed = true;
        }
    }
    if (!user.unknown_dialog().empty()) {
        complain("the plug-in showed a dialog this command does not answer: " + user.unknown_dialog() + "; " + run.left);
        return kExitProblems;
    }
    if (failed) {
        complain(run.left);
        return kExitProblems;
    }
    run.records = written.size() > old.size() ? count_records(written.substr(old.size())) : 0;
    if (run.records == 0) {
        complain("no tool was written; " + run.left);
        return kExitProblems;
    }
    return kExitOk;
}

// What an export wrote as a library of its own: all of it, or after an
// append the new records under a header of the library's line ends.
std::string new_records(const std::string &old, const std::string &written) {
    return old.empty() ? written : header_for(old) + written.substr(old.size());
}

// Checks the new records as a library of their own (a TOOLID the old file
// holds is judged apart) and reports their problems at the lines the
// output would have, or where a record --prefer took has them in the
// database: errors, or warnings with --force.  Their number.
size_t check_result(const ExportArgs &args, const std::string &old, const std::string &written,
                    tlsfile::Library &added, json *object, const tlsfile::Database *database = nullptr,
                    const tlsfile::PreferResult *preferred = nullptr) {
    const bool appended = !old.empty();
    const std::string appended_records = appended ? new_records(old, written) : std::string();
    tlsfile::CheckResult result = tlsfile::check_text(appended ? appended_records : written);
    const int shift = appended ? count_lines(old) - count_lines(kHeader) : 0;
    for (tlsfile::Problem p : result.problems) {
        std::string label = args.output;
        if (const tlsfile::PreferredRecord *taken = preferred ? preferred->taken_at(p.line) : nullptr) {
            const tlsfile::DatabaseRecord &rec = database->records()[taken->record];
            label = database->libraries()[rec.library].label;
            p.line = rec.line + (p.line - taken->output_line);
            p.tool = rec.name;
        } else {
            p.line += shift;
        }
        std::string line = tlsfile::format_problem(p, label);
        line.pop_back();
        args.force ? warn(line) : complain(line);
        if (object) (*object)["problems"].push_back(problem_object(p, label));
    }
    added = std::move(result.library);
    return result.problems.size() + result.problems_beyond;
}

// --prefer: the database's record of each tool in place of the generated
// one, found by the tool's catalogue number, else by its name.
tlsfile::PreferResult prefer(const tlsfile::Database &database, const sim::Part &part, const std::string &text,
                             bool site_geometry) {
    std::unordered_map<std::string, std::string> catalogue;  // by TOOLID as written
    for (const sim::Member &m : part.members) {
        auto it = m.params.find(UF_PARAM_TL_CATALOG_NUMBER);
        const bool given = it != m.params.end() && it->second.is_text;
        catalogue.emplace(written_name(m.name), given ? written_name(it->second.text) : "");
    }
    return tlsfile::prefer_records(database, library_from_text("the export", text).library,
                                   [&catalogue](const std::string &toolid) {
                                       auto it = catalogue.find(toolid);
                                       return it == catalogue.end() ? std::string() : it->second;
                                   },
                                   site_geometry);
}

// Where each record came from: "from the database: N tools", a line each,
// then the generated ones.
std::string prefer_report(const tlsfile::Database &database, const tlsfile::PreferResult &preferred) {
    std::string out = "from the database: " + count(preferred.taken.size(), "tool", "tools") + "\n";
    for (const tlsfile::PreferredRecord &t : preferred.taken) {
        const tlsfile::DatabaseRecord &rec = database.records()[t.record];
        out += "  " + quoted_toolid(t.name) + ": " +
               (t.by_catalogue ? "by catalogue number " + quoted_toolid(rec.name) : std::string("by name")) + ", " +
               database.libraries()[rec.library].label + ":" + std::to_string(rec.line) + "\n";
    }
    out += "generated: " + count(preferred.generated.size(), "tool", "tools") + "\n";
    for (const std::string &name : preferred.generated) {
        out += "  " + quoted_toolid(name);
        for (const tlsfile::DifferingPreference &d : preferred.differing)
            if (d.name == name && !d.taken)
                out += ": differs, not taken: " + database.libraries()[database.records()[d.record].library].label +
                       ":" + std::to_string(database.records()[d.record].line);
        out += "\n";
    }
    return out;
}

// A record of the database found for a tool but of other geometry: a
// warning with the first line that differs in both, and whether the
// simulator now gets the database's geometry.
void warn_differing(const tlsfile::Database &database, const tlsfile::PreferResult &preferred) {
    auto side = [](const std::string &label, const tlsfile::DiffLine &d) {
        return "\n    " + label + ":" + std::to_string(d.line) + ": " +
               (d.present ? cp1251_to_utf8(d.text) : std::string("(the record ends)"));
    };
    for (const tlsfile::DifferingPreference &d : preferred.differing) {
        const tlsfile::DatabaseRecord &rec = database.records()[d.record];
        const std::string at = database.libraries()[rec.library].label;
        std::string what = "the database's record " + quoted_toolid(rec.name) + " at " + at + ":" +
                           std::to_string(rec.line) + ", found by " + (d.by_catalogue ? "catalogue number" : "name") +
                           " for tool " + quoted_toolid(d.name) + ", has other geometry than the part's; ";
        what += d.taken ? "taken all the same (--prefer-site-geometry): the simulator gets the database's "
                          "geometry, not the part's"
                        : "not taken, the part's own record is written (--prefer-site-geometry takes it)";
        warn(what + side("the export", d.generated) + side(at, d.database));
    }
}

void prefer_object(const tlsfile::Database &database, const tlsfile::PreferResult &preferred, json &object) {
    object["preferred"] = json::array();
    for (const tlsfile::PreferredRecord &t : preferred.taken) {
        const tlsfile::DatabaseRecord &rec = database.records()[t.record];
        object["preferred"].push_back({{"toolid", cp1251_to_utf8(t.name)},
                                       {"by", t.by_catalogue ? "catalogue number" : "name"},
                                       {"file", database.libraries()[rec.library].label},
                                       {"line", rec.line},
                                       {"database_toolid", cp1251_to_utf8(rec.name)}});
    }
    object["generated"] = json::array();
    for (const std::string &name : preferred.generated) object["generated"].push_back(cp1251_to_utf8(name));
    object["differing"] = json::array();
    auto side = [](const tlsfile::DiffLine &d) {
        return json{{"line", d.line}, {"text", d.present ? json(cp1251_to_utf8(d.text)) : json(nullptr)}};
    };
    for (const tlsfile::DifferingPreference &d : preferred.differing) {
        const tlsfile::DatabaseRecord &rec = database.records()[d.record];
        object["differing"].push_back({{"toolid", cp1251_to_utf8(d.name)},
                                       {"verdict", d.taken ? "differs, taken" : "differs, not taken"},
                                       {"by", d.by_catalogue ? "catalogue number" : "name"},
                                       {"file", database.libraries()[rec.library].label},
                                       {"line", rec.line},
                                       {"database_toolid", cp1251_to_utf8(rec.name)},
                                       {"input", side(d.generated)},
                                       {"database", side(d.database)}});
    }
}

// The parts after the first: each exported as the first was, their tools
// joined to its export in the order given (the same record twice written
// once), their members added to the first part's for the summary and for
// --prefer's catalogue numbers.  0, or the exit code of the failure, said.
int export_more_parts(const ExportArgs &args, sim::Session &first, PluginExport &run) {
    std::vector<tlsfile::LibraryText> exports(1);
    exports[0].text = std::move(run.written);
    for (size_t i = 1; i < args.parts.size(); ++i) {
        sim::Session session;
        try {
            session = read_part_or_session(args.parts[i]);
        } catch (const sim::SessionError &e) {
            complain(e.what());
            return kExitUsage;
        }
        PluginExport more = run;
        more.written.clear();
        if (int code = run_plugin(session, more)) return code;
        exports.push_back({std::move(more.written), {}});
        sim::Part &part = *first.part;
        for (const sim::Member &m : session.part->members) {
            bool known = false;
            for (const sim::Member &k : part.members) known = known || k.name == m.name;
            if (!known) part.members.push_back(m);
        }
    }
    std::vector<const tlsfile::LibraryText *> parts;
    for (tlsfile::LibraryText &e : exports) {
        e.library = tlsfile::parse_tls(e.text);
        parts.push_back(&e);
    }
    const tlsfile::JoinResult joined = tlsfile::join_libraries(parts);
    for (const tlsfile::JoinConflict &c : joined.conflicts)
        complain("TOOLID " + quoted_toolid(c.name) + " is given by " + args.parts[c.first.source] + " and by " +
                 args.parts[c.second.source] + " with different records; rename the tool in one of the parts");
    if (!joined.conflicts.empty()) {
        complain(count(joined.conflicts.size(), "tool differs", "tools differ") + " between the parts; " + run.left);
        return kExitProblems;
    }
    run.written = joined.text;
    run.records = static_cast<int>(joined.records);
    if (joined.repeated > 0 && !args.json)
        tell(count(joined.repeated, "tool", "tools") + " given by more than one part with the same record, " +
                 "written once\n", args.output);
    return kExitOk;
}

int run_export(ExportArgs args, json *object) {
    sim::Session session;
    try {
        session = read_part_or_session(args.input);
    } catch (const sim::SessionError &e) {
        complain(e.what());
        return kExitUsage;
    }
    sim::Part &part = *session.part;
    if (!select_members(part, args.select)) return kExitUsage;

    if (!args.merge.empty()) args.output = args.merge;
    if (args.output.empty()) args.output = default_output(part);
    if (object) (*object)["output"] = args.output;
    if (is_standard_stream(args.output) && (args.append || !args.merge.empty() || args.json)) {
        complain(std::string(args.json ? "--json" : args.append ? "--append" : "--merge") +
                 " needs a file, not standard output (-)");
        return kExitUsage;
    }
    const std::string plugin = plugin_path(args.plugin);
    std::vector<std::string> inputs = args.parts;
    inputs.push_back(plugin);
    std::string error, old;
    if (!check_output(args.output, inputs, error)) {
        complain(error);
        return kExitUsage;
    }
    // --prefer: the database, read before the library is locked
    tlsfile::Database database;
    const bool preferring = !args.prefer.empty() || !args.settings.empty();
    if (preferring && !load_database(args.prefer, args.settings, database)) return kExitUsage;
    // no other writer from before the old library is read until the new one has its name
    tlsfile::OutputLock lock;
    if (!is_standard_stream(args.output) && !lock.take(args.output, error)) {
        complain(error);
        return kExitProblems;
    }
    if (args.append && !read_library_to_append(args.output, old)) return kExitUsage;
    // --merge: the library merged into, or (when there is none yet) an empty
    // one of the export's own header, which gets every tool
    LibraryFile library = library_from_text(args.output, kHeader);
    std::error_code exists_error;
    if (!args.merge.empty() && fs::exists(tlsfile::fs_path(args.output), exists_error) &&
        !read_library(args.output, library, "--merge merges only into a tool library"))
        return kExitUsage;
    const bool selective = !args.select.empty();

    if (is_standard_stream(args.output)) remove_dead_scratch(fs::temp_directory_path(exists_error) / "kesto-export.tls");
    PluginExport run{is_standard_stream(args.output) ? fs::temp_directory_path(exists_error) / "kesto-export.tls"
                                                     : lock.file(),
                     args.output, old, selective, plugin, left_as_it_was(args.output), object, "", 0};
    if (int code = run_plugin(session, run)) return code;
    if (args.parts.size() > 1) {
        if (int code = export_more_parts(args, session, run)) return code;
    }
    std::string &written = run.written;
    const int records = run.records;
    // --prefer: the database's records in place of the generated ones
    tlsfile::PreferResult preferred;
    if (preferring) {
        const std::string added = old.empty() ? written : kHeader + written.substr(old.size());
        preferred = prefer(database, part, added, args.site_geometry);
        written = old.empty() ? preferred.text : old + preferred.text.substr(sizeof kHeader - 1);
        if (object) prefer_object(database, preferred, *object);
        warn_differing(database, preferred);
    }
    // --append: the new records in the library's line ends, as merge gives them
    if (!old.empty() && !tlsfile::crlf_file(old)) {
        std::string tail;
        tlsfile::append_with_line_ends(tail, std::string_view(written).substr(old.size()), false);
        written = old + tail;
    }
    const bool dry = output_policy().dry_run;
    tlsfile::Library added;
    const size_t problems =
        check_result(args, old, written, added, object, &database, preferring ? &preferred : nullptr);
    for (const tlsfile::Tool &t : added.tools)
        if (object) (*object)["tools"].push_back(cp1251_to_utf8(t.name));
    int code = kExitOk;
    if (problems > 0) {
        const std::string what = count(problems, "problem", "problems") +
                                 " in what the plug-in wrote" + (preferring ? " and the database gave" : "");
        if (dry && !args.force) {
            for (const tlsfile::Problem &p : tlsfile::check_text(new_records(old, written)).problems)
                if (!p.tool.empty()) dry_run_refuse(p.tool, cp1251_to_utf8(p.message));
        } else if (!args.force) {
            complain(what + "; " + left_as_it_was(args.output) + "; --force writes it all the same");
            return kExitProblems;
        } else {
            warn(what + "; written all the same (--force)");
            code = kExitProblems;
        }
    }
    if (!old.empty()) {
        const tlsfile::Library held = tlsfile::parse_tls(old);
        const std::vector<tlsfile::ListedTool> again = tools_held(held, added);
        if (!again.empty()) {
            const std::string what = args.output + " already holds " + (again.size() == 1 ? "TOOLID " : "TOOLIDs ") +
                                     listed_toolids(again);
            if (dry && !args.force) {
                for (const tlsfile::ListedTool &t : again)
                    dry_run_refuse(t.name, "held already (--merge replaces it in its place, --force appends it again)");
            } else if (!args.force) {
                complain(what + "; nothing appended, " + left_as_it_was(args.output) +
                         "; --merge replaces those tools in their place, --force appends them all the same");
                return kExitProblems;
            } else {
                warn(what + (again.size() == 1 ? "; it now holds it twice (--force)" : "; it now holds them twice (--force)"));
                code = kExitProblems;
            }
        }
    }
    if (!args.merge.empty()) {
        const LibraryFile exported = library_from_text("the export", written);
        MergeRequest request;
        request.base = &library;
        request.news = {&exported};
        request.output = args.output;
        request.inputs = inputs;
        request.force = args.force;
        request.json = object;
        request.lock = &lock;
        bool merged_written = false;
        request.written = &merged_written;
        const int merged = merge_and_write(request);
        if (!merged_written) return merged;
        const std::string skips = skipped(part, records, object);
        const std::string report = preferring ? prefer_report(database, preferred) : "";
        if (!object && !tell(skips + report, args.output)) return kExitUsage;
        return std::max(code, merged);
    }
    const Output out{args.output, tlsfile::OutputKind::library, inputs, &lock,
                     "--append adds the export to it, --merge merges the export into it", "this export"};
    if (dry) return std::max(code, dry_run(out, written, object));
    if (int failed = write_output(out, written, error)) {
        complain(error);
        return failed;
    }
    if (object) {
        (*object)["written"] = true;
        (*object)["replacement"] = replacement_object();
    }
    const std::string head = std::string(args.append ? "appended to " : "wrote ") +
                             (is_standard_stream(args.output) ? "standard output" : args.output) + ": " +
                             count(static_cast<size_t>(records), "tool", "tools") + "\n";
    const std::string skips = skipped(part, records, object);
    const std::string report = preferring ? prefer_report(database, preferred) : "";
    if (!object && !tell(head + skips + report + replacement_note(), args.output)) return kExitUsage;
    return code;
}

void add(CLI::App &app) {
    auto args = std::make_shared<ExportArgs>();
    CLI::App *cmd = app.add_subcommand("export");
    describe(cmd, "Write a part's tools as a *.tls tool library through the plug-in",
             "Runs the plug-in's all-tools export (with --select, its selective export) on a part file or the "
             "part of a session file; without a file, on the embedded demo part. Without -o the library is "
             "named after the part, in the current folder; -o - writes it to standard output. Several parts "
             "are exported one by one into one library, their tools in the order given: a TOOLID two parts "
             "give with different records is refused, naming both parts; the same record twice is written "
             "once.\n\n"
             "What the plug-in wrote is checked as check does; only a sound result takes the output's name, "
             "whole, and only a new name or a regular file other than the inputs. A file that holds a TOOLID "
             "the export does not write is not replaced: --append adds the tools to it (refused when it holds "
             "one of their TOOLIDs already), --merge merges them into it as merge does (a part exported again "
             "replaces its tools instead of repeating them), and --force replaces it, or writes a library with "
             "problems, all the same. A file it replaces is named with each record whose bytes change; --backup "
             "keeps the old one as NAME~ (--backup=numbered: NAME.~N~), and --dry-run writes nothing and lists "
             "per TOOLID what would be added, replaced, kept or refused (exit 0 when nothing would change, 1 "
             "when something would).\n\n"
             "With --prefer (or --settings, for the folder a settings file names as [VMAIN] TLS) a tool the "
             "site's tool database holds gets the database's record in place of the generated one: the first "
             "in path order whose TOOLID is the tool's catalogue number, else its name, and whose geometry is "
             "the tool's; byte for byte but for the name on its TOOLID line, the part's. A record found so but "
             "of other geometry is not taken (a warning shows the first line that differs); "
             "--prefer-site-geometry takes it all the same. The others are generated; the summary says which came "
             "from where.\n\n"
             "Prints the file written, the tools written and one line on those skipped, and relays the "
             "plug-in's notes on tools (a value not finite, written otherwise) as warnings; -q prints only "
             "errors, --json one object.\n\n"
             "Exit 0 when the file was written, 1 when the export failed (the plug-in stopped, wrote no tool "
             "or wrote a file with problems, --append or --merge was refused, the file cannot be written) or "
             "--force wrote a library with problems, 2 for bad arguments, a bad part file or an output that "
             "may not be written or replaced, 3 when the plug-in cannot be loaded.",
             {{"export PART.json -o NEW.tls", "all the part's tools"},
              {"export PART.json --select EM10,'DRILL_8.5 |HSS|' -o SOME.tls",
               "two tools, by their names in the part or in the library"},
              {"export PART.json --select 'EM*' -o MILLS.tls", "the tools whose names start with EM"},
              {"export PART.json --merge SITE.tls", "into the site library, replacing the part's tools"},
              {"export HOUSING.json COVER.json -o CELL.tls", "the tools of two parts in one library"},
              {"export PART.json --settings kesto_tools_vericut.ini -o NEW.tls",
               "the site's records for the tools its tool database holds"}});
    cmd->add_option(
        "part", args->parts,
        "Part files or session files (JSON), their tools in one library in the order given; default: the demo part");
    CLI::Option *output = cmd->add_option(
        "-o,--output", args->output, "The *.tls file (default: the part's name with .tls); - writes standard output");
    add_list_option(cmd, "--select", args->select,
                    "Export only these tools (the navigator selection), by their names in the part or as the "
                    "library writes them ('|' for '\"'), or by patterns (* any text, ? one character)");
    CLI::Option *append =
        cmd->add_flag("--append", args->append,
                      "Append to an existing tool library instead of rewriting it (refused when it holds one of "
                      "the TOOLIDs already, unless --force)");
    cmd->add_option("--merge", args->merge,
                    "Merge the tools into this tool library (created when missing) as merge does: a tool it holds "
                    "is replaced in its place, a new one appended; prints the replaced and the added tools")
        ->excludes(append)
        ->excludes(output);
    cmd->add_flag("--force", args->force,
                  "Replace a file holding other TOOLIDs (or no tool library), append TOOLIDs held already, or "
                  "write a library with problems (exit 1)");
    add_backup_option(cmd, args->backup);
    add_dry_run_option(cmd, args->dry_run);
    cmd->add_flag("--prefer-site-geometry", args->site_geometry,
                  "With --prefer, take a database record found by catalogue number or name even when its "
                  "geometry differs from the part's tool (each such tool is warned about)");
    CLI::Option *prefer = add_list_option(
        cmd, "--prefer", args->prefer,
        "Take a tool's record from this tool database, folders of *.tls libraries (subfolders included) or "
        "library files, when it holds one: by the tool's catalogue number as its TOOLID, else by its name");
    cmd->add_option("--settings", args->settings,
                    "--prefer the folder this settings file (kesto_tools_vericut.ini) names as [VMAIN] TLS")
        ->excludes(prefer);
    cmd->add_flag("-q,--quiet", args->quiet, "Print only errors");
    cmd->add_flag("--json", args->json, "Print one JSON object (see the README)");
    cmd->add_option("--plugin", args->plugin, "Plug-in library (default: beside this program)");
    cmd->callback([args] {
        set_quiet(args->quiet);
        args->input = args->parts.empty() ? "" : args->parts[0];
        if (args->parts.size() > 1 && (!args->select.empty() || args->append)) {
            complain(std::string(args->append ? "--append" : "--select") + " takes one part; export the parts "
                     "one by one, or all of them whole");
            set_exit_code(kExitUsage);
            return;
        }
        json object = {{"part", args->input.empty() ? std::string("the embedded demo part") : args->input},
                       {"output", args->output},
                       {"mode", args->append ? "append" : args->merge.empty() ? "write" : "merge"},
                       {"written", false},
                       {"tools", json::array()},
                       {"skipped", json::array()},
                       {"notes", json::array()},
                       {"problems", json::array()},
                       {"replacement", nullptr}};
        if (!args->merge.empty())
            for (const char *key : {"replaced", "added", "kept"}) object[key] = key[0] == 'k' ? json() : json::array();
        if (!args->prefer.empty() || !args->settings.empty())
            for (const char *key : {"preferred", "generated", "differing"}) object[key] = json::array();
        if (args->dry_run) object["plan"] = nullptr;
        const bool backup_ok = set_output_policy(args->force, args->backup, args->dry_run);
        const int code = backup_ok ? run_export(*args, args->json ? &object : nullptr) : kExitUsage;
        set_exit_code(args->json && !print_json(object) ? kExitUsage : code);
    });
}

CommandRegistrar registrar(20, add);

}  // namespace

int read_tools_input(const std::string &path, const std::string &plugin, std::string &library, std::string &part) {
    std::string text, error;
    part.clear();
    if (!read_input(path, tlsfile::kMaxLibraryBytes, text, error)) {
        complain("cannot read " + error);
        return kExitUsage;
    }
    if (tlsfile::starts_as_library(text)) {
        library = std::move(text);
        return kExitOk;
    }
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos || text[first] != '{') {
        complain(input_label(path) + ": is neither a tool library (its first line is not \"" +
                 tlsfile::kLibraryHeaderLine + "\") nor a part or session file (JSON)");
        return kExitUsage;
    }
    part = std::move(text);
    return export_part_text(input_label(path), part, plugin, library);
}

std::string part_stem(const std::string &raw_name) {
    std::string name = cp1251_to_utf8(raw_name);
    size_t slash = name.find_last_of("/\\:");
    std::string stem = slash == std::string::npos ? name : name.substr(slash + 1);
    size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot > 0) stem.erase(dot);
    return stem.empty() || stem == "." || stem == ".." ? std::string("tools") : stem;
}

std::string written_name(std::string name) {
    for (char &c : name) {
        if (c == '"') c = '|';
        else if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    }
    return name;
}

int export_part_text(const std::string &label, const std::string &part, const std::string &plugin,
                     std::string &library) {
    sim::Session session;
    try {
        session = sim::parse_part_or_session(part, label);
    } catch (const sim::SessionError &e) {
        complain(e.what());
        return kExitUsage;
    }
    session.part->selected.clear();
    std::error_code ec;
    const fs::path scratch = fs::temp_directory_path(ec) / "kesto-export.tls";
    remove_dead_scratch(scratch);
    PluginExport run{scratch, tlsfile::utf8_path(scratch), "", false, plugin_path(plugin), "nothing was compared",
                     nullptr, "", 0};
    if (int code = run_plugin(session, run)) return code == kExitNoPlugin ? code : kExitUsage;
    ExportArgs args;
    args.output = "the export of " + label;
    tlsfile::Library added;
    if (const size_t problems = check_result(args, "", run.written, added, nullptr)) {
        complain(count(problems, "problem", "problems") +
                 " in what the plug-in wrote; nothing was compared");
        return kExitUsage;
    }
    library = std::move(run.written);
    return kExitOk;
}

}  // namespace kesto::cli
