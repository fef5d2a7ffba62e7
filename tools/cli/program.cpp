#include "tools/cli/program.h"

#include <sstream>

#include <CLI/CLI.hpp>

#include "tools/cli/commands.h"
#include "tools/cli/shell_docs.h"
#include "tools/cli/usage.h"
#include "tools/cli/wildcards.h"

namespace kesto::cli {
namespace {

// --man-page, --reference[=windows], --bash-completion and
// --complete-toolids [WORD], each alone on the command line: the code they
// end with, or -1 for any other command line.
int shell_docs_switch(Context &ctx, const CLI::App &app, const std::vector<std::string> &args) {
    if (args.size() < 2) return -1;
    const std::string &what = args[1];
    if (what == "--complete-toolids" && args.size() <= 3) return complete_toolids(ctx, args.size() == 3 ? args[2] : "");
    if (args.size() != 2) return -1;
    std::string text;
    if (what == "--man-page") text = man_page(app);
    else if (what == "--bash-completion") text = bash_completion(app);
    else if (what == "--reference" || what == "--reference=windows") text = reference_text(app, ctx.windows_texts);
    else return -1;
    return ctx.print(text) ? kExitOk : kExitUsage;
}

}  // namespace

int run_program(std::vector<std::string> args, Streams &streams) {
    Context ctx(streams);
    CLI::App app{"Exports a part's cutting tools to a *.tls tool library through the kesto_tools_vericut plug-in "
                 "in a simulated CAD/CAM host, and checks, compares, merges, mends, draws and lists such "
                 "libraries."};
    app.name("kesto-tools-vericut");
    app.require_subcommand(1);
    // "/path" is a path on every system, never an option
    app.allow_windows_style_options(false);
    app.formatter(std::make_shared<HelpFormatter>(help_width()));
    app.set_help_all_flag("--help-all", "Help for every subcommand");
    app.set_version_flag("--version", "kesto-tools-vericut " KESTO_VERSION);
#if defined(_WIN32)
    const char *const help_forms = "SUBCOMMAND --help or SUBCOMMAND /?";
#else
    const char *const help_forms = "SUBCOMMAND --help";
#endif
    app.footer(std::string("Run kesto-tools-vericut help SUBCOMMAND (or ") + help_forms +
               ") for its details and examples. A file named - is standard input or output; write ./- for a file "
               "of that name.");
    choices(app.add_option_function<std::string>(
                "--encoding", [&streams](const std::string &name) { streams.set_utf8(name == "utf-8"); },
                "Text sent to a pipe or a file: console (the console's code page, as Windows' own programs write; "
                "the default) or utf-8 (also $KESTO_ENCODING=utf-8). Tool libraries are written as they are"),
            {"console", "utf-8"});
    // the Windows package's reference, as the Windows program would print it
    if (args.size() == 2 && args[1] == "--reference=windows") ctx.windows_texts = true;
    add_commands(app, ctx);
    // "help [SUBCOMMAND]" is answered as --help is (see prepare_arguments)
    std::string topic;
    app.add_subcommand("help", "Show the help of the program or of one subcommand")
        ->add_option("subcommand", topic, "The subcommand to explain");
    // the reference and the completion the build installs, made from this help
    if (int code = shell_docs_switch(ctx, app, args); code >= 0) return code;
    if (!expand_file_patterns(ctx, app, args) || !prepare_arguments(ctx, app, args)) return kExitUsage;
    std::vector<std::string> reversed(args.rbegin(), args.rend() - (args.empty() ? 0 : 1));
    try {
        app.parse(reversed);
    } catch (const CLI::Success &e) {
        // --help, --help-all, --version
        std::ostringstream out;
        int code = app.exit(e, out);
        return ctx.print(out.str()) ? code : kExitUsage;
    } catch (const CLI::ParseError &e) {
        ctx.error(parse_failure(app, e));
        return kExitUsage;
    }
    return ctx.exit_code;
}

}  // namespace kesto::cli
