// kesto-tools-vericut export: the plug-in's all-tools (or selective) export
// without the host.  The dialogs are answered by a plan; the file is written
// by the plug-in itself into a temporary file beside the output, which takes
// the output's name only when the export succeeded.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "host/common/cp1251.h"
#include "tools/cli/commands.h"
#include "tools/cli/session_input.h"

namespace fs = std::filesystem;

namespace kesto::cli {
namespace {

struct ExportArgs {
    std::string input;
    std::string output;
    std::vector<std::string> select;
    bool append = false;
    std::string plugin;
};

std::string read_all(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int count_records(const std::string &text) {
    int n = 0;
    for (size_t at = 0; (at = text.find("TOOLID \"", at)) != std::string::npos; ++at)
        if (at == 0 || text[at - 1] == '\n') ++n;
    return n;
}

std::string default_output(const sim::Part &part) {
    std::string name = cp1251_to_utf8(part.name);
    std::string stem = fs::path(name).stem().string();
    return (stem.empty() ? std::string("tools") : stem) + ".tls";
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

int run_export(const ExportArgs &args) {
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
        part.selected.push_back(host_name);
    }

    fs::path output = args.output.empty() ? fs::path(default_output(part)) : fs::path(args.output);
    if (output.has_parent_path() && !fs::is_directory(output.parent_path())) {
        complain(output.parent_path().string() + ": no such folder");
        return kExitUsage;
    }
    fs::path temp = output.parent_path() /
                    ("." + output.filename().string() + ".partial-" + std::to_string(process_id()));
    std::string temp_host = utf8_to_cp1251(temp.string());
    if (temp_host.size() >= UF_FILENAME_BUFSIZE - 1) {
        complain(output.string() + ": the path is longer than the host's file names");
        return kExitUsage;
    }
    std::error_code ec;
    size_t kept = 0;
    if (args.append && fs::exists(output)) {
        fs::copy_file(output, temp, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            complain(output.string() + ": cannot be copied for appending: " + ec.message());
            return kExitProblems;
        }
        kept = static_cast<size_t>(fs::file_size(temp));
    }
    bool selective = !args.select.empty();

    PlannedUser user;
    user.on("Select menu ", [selective](const sim::Event &, int times) {
        return menu_answer(times == 1 ? (selective ? 6 : 5) : UF_UI_CANCEL);
    });
    user.on("Select Tools and pick 'Fix'", [](const sim::Event &, int) { return menu_answer(5); });
    user.on("Create TLS file..?", [](const sim::Event &, int) { return question_answer(1); });
    user.on("Выберите файл с инструментом..",
            [temp](const sim::Event &, int) { return file_answer(temp.string()); });
    user.on("Create TLS - файл...",
            [&args](const sim::Event &, int) { return question_answer(args.append ? 2 : 1); });
    user.on("Open Vericut ...?", [](const sim::Event &, int) { return question_answer(2); });

    sim::RunOptions options;
    options.plugin_path = plugin_path(args.plugin);
    options.answers = &user;
    sim::RunResult result = sim::run_session(session, options);
    if (result.return_codes.empty()) {
        fs::remove(temp, ec);
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
    if (!fs::exists(temp)) {
        if (!failed) complain("the plug-in wrote no file");
        return kExitProblems;
    }
    std::string written = read_all(temp);
    int records = count_records(written.substr(kept));
    if (failed || records == 0) {
        fs::remove(temp, ec);
        if (!failed) complain("no tool was written; " + output.string() + " is left as it was");
        return kExitProblems;
    }
    fs::rename(temp, output, ec);
    if (ec) {
        fs::remove(temp, ec);
        complain(output.string() + ": cannot be written: " + ec.message());
        return kExitProblems;
    }

    std::cout << (args.append ? "appended to " : "wrote ") << output.string() << ": " << records
              << (records == 1 ? " tool" : " tools") << "\n";
    std::vector<sim::Member> root;
    if (part.none_member) {
        sim::Member none;
        none.name = "NONE";
        root.push_back(none);
    }
    root.insert(root.end(), part.members.begin(), part.members.end());
    int expected = 0;
    for (const sim::Member &m : root) {
        std::string why = skip_reason(m, part.selected);
        if (why.empty()) ++expected;
        else std::cout << "skipped " << cp1251_to_utf8(m.name) << ": " << why << "\n";
    }
    for (const sim::Member &m : part.others)
        for (const std::string &s : part.selected)
            if (s == m.name)
                std::cout << "skipped " << cp1251_to_utf8(m.name) << ": not in the machine-tool root\n";
    if (expected != records)
        std::cout << "note: " << expected << " tools were expected, " << records << " written\n";
    return kExitOk;
}

void add(CLI::App &app) {
    auto args = std::make_shared<ExportArgs>();
    CLI::App *cmd = app.add_subcommand(
        "export", "Write the tools of a part as a *.tls tool library, through the plug-in's "
                  "all-tools export (or its selective export with --select). Without a file, the "
                  "embedded demo part. Prints the file written, the tools written and skipped.");
    cmd->add_option("part", args->input, "Part file or session file (JSON); default: the demo part");
    cmd->add_option("-o,--output", args->output, "The *.tls file (default: the part's name with .tls)");
    cmd->add_option("--select", args->select, "Export only these tools (the navigator selection)");
    cmd->add_flag("--append", args->append, "Append to an existing file instead of rewriting it");
    cmd->add_option("--plugin", args->plugin, "Plug-in library (default: beside this program)");
    cmd->callback([args] { set_exit_code(run_export(*args)); });
}

CommandRegistrar registrar(20, add);

}  // namespace
}  // namespace kesto::cli
