// kesto-tools-vericut: the plug-in without the host.  Every subcommand runs
// the real plug-in library inside the simulated host.
#include <cstdio>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "tools/cli/commands.h"

int main(int argc, char **argv) {
    CLI::App app{"kesto-tools-vericut: export cutting tools to a *.tls tool library through the "
                 "kesto_tools_vericut plug-in, running in a simulated CAD/CAM host."};
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Help for every subcommand");
    kesto::cli::add_commands(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        std::cerr << app.get_name() << ": " << e.what() << "\n"
                  << "Run with --help for usage.\n";
        return kesto::cli::kExitUsage;
    }
    return kesto::cli::exit_code();
}
