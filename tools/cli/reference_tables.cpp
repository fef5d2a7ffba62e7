// What the reference says of the program as a whole beyond its help: the
// variables of the environment it reads and the files it reads and leaves.
#include "tools/cli/reference.h"

#include "src/shared_facts.h"

namespace kesto::cli {
namespace {

using Kind = Block::Kind;

std::string ordinal(size_t n) {
    static const char *const words[] = {"first", "second", "third", "fourth", "fifth", "sixth", "seventh", "eighth"};
    return n < 8 ? words[n] : std::to_string(n + 1) + "th";
}

// "$NAME" or "%NAME%", as the system's shell writes a variable.
std::string variable(const std::string &name, bool windows) { return windows ? "%" + name + "%" : "$" + name; }

std::string settings_path(const std::string &name, bool windows) {
    const char *sep = windows ? "\\" : "/";
    return variable(name, windows) + sep + KESTO_SETTINGS_FOLDER + sep + KESTO_SETTINGS_FILE;
}

}  // namespace

std::vector<EnvironmentVariable> environment_variables(bool windows) {
    std::vector<EnvironmentVariable> out = {
        {"KESTO_PLUGIN", "The plug-in library run, export, play, find and sheet load when --plugin is not given "
                         "(else the one beside the program; see FILES)."},
        {"KESTO_ENCODING", windows ? "utf-8 (or UTF-8): text sent to a pipe or a file is UTF-8, as with "
                                     "--encoding utf-8; else it is in the console's code page."
                                   : "utf-8 (or UTF-8): as --encoding utf-8 (text is UTF-8 here anyway)."},
        {"NO_COLOR", "Set and not empty: diff and play print no colours, even to a terminal."},
        {"SOURCE_DATE_EPOCH", "Seconds since 1970: the time sheet and catalog print in a page's head, in UTC, "
                              "so that a build gives the same bytes each time; also this page's date."},
    };
    for (size_t i = 0; i < KESTO_SETTINGS_VARIABLE_COUNT; ++i) {
        const std::string name = kesto_settings_variables[i];
        std::string text = "The " + ordinal(i) + " folder the plug-in looks in for its settings, " +
                           settings_path(name, windows) + " (settings shows the search; a session file's env "
                           "stands in for the environment when it gives one).";
        if (name == "HOME" && !windows)
            text += " Also git-setup --global: git's attributes file is $HOME/.config/git/attributes unless "
                    "XDG_CONFIG_HOME or git's core.attributesFile names another.";
        if (name == "TMP" && windows) text += " Also the folder of temporary files (then TEMP, USERPROFILE).";
        out.push_back({name, text});
    }
    out.push_back({"XDG_CONFIG_HOME", std::string("git-setup --global: git's attributes file is "
                                                  "$XDG_CONFIG_HOME/git/attributes unless git's "
                                                  "core.attributesFile names another.")});
    if (windows) {
        out.push_back({"USERPROFILE", "git-setup --global: the home folder, when XDG_CONFIG_HOME is not set."});
        out.push_back({"TEMP", "The folder of temporary files when TMP is not set: export -o - lets the plug-in "
                               "write kesto-export.tls there."});
    } else {
        out.push_back({"TMPDIR", "The folder of temporary files (/tmp when not set): export -o - lets the "
                                 "plug-in write kesto-export.tls there."});
    }
    out.push_back({"PATH", "git-setup runs the git it finds there."});
    if (!windows)
        out.push_back({"KESTO_INTERRUPT_AT", "A hook of the tests, not for use: the name of a step of writing a "
                                             "library at which the program interrupts itself (SIGINT), so that "
                                             "the tests see an interrupt leave no lock file or temporary."});
    return out;
}

void add_reference_tables(std::vector<Block> &doc, const std::string &name, bool windows) {
    doc.push_back({Kind::section, "ENVIRONMENT", ""});
    for (const EnvironmentVariable &v : environment_variables(windows)) doc.push_back({Kind::item, v.name, v.meaning});
    doc.push_back({Kind::paragraph, "",
                   "A session file names any variable as ${NAME} in its files' texts and its env's values: "
                   "replaced with the variable's value (nothing when it is not set) when the session runs."});

    doc.push_back({Kind::section, "FILES", ""});
    std::string searched;
    for (size_t i = 0; i < KESTO_SETTINGS_VARIABLE_COUNT; ++i)
        searched += (i ? ", " : "") + settings_path(kesto_settings_variables[i], windows);
    doc.push_back({Kind::item, KESTO_SETTINGS_FILE,
                   "The plug-in's settings ([VMAIN] VERSION, TLS, USR and NUM, the [VRUN] launchers): the first "
                   "of " + searched + " that is there and readable. settings shows which, and what the plug-in "
                   "reads there; export, find, sheet and catalog --settings take one by its path."});
    if (windows) {
        doc.push_back({Kind::item, "kesto_tools_vericut.dll",
                       "The plug-in " + name + " runs, beside " + name + ".exe (--plugin and KESTO_PLUGIN name "
                       "another); the simulated host's libufun.dll and libugopenint.dll and the C++ runtime's "
                       "DLLs are beside it too."});
    } else {
        doc.push_back({Kind::item, "kesto_tools_vericut.so",
                       "The plug-in " + name + " runs, beside the program (--plugin and KESTO_PLUGIN name "
                       "another); the simulated host's libufun.so and libugopenint.so are in ../lib from there."});
    }
    doc.push_back({Kind::item, "NAME.~kesto-lock",
                   "Beside a library while the program or the plug-in writes it, NAME being the library's name "
                   "in small letters: one writer at a time, the other waits for it a few seconds, then is "
                   "refused. The lock is removed when the writer is done, also after Ctrl-C."});
    doc.push_back({Kind::item, "NAME.~kesto-PROCESS-N.tmp",
                   "A new library, or the plug-in's scratch, beside NAME while it is written; it takes NAME's "
                   "place whole, or is removed. What a killed writer left is removed by the next one."});
    doc.push_back({Kind::item, "NAME~, NAME.~N~",
                   "The old bytes of a library a command replaced, with --backup (NAME~) or "
                   "--backup=numbered (NAME.~N~, N one more than the highest there)."});
    doc.push_back({Kind::item, "PART.tls, NAME.svg, NAME.html, catalog.html",
                   "What export, preview, sheet and catalog write without -o: named after the part or the "
                   "input, in the current folder (preview: beside the input)."});
    doc.push_back({Kind::item, ".gitattributes, .git/config",
                   "What git-setup writes in a repository (with --global: git's global settings and attributes "
                   "file)."});
}

}  // namespace kesto::cli
