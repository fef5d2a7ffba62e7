#include "tools/cli/usage.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "tools/cli/commands.h"
#include "tools/tlsfile/toolid_match.h"

#if defined(_WIN32)
#  include <io.h>
#  include <windows.h>
#else
#  include <sys/ioctl.h>
#  include <unistd.h>
#endif

namespace kesto::cli {
namespace {

constexpr size_t kOptionColumn = 26;      // where an option's description starts
constexpr size_t kSubcommandColumn = 13;  // where a subcommand's summary starts
constexpr char kExampleLead[] = "  kesto-tools-vericut ";  // an example's command line
constexpr char kNotConverted[] = "Could not convert: ";

// Columns a UTF-8 text takes: its characters.
size_t columns(const std::string &text) {
    size_t n = 0;
    for (unsigned char c : text) n += (c & 0xC0) != 0x80;
    return n;
}

// Wraps each line of text to width columns, the first starting at column
// at; a line's continuations take its own indentation, plus at.
std::string wrap(const std::string &text, size_t width, size_t at) {
    std::string out;
    size_t start = 0;
    bool first_line = true;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        const size_t indent = line.find_first_not_of(' ') == std::string::npos ? 0 : line.find_first_not_of(' ');
        const std::string lead(at + indent, ' ');
        if (!first_line) out += "\n" + std::string(at, ' ');
        out += line.substr(0, indent);
        size_t col = at + indent, words = 0;
        for (size_t w = indent; w < line.size();) {
            size_t e = line.find(' ', w);
            if (e == std::string::npos) e = line.size();
            const std::string word = line.substr(w, e - w);
            if (!word.empty()) {
                if (words > 0 && col + 1 + columns(word) > width) {
                    out += "\n" + lead;
                    col = lead.size();
                } else if (words > 0) {
                    out += ' ';
                    ++col;
                }
                out += word;
                col += columns(word);
                ++words;
            }
            w = e + 1;
        }
        first_line = false;
        if (end == text.size()) break;
        start = end + 1;
    }
    return out;
}

// "  NAME" padded to the column, then text wrapped beside it.
std::string row(const std::string &name, const std::string &text, size_t width, size_t column) {
    std::string out = "  " + name;
    if (text.empty()) return out + "\n";
    if (columns(out) + 1 >= column) out += "\n" + std::string(column, ' ');
    else out += std::string(column - columns(out), ' ');
    return out + wrap(text, width, column) + "\n";
}

std::vector<std::string> subcommand_names(const CLI::App &app) {
    std::vector<std::string> names;
    for (const CLI::App *sub : app.get_subcommands({})) names.push_back(sub->get_name());
    return names;
}

std::string join(const std::vector<std::string> &names) {
    std::string out;
    for (const std::string &n : names) out += (out.empty() ? "" : ", ") + n;
    return out;
}

std::string did_you_mean(const std::string &word, const std::vector<std::string> &names) {
    const std::string guess = tlsfile::nearest(word, names);
    return guess.empty() ? "" : "; did you mean \"" + guess + "\"?";
}

// The option of sub that arg (an argument starting with '-') names.
const CLI::Option *option_named(const CLI::App &sub, const std::string &name) {
    for (const CLI::Option *opt : sub.get_options()) {
        if (opt->get_positional()) continue;
        if (name.rfind("--", 0) == 0 && opt->check_lname(name.substr(2))) return opt;
        if (name.size() == 2 && name[0] == '-' && opt->check_sname(name.substr(1))) return opt;
    }
    return nullptr;
}

std::vector<std::string> option_names(const CLI::App &sub) {
    std::vector<std::string> names;
    for (const CLI::Option *opt : sub.get_options()) {
        for (const std::string &l : opt->get_lnames()) names.push_back("--" + l);
        for (const std::string &s : opt->get_snames()) names.push_back("-" + s);
    }
    return names;
}

bool looks_like_option(const std::string &arg) { return arg.size() > 1 && arg[0] == '-'; }

}  // namespace

size_t help_width() {
    size_t width = 80;
#if defined(_WIN32)
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info))
        width = static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1);
