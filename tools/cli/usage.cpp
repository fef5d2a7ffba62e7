#include "tools/cli/usage.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include <CLI/CLI.hpp>

#include "tools/cli/commands.h"
#include "tools/tlsfile/toolid_match.h"

namespace kesto::cli {
namespace {

constexpr char kNotConverted[] = "Could not convert: ";

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
        "");
}

CLI::Option *choices(CLI::Option *opt, const std::vector<std::string> &values) {
    std::string listed;
    for (const std::string &v : values) listed += (listed.empty() ? "" : "|") + v;
    return opt->check(one_of(values))->type_name(listed);
}

std::vector<std::string> choice_words(const std::string &type_name) {
    if (type_name.find('|') == std::string::npos) return {};
    std::vector<std::string> words;
    for (size_t at = 0; at <= type_name.size();) {
        const size_t end = std::min(type_name.find('|', at), type_name.size());
        const std::string word = type_name.substr(at, end - at);
        // lower-case words only: "TEXT:a|b" or "TOOLID=x" name no value
        if (word.empty() || word.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-") != std::string::npos)
            return {};
        words.push_back(word);
        at = end + 1;
    }
    return words;
}

CLI::Validator line_number() {
    return CLI::Validator(
        [](std::string &value) {
            const bool digits = !value.empty() && value.size() < 10 &&
                                value.find_first_not_of("0123456789") == std::string::npos && value != "0" &&
                                value[0] != '0';
            return digits ? std::string() : "takes a line number (1 or more), not \"" + value + "\"";
        },
        "");
}

}  // namespace kesto::cli
