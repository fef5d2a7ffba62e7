// kesto-tools-vericut play: the plug-in's session at the terminal.  The
// host's dialogs are drawn in UTF-8 and the person types the answers.
#include <algorithm>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "host/common/cp1251.h"
#include "tools/cli/commands.h"
#include "tools/cli/inputs.h"
#include "tools/cli/part_input.h"
#include "tools/cli/session_input.h"
#include "tools/cli/play_terminal.h"
#include "tools/cli/terminal.h"
#include "tools/cli/usage.h"

namespace kesto::cli {
namespace {

struct PlayArgs {
    std::string input;
    std::string plugin;
    bool quiet = false;    // the plug-in's diagnostic output not shown
    ReportOptions report;  // play draws its dialogs itself: no report
};
int run_play(const PlayArgs &args, Context &ctx) {
    sim::Session session;
    try {
        session = read_part_or_session(args.input);
        session.answers.clear();
        create_session_files(session, {absolute_path(args.input), plugin_path(args.plugin)});
    } catch (const sim::SessionError &e) {
        ctx.error(e.what());
        return kExitUsage;
    }
    const std::unique_ptr<sim::AnswerSource> user = terminal_user(session.part ? &*session.part : nullptr);
    sim::RunOptions options;
    options.plugin_path = plugin_path(args.plugin);
    options.answers = user.get();
    const bool quiet = args.quiet, colour = colour_wanted(sim::original_stdout_fd());
    bool listing_open = false;
    options.on_event = [quiet, colour, &listing_open](const sim::Event &e) { show_event(e, quiet, colour, listing_open); };
    sim::RunResult result = sim::run_session(session, options);
    if (result.return_codes.empty()) {
        ctx.error(result.error);
        return kExitNoPlugin;
    }
    draw_ended();
    return kExitOk;
}

}  // namespace

void add_play_command(CLI::App &app, Context &ctx) {
    auto args = std::make_shared<PlayArgs>();
    CLI::App *cmd = app.add_subcommand("play");
    const char *end_key = ctx.windows_texts ? "Ctrl-Z, then Enter" : "Ctrl-D";
    describe(cmd, "Run the plug-in at the terminal: you answer its dialogs",
             std::string("Its menus, questions, messages, file chooser and listing window are drawn here and you "
                         "type the answers: a menu item or a button by its number or its label (in any case; y or n "
                         "for Yes or No), b or c to go back or cancel a menu. At the file chooser Enter takes the "
                         "default shown and c cancels. Before a selective export you select the tools in "
                         "the navigator, by name (in any case) or number, several at once. Without a file, the embedded demo "
                         "part; a session file's answers are not used. End of input (") +
                 end_key + ") leaves every dialog. The plug-in's diagnostic output is shown dimmed, in colour "
                           "only on a terminal and not when NO_COLOR is set.\n\n"
                           "Exit 0 when the session ran, 2 for a bad session file, 3 when the plug-in cannot be "
                           "loaded.",
             {{"play", "the demo part"},
              {"play -q PART.json", "a part of your own, without the plug-in's diagnostic output"}});
    cmd->add_option("session", args->input, "Session or part file (JSON); its answers are not used")->type_name(kFileType);
    cmd->add_option("--plugin", args->plugin, "Plug-in library (default: beside this program, or $KESTO_PLUGIN)")
        ->type_name(kFileType);
    cmd->add_flag("-q,--quiet", args->quiet, "Do not show the plug-in's diagnostic output");
    cmd->callback(reported(ctx, args->report, [args, &ctx] { return Result(run_play(*args, ctx)); }));
}

}  // namespace kesto::cli