#else
    struct winsize size {};
    if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) width = size.ws_col;
#endif
    return std::max<size_t>(width, kOptionColumn + 20);
}

HelpFormatter::HelpFormatter(size_t width) : width_(width) { column_width(kOptionColumn); }

std::string HelpFormatter::make_help(const CLI::App *app, std::string name, CLI::AppFormatMode mode) const {
    if (mode == CLI::AppFormatMode::Sub) return make_expanded(app);
    return make_usage(app, name) + "\n" + make_description(app) + make_positionals(app) + make_groups(app, mode) +
           make_subcommands(app, mode) + "\n" + make_footer(app);
}

std::string HelpFormatter::make_description(const CLI::App *app) const {
    const std::string &text = app->get_description();
    return text.empty() ? text : wrap(text, width_, 0) + "\n";
}

std::string HelpFormatter::make_subcommand(const CLI::App *sub) const {
    const std::string &text = sub->get_description();
    return row(sub->get_name(), text.substr(0, text.find("\n\n")), width_, kSubcommandColumn);
}

std::string HelpFormatter::make_expanded(const CLI::App *sub) const {
    HelpFormatter narrower(width_ - 2);
    std::string body = narrower.make_description(sub) + narrower.make_positionals(sub) +
                       narrower.make_groups(sub, CLI::AppFormatMode::Sub);
    std::string out = sub->get_name() + "\n";
    size_t start = 0;
    while (start < body.size()) {
        size_t end = body.find('\n', start);
        if (end == std::string::npos) end = body.size();
        out += end > start ? "  " + body.substr(start, end - start) + "\n" : "\n";
        start = end + 1;
    }
    return out;
}

std::string HelpFormatter::make_option(const CLI::Option *opt, bool is_positional) const {
    return row(make_option_name(opt, is_positional) + make_option_opts(opt), make_option_desc(opt), width_,
               kOptionColumn);
}

std::string HelpFormatter::make_footer(const CLI::App *app) const {
    const std::string &text = app->get_footer();
    if (text.empty()) return text;
    // an example's command is kept on one line, however long, so that it
    // can be copied whole; its meaning below it is wrapped
    std::string out;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        out += (line.rfind(kExampleLead, 0) == 0 ? line : wrap(line, width_, 0)) + "\n";
        start = end + 1;
    }
    return out;
}

std::string in_shell_quotes(const std::string &command, bool cmd) {
    if (!cmd) return command;
    // cmd.exe knows only double quotes: 'a "b"' becomes "a \"b\"", which
    // the program's argument splitting reads back as a "b"
    std::string out;
    bool quoted = false;
    for (char c : command) {
        if (c == '\'') {
            quoted = !quoted;
            out += '"';
        } else if (c == '"' && quoted) {
            out += "\\\"";
        } else {
            out += c;
        }
    }
    return out;
}

void describe(CLI::App *cmd, const std::string &summary, const std::string &details,
              const std::vector<Example> &examples) {
    cmd->description(summary + "\n\n" + details);
    std::string footer = "Examples:";
#if defined(_WIN32)
    const bool windows = true;
#else
    const bool windows = false;
#endif
    for (const Example &e : examples)
        footer += std::string("\n") + kExampleLead + in_shell_quotes(e.command, windows) + "\n      " + e.meaning;
    cmd->footer(footer);
}

CLI::Option *add_list_option(CLI::App *cmd, const std::string &name, std::vector<std::string> &values,
                             const std::string &description) {
    return cmd->add_option(name, values, description + " (given again, or as A,B)")
        ->allow_extra_args(false)
        ->delimiter(',');
}

