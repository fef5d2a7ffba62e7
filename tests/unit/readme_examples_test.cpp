// The README's examples, taken from README.md itself and run as written:
// the session file, the transcript and check report it shows, and its
// command lines with their placeholders filled in.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "tests/unit/test_support.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

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

std::vector<Block> readme_blocks() {
    std::vector<Block> blocks;
    std::string heading;
    Block *open = nullptr;
    for (const std::string &line : lines_of(read_file(std::string(KESTO_SOURCE_DIR) + "/README.md"))) {
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
std::string readme_block(const std::string &heading, const std::string &info) {
    std::vector<std::string> found;
    for (const Block &b : readme_blocks())
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

// A command line of the README with the program's path, without its
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
    write_file("readme_session.json", readme_block("The session file", "json"));
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
                    [] { expect_shown_in(readme_block("The transcript", ""), run_session_example("run")); }},
        // The Windows build shows the same transcript.
        ExampleCase{"SessionFileUnderWine",
                    [] {
                        if (wine_dir().empty())
                            GTEST_SKIP() << "no Windows build given (KESTO_WIN32_DIR or KESTO_WINE_DIR)";
                        EXPECT_EQ(run_session_example("wine", true), run_session_example("run"));
                    }},
        ExampleCase{"RunCommandLine",
                    [] {
                        write_file("readme_session.json", readme_block("The session file", "json"));
                        for (const char *folder : {"run", "run_a", "run_b"}) fs::create_directory(folder);
                        run_lines(readme_block("Running a session", "sh"),
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
        ExampleCase{"ExportCheckPreviewCommandLines",
                    [] {
                        run_lines(readme_block("Exporting, checking and drawing tool libraries", "sh"),
                                  {{"PART_OR_SESSION.json", std::string(KESTO_SOURCE_DIR) + "/examples/demo_part.json"},
                                   {"FILE.tls", "lib.tls"}, {"NAME", "EM10_FLAT"}, {"FILE.svg", "lib.svg"}});
                        EXPECT_NE(read_file("lib.tls").find("TOOLID \"EM10_FLAT\""), std::string::npos);
                        EXPECT_TRUE(file_exists("lib.svg"));
                    }},
        // The demo script's commands after its build, and the check report
        // they print.
        ExampleCase{"DemoScriptCheckReport",
                    [] {
                        std::string report;
                        std::string script = read_file(std::string(KESTO_SOURCE_DIR) + "/scripts/demo.sh");
                        for (const std::string &line : lines_of(script)) {
                            std::string command;
                            if (line.rfind("mkdir ", 0) == 0) command = line;
                            else if (line.rfind("build/native/kesto-tools-vericut ", 0) == 0) command = filled(line, {});
                            else continue;
                            std::string out;
                            ASSERT_EQ(run_command(command, out), 0) << line << "\n" << out;
                            if (line.find(" check ") != std::string::npos) report = out;
                        }
                        expect_shown_in(readme_block("Exporting, checking and drawing tool libraries", ""), report);
                        EXPECT_TRUE(file_exists("demo-out/demo.svg"));
                    }},
        // The keeper's commands as they stand, in a copy of the repository's
        // folders they use (the program linked in): diff says what changed
        // (exit 1) as the README shows, the merge is clean and the drawing
        // marks both.  SITE.tls is what the demo part gives.
        ExampleCase{"KeepingASiteLibrary",
                    [] {
                        fs::create_directories("build/native");
                        fs::create_symlink(KESTO_CLI_PATH, "build/native/kesto-tools-vericut");
                        fs::copy(std::string(KESTO_SOURCE_DIR) + "/examples", "examples");
                        std::string out, diff, folder = ".";
                        ASSERT_EQ(run_command(quoted(KESTO_CLI_PATH) + " export -o demo.tls", out), 0) << out;
                        EXPECT_TRUE(read_file("examples/SITE.tls") == read_file("demo.tls"));
                        for (const std::string &line : lines_of(readme_block("Keeping a site library", "sh"))) {
                            if (line.rfind("cd ", 0) == 0) {
                                folder += "/" + line.substr(3);
                                continue;
                            }
                            const bool is_diff = line.find(" diff ") != std::string::npos;
                            EXPECT_EQ(run_command("cd '" + folder + "' && " + line + " 2>&1", out), is_diff ? 1 : 0)
                                << line << out;
                            if (is_diff) diff = out;
                        }
                        expect_shown_in(readme_block("Keeping a site library", ""), diff);
                        const std::string svg = read_file(folder + "/MERGED.svg");
                        EXPECT_EQ(occurrences(svg, "class=\"cell added\""), 1u);
                        EXPECT_EQ(occurrences(svg, "class=\"cell replaced\""), 1u);
                    }},
        // The install commands as they stand, on the build folders given: the
        // installed program and the Windows ZIP unpacked (under Wine) run the
        // demo export from a folder holding decoys of the plug-in.
        ExampleCase{"Installing",
                    [] {
                        const std::string win = wine_dir();
                        std::string out, script = "set -ex; " + quoted(KESTO_CLI_PATH) + " export -o reference.tls";
                        for (std::string line : lines_of(readme_block("Installing", "sh"))) {
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
                    }},
        // find and export --prefer on a copy of examples/, as the README
        // shows them: find exits 1 (not every tool is the same), the export 0.
        ExampleCase{"FindInTheSiteDatabase",
                    [] {
                        fs::copy(std::string(KESTO_SOURCE_DIR) + "/examples", "examples", fs::copy_options::recursive);
                        std::vector<std::string> out;
                        for (const std::string &line :
                             lines_of(readme_block("Find a part's tools in the site's database", "sh"))) {
                            out.emplace_back();
                            const bool is_find = line.find(" find ") != std::string::npos;
                            EXPECT_EQ(run_command(filled(line, {}) + " 2>&1", out.back()), is_find ? 1 : 0) << line;
                        }
                        ASSERT_EQ(out.size(), 3u);
                        expect_shown_in(readme_block("Find a part's tools in the site's database", ""), out[0]);
                        expect_shown_in(readme_block("Export with the site's records", ""), out[1]);
                                                EXPECT_NE(out[2].find("5 tools: 1 same, 2 renamed, 1 different, 1 not in"), std::string::npos);
                    }},
        // the sheet and the catalogue as the README makes them: our pages
        // and CSV, named as it says
        ExampleCase{"SheetAndCatalogue",
                    [] {
                        fs::copy(std::string(KESTO_SOURCE_DIR) + "/examples", "examples", fs::copy_options::recursive);
                        run_lines(readme_block("Tool sheet and catalogue in a browser", "sh"), {});
                        for (const char *page : {"demo_bracket_rev2.html", "catalog.html"})
                            EXPECT_LT(read_file(page).find("<meta name=\"generator\" content=\"kesto-tools-vericut\">"),
                                      200u) << page;
                        const std::string csv = read_file("SITE.csv");
                        EXPECT_EQ(csv.rfind("\xEF\xBB\xBFPosition;Tool number;TOOLID;", 0), 0u);
                        EXPECT_NE(csv.find("\r\nkesto-tools-vericut tool sheet;SITE;"), std::string::npos);
                    }}),
    [](const auto &p) { return std::string(p.param.name); });

}  // namespace
