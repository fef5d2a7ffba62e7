#include "tools/cli/shell_docs.h"

#include <vector>

namespace kesto::cli {
namespace {

// Text as roff shows it: a backslash doubled, a line's leading '.' or '\''
// kept from being taken for a request, '-' as the minus of an option.
std::string roff(const std::string &text) {
    std::string out;
    bool line_start = true;
    for (char c : text) {
        if (line_start && (c == '.' || c == '\'')) out += "\\&";
        if (c == '\\') out += "\\e";
        else if (c == '-') out += "\\-";
        else out += c;
        line_start = c == '\n';
    }
    return out;
}

std::vector<const CLI::App *> subcommands(const CLI::App &app) {
    std::vector<const CLI::App *> out;
    for (const CLI::App *sub : app.get_subcommands({}))
        if (sub->get_name() != "help") out.push_back(sub);
    return out;
}

// "-o, --output FILE" of an option; empty for a positional.
std::string option_label(const CLI::Option *opt) {
    std::string out;
    for (const std::string &s : opt->get_snames()) out += (out.empty() ? "-" : ", -") + s;
    for (const std::string &l : opt->get_lnames()) out += (out.empty() ? "--" : ", --") + l;
    if (!out.empty() && opt->get_expected_max() != 0) out += " " + (opt->get_type_name().empty() ? "VALUE" : opt->get_type_name());
    return out;
}

std::string options_section(const CLI::App &app) {
    std::string out;
    for (const CLI::Option *opt : app.get_options()) {
        const std::string label = opt->get_positional() ? opt->get_name() : option_label(opt);
        if (label.empty()) continue;
        out += ".TP\n.B " + roff(label) + "\n" + roff(opt->get_description()) + "\n";
    }
    return out;
}

// The options a completion offers for app: every long and short name.
std::string option_words(const CLI::App &app) {
    std::string out;
    for (const CLI::Option *opt : app.get_options()) {
        if (opt->get_positional()) continue;
        for (const std::string &l : opt->get_lnames()) out += (out.empty() ? "--" : " --") + l;
        for (const std::string &s : opt->get_snames()) out += (out.empty() ? "-" : " -") + s;
    }
    return out;
}

}  // namespace

std::string man_page(const CLI::App &app) {
    const std::string name = app.get_name();
    // the NAME line: the description's first sentence, without its full stop
    const std::string &description = app.get_description();
    std::string summary = description.substr(0, description.find(". "));
    if (!summary.empty() && summary.back() == '.') summary.pop_back();
    std::string out = ".TH " + roff(name) + " 1\n.SH NAME\n" + roff(name) + " \\- " + roff(summary) +
                      "\n.SH SYNOPSIS\n.B " + roff(name) + "\n.I SUBCOMMAND\n[OPTIONS] [ARGUMENTS]\n" +
                      ".SH DESCRIPTION\n" + roff(app.get_description()) + "\n" + ".SH OPTIONS\n" +
                      options_section(app) + ".SH SUBCOMMANDS\n";
    for (const CLI::App *sub : subcommands(app)) {
        const std::string &text = sub->get_description();
        out += ".SS " + roff(sub->get_name()) + "\n";
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find("\n\n", start);
            if (end == std::string::npos) end = text.size();
            out += ".PP\n" + roff(text.substr(start, end - start)) + "\n";
            start = end + 2;
        }
        out += options_section(*sub);
        // the examples, one command a line, kept unfilled
        const std::string &footer = sub->get_footer();
        if (!footer.empty()) out += ".PP\n.nf\n" + roff(footer) + "\n.fi\n";
    }
    return out + ".SH SEE ALSO\n" + roff(name) + " help SUBCOMMAND, and the README in the documentation folder.\n";
}

std::string bash_completion(const CLI::App &app) {
    const std::string name = app.get_name();
    std::string function = "_";
    for (char c : name) function += c == '-' ? '_' : c;
    std::string commands, cases;
    for (const CLI::App *sub : app.get_subcommands({})) {
        commands += (commands.empty() ? "" : " ") + sub->get_name();
        cases += "        " + sub->get_name() + ") words=\"" + option_words(*sub) + "\" ;;\n";
    }
    return "# bash completion of " + name + "; made from its own help\n" + function + "() {\n" +
           "    local cur=${COMP_WORDS[COMP_CWORD]} sub=\"\" words=\"\" i\n" +
           "    for ((i = 1; i < COMP_CWORD; ++i)); do\n" +
           "        case ${COMP_WORDS[i]} in -*) ;; *) sub=${COMP_WORDS[i]}; break ;; esac\n" +
           "    done\n" +
           "    if [[ -z $sub ]]; then\n" +
           "        if [[ $cur == -* ]]; then words=\"" + option_words(app) + "\"; else words=\"" + commands + "\"; fi\n" +
           "        COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n" +
           "        return\n" +
           "    fi\n" +
           "    if [[ $sub == help ]]; then COMPREPLY=($(compgen -W \"" + commands + "\" -- \"$cur\")); return; fi\n" +
           "    case $sub in\n" + cases + "    esac\n" +
           "    if [[ $cur == -* ]]; then\n" +
           "        COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n" +
           "    else\n" +
           "        COMPREPLY=($(compgen -f -- \"$cur\"))\n" +
           "    fi\n" +
           "}\n" +
           "complete -o filenames -F " + function + " " + name + "\n";
}

}  // namespace kesto::cli