std::string parse_failure(const CLI::App &app, const CLI::ParseError &error) {
    const std::string what = error.what();
    const std::vector<CLI::App *> parsed = app.get_subcommands();
    const CLI::App *sub = parsed.empty() ? nullptr : parsed.front();
    const std::string more = "Run " + app.get_name() + (sub ? " help " + sub->get_name() : " --help") + " for usage.";
    if (!sub) return what + "\n" + more;
    std::string sentence;
    const std::string required = " is required", unexpected = " expected: ";
    if (dynamic_cast<const CLI::RequiredError *>(&error) && what.size() > required.size() &&
        what.compare(what.size() - required.size(), required.size(), required) == 0) {
        const std::string name = what.substr(0, what.size() - required.size());
        for (const CLI::Option *opt : sub->get_options())
            if (opt->get_name() == name || opt->check_name(name)) {
                std::string told = opt->get_description();
                // "The library ..." continues the sentence; "TOOLIDs ..." stays as it is
                if (told.size() > 1 && std::islower(static_cast<unsigned char>(told[1])))
                    told[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(told[0])));
                sentence = sub->get_name() + " needs " +
                           (opt->get_positional() ? "its argument \"" + name + "\"" : "the option " + name) + ": " +
                           told + ".";
            }
    } else if (dynamic_cast<const CLI::ExtrasError *>(&error) && what.find(unexpected) != std::string::npos) {
        sentence = sub->get_name() + " was given more arguments than it takes; \"" +
                   what.substr(what.find(unexpected) + unexpected.size()) + "\" is one too many.";
    } else if (dynamic_cast<const CLI::ValidationError *>(&error) && what.find(": ") != std::string::npos) {
        // the option's validators say what it takes: "--scale: takes one or per-tool, not "2""
        sentence = what.substr(0, what.find(": ")) + " " + what.substr(what.find(": ") + 2) + ".";
    } else if (dynamic_cast<const CLI::ConversionError *>(&error) && what.rfind(kNotConverted, 0) == 0) {
        // "Could not convert: --line = abc"
        const std::string rest = what.substr(sizeof kNotConverted - 1);
        const size_t eq = rest.find(" = ");
        if (eq != std::string::npos)
            sentence = rest.substr(0, eq) + " takes a whole number, not \"" + rest.substr(eq + 3) + "\".";
    } else if (dynamic_cast<const CLI::ArgumentMismatch *>(&error) && what.find(" missing") != std::string::npos) {
        // "--backup: 1 required TEXT missing"
        sentence = what.substr(0, what.find(':')) + " needs a value.";
    } else if (dynamic_cast<const CLI::ExcludesError *>(&error)) {
        sentence = what + ": give one of them.";
    }
    if (sentence.empty()) return what + "\n" + more;
    return usage_failure(*sub, sentence);
}

std::string usage_failure(const CLI::App &sub, const std::string &sentence) {
    const std::string program = sub.get_parent() ? sub.get_parent()->get_name() : std::string("kesto-tools-vericut");
    const std::string usage = HelpFormatter(help_width()).make_usage(&sub, program + " " + sub.get_name());
    return sentence + "\n" + usage.substr(0, usage.find_last_not_of('\n') + 1) + "\nRun " + program + " help " +
           sub.get_name() + " for usage.";
}

