// The bash completion: the words it takes apart, the TOOLIDs the program
// gives it, shellcheck's verdict, and completion in a real bash with
// Debian's bash-completion, which finds the installed script by its own
// lookup.
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "host/common/cp1251.h"
#include "tests/unit/test_support.h"
#include "tools/cli/program.h"
#include "tools/cli/shell_docs.h"

namespace {

namespace fs = std::filesystem;
using testing_support::read_file;
using testing_support::run_command;
using testing_support::TempDir;
using testing_support::write_file;

using Ran = testing_support::ProgramRun;
using testing_support::program_args;

const std::string kNamesHead = "CGTECH Tool Library File\r\nVersion-5.2\r\n\r\n";
std::string named_record(const std::string &toolid) {
    return "TOOLID \"" + toolid + "\" {\r\n  TOOLTYPE TURNING\r\n}\r\n";
}
// TOOLIDs with a blank, a pattern's character and a Cyrillic name (Windows-1251)
const std::string kNamesLibrary =
    kNamesHead + named_record("EM10") + named_record("DRILL 8.5 |HSS|") + named_record("T*1") + named_record("\xD4\xD0\xC5\xC7\xC0") + named_record("EM10");
const std::string kNamesPart = R"({"name": "p.prt", "members": [{"name": "NONE", "type": 0, "subtype": 0},
    {"name": "EM10", "type": 1, "subtype": 1, "params": {"diameter": 10, "length": 75}},
    {"name": "BALL 8", "type": 1, "subtype": 1, "params": {"diameter": 8, "length": 70}}]})";

TEST(CliCompletion, ShellWordsAndTheToolidsTheyName) {
    TempDir dir;
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", dir.path().c_str(), 1);
    const std::pair<const char *, std::string> words[] = {
        {"my\\ library.tls", "my library.tls"},   {"'my library.tls'", "my library.tls"},
        {"\"my library.tls\"", "my library.tls"}, {"'my lib", "my lib"},  // still being typed
        {"\"a \\\"b\\\" \\x\"", "a \"b\" \\x"},    {"it\\'s", "it's"},
        {"'a\\b'", "a\\b"},                        {"~/lib.tls", dir.path() + "/lib.tls"},
        {"a~/b", "a~/b"},                          {"", ""},
    };
    for (const auto &[typed, word] : words) EXPECT_EQ(kesto::cli::shell_word(typed), word) << typed;
    setenv("HOME", home.c_str(), 1);

    write_file("my lib.tls", kNamesLibrary);
    write_file("part.json", kNamesPart);
    const std::string cyrillic = kesto::cp1251_to_utf8("\xD4\xD0\xC5\xC7\xC0");
    struct Row {
        std::vector<std::string> args;
        int code;
        std::string out;
    };
    const Row rows[] = {
        // each TOOLID once, in the library's order, as UTF-8
        {{"--complete-toolids", "my\\ lib.tls"}, 0, "EM10\nDRILL 8.5 |HSS|\nT*1\n" + cyrillic + "\n"},
        // a part's tools, without the host's NONE member
        {{"--complete-toolids", "part.json"}, 0, "EM10\nBALL 8\n"},
        {{"--complete-toolids"}, 0, "EM10_FLAT\n"},  // the demo part: its first tool, at least
        // nothing for what cannot be read, and never standard input (the terminal)
        {{"--complete-toolids", "missing.tls"}, 2, ""},
        {{"--complete-toolids", "-"}, 2, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.args.back());
        const Ran r = program_args(row.args);
        EXPECT_EQ(r.code, row.code);
        if (row.args.size() == 1) EXPECT_EQ(r.out.rfind(row.out, 0), 0u) << r.out;
        else EXPECT_EQ(r.out, row.out);
    }
}

TEST(CliCompletion, ShellcheckFindsNothing) {
    TempDir dir;
    write_file("completion.bash", program_args({"--bash-completion"}).out);
    std::string out;
    if (run_command("command -v shellcheck", out) != 0) GTEST_SKIP() << "shellcheck is missing (scripts/install-deps.sh)";
    EXPECT_EQ(run_command("shellcheck completion.bash 2>&1", out), 0) << out;
    EXPECT_EQ(out, "");
}

