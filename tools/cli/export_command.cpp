// kesto-tools-vericut export: the plug-in's all-tools (or selective) export
// without the host.  The dialogs are answered by a plan; the plug-in writes
// into a scratch file, the result is checked, and only a sound result takes
// the output's name, whole.
#include <cctype>
#include <filesystem>
#include <system_error>
#include <unordered_map>

#include "host/common/cp1251.h"
#include "host/common/library_writer.h"
#include "tools/cli/commands.h"
#include "tools/cli/library_merge.h"
#include "tools/cli/session_input.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/output_file.h"
#include "tools/tlsfile/tls_check.h"

namespace fs = std::filesystem;

namespace kesto::cli {
namespace {

// The first lines the plug-in writes into a new tool library.
const char kHeader[] = "CGTECH Tool Library File\r\nVersion-5.2\r\n\r\n";

struct ExportArgs {
    std::string input;
    std::string output;
    std::vector<std::string> select;
    bool append = false;
    std::string merge;
    std::string plugin;
};

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
std::string default_output(const sim::Part &part) {
    std::string name = cp1251_to_utf8(part.name);
    size_t slash = name.find_last_of("/\\:");
    std::string stem = slash == std::string::npos ? name : name.substr(slash + 1);
    size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot > 0) stem.erase(dot);
    return (stem.empty() || stem == "." || stem == ".." ? std::string("tools") : stem) + ".tls";
}

// Why a member of the machine-tool root gets no record.
std::string skip_reason(const sim::Member &m, const std::vector<std::string> &selected) {
    if (m.name == "NONE") return "the host's NONE member, no tool";
    if (m.object_type != UF_machining_tool_type) return "not a tool (object type " + std::to_string(m.object_type) + ")";
    if (m.type < 0 || m.subtype < 0) return "negative cutter type or subtype";
    if (!selected.empty()) {
        bool chosen = false;
        for (const std::string &s : selected) chosen = chosen || s == m.name;
        if (!chosen) return "not selected";
    }
    return "";
}

// The lines that say what was left out.
std::string skipped(const sim::Part &part, int records) {
    std::string out;
    sim::Member none;
    none.name = "NONE";
    int expected = 0;
    auto judge = [&](const sim::Member &m) {
        std::string why = skip_reason(m, part.selected);
        if (why.empty()) ++expected;
        else out += "skipped " + cp1251_to_utf8(m.name) + ": " + why + "\n";
    };
    if (part.none_member) judge(none);
    for (const sim::Member &m : part.members) judge(m);
    for (const sim::Member &m : part.others)
        for (const std::string &s : part.selected)
            if (s == m.name) out += "skipped " + cp1251_to_utf8(m.name) + ": not in the machine-tool root\n";
    if (expected != records)
        out += "note: " + std::to_string(expected) + " tools were expected, " + std::to_string(records) + " written\n";
    return out;
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
            fs::path candidate = fs::absolute(
                kesto::temporary_name(library.native(), static_cast<unsigned long>(process_id()), n), ec);
            if (!ec && fs::create_directory(candidate, ec)) folder_ = candidate;
        }
        if (!ec && folder_.empty()) ec = std::make_error_code(std::errc::file_exists);
        if (!ec) fs::current_path(folder_, ec);
        entered_ = !ec;
        cause_ = ec.message();
        const std::string leaf = tlsfile::utf8_path(library.filename());
        bool plain = !leaf.empty();
        for (char c : leaf) plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-');
        name_ = plain ? leaf : "export.tls";
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!previous_.empty()) fs::current_path(previous_, ec);
        if (!folder_.empty()) fs::remove_all(folder_, ec);
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

// Checks the new records as a library of their own (so that TOOLIDs the old
// file holds are warnings, not problems) and reports what is wrong at the
// lines the output would have.
bool check_result(const ExportArgs &args, const std::string &old, const std::string &written) {
    const bool appended = !old.empty();
    const std::string added = written.substr(old.size());
    tlsfile::CheckResult result = tlsfile::check_text(appended ? kHeader + added : written);
    const int shift = appended ? count_lines(old) - count_lines(kHeader) : 0;
    for (tlsfile::Problem p : result.problems) {
        p.line += shift;
        std::string line = tlsfile::format_problem(p, args.output);
        line.pop_back();
        complain(line);
    }
    if (!result.problems.empty()) {
        size_t n = result.problems.size() + result.problems_beyond;
        complain(std::to_string(n) + (n == 1 ? " problem" : " problems") + " in what the plug-in wrote; " +
                 args.output + " is left as it was");
        return false;
    }
    if (appended) {
        std::unordered_map<std::string, int> held;
        for (const tlsfile::Tool &t : tlsfile::parse_tls(old).tools) held.emplace(t.name, t.line);
        for (const tlsfile::Tool &t : result.library.tools) {
            auto it = held.find(t.name);
            if (it != held.end())
                complain("warning: " + args.output + " already holds TOOLID " + quoted_toolid(t.name) + " (line " +
                         std::to_string(it->second) + "); it now holds it twice");
        }
    }
    return true;
}

