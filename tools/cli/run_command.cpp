// kesto-tools-vericut run SESSION.json: one scripted session, its transcript.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "host/sim/sim_host.h"
#include "tools/cli/commands.h"
#include "tools/cli/session_input.h"
#include "tools/tlsfile/input_file.h"


namespace kesto::cli {
namespace {

struct RunArgs {
    std::string session;
    std::string plugin;
    std::string folder;
    std::string output;
    bool json = false;
};

int run(const RunArgs &args) {
    std::string text, error;
    sim::Session session;
    try {
        if (!tlsfile::read_input_file(args.session, tlsfile::kMaxSessionBytes, false, text, error))
            throw sim::SessionError(error);
        session = sim::parse_session(text, args.session);
    } catch (const sim::SessionError &e) {
        complain(e.what());
        return kExitUsage;
    }
    // Inputs and the plug-in keep their names from the folder the command
    // started in.
    const std::string plugin = plugin_path(args.plugin);
    const std::vector<std::string> inputs = {absolute_path(args.session), plugin};
    if (!args.folder.empty()) {
        std::error_code ec;
        std::filesystem::current_path(tlsfile::fs_path(args.folder), ec);
        if (ec) {
            complain(args.folder + ": cannot change to this folder: " + ec.message());
            return kExitUsage;
        }
    }
    if (!args.output.empty() && !check_output(args.output, inputs, error)) {
        complain(error);
        return kExitUsage;
    }
    try {
        create_session_files(session, inputs);
    } catch (const sim::SessionError &e) {
        complain(e.what());
        return kExitUsage;
    }
    sim::RunOptions options;
    options.plugin_path = plugin;
    sim::RunResult result = sim::run_session(session, options);
    text = args.json ? sim::render_json(result.events) : sim::render(result.events);
    if (!write_output(args.output.empty() ? "-" : args.output, text, error, inputs)) {
        complain(error + "; the transcript is not written");
        return kExitProblems;
    }
    if (result.return_codes.empty()) {
        complain(result.error);
        return kExitNoPlugin;
    }
    if (!result.error.empty()) {
        complain(args.session + ": " + result.error);
        return kExitUsage;
    }
    return kExitOk;
}

void add(CLI::App &app) {
    auto args = std::make_shared<RunArgs>();
    CLI::App *cmd = app.add_subcommand("run");
    describe(cmd, "Run a session file in the simulated host, print its transcript",
             "The transcript holds every dialog with its answer, the plug-in's standard output and error, the "
             "system log, the status line and the listing window, one event a line (--json: a JSON array). "
             "-C runs in another folder: the session's files, -o and every relative path of the session land "
             "there.\n\n"
             "Exit 0 when the session ran, 1 when the transcript cannot be written, 2 for a bad session file "
             "or an output that may not be written, 3 when the plug-in cannot be loaded.",
             {{"run SESSION.json", "the transcript on standard output"},
              {"run SESSION.json -C out -o transcript.txt", "runs in the folder out, the transcript kept there"},
              {"run SESSION.json --json | jq '.[] | select(.kind == \"question\")'", "the questions asked"}});
    cmd->add_option("session", args->session, "Session file (JSON)")->required();
    cmd->add_option("--plugin", args->plugin, "Plug-in library (default: beside this program)");
    cmd->add_option("-C,--folder", args->folder, "Run in this folder (the session's files and relative paths land there)");
    cmd->add_option("-o,--output", args->output, "Write the transcript to this file; - is standard output");
    cmd->add_flag("--json", args->json, "Transcript as JSON");
    cmd->callback([args] { set_exit_code(run(*args)); });
}

CommandRegistrar registrar(10, add);

}  // namespace
}  // namespace kesto::cli
