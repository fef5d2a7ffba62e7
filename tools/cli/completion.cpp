// The bash completion, made from the subcommands and options: what each
// option's value and each argument is comes from its type name, so that a
// new option completes without a word here.  TOOLIDs are asked of the
// program itself (--complete-toolids), which reads the library as every
// command does.
#include <algorithm>
#include <unordered_set>

#include <CLI/CLI.hpp>

#include "host/common/cp1251.h"
#include "tools/cli/part_input.h"
#include "tools/cli/shell_docs.h"
#include "tools/cli/usage.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/source.h"
#include "tools/tlsfile/tls_reader.h"

#if !defined(_WIN32)
#  include <cstdlib>
#endif

namespace kesto::cli {
namespace {

// What completes an option's value or an argument: FILE, FOLDER, TOOLID,
// "WORDS:a b" or TEXT (nothing offered).
std::string value_kind(const CLI::Option *opt) {
    const std::string type = opt->get_type_name();
    const std::vector<std::string> words = choice_words(type);
    if (!words.empty()) {
        std::string out = "WORDS:";
        for (const std::string &w : words) out += (out.size() > 6 ? " " : "") + w;
        return out;
    }
    if (type == kFileType || type == kFolderType || type == kToolidType) return type;
    return "TEXT";
}

// The case arms of one subcommand's (or, for "", the program's) options:
// "SUB --opt") REPLY=KIND ;; a value that may be left out only after '='.
std::string option_kinds(const std::string &sub, const CLI::App &app) {
    std::string out;
    for (const CLI::Option *opt : app.get_options()) {
        if (opt->get_positional() || opt->get_expected_max() == 0) continue;
        const std::string kind = (opt->get_expected_min() == 0 ? "=" : "") + value_kind(opt);
        std::string names;
        for (const std::string &l : opt->get_lnames()) names += (names.empty() ? "" : " | ") + ("\"" + sub + " --" + l + "\"");
        for (const std::string &s : opt->get_snames()) names += (names.empty() ? "" : " | ") + ("\"" + sub + " -" + s + "\"");
        out += "        " + names + ") REPLY='" + kind + "' ;;\n";
    }
    return out;
}

// Every long and short name of app's options.
std::string option_words(const CLI::App &app) {
    std::string out;
    for (const CLI::Option *opt : app.get_options()) {
        if (opt->get_positional()) continue;
        for (const std::string &l : opt->get_lnames()) out += (out.empty() ? "--" : " --") + l;
        for (const std::string &s : opt->get_snames()) out += (out.empty() ? "-" : " -") + s;
    }
    return out;
}

// The kinds of a subcommand's arguments in order, a list's with "...".
std::string argument_kinds(const CLI::App &sub) {
    std::string out;
    for (const CLI::Option *opt : sub.get_options())
        if (opt->get_positional())
            out += (out.empty() ? "" : " ") + value_kind(opt) + (opt->get_items_expected_max() > 1 ? "..." : "");
    return out;
}

// The script's fixed part: the word being completed, the subcommand and
// the arguments before it, then what completes it.
constexpr char kBody[] = R"(
# A word as typed, its quotes and backslashes taken away, into REPLY.
_kesto_tools_vericut_dequote() {
    local word=$1 c quote="" i
    REPLY=""
    for ((i = 0; i < ${#word}; ++i)); do
        c=${word:i:1}
        if [[ $quote == "'" ]]; then
            if [[ $c == "'" ]]; then quote=""; else REPLY+=$c; fi
        elif [[ $c == "\\" && ( -z $quote || ${word:i+1:1} == [\"\\\$\`] ) ]]; then
            i=$((i + 1))
            REPLY+=${word:i:1}
        elif [[ -z $quote && ( $c == "'" || $c == '"' ) ]]; then
            quote=$c
        elif [[ $c == '"' && $quote == '"' ]]; then
            quote=""
        else
            REPLY+=$c
        fi
    done
}

# Candidates of a kind for cur, into COMPREPLY; source: the library or
# part whose TOOLIDs complete.
_kesto_tools_vericut_offer() {
    local kind=$1 cur=$2 source=$3 program=$4 head="" id
    local -a ids
    case $kind in
        FILE)
            compopt -o filenames 2>/dev/null || true
            _kesto_tools_vericut_dequote "$cur"
            mapfile -t COMPREPLY < <(compgen -f -- "$REPLY") ;;
        FOLDER)
            compopt -o filenames 2>/dev/null || true
            _kesto_tools_vericut_dequote "$cur"
            mapfile -t COMPREPLY < <(compgen -d -- "$REPLY") ;;
        TOOLID)
            # quoted as file names are: blanks and a pattern's characters kept as they are
            compopt -o filenames 2>/dev/null || true
            _kesto_tools_vericut_dequote "$cur"
            # a list (A,B): the TOOLID after the last comma
            [[ $REPLY == *,* ]] && head=${REPLY%,*}, && REPLY=${REPLY##*,}
            [[ $program == \~/* ]] && program=$HOME/${program#\~/}
            mapfile -t ids < <("$program" --complete-toolids "$source" </dev/null 2>/dev/null)
            for id in "${ids[@]}"; do
                [[ $id == "$REPLY"* ]] && COMPREPLY+=("$head$id")
            done ;;
        WORDS:*)
            mapfile -t COMPREPLY < <(compgen -W "${kind#WORDS:}" -- "$cur") ;;
    esac
    return 0
}

_kesto_tools_vericut() {
    local cur=${COMP_WORDS[COMP_CWORD]} prefix="" option="" sub="" options=yes word i
    local -a arguments=()
    COMPREPLY=()
    # --option=VALUE: bash splits it at '=' (COMP_WORDBREAKS), or keeps it whole
    if [[ $cur == = && $COMP_CWORD -gt 1 ]]; then
        option=${COMP_WORDS[COMP_CWORD-1]}
        cur=""
    elif [[ ${COMP_WORDS[COMP_CWORD-1]} == = && $COMP_CWORD -gt 2 ]]; then
        option=${COMP_WORDS[COMP_CWORD-2]}
    elif [[ $cur == --*=* ]]; then
        option=${cur%%=*}
        prefix=$option=
        cur=${cur#*=}
    fi
    [[ -n $option ]] && option="=$option"
    # the subcommand, and the arguments before the word being completed
    for ((i = 1; i < COMP_CWORD; ++i)); do
        word=${COMP_WORDS[i]}
        if [[ $word == = ]]; then
            i=$((i + 1))
        elif [[ $options == yes && $word == -- && -n $sub ]]; then
            options=""
        elif [[ $options == yes && $word == -?* ]]; then
            _kesto_tools_vericut_value "$sub" "${word%%=*}"
            # an option's value is the next word, unless given after '='
            if [[ -n $REPLY && $REPLY != =* && $word != *=* && ${COMP_WORDS[i+1]} != = ]]; then
                [[ $((i + 1)) -eq $COMP_CWORD ]] && option=$word
                i=$((i + 1))
            fi
        elif [[ -z $sub ]]; then
            sub=$word
        else
            arguments+=("$word")
        fi
    done
    if [[ -n $option ]]; then
        _kesto_tools_vericut_value "$sub" "${option#=}"
        # a value that may be left out completes only after '='
        [[ $REPLY == =* && $option != =* ]] && return 0
        _kesto_tools_vericut_offer "${REPLY#=}" "$cur" "${arguments[0]}" "${COMP_WORDS[0]}"
        [[ -n $prefix ]] && COMPREPLY=("${COMPREPLY[@]/#/$prefix}")
        return 0
    fi
    if [[ $options == yes && $cur == -* ]]; then
        _kesto_tools_vericut_options "$sub"
        mapfile -t COMPREPLY < <(compgen -W "$REPLY" -- "$cur")
        return 0
    fi
    if [[ -z $sub || ( $sub == help && ${#arguments[@]} -eq 0 ) ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$_kesto_tools_vericut_subcommands" -- "$cur")
        return 0
    fi
    # the argument's kind: its place among the subcommand's, the last a list
    local -a kinds
    _kesto_tools_vericut_arguments "$sub"
    read -r -a kinds <<<"$REPLY"
    local n=${#arguments[@]} kind=""
    if ((n < ${#kinds[@]})); then
        kind=${kinds[n]}
    elif ((${#kinds[@]} > 0)) && [[ ${kinds[-1]} == *... ]]; then
        kind=${kinds[-1]}
    fi
    _kesto_tools_vericut_offer "${kind%...}" "$cur" "${arguments[0]}" "${COMP_WORDS[0]}"
    return 0
}
)";

}  // namespace

std::string bash_completion(const CLI::App &app) {
    const std::string name = app.get_name();
    std::string subcommands, options = "        \"\") REPLY='" + option_words(app) + "' ;;\n",
                             kinds = option_kinds("", app), arguments;
    for (const CLI::App *sub : app.get_subcommands({})) {
        const std::string s = sub->get_name();
        subcommands += (subcommands.empty() ? "" : " ") + s;
        options += "        " + s + ") REPLY='" + option_words(*sub) + "' ;;\n";
        kinds += option_kinds(s, *sub);
        arguments += "        " + s + ") REPLY='" + argument_kinds(*sub) + "' ;;\n";
    }
    return "# shellcheck shell=bash\n# bash completion of " + name + ", made by " + name + " --bash-completion from its own help.\n" +
           "# bash-completion finds it in PREFIX/share/bash-completion/completions when PREFIX/share is in\n"
           "# XDG_DATA_DIRS (/usr/local/share and /usr/share are by default) or PREFIX is ~/.local; under\n"
           "# another PREFIX one line in ~/.bashrc loads it:\n"
           "#   source PREFIX/share/bash-completion/completions/" + name + "\n"
           "\n_kesto_tools_vericut_subcommands='" + subcommands + "'\n"
           "\n# The options of a subcommand (\"\": the program's own), into REPLY.\n"
           "_kesto_tools_vericut_options() {\n    REPLY=\"\"\n    case $1 in\n" + options + "    esac\n}\n"
           "\n# What an option's value is (FILE, FOLDER, TOOLID, WORDS:..., TEXT; '=' first when it may be\n"
           "# left out), into REPLY; nothing when it takes none.\n"
           "_kesto_tools_vericut_value() {\n    REPLY=\"\"\n    case \"$1 $2\" in\n" + kinds + "    esac\n}\n"
           "\n# What a subcommand's arguments are, in order, a list with \"...\", into REPLY.\n"
           "_kesto_tools_vericut_arguments() {\n    REPLY=\"\"\n    case $1 in\n" + arguments + "    esac\n}\n" +
           kBody + "complete -F _kesto_tools_vericut " + name + "\n";
}

std::string shell_word(const std::string &typed) {
    std::string out;
    char quote = 0;
    for (size_t i = 0; i < typed.size(); ++i) {
        const char c = typed[i];
        if (quote == '\'') {
            if (c == '\'') quote = 0;
            else out += c;
        } else if (c == '\\' && i + 1 < typed.size() &&
                   (!quote || std::string("\"\\$`").find(typed[i + 1]) != std::string::npos)) {
            out += typed[++i];
        } else if (!quote && (c == '\'' || c == '"')) {
            quote = c;
        } else if (quote && c == quote) {
            quote = 0;
        } else {
            out += c;
        }
    }
#if !defined(_WIN32)
    const char *home = std::getenv("HOME");
    if (home && *home && typed.rfind("~/", 0) == 0) out = home + out.substr(1);
#endif
    return out;
}

int complete_toolids(Context &ctx, const std::string &typed) {
    const std::string path = shell_word(typed);
    // standard input is the terminal the completion runs in
    if (is_standard_stream(path)) return kExitUsage;
    std::vector<std::string> names;  // Windows-1251, as the library and the part hold them
    tlsfile::Source source;
    std::string error;
    if (!path.empty() && tlsfile::read_source(path, source, error, tlsfile::kMaxLibraryBytes) &&
        source.kind == tlsfile::SourceKind::library) {
        for (const tlsfile::Tool &t : tlsfile::parse_tls(source.text).tools) names.push_back(t.name);
    } else {
        try {
            const sim::Session session = read_part_or_session(path);
            if (session.part)
                for (const sim::Member &m : session.part->members)
                    if (m.name != "NONE") names.push_back(m.name);
        } catch (const sim::SessionError &) {
            return kExitUsage;
        }
    }
    std::string out;
    std::unordered_set<std::string> given;
    for (const std::string &n : names) {
        const std::string utf8 = kesto::cp1251_to_utf8(n);
        // a name a line, each once: one with a line end or another control byte is left out
        const bool control = std::any_of(utf8.begin(), utf8.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        });
        if (!control && given.insert(utf8).second) out += utf8 + "\n";
    }
    return ctx.print(out) ? kExitOk : kExitUsage;
}

}  // namespace kesto::cli
