// The reference as one document: the program's name and switches, each
// subcommand with its usage, help and options, the exit codes each
// subcommand's help ends with, the environment, the files, the --json keys
// and the examples.
#include "tools/cli/reference.h"

#include <CLI/CLI.hpp>

#include "tools/cli/usage.h"

namespace kesto::cli {
namespace {

using Kind = Block::Kind;

std::vector<const CLI::App *> subcommands(const CLI::App &app) {
    std::vector<const CLI::App *> out;
    for (const CLI::App *sub : app.get_subcommands({}))
        if (sub->get_name() != "help") out.push_back(sub);
    return out;
}

// A text's paragraphs: the parts between blank lines.
std::vector<std::string> paragraphs(const std::string &text) {
    std::vector<std::string> out;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find("\n\n", start);
        if (end == std::string::npos) end = text.size();
        if (end > start) out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

// The paragraph of a subcommand's help that gives its exit codes: its last
// one that starts so.
bool is_exit_paragraph(const std::string &text) { return text.rfind("Exit ", 0) == 0; }

bool is_help_option(const CLI::Option *opt) {
    return opt->check_lname("help") || opt->check_lname("help-all") || opt->check_lname("version");
}

// "-o, --output FILE" of an option, "files FILE..." of a positional.
std::string option_label(const CLI::Option *opt) {
    const std::string type = opt->get_type_name();
    if (opt->get_positional())
        return opt->get_name() + (type.empty() ? "" : " " + type) + (opt->get_items_expected_max() > 1 ? "..." : "");
    std::string out;
    for (const std::string &s : opt->get_snames()) out += (out.empty() ? "-" : ", -") + s;
    for (const std::string &l : opt->get_lnames()) out += (out.empty() ? "--" : ", --") + l;
    if (opt->get_expected_max() == 0) return out;
    const std::string value = type.empty() ? "VALUE" : type;
    // a value that may be left out is given after '='
    return out + (opt->get_expected_min() == 0 ? "[=" + value + "]" : " " + value);
}

// "kesto-tools-vericut check [OPTIONS] files..."
std::string usage_line(const CLI::App &app, const CLI::App &sub) {
    std::string out = app.get_name() + " " + sub.get_name();
    bool options = false;
    for (const CLI::Option *opt : sub.get_options()) options = options || (!opt->get_positional() && !is_help_option(opt));
    if (options) out += " [OPTIONS]";
    for (const CLI::Option *opt : sub.get_options()) {
        if (!opt->get_positional()) continue;
        const std::string word = opt->get_name() + (opt->get_items_expected_max() > 1 ? "..." : "");
        out += " " + (opt->get_required() ? word : "[" + word + "]");
    }
    return out;
}

void add_options(std::vector<Block> &doc, const CLI::App &app) {
    for (const CLI::Option *opt : app.get_options())
        if (opt->get_positional()) doc.push_back({Kind::item, option_label(opt), opt->get_description()});
    for (const CLI::Option *opt : app.get_options())
        if (!opt->get_positional() && (!is_help_option(opt) || !app.get_parent()))
            doc.push_back({Kind::item, option_label(opt), opt->get_description()});
}

// A subcommand's examples, as its help's footer lists them: the command a
// line, what it does on the line below.
void add_examples(std::vector<Block> &doc, const CLI::App &app, const CLI::App &sub, bool windows) {
    const std::string lead = app.get_name() + " ";
    const std::string &footer = sub.get_footer();
    for (size_t start = 0; start < footer.size();) {
        size_t end = footer.find('\n', start);
        if (end == std::string::npos) end = footer.size();
        std::string line = footer.substr(start, end - start);
        line.erase(0, line.find_first_not_of(' '));
        if (line.rfind(lead, 0) == 0) doc.push_back({Kind::example, in_shell_quotes(line, windows), ""});
        else if (!doc.empty() && doc.back().kind == Kind::example && doc.back().text.empty()) doc.back().text = line;
        start = end + 1;
    }
}

void add_json_output(std::vector<Block> &doc, const CLI::App &app) {
    std::string with_json;
    for (const CLI::App *sub : subcommands(app))
        if (sub->get_name() != "run" && !sub->get_options([](const CLI::Option *o) { return o->check_lname("json"); }).empty())
            with_json += (with_json.empty() ? "" : ", ") + sub->get_name();
    doc.push_back({Kind::section, "JSON OUTPUT", ""});
    doc.push_back({Kind::paragraph, "",
                   "With --json (also with -q) " + with_json +
                       " print one JSON object on standard output; run --json prints its transcript as a JSON "
                       "array. A key said to be given \"with\" an option is given only then; every other key is "
                       "always there, null or empty when there is nothing to say. Texts and TOOLIDs are UTF-8. A "
                       "key whose value is an object described once (a plan, a replacement, a side, a problem) "
                       "names it; its keys are listed at the end. \"[]\" stands for every element of an array."});
    for (const JsonShape &shape : json_shapes()) {
        if (std::string(shape.name) != "every") doc.push_back({Kind::subsection, shape.name, ""});
        doc.push_back({Kind::paragraph, "", shape.intro});
        for (const JsonKey &key : shape.keys)
            doc.push_back({Kind::key, key.path,
                           std::string(key.meaning) + (key.shape ? std::string(" (a ") + key.shape + ")" : "")});
    }
}

}  // namespace

std::vector<Block> reference_document(const CLI::App &app, bool windows) {
    const std::string name = app.get_name();
    std::vector<Block> doc;
    doc.push_back({Kind::section, "NAME", ""});
    doc.push_back({Kind::paragraph, "", name + " - export, check and merge simulator tool libraries (*.tls)"});

    doc.push_back({Kind::section, "SYNOPSIS", ""});
    std::string synopsis = name + " SUBCOMMAND [OPTIONS] [ARGUMENTS]\n" + name + " help [SUBCOMMAND]\n" + name +
                           " --help | --help-all | --version\n" + name + " --man-page | --reference | --bash-completion";
    for (const CLI::App *sub : subcommands(app)) synopsis += "\n" + usage_line(app, *sub);
    doc.push_back({Kind::lines, "", synopsis});

    doc.push_back({Kind::section, "DESCRIPTION", ""});
    doc.push_back({Kind::paragraph, "", app.get_description()});
    doc.push_back({Kind::paragraph, "",
                   "Each subcommand is described below with its options; then the exit codes, the environment, "
                   "the files and the --json output they share. " + name +
                       " help SUBCOMMAND (or SUBCOMMAND --help" + (windows ? ", or SUBCOMMAND /?" : "") +
                       ") shows a subcommand's help. A file named - is standard input or output; write ./- for a "
                       "file of that name."});

    doc.push_back({Kind::section, "OPTIONS", ""});
    add_options(doc, app);
    doc.push_back({Kind::item, "--man-page", "Print this reference as a man page (roff), as the build installs it"});
    doc.push_back({Kind::item, "--reference",
                   "Print this reference as plain text (--reference=windows: for cmd.exe, as the Windows "
                   "package's REFERENCE.txt)"});
    doc.push_back({Kind::item, "--bash-completion",
                   "Print the bash completion script; source <(" + name +
                       " --bash-completion) loads it into a shell"});
    doc.push_back({Kind::item, "--complete-toolids WORD",
                   "Print the TOOLIDs of the library, or the tools of the part, that WORD names as a shell word "
                   "(quotes and a leading ~/ taken away; none: the demo part), one a line; the completion's "
                   "helper"});

    doc.push_back({Kind::section, "SUBCOMMANDS", ""});
    for (const CLI::App *sub : subcommands(app)) {
        doc.push_back({Kind::subsection, sub->get_name(), ""});
        doc.push_back({Kind::lines, "", usage_line(app, *sub)});
        for (const std::string &p : paragraphs(sub->get_description()))
            if (!is_exit_paragraph(p)) doc.push_back({Kind::paragraph, "", p});
        add_options(doc, *sub);
    }

    doc.push_back({Kind::section, "EXIT STATUS", ""});
    doc.push_back({Kind::paragraph, "", "The codes every subcommand ends with:"});
    doc.push_back({Kind::item, "0", "it did what was asked (check: no problem found)"});
    doc.push_back({Kind::item, "1", "it ran, but what it found or did is not clean: problems found, a "
                                   "difference, a refusal or a conflict, a file that could not be written"});
    doc.push_back({Kind::item, "2", "bad arguments, an input that cannot be read or is of the wrong kind, an "
                                   "output that may not be written"});
    doc.push_back({Kind::item, "3", "the plug-in library could not be loaded"});
    doc.push_back({Kind::item, "128+N", windows ? "ended by Ctrl-C or Ctrl-Break (130), after removing its "
                                                  "lock files and temporaries"
                                                : "ended by signal N (130 after Ctrl-C, SIGINT; 143 after "
                                                  "SIGTERM), after removing its lock files and temporaries"});
    doc.push_back({Kind::paragraph, "", "Each subcommand's own:"});
    for (const CLI::App *sub : subcommands(app))
        for (const std::string &p : paragraphs(sub->get_description()))
            if (is_exit_paragraph(p)) doc.push_back({Kind::item, sub->get_name(), p});

    add_reference_tables(doc, name, windows);
    add_json_output(doc, app);

    doc.push_back({Kind::section, "EXAMPLES", ""});
    for (const CLI::App *sub : subcommands(app)) add_examples(doc, app, *sub, windows);

    doc.push_back({Kind::section, "SEE ALSO", ""});
    doc.push_back({Kind::paragraph, "",
                   windows ? name + " help SUBCOMMAND; INSTALL.txt and GUIDE.txt beside the program."
                           : name + " help SUBCOMMAND; README.md and the guide, docs/guide.md, in the "
                                    "documentation folder (share/doc/kesto_tools_vericut under the prefix)."});
    return doc;
}

}  // namespace kesto::cli