// Completion in bash with bash-completion loaded: the script installed
// under a prefix, found by bash-completion's own lookup (the prefix's share
// folder in XDG_DATA_DIRS, or ~/.local), then each row's words completed.
TEST(CliCompletion, InARealBashUnderAnInstalledPrefix) {
    const std::string loader = "/usr/share/bash-completion/bash_completion";
    if (!fs::exists(loader)) GTEST_SKIP() << "bash-completion is missing (scripts/install-deps.sh)";
    TempDir dir;
    std::string out;
    for (const char *prefix : {"kesto", "home/.local"})
        ASSERT_EQ(run_command(KESTO_CMAKE " --install " KESTO_BINARY_DIR " --prefix " + dir.file(prefix) + " 2>&1", out),
                  0) << out;
    ASSERT_EQ(read_file(dir.file("kesto/share/bash-completion/completions/kesto-tools-vericut")),
              program_args({"--bash-completion"}).out) << "the build's completion is not the program's: build it again";
    fs::create_directories("work");
    write_file("work/my library.tls", kNamesLibrary);
    write_file("work/part.json", kNamesPart);
    write_file("work/other.tls", kNamesHead);
    struct Row {
        const char *words;  // COMP_WORDS after the program's name, as bash splits them
        const char *offered;
    };
    const Row rows[] = {
        {"check my", "my library.tls"},  // a name with a blank, whole
        {"check \"'my l\"", "my library.tls"},
        {"check 'my\\ '", "my library.tls"},
        {"preview --scale ''", "one|per-tool"},  // an option's values
        {"preview --scale = p", "per-tool"},
        {"--encoding u", "utf-8"},
        {"fix --backup = n", "numbered"},
        {"merge --take ''", "ours|theirs"},
        {"remove 'my\\ library.tls' E", "EM10"},  // TOOLIDs of the library on the line
        {"extract -o x.tls \"'my library.tls'\" D", "DRILL 8.5 |HSS|"},
        {"rename 'my\\ library.tls' T", "T*1"},
        {"export part.json --select EM10,B", "EM10,BALL 8"},
        {"export --select EM", "EM10_FLAT"},
        {"help pr", "preview"},
        {"ex", "export|extract"},
    };
    std::string script = "cd work\nsource " + loader +
                         "\n_completion_loader kesto-tools-vericut\n"
                         "complete -p kesto-tools-vericut | grep -q _kesto_tools_vericut || echo NOT LOADED\n";
    for (const Row &row : rows)
        script += std::string("COMP_WORDS=(kesto-tools-vericut ") + row.words +
                  "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMPREPLY=(); _kesto_tools_vericut\n"
                  "(IFS='|'; echo \"=${COMPREPLY[*]}\")\n";
    write_file("try.sh", script);
    const std::string bash = "bash --norc --noprofile -i try.sh 2>/dev/null";
    for (const std::string &env : {"HOME=" + dir.file("home") + " PATH=" + dir.file("kesto/bin") +
                                      ":$PATH XDG_DATA_DIRS=" + dir.file("kesto/share") + ":/usr/local/share:/usr/share",
                                  "HOME=" + dir.file("home") + " PATH=" + dir.file("home/.local/bin") +
                                      ":$PATH XDG_DATA_HOME= XDG_DATA_DIRS="}) {
        SCOPED_TRACE(env);
        ASSERT_EQ(run_command("env " + env + " " + bash, out), 0) << out;
        std::vector<std::string> offered;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("=", 0) == 0) offered.push_back(line.substr(1));
        EXPECT_EQ(out.find("NOT LOADED"), std::string::npos) << out;
        ASSERT_EQ(offered.size(), std::size(rows)) << out;
        for (size_t i = 0; i < offered.size(); ++i) EXPECT_EQ(offered[i], rows[i].offered) << rows[i].words;
    }
}

}  // namespace
