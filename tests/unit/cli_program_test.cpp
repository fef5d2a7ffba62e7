// The program's one spine, run in this process (tools/cli is linked in):
// every command reads a file however it was saved, names TOOLIDs one way,
// replaces a file and keeps its backup one way, and shows what it did one
// way.  Interrupts end a process, so those rows run the program itself.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "host/common/cp1251.h"
#include "tests/unit/test_support.h"
#include "tools/cli/program.h"

namespace {

namespace fs = std::filesystem;
using testing_support::read_file;
using testing_support::TempDir;
using testing_support::write_file;

using Ran = testing_support::ProgramRun;
using testing_support::program;

const std::string kHead = "CGTECH Tool Library File\r\nVersion-5.2\r\n\r\n";
std::string record(const std::string &toolid, const std::string &description = "turning") {
    return "TOOLID \"" + toolid + "\" {\r\n  DESCRIPTION \"" + description + "\"\r\n  TOOLTYPE TURNING\r\n}\r\n";
}
// Windows-1251, as the plug-in writes: TOOLIDs a user may mistype or hold a pattern's characters.
const std::string kCutter = "\xD4\xD0\xC5\xC7\xC0";  // ФРЕЗА
const std::string kLibrary = kHead + record("D10") + record("T10") + record("T*1") + record(kCutter, "\xF4\xF0\xE5\xE7\xE0");

std::string utf16(const std::string &cp1251, bool big_endian) {
    const std::string utf8 = kesto::cp1251_to_utf8(cp1251);
    std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
    for (size_t i = 0; i < utf8.size();) {
        uint32_t cp = 0;
        size_t len = 1;
        kesto::utf8_code_point(utf8, i, cp, len);
        const char hi = static_cast<char>(cp >> 8), lo = static_cast<char>(cp & 0xFF);
        out += big_endian ? std::string{hi, lo} : std::string{lo, hi};
        i += len;
    }
    return out;
}

TEST(CliProgram, EveryCommandReadsALibraryHoweverItWasSaved) {
    TempDir dir;
    write_file("lib.tls", kLibrary);
    write_file("utf8.tls", kesto::cp1251_to_utf8(kLibrary));
    write_file("utf8bom.tls", "\xEF\xBB\xBF" + kesto::cp1251_to_utf8(kLibrary));
    write_file("utf16.tls", utf16(kLibrary, false));
    write_file("utf16be.tls", utf16(kLibrary, true));
    std::string lost = kesto::cp1251_to_utf8(kHead + record("D10", "MARK"));
    write_file("lost.tls", lost.replace(lost.find("MARK"), 4, "✓"));  // UTF-8 of a character Windows-1251 lacks
    fs::create_directory("db");
    write_file("db/site.tls", utf16(kLibrary, false));
    write_file("part.json", "\xEF\xBB\xBF{\"name\": \"p.prt\", \"members\": [{\"name\": \"EM10\", \"type\": 1, "
                            "\"subtype\": 1, \"params\": {\"diameter\": 10, \"length\": 75}}]}");
    write_file("notes.txt", "notes\n");
    struct Row {
        const char *line;
        int code;
        const char *out;  // a piece of standard output ("" for none expected)
        const char *err;  // a piece of standard error ("" for none expected)
    };
    const Row rows[] = {
        // read, found and listed as the Windows-1251 library they stand for; check names the encoding
        {"check utf16.tls", 1, "line 16: \"ФРЕЗА\" turning", ""},
        {"check utf16be.tls", 1, "utf16be.tls:1: the file starts with a UTF-16 byte-order mark: it is UTF-16", ""},
        {"check utf8.tls", 1, "the quoted text is UTF-8", ""},
        {"check utf8bom.tls", 1, "starts with a UTF-8 byte-order mark", ""},
        {"diff lib.tls utf16.tls", 0, "unchanged: 4 tools", ""},
        {"diff utf8bom.tls utf16be.tls", 0, "unchanged: 4 tools", ""},
        {"find utf8.tls --database db", 0, "4 tools: 4 same", "db/site.tls: 1 problem (see check); searched all the same"},
        {"catalog --database db -o c.html", 0, "wrote c.html: 4 records of 1 library", ""},
        {"preview utf16.tls -o p.svg", 1, "wrote p.svg: 4 tools", "utf16.tls has 1 problem"},
        {"merge lib.tls utf16.tls -o m.tls", 0, "4 tools replaced (0 changed)", ""},
        {"remove utf16.tls ФРЕЗА -o r.tls", 0, "removed \"ФРЕЗА\" (line 16)", ""},
        // --json says what the report says, the encoding written too
        {"remove utf8.tls D10 -o r3.tls --json", 0, "\"written in Windows-1251, as the plug-in writes (it was UTF-8)\"", ""},
        {"fix utf16be.tls -o f.tls", 0, "encoding UTF-16 made Windows-1251 (19 lines)", ""},
        {"fix lost.tls -o f2.tls", 2, "", "lost.tls: line 5: the character \"✓\" (U+2713) has no Windows-1251 form"},
        {"remove lost.tls D10 -o r2.tls", 2, "", "line 5 holds a character Windows-1251 lacks"},
        // a part with a byte-order mark is a part for every command
        {"export part.json -o e.tls", 0, "wrote e.tls: 1 tool", ""},
        {"find part.json --database db", 1, "\"EM10\": not in the database", ""},
        {"sheet part.json -o s.html", 0, "wrote s.html: 1 tool", ""},
        // a file of the wrong kind: one message whatever the command
        {"check part.json", 2, "", "part.json: is a part or session file (JSON), not a tool library; check takes"},
        {"diff part.json lib.tls", 2, "", "part.json: is a part or session file (JSON), not a tool library; diff takes"},
        {"run utf16.tls", 2, "", "utf16.tls: is a tool library (*.tls), not a part or session file (JSON)"},
        {"export utf8.tls", 2, "", "utf8.tls: is a tool library (*.tls), not a part or session file (JSON)"},
        {"merge lib.tls notes.txt -o n.tls", 2, "", "notes.txt: does not start with the tool library header"},
        {"find notes.txt --database db", 2, "", "notes.txt: is neither a tool library"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line);
        const Ran r = program(row.line);
        EXPECT_EQ(r.code, row.code) << r.err;
        EXPECT_NE(r.out.find(row.out), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(row.err), std::string::npos) << r.err;
    }
    // what the edits wrote is the Windows-1251 library the plug-in writes
    EXPECT_EQ(read_file("m.tls"), kLibrary);
    EXPECT_EQ(read_file("f.tls"), kLibrary);
    EXPECT_EQ(read_file("r.tls"), kHead + record("D10") + record("T10") + record("T*1"));
}

TEST(CliProgram, ToolidsAreNamesPatternsOrLines) {
    TempDir dir;
    struct Row {
        const char *line;
        int code;
        std::string left;  // the library's TOOLIDs after it, in order
        const char *said;  // a piece of what it says (out or err)
    };
    const Row rows[] = {
        // a letter Windows-1251 lacks is refused, never taken as '?'
        {"remove lib.tls Ø10", 2, "D10 T10 T*1 ФРЕЗА", "holds 'Ø' (U+00D8), which Windows-1251 lacks"},
        {"export --select Ø10 -o x.tls", 2, "D10 T10 T*1 ФРЕЗА", "--select \"Ø10\" holds 'Ø'"},
        // a name is a name; =NAME is one even with '*'; a pattern only with '*' or '?'
        {"remove lib.tls 'T*'", 0, "D10 ФРЕЗА", "removed \"T10\" (line 8)"},
        {"remove lib.tls '=T*1'", 0, "D10 T10 ФРЕЗА", "removed \"T*1\" (line 12)"},
        {"remove lib.tls --line 12", 0, "D10 T10 ФРЕЗА", "removed \"T*1\" (line 12)"},
        {"remove lib.tls T10 --line 12", 2, "D10 T10 T*1 ФРЕЗА", "--line 12 picks no record that \"T10\" names"},
        {"remove lib.tls '?10'", 0, "T*1 ФРЕЗА", "removed \"D10\" (line 4)"},
        {"remove lib.tls фреза", 2, "D10 T10 T*1 ФРЕЗА", "holds no TOOLID \"фреза\" (did you mean \"ФРЕЗА\"?)"},
        {"remove lib.tls T01", 2, "D10 T10 T*1 ФРЕЗА", "did you mean \"T10\"?"},
        // a new name passes what check asks of a TOOLID
        {"rename lib.tls D10 'D\t10'", 2, "D10 T10 T*1 ФРЕЗА", "cannot be a TOOLID: it holds the control byte \\x09"},
        {"rename lib.tls D10 'D*'", 2, "D10 T10 T*1 ФРЕЗА", "cannot be a TOOLID: it holds '*' or '?'"},
        {"rename lib.tls '=T*1' T1", 0, "D10 T10 T1 ФРЕЗА", "renamed \"T*1\" (line 12) to \"T1\""},
        {"rename lib.tls 'T*' T1", 2, "D10 T10 T*1 ФРЕЗА", "rename takes one TOOLID, not a pattern"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line);
        write_file("lib.tls", kLibrary);
        const Ran r = program(row.line);
        EXPECT_EQ(r.code, row.code) << r.err;
        EXPECT_NE((r.out + r.err).find(row.said), std::string::npos) << r.out << r.err;
        std::string left;
        const std::string text = kesto::cp1251_to_utf8(read_file("lib.tls"));
        for (size_t at = 0; (at = text.find("TOOLID \"", at)) != std::string::npos; at += 8)
            left += (left.empty() ? "" : " ") + text.substr(at + 8, text.find('"', at + 8) - at - 8);
        EXPECT_EQ(left, row.left);
    }
}

TEST(CliProgram, ReplacingAFileKeepsOneTrueBackup) {
    TempDir dir;
    const std::string changed = kHead + record("D10", "changed") + record("T10") + record("T*1") + record(kCutter, "x");
    write_file("new.tls", changed);
    auto merge = [](const std::string &options) { return program("merge lib.tls new.tls -o lib.tls " + options); };
    // the backup keeps the library's mode; the library keeps it too
    write_file("lib.tls", kLibrary);
    chmod("lib.tls", 0600);
    Ran r = merge("--backup");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("the old lib.tls is kept as lib.tls~"), std::string::npos) << r.out;
    struct stat st;
    ASSERT_EQ(stat("lib.tls~", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat("lib.tls", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(read_file("lib.tls~"), kLibrary);
    // a run that changes nothing writes nothing: the only backup of the state before stays
    r = merge("--backup");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("lib.tls is unchanged: it held these bytes already, so no backup was made"), std::string::npos)
        << r.out;
    EXPECT_EQ(read_file("lib.tls~"), kLibrary);
    // and says so in its object too, for every command that writes a library
    for (const char *line : {"merge lib.tls new.tls -o lib.tls --json", "fix lib.tls --json",
                             "merge --three-way lib.tls lib.tls lib.tls -o lib.tls --json"}) {
        SCOPED_TRACE(line);
        r = program(line);
        const nlohmann::json object = nlohmann::json::parse(r.out, nullptr, false);
        ASSERT_TRUE(object.is_object()) << r.out << r.err;
        EXPECT_EQ(object.value("written", true), false) << r.out;
    }
    // a backup never goes through a link, nor over a file that is no earlier backup
    struct Refusal {
        const char *setup;  // what stands at lib.tls~
        const char *said;
    };
    for (const Refusal &row : {Refusal{"link", "lib.tls~ is a link; a backup never follows one"},
                               Refusal{"notes", "lib.tls~ is not an earlier backup of this library (no tool library)"}}) {
        SCOPED_TRACE(row.setup);
        fs::remove("lib.tls~");
        write_file("victim.txt", "keep me");
        if (std::string(row.setup) == "link") fs::create_symlink("victim.txt", "lib.tls~");
        else write_file("lib.tls~", "keep me");
        write_file("lib.tls", kLibrary);
        r = merge("--backup");
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(row.said), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("lib.tls is left as it was"), std::string::npos) << r.err;
        EXPECT_EQ(read_file("victim.txt"), "keep me");
        EXPECT_EQ(read_file("lib.tls"), kLibrary);
    }
    // numbered backups count on past a number no integer holds
    fs::remove("lib.tls~");
    write_file("lib.tls.~9999999999~", kLibrary);
    r = merge("--backup=numbered");
    EXPECT_NE(r.out.find("kept as lib.tls.~10000000000~"), std::string::npos) << r.out << r.err;
    // a dry run towards a file that is not there plans every record as added
    r = program("merge lib.tls new.tls -o fresh.tls --dry-run");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("fresh.tls would get 4 added, 0 replaced, 0 kept"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists("fresh.tls"));
}

TEST(CliProgram, AnInterruptSaysTrulyWhereItCameAndLeavesNothing) {
    TempDir dir;
    write_file("new.tls", kHead + record("D10", "changed") + record("T10") + record("T*1") + record(kCutter, "x"));
    struct Row {
        const char *step;
        bool replaced;
    };
    for (const Row &row : {Row{"locked", false}, Row{"written", false}, Row{"replaced", true}}) {
        SCOPED_TRACE(row.step);
        // a name in capitals: the lock file is named in small letters
        write_file("LIB.tls", kLibrary);
        std::string out;
        const int code = testing_support::run_command(
            std::string("KESTO_INTERRUPT_AT=") + row.step + " '" KESTO_CLI_PATH "' merge LIB.tls new.tls -o LIB.tls "
            "--backup 2>&1", out);
        EXPECT_EQ(code, 130);
        EXPECT_NE(out.find(row.replaced ? "interrupted; LIB.tls was replaced whole before it"
                                        : "interrupted; LIB.tls is left as it was"),
                  std::string::npos)
            << out;
        EXPECT_EQ(read_file("LIB.tls") == kLibrary, !row.replaced);
        std::vector<std::string> left;
        for (const auto &e : fs::directory_iterator("."))
            if (e.path().filename().string().find("~kesto") != std::string::npos) left.push_back(e.path().string());
        EXPECT_TRUE(left.empty()) << left.front();
        EXPECT_EQ(fs::exists("LIB.tls~"), row.replaced);
        fs::remove("LIB.tls~");
    }
}

TEST(CliProgram, NoControlByteOfANameReachesTheTerminal) {
    TempDir dir;
    const std::string name = "e\x1b]0;owned\x07.tls";
    write_file(name, kHead + record("A\x1b[2J"));
    write_file("b.tls", kHead + record("B"));
    for (const std::string &line : {"check '" + name + "'", "diff '" + name + "' b.tls", "preview '" + name + "'",
                                   "find '" + name + "' --database b.tls", "sheet '" + name + "' -o s.html",
                                   "remove '" + name + "' 'A*' --dry-run", "rename '" + name + "' 'A*' Z --dry-run",
                                   "merge b.tls '" + name + "' -o m.tls --dry-run --force", std::string("check missing\x1b.tls")}) {
        SCOPED_TRACE(line);
        const Ran r = program(line);
        EXPECT_EQ((r.out + r.err).find('\x1b'), std::string::npos) << r.out << r.err;
        EXPECT_EQ((r.out + r.err).find('\x07'), std::string::npos) << r.out << r.err;
    }
}

TEST(CliProgram, QuietMeansNoReportAndNoWarning) {
    TempDir dir;
    write_file("lib.tls", kLibrary);
    write_file("utf8.tls", kesto::cp1251_to_utf8(kLibrary));
    for (const std::string &line : std::vector<std::string>{"check -q utf8.tls", "diff -q lib.tls utf8.tls", "find -q utf8.tls --database lib.tls",
                                   "merge -q lib.tls utf8.tls -o m.tls", "remove -q lib.tls D10 -o r.tls",
                                   "export -q -o e.tls", "settings -q"}) {
        SCOPED_TRACE(line);
        Ran r = program(line);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;
        // with --json the object is still printed: it is what was asked for
        r = program(line + " --json");
        EXPECT_EQ(r.out.rfind("{", 0), 0u) << r.out;
    }
}

}  // namespace

