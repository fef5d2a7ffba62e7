// The examples of the README, the guide and the development page, taken from
// the files themselves and run as written: each command of the guide with
// the exit code and the output it shows, the session file and transcript,
// the quick start and the install commands.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include <unistd.h>

#include "tests/unit/test_support.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

constexpr const char *kReadme = "README.md", *kGuide = "docs/guide.md", *kDevelopment = "docs/development.md";

struct Block {
    std::string heading;  // the heading the block stands under
    std::string info;     // what follows the opening ``` ("json", "sh" or nothing)
    std::string text;
};

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The fenced blocks of a file of the tree (README.md, docs/guide.md, ...).
std::vector<Block> doc_blocks(const std::string &doc) {
    std::vector<Block> blocks;
    std::string heading;
    Block *open = nullptr;
    for (const std::string &line : lines_of(read_file(std::string(KESTO_SOURCE_DIR) + "/" + doc))) {
        if (open) {
            if (line == "```") open = nullptr;
            else open->text += line + "\n";
        } else if (line.rfind("```", 0) == 0) {
            blocks.push_back({heading, line.substr(3), ""});
            open = &blocks.back();
        } else if (line.rfind("#", 0) == 0) {
            heading = line.substr(line.find(' ') + 1);
        }
    }
    return blocks;
}

// The one block of that kind under that heading.
std::string doc_block(const std::string &doc, const std::string &heading, const std::string &info) {
    std::vector<std::string> found;
    for (const Block &b : doc_blocks(doc))
        if (b.heading == heading && b.info == info) found.push_back(b.text);
    EXPECT_EQ(found.size(), 1u) << "```" << info << " blocks under \"" << heading << "\"";
    return found.empty() ? "" : found[0];
}

// Whether line matches pattern, where "..." stands for any text.
bool matches(const std::string &line, const std::string &pattern) {
    size_t gap = pattern.find("...");
    if (gap == std::string::npos) return line == pattern;
    if (line.compare(0, gap, pattern, 0, gap) != 0) return false;
    std::string rest = pattern.substr(gap + 3);
    for (size_t at = gap; at <= line.size(); ++at)
        if (matches(line.substr(at), rest)) return true;
    return false;
}

// Every line of the example is a line of the output, in the example's
// order; a line of the example that is only "..." stands for lines left out.
void expect_shown_in(const std::string &example, const std::string &output) {
    std::vector<std::string> out = lines_of(output);
    size_t next = 0;
    for (const std::string &pattern : lines_of(example)) {
        size_t text = pattern.find_first_not_of(' ');
        if (text != std::string::npos && pattern.compare(text, std::string::npos, "...") == 0) continue;
        while (next < out.size() && !matches(out[next], pattern)) ++next;
        ASSERT_LT(next, out.size()) << "not in the output (in this order): " << pattern << "\noutput:\n" << output;
        ++next;
    }
}

std::string quoted(const std::string &s) { return "'" + s + "'"; }

// A command line of the development page with the program's path, without its
// brackets and with each placeholder replaced; "..." (more of the same) goes.
std::string filled(const std::string &line, const std::map<std::string, std::string> &values) {
    std::string out = quoted(KESTO_CLI_PATH);
    std::istringstream words(line.substr(line.find(' ')));
    for (std::string w; words >> w;) {
        w.erase(std::remove_if(w.begin(), w.end(), [](char c) { return c == '[' || c == ']'; }), w.end());
        if (w == "...") continue;
        auto it = values.find(w);
        out += " " + (it == values.end() ? w : quoted(it->second));
    }
    return out;
}

// Runs each command line of the block, filled in, in the current folder.
void run_lines(const std::string &block, const std::map<std::string, std::string> &values) {
    for (const std::string &line : lines_of(block)) {
        ASSERT_EQ(line.rfind("build/native/kesto-tools-vericut ", 0), 0u) << line;
        std::string out;
        EXPECT_EQ(run_command(filled(line, values) + " 2>&1", out), 0) << line << "\n" << out;
    }
}

// The session example, saved as readme_session.json and run in folder, by
// the native program or the Windows one under Wine; its transcript.
std::string run_session_example(const std::string &folder, bool under_wine = false) {
    write_file("readme_session.json", doc_block(kDevelopment, "The session file", "json"));
    fs::create_directory(folder);
    std::string command = quoted(KESTO_CLI_PATH) + " run readme_session.json -C " + folder;
    if (under_wine)
        command = wine_command() + " " + quoted(wine_dir() + "/kesto-tools-vericut.exe") + " run " +
                  quoted(wine_path(fs::absolute("readme_session.json").string())) + " -C " +
                  quoted(wine_path(fs::absolute(folder).string()));
    std::string out;
    EXPECT_EQ(run_command(command + " -o transcript.txt", out), 0) << out;
    return read_file(folder + "/transcript.txt");
}