int run_export(ExportArgs args) {
    sim::Session session;
    try {
        session = read_part_or_session(args.input);
    } catch (const sim::SessionError &e) {
        complain(e.what());
        return kExitUsage;
    }
    sim::Part &part = *session.part;
    part.selected.clear();
    for (const std::string &name : args.select) {
        std::string host_name = utf8_to_cp1251(name);
        bool found = false;
        for (const sim::Member &m : part.members) found = found || m.name == host_name;
        for (const sim::Member &m : part.others) found = found || m.name == host_name;
        if (!found) {
            complain("--select " + name + ": the part has no such tool");
            return kExitUsage;
        }
        bool again = false;
        for (const std::string &s : part.selected) again = again || s == host_name;
        if (!again) part.selected.push_back(host_name);
    }

    if (!args.merge.empty()) args.output = args.merge;
    if (args.output.empty()) args.output = default_output(part);
    const std::string plugin = plugin_path(args.plugin);
    const std::vector<std::string> inputs = {args.input, plugin};
    std::string error, old;
    if (!tlsfile::check_output_target(args.output, inputs, error)) {
        complain(error);
        return kExitUsage;
    }
    // no other writer from before the old library is read until the new one has its name
    tlsfile::OutputLock lock;
    if (!lock.take(args.output, error)) {
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

    std::string written;
    PlannedUser user;
    sim::RunResult result;
    {
        std::error_code ec;
        ScratchFolder scratch(lock.file());
        if (!scratch.entered()) {
            complain(args.output + ": cannot work in its folder: " + scratch.cause());
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
        options.plugin_path = plugin;
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
        complain("the plug-in showed a dialog this command does not answer: " + user.unknown_dialog() + "; " +
                 args.output + " is left as it was");
        return kExitProblems;
    }
    if (failed) return kExitProblems;
    int records = written.size() > old.size() ? count_records(written.substr(old.size())) : 0;
    if (records == 0) {
        complain("no tool was written; " + args.output + " is left as it was");
        return kExitProblems;
    }
    if (!check_result(args, old, written)) return kExitProblems;
    if (!args.merge.empty()) {
        const LibraryFile exported = library_from_text("the export", written);
        MergeRequest request;
        request.base = &library;
        request.news = {&exported};
        request.output = args.output;
        request.inputs = inputs;
        request.lock = &lock;
        int code = merge_and_write(request);
        if (code != kExitOk) return code;
        return print(skipped(part, records)) ? kExitOk : kExitUsage;
    }
    if (!tlsfile::write_output_file(args.output, written, error, inputs, &lock)) {
        complain(error + "; it is left as it was");
        return kExitProblems;
    }
    const std::string head = std::string(args.append ? "appended to " : "wrote ") + args.output + ": " +
                             std::to_string(records) + (records == 1 ? " tool" : " tools") + "\n";
    return print(head + skipped(part, records)) ? kExitOk : kExitUsage;
}

void add(CLI::App &app) {
    auto args = std::make_shared<ExportArgs>();
    CLI::App *cmd = app.add_subcommand(
        "export", "Write the tools of a part as a *.tls tool library, through the plug-in's "
                  "all-tools export (or its selective export with --select). Without a file, the "
                  "embedded demo part. What the plug-in wrote is checked as check does; only a "
                  "sound result takes the output's name, whole, and only a new name or a regular "
                  "file other than the inputs. Prints the file written, the tools written and "
                  "skipped. With --merge the tools are merged into a tool library as merge does, "
                  "so that a part exported again replaces its tools instead of repeating them. "
                  "Exit 0 when the file was written, 1 when the export failed (the "
                  "plug-in stopped, wrote no tool or wrote a file with problems, or the file "
                  "cannot be written), 2 for bad arguments, a bad part file or an output that may "
                  "not be written, 3 when the plug-in cannot be loaded.");
    cmd->add_option("part", args->input, "Part file or session file (JSON); default: the demo part");
    CLI::Option *output =
        cmd->add_option("-o,--output", args->output, "The *.tls file (default: the part's name with .tls)");
    cmd->add_option("--select", args->select, "Export only these tools (the navigator selection)");
    CLI::Option *append =
        cmd->add_flag("--append", args->append,
                      "Append to an existing tool library instead of rewriting it (warns about TOOLIDs it holds)");
    cmd->add_option("--merge", args->merge,
                    "Merge the tools into this tool library (created when missing) as merge does: a tool it holds "
                    "is replaced in its place, a new one appended; prints the replaced and the added tools")
        ->excludes(append)
        ->excludes(output);
    cmd->add_option("--plugin", args->plugin, "Plug-in library (default: beside this program)");
    cmd->callback([args] { set_exit_code(run_export(*args)); });
}

CommandRegistrar registrar(20, add);

}  // namespace
}  // namespace kesto::cli