// A site library kept in git: git-setup's drivers merge two keepers'
// branches record by record, stop on a conflict with a whole library, and
// show a changed tool by its TOOLID.
TEST(CliProgram, GitMergesAndShowsALibraryToolByTool) {
    TempDir dir;
    const std::string bin = fs::path(KESTO_CLI_PATH).parent_path().string();
    auto sh = [&](const std::string &line, std::string &out) {
        return testing_support::run_command("export PATH='" + bin + "':$PATH GIT_CONFIG_NOSYSTEM=1 HOME='" +
                                                dir.path() + "'; " + line + " 2>&1",
                                            out);
    };
    std::string out;
    ASSERT_EQ(sh("git init -q -b main && git config user.email k@k && git config user.name k && "
                 "kesto-tools-vericut git-setup",
                 out),
              0)
        << out;
    EXPECT_NE(out.find("git config merge.kesto-tls.driver \"kesto-tools-vericut merge --git %O %A %B %P\""),
              std::string::npos)
        << out;
    write_file("site.tls", kLibrary);
    const std::string base = kLibrary;
    struct Row {
        const char *what;
        const char *ours_from, *ours_to;      // a description changed on main
        const char *theirs_from, *theirs_to;  // and on the branch
        int merge_code;
        const char *said;  // a piece of what git merge prints
    };
    for (const Row &row : {Row{"different records", "\"D10\" {\r\n  DESCRIPTION \"turning\"",
                               "\"D10\" {\r\n  DESCRIPTION \"ours\"", "\"T10\" {\r\n  DESCRIPTION \"turning\"",
                               "\"T10\" {\r\n  DESCRIPTION \"theirs\"", 0, "Merge made"},
                           Row{"the same record", "\"D10\" {\r\n  DESCRIPTION \"turning\"",
                               "\"D10\" {\r\n  DESCRIPTION \"ours\"", "\"D10\" {\r\n  DESCRIPTION \"turning\"",
                               "\"D10\" {\r\n  DESCRIPTION \"theirs\"", 1,
                               "site.tls: conflict: \"D10\": changed differently on both sides"}}) {
        SCOPED_TRACE(row.what);
        write_file("site.tls", base);
        ASSERT_EQ(sh("git add -A && git commit -qm base && git checkout -qb theirs", out), 0) << out;
        std::string text = base;
        write_file("site.tls", text.replace(text.find(row.theirs_from), std::string(row.theirs_from).size(), row.theirs_to));
        ASSERT_EQ(sh("git commit -qam theirs && git checkout -q main", out), 0) << out;
        text = base;
        write_file("site.tls", text.replace(text.find(row.ours_from), std::string(row.ours_from).size(), row.ours_to));
        ASSERT_EQ(sh("git commit -qam ours", out), 0) << out;
        EXPECT_EQ(sh("git merge theirs -m merged", out), row.merge_code) << out;
        EXPECT_NE(out.find(row.said), std::string::npos) << out;
        // whatever came of it, the file is a whole library
        EXPECT_EQ(program("check -q site.tls").code, 0);
        EXPECT_EQ(read_file("site.tls").find("<<<<"), std::string::npos);
        if (row.merge_code == 0) {
            EXPECT_NE(read_file("site.tls").find("\"ours\""), std::string::npos);
            EXPECT_NE(read_file("site.tls").find("\"theirs\""), std::string::npos);
        } else {
            // settled one way, by the three sides git keeps
            ASSERT_EQ(sh("git show :1:site.tls >b.tls && git show :2:site.tls >o.tls && git show :3:site.tls >t.tls && "
                         "kesto-tools-vericut merge --three-way b.tls o.tls t.tls --take D10=theirs -o site.tls && "
                         "git add site.tls && git commit -qm settled",
                         out),
                      0)
                << out;
            EXPECT_NE(read_file("site.tls").find("\"theirs\""), std::string::npos);
        }
        // git shows a change by its tool's TOOLID: git diff through the diff driver, git log -p through textconv
        const std::string changed = row.merge_code == 0 ? "\"T10\"" : "\"D10\"";
        EXPECT_EQ(sh("git diff HEAD~1 HEAD -- site.tls", out), 0);
        EXPECT_NE(out.find("changed: 1 tool\n  " + changed), std::string::npos) << out;
        EXPECT_EQ(sh("git log -p -1 theirs -- site.tls", out), 0);
        const std::string theirs = row.merge_code == 0 ? "TOOLID \"T10\" {\n-  DESCRIPTION \"turning\"\n+  DESCRIPTION \"theirs\""
                                                       : "TOOLID \"D10\" {\n-  DESCRIPTION \"turning\"\n+  DESCRIPTION \"theirs\"";
        EXPECT_NE(out.find(theirs), std::string::npos) << out;
        sh("git branch -D theirs", out);
    }
}