// A command of an example ("$ " in a ```console block, or a line of a ```sh
// block), the exit code its comment gives ("# exit N", else 0) and the
// output shown under it (console blocks only).
struct Step {
    std::string command;
    int exit = 0;
    bool shows = false;
    std::vector<std::string> shown;
};

std::vector<Step> steps_under(const std::string &doc, const std::string &heading) {
    static const std::regex exit_comment(R"(#.*\bexit (\d+))");
    std::vector<Step> steps;
    for (const Block &b : doc_blocks(doc)) {
        if (b.heading != heading || (b.info != "console" && b.info != "sh")) continue;
        for (const std::string &line : lines_of(b.text)) {
            const bool console = b.info == "console";
            if (console && line.rfind("$ ", 0) != 0) {
                if (!steps.empty()) steps.back().shown.push_back(line);
                continue;
            }
            Step step{console ? line.substr(2) : line, 0, console, {}};
            std::smatch m;
            if (std::regex_search(step.command, m, exit_comment)) step.exit = std::stoi(m[1]);
            steps.push_back(step);
        }
    }
    return steps;
}

std::string without_end_blanks(const std::string &s) { return s.substr(0, s.find_last_not_of(" \t\r") + 1); }

// Whether the output's lines are the shown ones, from the first to the
// last; a shown line "..." stands for any number of lines, and "..." in a
// line for any text. Blanks at line ends do not count.
bool shows_as(const std::vector<std::string> &shown, size_t i, const std::vector<std::string> &out, size_t j) {
    if (i == shown.size()) return j == out.size();
    if (const size_t text = shown[i].find_first_not_of(' ');
        text != std::string::npos && without_end_blanks(shown[i]).compare(text, std::string::npos, "...") == 0) {
        for (size_t k = j; k <= out.size(); ++k)
            if (shows_as(shown, i + 1, out, k)) return true;
        return false;
    }
    return j < out.size() && matches(without_end_blanks(out[j]), without_end_blanks(shown[i])) &&
           shows_as(shown, i + 1, out, j + 1);
}

using Substitutions = std::vector<std::pair<std::string, std::string>>;

std::string substituted(std::string text, const Substitutions &substitutions) {
    for (const auto &[was, is] : substitutions)
        for (size_t at = text.find(was); at != std::string::npos; at = text.find(was, at + is.size()))
            text.replace(at, was.size(), is);
    return text;
}

// The steps under the heading, run as the guide's reader runs them: in a
// clone (examples/ and build/native/ with the program), after the commands
// of the guide's "Before you start" (PATH, a copy of the examples in the
// home folder of anna), by sh with no other variable set than git's name
// for its commits. Each step's exit code and output are checked, the test's
// folder taken out of the output and the row's substitutions made.
void run_example(const std::string &doc, const std::string &heading, const Substitutions &substitutions) {
    std::vector<Step> steps = steps_under(kGuide, "Before you start");
    const std::vector<Step> own = steps_under(doc, heading);
    ASSERT_FALSE(own.empty()) << "no example under \"" << heading << "\" in " << doc;
    steps.insert(steps.end(), own.begin(), own.end());
    const std::string root = fs::current_path().string();
    fs::create_directories("home/anna");
    fs::create_directories("clone/build/native");
    fs::copy(std::string(KESTO_SOURCE_DIR) + "/examples", "clone/examples", fs::copy_options::recursive);
    fs::create_symlink(KESTO_CLI_PATH, "clone/build/native/kesto-tools-vericut");
    std::string script;
    for (const Step &step : steps) script += step.command + "\nprintf '\\001%d\\n' $?\n";
    write_file("steps.sh", script);
    std::string out;
    run_command("cd clone && env -i HOME=" + quoted(root + "/home/anna") +
                    " PATH=/usr/bin:/bin LANG=C.UTF-8 GIT_CONFIG_NOSYSTEM=1 GIT_AUTHOR_NAME=anna "
                    "GIT_AUTHOR_EMAIL=anna@example.com GIT_COMMITTER_NAME=anna GIT_COMMITTER_EMAIL=anna@example.com "
                    "sh ../steps.sh 2>&1",
                out);
    std::vector<std::string> pieces(1);  // each step's output, after the exit code of the step before
    for (char c : out) {
        if (c == '\x01') pieces.emplace_back();
        else pieces.back() += c;
    }
    ASSERT_EQ(pieces.size(), steps.size() + 1) << out;
    for (size_t i = 0; i < steps.size(); ++i) {
        std::string text = i == 0 ? pieces[0] : pieces[i].substr(pieces[i].find('\n') + 1);
        text = substituted(substituted(text, {{root, ""}}), substitutions);
        EXPECT_EQ(std::atoi(pieces[i + 1].c_str()), steps[i].exit) << steps[i].command << "\n" << text;
        if (steps[i].shows) {
            EXPECT_TRUE(shows_as(steps[i].shown, 0, lines_of(text), 0))
                << "$ " << steps[i].command << "\nprinted:\n" << text;
        }
    }
}

