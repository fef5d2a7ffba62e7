// Output files are replaced whole or left alone, with no temporary file
// left behind either way.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/unit/test_support.h"
#include "tools/tlsfile/output_file.h"
#include "tools/tlsfile/output_guard.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> entries(const std::string &folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry &e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(TlsfileOutput, WritesAndReplacesWholeFiles) {
    testing_support::TempDir dir;
    const std::string target = dir.file("out.svg");
    std::string error;
    ASSERT_TRUE(tlsfile::write_output_file(target, std::string("first\0\r\n", 8), error)) << error;
    EXPECT_EQ(testing_support::read_file(target), std::string("first\0\r\n", 8));
    ASSERT_TRUE(tlsfile::write_output_file(target, "second", error)) << error;
    EXPECT_EQ(testing_support::read_file(target), "second");
    // a bare file name goes to the current folder
    ASSERT_TRUE(tlsfile::write_output_file("plain.svg", "", error)) << error;
    EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"out.svg", "plain.svg"}));
}

TEST(TlsfileOutput, FailureLeavesEverythingAsItWas) {
    testing_support::TempDir dir;
    fs::create_directory(dir.file("taken"));
    testing_support::write_file(dir.file("taken/keep.txt"), "kept");
    struct Row {
        std::string path;
        const char *why;
    };
    const Row rows[] = {
        {dir.file("taken"), "a folder of that name"},
        {dir.file("no/such/folder/out.svg"), "a missing folder"},
        {dir.path() + "/", "no file name"},
    };
    for (const Row &row : rows) {
        std::string error;
        EXPECT_FALSE(tlsfile::write_output_file(row.path, "new", error)) << row.why;
        EXPECT_FALSE(error.empty()) << row.why;
        EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"taken"}) << row.why;
        EXPECT_EQ(testing_support::read_file(dir.file("taken/keep.txt")), "kept");
    }
}

// What is at an output is replaced only when the new output holds all of
// it again: a library by TOOLID (each record whose bytes change named), the
// other kinds when this program made them.
TEST(TlsfileOutput, ReplacesOnlyWhatItWouldWriteAgain) {
    using tlsfile::OutputKind;
    const std::string head = "CGTECH Tool Library File\r\nVersion-5.2\r\n\r\n";
    const std::string a = "TOOLID \"A\" {\r\n}\r\n", b = "TOOLID \"B\" {\r\n}\r\n";
    const std::string a2 = "TOOLID \"A\" {\r\n  UNITS INCH\r\n}\r\n";
    struct Row {
        const char *what;
        OutputKind kind;
        std::string existing, content;
        bool refused;
        const char *changed;  // TOOLIDs changed, then "+" added, then the count the same
        bool absent = false;  // no file there yet
    };
    std::string utf16 = "\xFF\xFE";  // the same library as Notepad saves "Unicode"
    for (char c : head + a + b) utf16 += std::string(1, c) + '\0';
    const Row rows[] = {
        {"a library written again", OutputKind::library, head + a + b, head + a + b, false, "+0=2"},
        {"a record edited by hand, one added", OutputKind::library, head + a2, head + a + b, false, "A+1=0"},
        {"line ends only", OutputKind::library, head + "TOOLID \"A\" {\n}\n", head + a, false, "A+0=0"},
        {"a TOOLID the new one lacks", OutputKind::library, head + a + b, head + a, true, "+0=1"},
        {"no library at all", OutputKind::library, "notes\n", head + a, true, ""},
        {"an empty file", OutputKind::library, "", head + a, false, ""},
        {"no file there yet", OutputKind::library, "", head + a + b, false, "+2=0", true},
        {"the library saved as UTF-16", OutputKind::library, utf16, head + a + b, false, "+0=2"},
        {"a library given as a drawing", OutputKind::picture, head + a, "<svg/>", true, ""},
        {"an earlier drawing", OutputKind::picture, "<?xml?>\n<svg>\n<!-- kesto-tools-vericut -->", "<svg/>", false, ""},
        {"a drawing from before the mark", OutputKind::picture,
         "<svg>\n<style>.scalebar { }</style>\n<text class=\"head\" x=\"1\">", "<svg/>", false, ""},
        {"someone else's SVG", OutputKind::picture, "<svg><circle/></svg>", "<svg/>", true, ""},
        {"a transcript", OutputKind::transcript, "load 0\nunload 0\n", "load 0\n", false, ""},
        {"a JSON transcript", OutputKind::transcript, "[\n {\n  \"kind\": \"load\",", "[]", false, ""},
        {"a page of ours", OutputKind::page, "<meta name=\"generator\" content=\"kesto-tools-vericut\">", "x", false, ""},
        {"a page of someone else", OutputKind::page, "<html></html>", "x", true, ""},
        {"a table of ours", OutputKind::table, "\xEF\xBB\xBFPosition;TOOLID\r\n1;A\r\nkesto-tools-vericut tool sheet;n;d\r\n",
         "x", false, ""},
        {"a table of ours from before", OutputKind::table, "\xEF\xBB\xBFkesto-tools-vericut tool sheet;n;d\r\nPosition\r\n",
         "x", false, ""},
        {"someone else's table naming us", OutputKind::table, "Position;Note\r\n1;kesto-tools-vericut tool sheet;\r\n2\r\n",
         "x", true, ""},
        {"a page of ours given as a table", OutputKind::table, "<meta name=\"generator\" content=\"kesto-tools-vericut\">",
         "x", true, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const tlsfile::ReplacementPlan plan =
            tlsfile::plan_replacement(row.kind, "F", row.absent ? nullptr : &row.existing, row.content);
        EXPECT_EQ(plan.refused, row.refused) << plan.why;
        if (row.kind != OutputKind::library || (row.existing.empty() && !row.absent) || (!plan.why.empty() && plan.lost.empty()))
            continue;
        std::string changed;
        for (const tlsfile::ChangedTool &c : plan.changed) changed += c.name;
        EXPECT_EQ(changed + "+" + std::to_string(plan.added.size()) + "=" + std::to_string(plan.same), row.changed);
    }
    // a record changed in its line ends alone is named at that line
    const std::string lf_record = head + "TOOLID \"A\" {\n}\n";
    const tlsfile::ReplacementPlan ends = tlsfile::plan_replacement(OutputKind::library, "F", &lf_record, head + a);
    ASSERT_EQ(ends.changed.size(), 1u);
    EXPECT_EQ(ends.changed[0].new_side.text, "TOOLID \"A\" { (its line end differs)");
}

TEST(TlsfileOutput, NumberedBackupsCountOn) {
    testing_support::TempDir dir;
    const std::string lib = dir.file("SITE.tls");
    EXPECT_EQ(tlsfile::backup_name(lib, false), lib + "~");
    EXPECT_EQ(tlsfile::backup_name(lib, true), lib + ".~1~");
    for (const char *name : {"SITE.tls.~2~", "SITE.tls.~9~", "SITE.tls.~x~", "SITE.tls.~~", "OTHER.tls.~12~"})
        testing_support::write_file(dir.file(name), "");
    EXPECT_EQ(tlsfile::backup_name(lib, true), lib + ".~10~");
    // numbers beyond any integer type count on too, never from 1 again
    testing_support::write_file(dir.file("SITE.tls.~0099999999999999999999~"), "");
    EXPECT_EQ(tlsfile::backup_name(lib, true), lib + ".~100000000000000000000~");
}

}  // namespace
