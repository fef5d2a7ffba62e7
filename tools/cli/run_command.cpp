// kesto-tools-vericut run SESSION.json: one scripted session, its transcript.
#include <cstdio>
#include <fstream>
#include <iostream>

#include "host/sim/sim_host.h"
#include "tools/cli/commands.h"

#if defined(_WIN32)
#  include <direct.h>
#  include <fcntl.h>
#  include <io.h>
#  define chdir _chdir
#else
#  include <unistd.h>
#endif

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
    sim::Session session;
    try {
        session = sim::load_session(args.session);
    } catch (const sim::SessionError &e) {
        complain(e.what());
        return kExitUsage;
    }
    std::string plugin = plugin_path(args.plugin);
    if (!args.folder.empty() && chdir(args.folder.c_str()) != 0) {
        complain(args.folder + ": cannot change to this folder");
        return kExitUsage;
    }
    try {
        sim::create_session_files(session);
    } catch (const sim::SessionError &e) {
        complain(e.what());
        return kExitUsage;
    }
    sim::RunOptions options;
    options.plugin_path = plugin;
    sim::RunResult result = sim::run_session(session, options);
    std::string text = args.json ? sim::render_json(result.events) : sim::render(result.events);
    if (args.output.empty()) {
#if defined(_WIN32)
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    } else {
        std::ofstream out(args.output, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out) {
            complain(args.output + ": cannot write the transcript");
            return kExitProblems;
        }
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
    CLI::App *cmd = app.add_subcommand(
        "run", "Run one session file in the simulated host and print its transcript: every "
               "dialog with its answer, the plug-in's standard output and error, the system "
               "log, the status line and the listing window. Exit 0 when the session ran, "
               "2 for a bad session file, 3 when the plug-in cannot be loaded.");
    cmd->add_option("session", args->session, "Session file (JSON)")->required();
    cmd->add_option("--plugin", args->plugin, "Plug-in library (default: beside this program)");
    cmd->add_option("-C,--folder", args->folder, "Run in this folder (the session's files and relative paths land there)");
    cmd->add_option("-o,--output", args->output, "Write the transcript to this file");
    cmd->add_flag("--json", args->json, "Transcript as JSON");
    cmd->callback([args] { set_exit_code(run(*args)); });
}

CommandRegistrar registrar(10, add);

}  // namespace
}  // namespace kesto::cli