// A heading of a guide whose examples run, with what else they must do: the
// substitutions that make the output what the guide shows (only what must
// vary), and what is checked afterwards, in the example's folder.
struct GuideCase {
    const char *doc;
    const char *heading;
    Substitutions substitutions;
    std::function<void()> then;
};
void PrintTo(const GuideCase &c, std::ostream *os) { *os << c.doc << ": " << c.heading; }

const std::vector<GuideCase> &guide_cases() {
    static const std::vector<GuideCase> cases = {
        {kGuide, "Export a part's tools", {}, nullptr},
        {kGuide, "Check a library", {}, nullptr},
        {kGuide, "See what changed", {}, nullptr},
        {kGuide, "One library into another", {},
         [] {  // the drawing marks what the merge added and replaced
             const std::string svg = read_file("home/anna/kesto-examples/site.svg");
             EXPECT_EQ(occurrences(svg, "class=\"cell added\""), 1u);
             EXPECT_EQ(occurrences(svg, "class=\"cell replaced\""), 1u);
         }},
        {kGuide, "Two copies edited apart", {}, nullptr},
        {kGuide, "Find a part's tools in the site's database", {}, nullptr},
        {kGuide, "Make a tool sheet", {},
         [] {
             EXPECT_LT(read_file("home/anna/kesto-examples/demo_bracket_rev2.html")
                           .find("<meta name=\"generator\" content=\"kesto-tools-vericut\">"),
                       200u);
         }},
        {kGuide, "For a spreadsheet: the CSV", {},
         [] {
             const std::string csv = read_file("home/anna/kesto-examples/SITE.csv");
             EXPECT_EQ(csv.rfind("\xEF\xBB\xBFPosition;Tool number;TOOLID;", 0), 0u);
         }},
        {kGuide, "Look at the whole database (the catalogue)", {}, nullptr},
        {kGuide, "Mend a library saved by another editor", {}, nullptr},
        {kGuide, "Remove, rename and extract tools", {}, nullptr},
        {kGuide, "Backups and dry runs", {}, nullptr},
        {kGuide, "Scripts with --json", {}, nullptr},
        {kGuide, "Keep a site library in git", {},
         [] {  // settled: anna's BN16_R2 in a whole, sound library
             std::string out;
             EXPECT_EQ(run_command(quoted(KESTO_CLI_PATH) + " check home/anna/kesto-examples/tools/site.tls", out), 0)
                 << out;
             EXPECT_NE(out.find("\"BN16_R2\" bull nose: D 16, R 2, L 100, flute 40; holder"), std::string::npos) << out;
         }},
        {kGuide, "The settings the plug-in reads", {}, nullptr},
        {kGuide, "What the program itself reads", {}, nullptr},
        {kReadme, "A short tour", {}, nullptr},
    };
    return cases;
}

class Guide : public ::testing::TestWithParam<GuideCase> {};

TEST_P(Guide, RunsAsShown) {
    if (std::string(GetParam().heading) == "Keep a site library in git" && std::system("git --version >/dev/null 2>&1"))
        GTEST_SKIP() << "git is not installed (scripts/install-deps.sh installs it)";
    TempDir dir;
    run_example(GetParam().doc, GetParam().heading, GetParam().substitutions);
    if (GetParam().then) GetParam().then();
}

