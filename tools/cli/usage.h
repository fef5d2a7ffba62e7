// Help as a reader wants it (wrapped to the terminal, one summary line per
// subcommand, details and examples in each subcommand's own help) and the
// checks of a command line the parser does not make.
#ifndef KESTO_TOOLS_CLI_USAGE_H
#define KESTO_TOOLS_CLI_USAGE_H

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "tools/cli/context.h"

namespace kesto::cli {

// The width help is wrapped to: the terminal's columns, 80 when standard
// output is no terminal.
size_t help_width();

// Help wrapped to a width.  A subcommand is listed by the first paragraph
// of its description; a line's continuation keeps the line's indentation.
class HelpFormatter : public CLI::Formatter {
public:
    explicit HelpFormatter(size_t width);
    // Usage first, then the description, the options and the examples.
    std::string make_help(const CLI::App *app, std::string name, CLI::AppFormatMode mode) const override;
    std::string make_description(const CLI::App *app) const override;
    std::string make_subcommand(const CLI::App *sub) const override;
    std::string make_expanded(const CLI::App *sub) const override;
    std::string make_option(const CLI::Option *opt, bool is_positional) const override;
    std::string make_footer(const CLI::App *app) const override;

private:
    size_t width_;
};

// An option that takes a list, the one way every subcommand takes one:
// "--opt A --opt B" or "--opt A,B" (or both); each --opt takes one value,
// so that an argument after it is the subcommand's own (the input file).
CLI::Option *add_list_option(CLI::App *cmd, const std::string &name, std::vector<std::string> &values,
                             const std::string &description);

// What the parser would take wrongly or word poorly, checked first:
// "help [SUBCOMMAND]" becomes "[SUBCOMMAND] --help"; an unknown subcommand
// or option is named with the nearest known one; an option's value that
// looks like an option is refused unless given as --option=VALUE.  False,
// after saying what is wrong, when the command line is refused.
bool prepare_arguments(Context &ctx, const CLI::App &app, std::vector<std::string> &args);

// What a command line the parser refused gets: for a missing or extra
// argument of a subcommand, one sentence and that subcommand's usage line;
// otherwise the parser's text.  Ends with where to read more.
std::string parse_failure(const CLI::App &app, const CLI::ParseError &error);

// A refusal of a subcommand's command line: the sentence, its usage line
// and where to read more, as parse_failure words the parser's refusals.
std::string usage_failure(const CLI::App &sub, const std::string &sentence);

// The indices in args of the subcommand's positional arguments, past its
// options and their values, each with the type name of the argument it
// gives (kFileType for a file, kToolidType for a TOOLID).
std::vector<std::pair<size_t, std::string>> positional_arguments(const CLI::App &app,
                                                                 const std::vector<std::string> &args);

// The type names a subcommand's arguments are known by in help, the man
// page and the completion: files, folders, and TOOLIDs (never expanded as
// files).  A type name of words joined by '|' ("simple|numbered") lists
// the values an option takes.
inline constexpr char kFileType[] = "FILE";
inline constexpr char kFolderType[] = "FOLDER";
inline constexpr char kToolidType[] = "TOOLID";

// Option values checked as the parser reads them, each refusal one plain
// sentence: one of a few words ("takes one or per-tool, not "2""), a line
// number.
CLI::Validator one_of(const std::vector<std::string> &values);
CLI::Validator line_number();
// An option that takes one of a few words: checked by one_of, its type
// name the words joined by '|', which help shows and the completion offers.
CLI::Option *choices(CLI::Option *opt, const std::vector<std::string> &values);
// The words of a type name that lists an option's values ("a|b"), or none.
std::vector<std::string> choice_words(const std::string &type_name);

// An example's command line in the quoting of the user's shell: as written
// (single quotes) for a POSIX shell, in double quotes for cmd.exe.
std::string in_shell_quotes(const std::string &command, bool cmd);

}  // namespace kesto::cli

#endif