bool prepare_arguments(Context &ctx, const CLI::App &app, std::vector<std::string> &args) {
    const std::string program = args.empty() ? app.get_name() : args[0];
    if (args.size() < 2) return true;
#if defined(_WIN32)
    // "/?" is a Windows program's help, anywhere on its command line
    if (std::find(args.begin() + 1, args.end(), "/?") != args.end())
        args = args[1] == "/?" || args[1] == "help" ? std::vector<std::string>{program, "--help"}
                                                     : std::vector<std::string>{program, args[1], "--help"};
#endif
    if (args[1] == "help") {
        if (args.size() > 2 && !looks_like_option(args[2])) args = {program, args[2], "--help"};
        else args = {program, "--help"};
    }
    // options before the subcommand are the program's own
    const CLI::App *sub = looks_like_option(args[1]) ? &app : nullptr;
    for (const CLI::App *s : app.get_subcommands({}))
        if (s->get_name() == args[1]) sub = s;
    if (!sub) {
        ctx.error("unknown subcommand \"" + args[1] + "\"" + did_you_mean(args[1], subcommand_names(app)) +
                 "\nThe subcommands are " + join(subcommand_names(app)) + ". Run " + app.get_name() +
                 " --help for usage.");
        return false;
    }
    const std::string usage = "\nRun " + app.get_name() + (sub == &app ? "" : " help " + sub->get_name()) +
                              (sub == &app ? " --help" : "") + " for usage.";
    for (size_t i = sub == &app ? 1 : 2; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg == "--" || (sub == &app && !looks_like_option(arg))) break;
        if (!looks_like_option(arg)) continue;
        const bool is_long = arg.rfind("--", 0) == 0;
        const std::string name = is_long ? arg.substr(0, arg.find('=')) : arg.substr(0, 2);
        const CLI::Option *opt = option_named(*sub, name);
        if (!opt) {
            ctx.error("unknown option \"" + name + "\" for " + sub->get_name() +
                     did_you_mean(name, option_names(*sub)) + usage);
            return false;
        }
        const bool value_attached = is_long ? arg.find('=') != std::string::npos : arg.size() > 2;
        if (opt->get_expected_max() == 0 || value_attached || i + 1 >= args.size()) continue;
        if (looks_like_option(args[i + 1]) && opt->get_expected_min() > 0) {
            ctx.error(name + " needs a value, and \"" + args[i + 1] + "\" looks like an option; for a value " +
                     "that starts with '-' write " + (is_long ? name + "=" : name) + args[i + 1] + usage);
            return false;
        }
        ++i;
    }
    return true;
}

std::vector<std::pair<size_t, std::string>> positional_arguments(const CLI::App &app,
                                                                 const std::vector<std::string> &args) {
    std::vector<size_t> found;
    if (args.size() < 3 || args[1] == "help") return {};
    const CLI::App *sub = nullptr;
    for (const CLI::App *s : app.get_subcommands({}))
        if (s->get_name() == args[1]) sub = s;
    if (!sub) return {};
    bool options = true;
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && looks_like_option(arg)) {
            const bool is_long = arg.rfind("--", 0) == 0;
            const CLI::Option *opt = option_named(*sub, is_long ? arg.substr(0, arg.find('=')) : arg.substr(0, 2));
            const bool attached = is_long ? arg.find('=') != std::string::npos : arg.size() > 2;
            if (opt && opt->get_expected_max() != 0 && !attached) ++i;
        } else {
            found.push_back(i);
        }
    }
    // the positionals in their order: one value each, a list what the ones
    // after it leave
    std::vector<const CLI::Option *> positionals;
    for (const CLI::Option *opt : sub->get_options())
        if (opt->get_positional()) positionals.push_back(opt);
    std::vector<std::pair<size_t, std::string>> out;
    size_t at = 0;
    for (size_t k = 0; k < positionals.size() && at < found.size(); ++k) {
        const bool list = positionals[k]->get_items_expected_max() > 1;
        const size_t after = positionals.size() - k - 1;
        const size_t take = list ? (found.size() - at > after ? found.size() - at - after : 1) : 1;
        for (size_t n = 0; n < take && at < found.size(); ++n) out.emplace_back(found[at++], positionals[k]->get_type_name());
    }
    for (; at < found.size(); ++at) out.emplace_back(found[at], "");
    return out;
}

CLI::Validator one_of(const std::vector<std::string> &values) {
    std::string names;
    for (size_t i = 0; i < values.size(); ++i)
        names += (i == 0 ? "" : i + 1 == values.size() ? " or " : ", ") + values[i];
    return CLI::Validator(
        [values, names](std::string &value) {
            if (std::find(values.begin(), values.end(), value) != values.end()) return std::string();
            const std::string guess = tlsfile::nearest(value, values);
            return "takes " + names + ", not \"" + value + "\"" + (guess.empty() ? "" : " (did you mean " + guess + "?)");
        },
        names);
}

CLI::Validator line_number() {
    return CLI::Validator(
        [](std::string &value) {
            const bool digits = !value.empty() && value.size() < 10 &&
                                value.find_first_not_of("0123456789") == std::string::npos && value != "0" &&
                                value[0] != '0';
            return digits ? std::string() : "takes a line number (1 or more), not \"" + value + "\"";
        },
        "LINE");
}

}  // namespace kesto::cli
