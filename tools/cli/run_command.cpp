// kesto-tools-vericut run SESSION.json...: scripted sessions, their transcripts.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <CLI/CLI.hpp>

#include "host/sim/sim_host.h"
#include "tools/cli/commands.h"
#include "tools/cli/inputs.h"
#include "tools/cli/outputs.h"
#include "tools/cli/session_input.h"
#include "tools/cli/usage.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/source.h"


namespace kesto::cli {
namespace {

struct RunArgs {
    std::vector<std::string> sessions;
    std::string plugin;
    std::vector<std::string> folders;  // none, one for all, or one per session
    std::vector<std::string> outputs;  // the same
    bool json = false;
    OutputOptions output_options;
    ReportOptions report;  // run has neither -q nor --json: its transcript is its output
};

// One session of the command: its file, folder and transcript.
struct OneRun {
    std::string session;
    std::string folder;
    std::string output;
};

int run_one(Context &ctx, const OneRun &args, const std::string &plugin_option, bool json) {
    std::string error;
    sim::Session session;
    try {
        tlsfile::Source source;
        if (!tlsfile::read_source(args.session, source, error, tlsfile::kMaxSessionBytes)) throw sim::SessionError(error);
        if (source.kind == tlsfile::SourceKind::library)
            throw sim::SessionError(tlsfile::wrong_kind(source, "run", tlsfile::Wanted::part));
        session = sim::parse_session(source.text, args.session);
    } catch (const sim::SessionError &e) {
        ctx.error(e.what());
        return kExitUsage;
    }
    // Inputs and the plug-in keep their names from the folder the command
    // started in.
    const std::string plugin = plugin_path(plugin_option);
    const std::vector<std::string> inputs = {absolute_path(args.session), plugin};
    if (!args.folder.empty()) {
        std::error_code ec;
        std::filesystem::current_path(tlsfile::fs_path(args.folder), ec);
        if (ec) {
            ctx.error(args.folder + ": cannot change to this folder: " + folder_cause(args.folder, ec));
            return kExitUsage;
        }
    }
    const Output out(args.output.empty() ? "-" : args.output, tlsfile::OutputKind::transcript, inputs, "the transcript", "run");
    if (!check_output(ctx, out)) return kExitUsage;
    try {
        create_session_files(session, inputs);
    } catch (const sim::SessionError &e) {
        ctx.error(e.what());
        return kExitUsage;
    }
    sim::RunOptions options;
    options.plugin_path = plugin;
    sim::RunResult result = sim::run_session(session, options);
    // a transcript named *.json is one
    const bool as_json = json || (!args.output.empty() && has_extension(args.output, {".json"}));
    const std::string text = as_json ? sim::render_json(result.events) : sim::render(result.events);
    Written written;
    if (int code = write_output(ctx, out, text, written)) return code;
    if (result.return_codes.empty()) {
        ctx.error(result.error);
        return kExitNoPlugin;
    }
    if (!result.error.empty()) {
        ctx.error(args.session + ": " + result.error);
        return kExitUsage;
    }
    return kExitOk;
}

// Each session runs from the folder the command started in, whatever the
// ones before it gave; the worst exit code is the command's.
int run(const RunArgs &args, Context &ctx) {
    set_policy(ctx, args.output_options);
    const size_t n = args.sessions.size();
    for (const auto *list : {&args.folders, &args.outputs})
        if (list->size() > 1 && list->size() != n) {
            ctx.error("-C and -o are given once for every session or once per session, in their order (" +
                     count(n, "session", "sessions") + ")");
            return kExitUsage;
        }
    auto pick = [](const std::vector<std::string> &list, size_t i) {
        return list.empty() ? std::string() : list[list.size() == 1 ? 0 : i];
    };
    std::vector<OneRun> runs;
    std::vector<std::filesystem::path> transcripts;
    for (size_t i = 0; i < n; ++i) {
        runs.push_back({args.sessions[i], pick(args.folders, i), pick(args.outputs, i)});
        if (runs.back().output.empty() || runs.back().output == "-") continue;
        std::filesystem::path t =
            tlsfile::full_path(tlsfile::fs_path(runs.back().folder) / tlsfile::fs_path(runs.back().output))
                .lexically_normal();
        if (std::find(transcripts.begin(), transcripts.end(), t) != transcripts.end()) {
            ctx.error(runs.back().output + ": two sessions would write this transcript; give -o or -C once per session");
            return kExitUsage;
        }
        transcripts.push_back(t);
    }
    std::error_code ec;
    const std::filesystem::path start = std::filesystem::current_path(ec);
    int code = kExitOk;
    for (const OneRun &one : runs) {
        if (!start.empty()) std::filesystem::current_path(start, ec);
        code = std::max(code, run_one(ctx, one, args.plugin, args.json));
    }
    return code;
}

}  // namespace

void add_run_command(CLI::App &app, Context &ctx) {
    auto args = std::make_shared<RunArgs>();
    CLI::App *cmd = app.add_subcommand("run");
    describe(cmd, "Run session files in the simulated host, print their transcripts",
             "The transcript holds every dialog with its answer, the plug-in's standard output and error, the "
             "system log, the status line and the listing window, one event a line (--json: a JSON array). "
             "-C runs in another folder: the session's files, -o and every relative path of the session land "
             "there.\n\n"
             "Several sessions run one after another, each as it would alone, from the folder the command "
             "started in; -C and -o are given once for all of them or once per session, in their order. "
             "Without -o the transcripts follow one another on standard output.\n\n"
             "A file already at -o is replaced only when it is a transcript, unless --force is given; its name "
             "ends in .txt, .log or .json (a JSON transcript), or has no extension.\n\n"
             "Exit 0 when the sessions ran, 1 when a transcript cannot be written, 2 for a bad session file "
             "or an output that may not be written or replaced, 3 when the plug-in cannot be loaded; of several sessions, "
             "the highest.",
             {{"run SESSION.json", "the transcript on standard output"},
              {"run SESSION.json -C out -o transcript.txt", "runs in the folder out, the transcript kept there"},
              {"run a.json b.json -C out/a -C out/b -o transcript.txt", "two sessions, each in its own folder"},
              {"run SESSION.json --json | jq '.[] | select(.kind == \"question\")'", "the questions asked"}});
    cmd->add_option("session", args->sessions, "Session files (JSON)")->required()->type_name(kFileType);
    cmd->add_option("--plugin", args->plugin, "Plug-in library (default: beside this program, or $KESTO_PLUGIN)")
        ->type_name(kFileType);
    add_list_option(cmd, "-C,--folder", args->folders,
                    "Run in this folder (the session's files and relative paths land there); once for all "
                    "sessions or once per session")
        ->type_name(kFolderType);
    add_list_option(cmd, "-o,--output", args->outputs,
                    "Write the transcript to this file, - is standard output; once for all sessions (each in "
                    "its own -C folder) or once per session");
    cmd->add_flag("--json", args->json, "Transcript as JSON");
    add_force_option(cmd, args->output_options, "Replace an output that is not a transcript");
    cmd->callback(reported(ctx, args->report, [args, &ctx] { return Result(run(*args, ctx)); }));
}

}  // namespace kesto::cli