// Named by the heading's words: "Remove, rename and extract tools" is RemoveRenameAndExtractTools.
INSTANTIATE_TEST_SUITE_P(Docs, Guide, ::testing::ValuesIn(guide_cases()), [](const auto &p) {
    std::string name;
    for (const char *c = p.param.heading; *c; ++c)
        if (std::isalnum(static_cast<unsigned char>(*c)))
            name += c == p.param.heading || std::isalnum(static_cast<unsigned char>(c[-1])) ? *c : std::toupper(*c);
    return name;
});

// Every heading of the README and the guide with commands has its row (the
// quick start and the install commands have theirs below).
TEST(Guide, EveryExampleRuns) {
    std::set<std::string> rows = {std::string(kReadme) + ": Quick start", std::string(kReadme) + ": Install",
                                  std::string(kGuide) + ": Before you start"};
    for (const GuideCase &c : guide_cases()) rows.insert(std::string(c.doc) + ": " + c.heading);
    for (const char *doc : {kReadme, kGuide})
        for (const Block &b : doc_blocks(doc))
            EXPECT_TRUE((b.info != "console" && b.info != "sh") || rows.count(std::string(doc) + ": " + b.heading))
                << doc << ": " << b.heading;
}

struct ExampleCase {
    const char *name;
    std::function<void()> run;
};
void PrintTo(const ExampleCase &c, std::ostream *os) { *os << c.name; }

class Example : public ::testing::TestWithParam<ExampleCase> {};

TEST_P(Example, RunsAsWritten) {
    TempDir dir;
    GetParam().run();
}

INSTANTIATE_TEST_SUITE_P(
    Readme, Example,
    ::testing::Values(
        // The session runs to its end: every answer lands on its dialog, the
        // settings file is found, the export writes a sound file.
        ExampleCase{"SessionFile",
                    [] {
                        std::string transcript = run_session_example("run");
                        EXPECT_EQ(transcript.find("\nerror "), std::string::npos) << transcript;
                        EXPECT_EQ(transcript.find("Cant open and read *.ini file"), std::string::npos) << transcript;
                        EXPECT_NE(transcript.find("status \"Object not found\""), std::string::npos) << transcript;
                        std::string out;
                        EXPECT_EQ(run_command(quoted(KESTO_CLI_PATH) + " check run/bracket.tls", out), 0) << out;
                    }},
        ExampleCase{"Transcript",
                    [] {
                        expect_shown_in(doc_block(kDevelopment, "The transcript", ""), run_session_example("run"));
                    }},
        // The Windows build shows the same transcript.
        ExampleCase{"SessionFileUnderWine",
                    [] {
                        if (wine_dir().empty())
                            GTEST_SKIP() << "no Windows build given (KESTO_WIN32_DIR or KESTO_WINE_DIR)";
                        EXPECT_EQ(run_session_example("wine", true), run_session_example("run"));
                    }},
        ExampleCase{"RunCommandLine",
                    [] {
                        write_file("readme_session.json", doc_block(kDevelopment, "The session file", "json"));
                        for (const char *folder : {"run", "run_a", "run_b"}) fs::create_directory(folder);
                        run_lines(doc_block(kDevelopment, "Running a session", "sh"),
                                  {{"SESSION.json", "readme_session.json"}, {"FOLDER", "run"},
                                   {"TRANSCRIPT", "t.txt"}, {"LIB", KESTO_PLUGIN_PATH},
                                   {"A.json", "readme_session.json"}, {"B.json", "readme_session.json"},
                                   {"FOLDER_A", "run_a"}, {"FOLDER_B", "run_b"}});
                        nlohmann::json events = nlohmann::json::parse(read_file("run/t.txt"));
                        EXPECT_TRUE(events.is_array() && !events.empty());
                        // the second session of one program runs as the first did
                        EXPECT_NE(read_file("run_a/t.txt").find("unload 1"), std::string::npos);
                        EXPECT_EQ(read_file("run_b/t.txt"), read_file("run_a/t.txt"));
                    }},
        // The quick start's two commands, the second what CI runs; the demo
        // script's commands after its build print the check report the guide
        // shows of SITE.tls, the demo part's library.
        ExampleCase{"QuickStart",
                    [] {
                        const std::string src = KESTO_SOURCE_DIR;
                        std::vector<std::string> commands;
                        for (const std::string &line : lines_of(doc_block(kReadme, "Quick start", "sh")))
                            commands.push_back(line.substr(0, line.find(' ')));
                        EXPECT_EQ(commands, (std::vector<std::string>{"scripts/demo.sh", "scripts/test-all.sh"}));
                        for (const std::string &script : commands)
                            EXPECT_EQ(::access((src + "/" + script).c_str(), X_OK), 0) << script;
                        EXPECT_NE(read_file(src + "/.ci/run").find("exec scripts/test-all.sh"), std::string::npos);
                        std::string report;
                        for (const std::string &line : lines_of(read_file(src + "/scripts/demo.sh"))) {
                            std::string command;
                            if (line.rfind("mkdir ", 0) == 0) command = line;
                            else if (line.rfind("build/native/kesto-tools-vericut ", 0) == 0) command = filled(line, {});
                            else continue;
                            std::string out;
                            ASSERT_EQ(run_command(command, out), 0) << line << "\n" << out;
                            if (line.find(" check ") != std::string::npos) report = out;
                        }
                        const std::vector<Step> check = steps_under(kGuide, "Check a library");
                        ASSERT_FALSE(check.empty());
                        report = substituted(report, {{"demo-out/demo.tls", "SITE.tls"}});
                        EXPECT_TRUE(shows_as(check[0].shown, 0, lines_of(report), 0)) << report;
                        EXPECT_TRUE(file_exists("demo-out/demo.svg"));
                    }},
        // The install commands as they stand, on the build folders given: the
        // installed program and the Windows ZIP unpacked (under Wine) run the
        // demo export from a folder holding decoys of the plug-in.
        ExampleCase{"Installing",
                    [] {
                        const std::string win = wine_dir();
                        std::string out, script = "set -ex; " + quoted(KESTO_CLI_PATH) + " export -o reference.tls";
                        for (std::string line : lines_of(doc_block(kReadme, "Install", "sh"))) {
                            line = line.substr(0, line.find(" #"));
                            // the build folders given are configured and built already
                            if (line.rfind("cmake -S", 0) == 0 || line.rfind("cmake --build build/native", 0) == 0)
                                continue;
                            for (const auto &[was, is] : std::map<std::string, std::string>{
                                     {"build/native", KESTO_BINARY_DIR}, {"build/win32", win}, {"~/kesto", "usr"}})
                                if (size_t at = line.find(was); at != line.npos) line.replace(at, was.size(), is);
                            if (!win.empty() || line.find("package") == std::string::npos) script += "; " + line;
                        }
                        // the man page, the examples, and the completion as bash takes it: a
                        // subcommand after the program's name, an option after a subcommand
                        // every page the README links to is beside the installed README
                        std::string linked;
                        const std::string readme = read_file(std::string(KESTO_SOURCE_DIR) + "/" + kReadme);
                        const std::regex link(R"(\]\((docs/[^)#]+))");
                        for (std::sregex_iterator it(readme.begin(), readme.end(), link), end; it != end; ++it)
                            linked += " usr/share/doc/*/" + (*it)[1].str();
                        script += "; ls" + linked;
                        script += "; ls usr/share/doc/*/README.md usr/share/doc/*/examples/PART.json; "
                                  "grep -q '^.SS diff' usr/share/man/man1/kesto-tools-vericut.1; "
                                  "bash -c 'set -e; source usr/share/bash-completion/completions/kesto-tools-vericut; "
                                  "complete -p kesto-tools-vericut | grep -q _kesto_tools_vericut; "
                                  "COMP_WORDS=(kesto-tools-vericut ex); COMP_CWORD=1; _kesto_tools_vericut; "
                                  "[[ \"${COMPREPLY[*]}\" == export* ]]; "
                                  "COMP_WORDS=(kesto-tools-vericut diff --st); COMP_CWORD=2; _kesto_tools_vericut; "
                                  "[[ \"${COMPREPLY[*]}\" == --stat ]]'";
                        script += "; touch kesto_tools_vericut.so kesto_tools_vericut.dll"
                                  "; ldd usr/bin/kesto-tools-vericut | grep \"libufun.so => $PWD/usr/\"; "
                                  "usr/bin/kesto-tools-vericut export -o demo.tls; cmp demo.tls reference.tls";
                        if (!win.empty())
                            script += "; mkdir zip; (cd zip; cmake -E tar xf " + win + "/*.zip; mv */* .; ls "
                                      "INSTALL.txt GUIDE.txt examples/kesto_tools_vericut.ini); " + wine_command() +
                                      " zip/kesto-tools-vericut.exe export -o wine.tls; cmp wine.tls reference.tls";
                        EXPECT_EQ(run_command("(" + script + ") 2>&1", out), 0) << out;
                    }}),
    [](const auto &p) { return std::string(p.param.name); });

}  // namespace
