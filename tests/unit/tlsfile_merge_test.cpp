// Diff, merge and the tool database of tool libraries by TOOLID: random libraries that share
// some TOOLIDs, and the cases a keeper's files bring (repeated TOOLIDs,
// mixed line ends, a last line without its line end).
#include <algorithm>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/unit/tlsfile_fixture.h"
#include "tools/tlsfile/tls_check.h"
#include "tools/tlsfile/tls_database.h"
#include "tools/tlsfile/tls_diff.h"
#include "tools/tlsfile/tls_merge.h"
#include "tools/tlsfile/tls_merge3.h"

namespace {

using tlsfile::LibraryText;

LibraryText library(const std::string &text) { return {text, tlsfile::parse_tls(text)}; }

// The names of a library's records in file order, and each one's bytes.
std::vector<std::pair<std::string, std::string>> records(const LibraryText &lib) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const tlsfile::RecordSpan &r : tlsfile::record_spans(lib.text, lib.library).records)
        out.emplace_back(r.tool->name, lib.text.substr(r.begin, r.end - r.begin));
    return out;
}

// Random libraries: records of the fixture (every form, holders, OPTIPATH
// lines) under names from a small pool, so that two libraries share some
// TOOLIDs and not others, each description made its own so that records of
// one name differ; LF or CR LF, a blank line after a record now and then.
std::string random_library(std::mt19937 &random, std::vector<std::string> &names) {
    static const auto fixture = records(library(tlsfile_fixture::library()));
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
    std::vector<std::string> pool;
    for (int i = 0; i < 24; ++i) pool.push_back("T" + std::to_string(i));
    std::shuffle(pool.begin(), pool.end(), random);
    names.assign(pool.begin(), pool.begin() + static_cast<long>(pick(16)));
    std::string text = pick(2) ? "CGTECH Tool Library File\nVersion-5.2\n\n" : "CGTECH Tool Library File\nVersion-6\n";
    for (const std::string &name : names) {
        const auto &[old_name, bytes] = fixture[pick(fixture.size())];
        std::string record = "TOOLID \"" + name + "\"" + bytes.substr(old_name.size() + 9);
        size_t d = record.find("DESCRIPTION \"");
        if (d != std::string::npos) record.insert(d + 13, std::to_string(random()) + " ");
        text += record + (pick(4) == 0 ? "\n" : "");
    }
    return pick(2) ? testing_support::crlf(text) : text;
}

TEST(TlsfileMerge, RandomLibrariesMergeAsAKeeperExpects) {
    size_t replaced = 0, kept = 0, added = 0;
    for (unsigned seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        std::vector<std::string> base_names, new_names, order, lacking;
        const LibraryText base = library(random_library(random, base_names));
        const LibraryText fresh = library(random_library(random, new_names));
        const std::set<std::string> in_new(new_names.begin(), new_names.end());
        const tlsfile::MergeResult merged = tlsfile::merge_libraries(base, {&fresh});
        const LibraryText out = library(merged.text);
        for (const std::string &n : base_names)
            if (!in_new.count(n)) lacking.push_back(n);
        order = base_names;
        for (const std::string &n : new_names)
            if (std::find(base_names.begin(), base_names.end(), n) == base_names.end()) order.push_back(n);

        // the base's header, its records in place (no TOOLID twice), the new
        // tools after them; untouched records byte for byte, replaced ones
        // as the new library has them, in the base's line ends
        const size_t header = tlsfile::record_spans(base.text, base.library).header_end;
        EXPECT_EQ(out.text.compare(0, header, base.text, 0, header), 0);
        const bool crlf = base.text.find('\r') != std::string::npos;  // a random library is all CR LF or all LF
        auto base_records = records(base), new_records = records(fresh), out_records = records(out);
        for (auto &[name, r] : new_records) r = std::regex_replace(r, std::regex("\r?\n"), crlf ? "\r\n" : "\n");
        ASSERT_EQ(out_records.size(), order.size());
        for (size_t i = 0; i < order.size(); ++i) {
            EXPECT_EQ(out_records[i].first, order[i]);
            const auto &from = in_new.count(order[i]) ? new_records : base_records;
            auto it = std::find_if(from.begin(), from.end(), [&](const auto &r) { return r.first == order[i]; });
            ASSERT_NE(it, from.end());
            EXPECT_EQ(out_records[i].second, it->second) << order[i];
        }
        // check is clean
        const tlsfile::CheckResult check = tlsfile::check_text(out.text);
        EXPECT_TRUE(check.problems.empty()) << check.problems[0].line << ": " << check.problems[0].message;
        // against the new library, only the tools it lacks differ
        const tlsfile::LibraryDiff diff = tlsfile::diff_libraries(out, fresh);
        std::vector<std::string> only_out;
        for (const tlsfile::ListedTool &t : diff.only_old) only_out.push_back(t.name);
        EXPECT_EQ(only_out, lacking);
        EXPECT_TRUE(diff.only_new.empty() && diff.changed.empty());
        // the counts, and the same library merged again changes nothing
        EXPECT_EQ(merged.replaced.size() + merged.added.size(), new_names.size());
        EXPECT_EQ(merged.kept, lacking.size());
        for (const tlsfile::MergedTool &t : merged.replaced) EXPECT_TRUE(t.changed) << t.name;
        const tlsfile::MergeResult again = tlsfile::merge_libraries(out, {&fresh});
        EXPECT_TRUE(again.text == out.text);
        for (const tlsfile::MergedTool &t : again.replaced) EXPECT_FALSE(t.changed) << t.name;
        replaced += merged.replaced.size(), kept += merged.kept, added += merged.added.size();
    }
    // the seeds gave libraries that share TOOLIDs and libraries that do not
    EXPECT_GT(std::min({replaced, kept, added}), 50u);
}

TEST(TlsfileMerge, RepeatedToolidsAndMissingLineEnds) {
    const std::string head = "CGTECH Tool Library File\nVersion-5.2\n\n";
    auto rec = [](const char *name, const char *what) {
        return std::string("TOOLID \"") + name + "\" {\n  DESCRIPTION \"" + what + "\"\n}\n";
    };
    struct Row {
        const char *what;
        std::string base;
        std::vector<std::string> news;
        std::string output;
        size_t replaced, added, kept, superseded, line_ends_added;
    };
    const Row rows[] = {
        {"the base repeats a TOOLID a new library gives: the first place is taken, the repeat left out",
         head + rec("A", "a1") + rec("B", "b") + rec("A", "a2"), {head + rec("A", "new")},
         head + rec("A", "new") + rec("B", "b"), 1, 0, 1, 1, 0},
        {"a new library repeats a TOOLID: its later record stays, in the place of the first",
         head + rec("B", "b"), {head + rec("C", "c1") + rec("B", "b1") + rec("C", "c2")},
         head + rec("B", "b1") + rec("C", "c2"), 1, 1, 0, 1, 0},
        {"two new libraries in order: the later wins, new tools appended in order",
         head + rec("A", "a"), {head + rec("B", "b1") + rec("A", "a1"), head + rec("A", "a2") + rec("C", "c")},
         head + rec("A", "a2") + rec("B", "b1") + rec("C", "c"), 1, 2, 0, 1, 0},
        {"the base's last line has no line end: one of its kind, and the appended record in its line ends",
         testing_support::crlf(head + "TOOLID \"A\" {\n}"), {head + rec("B", "b")},
         testing_support::crlf(head + "TOOLID \"A\" {\n}\n" + rec("B", "b")), 0, 1, 1, 0, 1},
        {"a CR LF library merged into an LF one: its records in LF", head + rec("A", "a"),
         {testing_support::crlf(head + rec("A", "a2") + rec("C", "c"))}, head + rec("A", "a2") + rec("C", "c"), 1, 1,
         0, 0, 0},
        {"a base of only its header, without the blank line and the last line end",
         "CGTECH Tool Library File\nVersion-5.2", {head + rec("A", "a")},
         "CGTECH Tool Library File\nVersion-5.2\n" + rec("A", "a"), 0, 1, 0, 0, 1},
        {"a new library without records changes nothing", head + rec("A", "a") + "\n", {head},
         head + rec("A", "a") + "\n", 0, 0, 1, 0, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<LibraryText> news;
        for (const std::string &n : row.news) news.push_back(library(n));
        std::vector<const LibraryText *> pointers;
        for (const LibraryText &n : news) pointers.push_back(&n);
        const tlsfile::MergeResult m = tlsfile::merge_libraries(library(row.base), pointers);
        EXPECT_EQ(m.text, row.output);
        EXPECT_EQ(m.replaced.size(), row.replaced);
        EXPECT_EQ(m.added.size(), row.added);
        EXPECT_EQ(m.kept, row.kept);
        EXPECT_EQ(m.superseded.size(), row.superseded);
        EXPECT_EQ(m.line_end_added.size(), row.line_ends_added);
    }
}

// The diff in short: "-NAME@LINE" only in the old file, "+NAME@LINE" only in
// the new one, "~NAME OLD_LINE:TEXT|NEW_LINE:TEXT" changed (no text: the
// record ends there), "=N" unchanged, "2xNAME" repeated.
std::string in_short(const tlsfile::LibraryDiff &d) {
    std::string s;
    for (const tlsfile::ListedTool &t : d.only_old) s += "-" + t.name + "@" + std::to_string(t.line) + " ";
    for (const tlsfile::ListedTool &t : d.only_new) s += "+" + t.name + "@" + std::to_string(t.line) + " ";
    for (const tlsfile::ChangedTool &c : d.changed)
        s += "~" + c.name + " " + std::to_string(c.old_side.line) + ":" + c.old_side.text + "|" +
             std::to_string(c.new_side.line) + ":" + c.new_side.text + " ";
    for (const tlsfile::RepeatedToolid &r : d.repeated) s += std::to_string(r.lines.size()) + "x" + r.name + " ";
    return s + "=" + std::to_string(d.unchanged);
}

TEST(TlsfileDiff, RecordsMatchedByToolid) {
    const std::string head = "CGTECH Tool Library File\nVersion-5.2\n\n";
    auto rec = [](const char *name, const char *what) {
        return std::string("TOOLID \"") + name + "\" {\n  DESCRIPTION \"" + what + "\"\n  UNITS MILLIMETER\n}\n";
    };
    struct Row {
        const char *what;
        std::string old_text, new_text;
        const char *expected;
    };
    const Row rows[] = {
        {"line ends, the header's blank line and blank lines after records do not count",
         head + rec("A", "a") + rec("B", "b"),
         testing_support::crlf("CGTECH Tool Library File\nVersion-5.2\n" + rec("A", "a") + "\n\n" + rec("B", "b")),
         "=2"},
        {"the first differing line of both, tools only on one side, order of the new file",
         head + rec("A", "a") + rec("B", "b") + rec("C", "c"), head + rec("D", "d") + rec("C", "c2") + rec("A", "a"),
         "-B@8 +D@4 ~C 13:  DESCRIPTION \"c\"|9:  DESCRIPTION \"c2\" =1"},
        {"a record cut short: the line where it ends",
         head + rec("A", "a"), head + "TOOLID \"A\" {\n  DESCRIPTION \"a\"\n",
         "~A 6:  UNITS MILLIMETER|6: =0"},
        {"a repeated TOOLID is matched in order",
         head + rec("A", "1") + rec("A", "2") + rec("A", "3"), head + rec("A", "1") + rec("A", "x"),
         "-A@12 ~A 9:  DESCRIPTION \"2\"|9:  DESCRIPTION \"x\" 3xA 2xA =1"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(in_short(tlsfile::diff_libraries(library(row.old_text), library(row.new_text))), row.expected);
    }
}

}  // namespace

// Findings in short: "NAME:VERDICT@LIB:LINE,..." with "~LIB:LINE(IN|DB)" for
// each differing record (its first differing lines), "2xNAME@LIB" repeats.
std::string in_short(const tlsfile::Database &db, const tlsfile::FindResult &found) {
    std::string s;
    auto at = [&](uint32_t i) { return db.libraries()[db.records()[i].library].label + ":" +
                                       std::to_string(db.records()[i].line); };
    const char *verdicts[] = {"same", "renamed", "differs", "missing"};
    for (const tlsfile::ToolFinding &f : found.tools) {
        s += f.name + ":" + verdicts[static_cast<int>(f.verdict)];
        for (uint32_t i : f.matches) s += "@" + at(i);
        for (const tlsfile::DifferingRecord &d : f.differing)
            s += "~" + at(d.record) + "(" + std::to_string(d.input.line) + "|" + std::to_string(d.database.line) + ")";
        s += " ";
    }
    for (const tlsfile::RepeatedInLibrary &r : found.repeated)
        s += std::to_string(r.lines.size()) + "x" + r.name + "@" + db.libraries()[r.library].label + " ";
    return s;
}

TEST(TlsfileFind, VerdictsByGeometry) {
    const std::string head = "CGTECH Tool Library File\nVersion-5.2\n\n";
    auto rec = [](const char *name, const char *description, const char *length) {
        return std::string("TOOLID \"") + name + "\" {\n  DESCRIPTION \"" + description + "\"\n  UNITS MILLIMETER\n" +
               "  OPTIPATH_DESCRIPTION \"" + length + "\"\n}\n";
    };
    struct Row {
        const char *what;
        std::vector<std::string> database;  // libraries a.tls, b.tls, ...
        std::string input;
        const char *expected;
    };
    const Row rows[] = {
        {"DESCRIPTION lines, line ends and blank lines after a record do not count; OPTIPATH_DESCRIPTION does",
         {testing_support::crlf(head + rec("A", "site", "1") + "\n\n" + rec("B", "b", "1"))},
         head + rec("A", "part", "1") + rec("B", "b", "2"), "A:same@a.tls:4 B:differs~a.tls:11(12|14) "},
        {"every match in path order; a renamed tool also lists the differing records of its TOOLID",
         {head + rec("X", "", "1") + rec("A", "", "2"), head + rec("Y", "", "1")}, head + rec("A", "", "1"),
         "A:renamed@a.tls:4@b.tls:4~a.tls:9(7|12) "},
        {"records of other lengths differ at their first other line; repeats noted for the TOOLIDs looked at",
         {head + rec("A", "", "1") + "TOOLID \"A\" {\n}\n" + rec("Z", "", "1") + rec("Z", "", "1")},
         head + rec("A", "", "1"), "A:same@a.tls:4~a.tls:9(6|10) 2xA@a.tls "},
        {"a damaged library (a fault, a last line without its line end) is skipped, one with a problem of "
         "content searched",
         {head + rec("A", "", "1") + "TOOLID \"B\" {\n  UNITS (\n}\n", head + "TOOLID \"C\" {\n  UNITS FURLONG\n}\n",
          head + rec("A", "", "1") + "TOOLID \"C\" {\n}"},
         head + rec("A", "", "1") + "TOOLID \"C\" {\n  UNITS FURLONG\n}\n", "A:missing C:same@b.tls:4 "},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        tlsfile::Database db;
        for (size_t i = 0; i < row.database.size(); ++i) db.add_library(tlsfile::source_of(std::string(1, 'a' + i) + ".tls", row.database[i]));
        EXPECT_EQ(in_short(db, tlsfile::find_tools(db, library(row.input))), row.expected);
    }
}

TEST(TlsfileFind, PreferredRecordsByCatalogueThenName) {
    const std::string head = "CGTECH Tool Library File\nVersion-5.2\n\n";
    tlsfile::Database db;
    db.add_library(tlsfile::source_of("a.tls", head + "TOOLID \"CAT-1\" {\n  DESCRIPTION \"site\"\n  UNITS INCH\n}\n"
                                   "TOOLID \"B\" {\r\n  UNITS INCH\r\n}\r\nTOOLID \"D\" {\n  UNITS INCH\n}\n"
                                   "TOOLID \"E\" {\n  UNITS INCH\n}\nTOOLID \"E\" {\n  UNITS FOOT\n}\n"));
    const auto catalogue = [](const std::string &name) { return name == "A" ? "CAT-1" : name == "C" ? "CAT-9" : ""; };
    const tlsfile::LibraryText generated =
        library(head + "TOOLID \"A\" {\n  UNITS INCH\n}\nTOOLID \"B\" {\n  UNITS INCH\n}\nTOOLID \"C\" {\n}\n"
                       "TOOLID \"D\" {\n  UNITS FOOT\n}\nTOOLID \"E\" {\n  UNITS FOOT\n}\n");
    const tlsfile::PreferResult p = tlsfile::prefer_records(db, generated, catalogue);
    // the records of the tools' own geometry, under the generated names, in
    // the generated text's line ends; D's record, of other geometry, is not
    // taken; of E's two records the one of E's geometry is
    EXPECT_EQ(p.text, head + "TOOLID \"A\" {\n  DESCRIPTION \"site\"\n  UNITS INCH\n}\nTOOLID \"B\" {\n  UNITS INCH\n}\n"
                             "TOOLID \"C\" {\n}\nTOOLID \"D\" {\n  UNITS FOOT\n}\nTOOLID \"E\" {\n  UNITS FOOT\n}\n");
    ASSERT_EQ(p.taken.size(), 3u);
    EXPECT_TRUE(p.taken[0].by_catalogue);
    EXPECT_FALSE(p.taken[1].by_catalogue);
    EXPECT_EQ(p.generated, (std::vector<std::string>{"C", "D"}));
    ASSERT_EQ(p.differing.size(), 1u);
    EXPECT_EQ(p.differing[0].name, "D");
    EXPECT_FALSE(p.differing[0].taken);
    EXPECT_EQ(p.differing[0].generated.text, "  UNITS FOOT");
    EXPECT_EQ(p.differing[0].database.text, "  UNITS INCH");
    EXPECT_EQ(p.taken_at(10), &p.taken[1]);
    EXPECT_EQ(p.taken_at(11), nullptr);
    // the site's geometry, when asked for, is taken and still listed
    const tlsfile::PreferResult site = tlsfile::prefer_records(db, generated, catalogue, true);
    ASSERT_EQ(site.differing.size(), 1u);
    EXPECT_TRUE(site.differing[0].taken);
    EXPECT_NE(site.text.find("TOOLID \"D\" {\n  UNITS INCH\n}\n"), std::string::npos);
    EXPECT_EQ(site.generated, std::vector<std::string>{"C"});
}

namespace {

// A clean library of the fixture's first record under the names given:
// "A=a B=b" holds TOOLID "A" described "a", then "B"; "A=a+" a blank line after A.
std::string lib(const std::string &spec, const char *version = "Version-5.2") {
    static const std::string em10 = records(library(tlsfile_fixture::library()))[0].second;
    std::string out = std::string("CGTECH Tool Library File\n") + version + "\n\n";
    for (size_t at = 0, end; at < spec.size(); at = end + 1) {
        end = std::min(spec.find(' ', at), spec.size());
        const std::string item = spec.substr(at, end - at), name = item.substr(0, item.find('='));
        const bool blank = item.back() == '+';
        std::string r = "TOOLID \"" + name + "\"" + em10.substr(13);
        out += r.replace(r.find("D10.00 H75.00"), 13, item.substr(name.size() + 1, item.size() - name.size() - 1 - blank));
        if (blank) out += "\n";
    }
    return out;
}

// The merge in short: "NAME:outcome" per TOOLID, then per conflict "!NAME
// kind" with its two first differing lines or its TOOLID lines, "^NAME" per
// unused --take, "header lost".
std::string in_short(const tlsfile::MergeResult3 &m) {
    std::string s;
    for (const tlsfile::MergedRecord3 &r : m.records) s += r.name + ":" + tlsfile::outcome_name(r.outcome) + " ";
    auto side = [](const tlsfile::ConflictSide &c) {
        const size_t text = std::min(c.at.text.find_first_not_of(' '), c.at.text.size());
        return std::string(" ") + tlsfile::input_name(c.input) + ":" + std::to_string(c.at.line) + ":" +
               c.at.text.substr(text);
    };
    for (const tlsfile::MergeConflict &c : m.conflicts) {
        s += "!" + c.name + " " + tlsfile::conflict_kind_name(c.kind) + (c.lines.empty() ? side(c.first) + side(c.second) : "");
        for (const tlsfile::InputLine &l : c.lines) s += std::string(" ") + tlsfile::input_name(l.input)[0] + std::to_string(l.line);
        s += " ";
    }
    for (const std::string &t : m.takes_unused) s += "^" + t + " ";
    return s + (m.theirs_header_lost ? "header lost" : "");
}

std::vector<std::string> text_lines(const std::string &text) {
    std::vector<std::string> out;
    for (size_t at = 0, lf; at < text.size(); at = lf + 1) {
        lf = std::min(text.find('\n', at), text.size());
        out.push_back(text.substr(at, lf - at - (lf > at && text[lf - 1] == '\r')));
    }
    return out;
}

TEST(TlsfileMerge3, RecordsMergedByTheirChangesSinceBase) {
    struct Row {
        const char *what;
        std::string base, ours, theirs;
        std::vector<const char *> take;
        std::string output, expected;
        bool clean;  // no conflict left and check finds the output clean
    };
    const std::string b21 = "BASE:21:DESCRIPTION \"b\"";
    const std::string ours_cut = testing_support::crlf(lib("A=a"));
    const Row rows[] = {
        {"unchanged: kept; changed on one side: that side's, THEIRS' in OURS' line ends", lib("A=a B=b C=c"),
         lib("A=a B=b1 C=c"), testing_support::crlf(lib("A=a B=b C=c1")), {}, lib("A=a B=b1 C=c1"),
         "A:kept B:taken from ours C:taken from theirs ", true},
        {"changed the same way on both: once; line ends and blank lines do not count", lib("A=a B=b"),
         lib("A=a B=b1"), testing_support::crlf(lib("A=a+ B=b1", "Version-6")), {}, lib("A=a B=b1"),
         "A:kept B:changed the same on both header lost", true},
        {"removed on one side and unchanged on the other, removed on both", lib("A=a B=b C=c D=d"), lib("A=a C=c"),
         lib("A=a B=b"), {}, lib("A=a"), "A:kept B:removed by ours C:removed by theirs D:removed by both ", true},
        {"added on one side, on both the same: once", lib("A=a"), lib("A=a B=b D=d"), lib("A=a C=c D=d"), {},
         lib("A=a C=c B=b D=d"), "A:kept C:added by theirs B:added by ours D:added by both ", true},
        {"changed differently on both: OURS' side stays", lib("A=a B=b"), lib("A=a B=b1"), lib("A=a1 B=b2"), {},
         lib("A=a1 B=b1"), "A:taken from theirs B:conflict !B changed differently on both sides OURS:21:DESCRIPTION "
         "\"b1\" THEIRS:21:DESCRIPTION \"b2\" ", false},
        {"removed by ours, changed by theirs", lib("A=a B=b"), lib("A=a"), lib("A=a B=b1"), {}, lib("A=a"),
         "A:kept B:conflict !B removed by ours, changed by theirs " + b21 + " THEIRS:21:DESCRIPTION \"b1\" ", false},
        {"changed by ours, removed by theirs", lib("A=a B=b"), lib("B=b1 A=a"), lib("A=a"), {}, lib("B=b1 A=a"),
         "B:conflict A:kept !B changed by ours, removed by theirs " + b21 + " OURS:6:DESCRIPTION \"b1\" ", false},
        {"added on both, different", lib("A=a"), lib("A=a B=b1"), lib("B=b2 A=a"), {}, lib("A=a B=b1"),
         "A:kept B:conflict !B added on both sides with different records OURS:21:DESCRIPTION \"b1\" "
         "THEIRS:6:DESCRIPTION \"b2\" ", false},
        {"THEIRS' new records after their nearest neighbour the output holds, at its start before the first shared",
         lib("A=a B=b C=c"), lib("B=b A=a"), lib("N=n A=a C=c M=m P=p B=b Q=q"), {}, lib("N=n B=b Q=q A=a M=m P=p"),
         "N:added by theirs B:kept Q:added by theirs A:kept M:added by theirs P:added by theirs C:removed by ours ",
         true},
        {"THEIRS' new records at the end when the output shares none of THEIRS'", lib("A=a"), lib("B=b"),
         lib("A=a N=n"), {}, lib("B=b N=n"), "B:added by ours N:added by theirs A:removed by ours ", true},
        {"OURS ends without a line end: one of its kind before THEIRS' record", lib("A=a"),
         ours_cut.substr(0, ours_cut.size() - 2), lib("A=a N=n"), {},
         testing_support::crlf(lib("A=a N=n")), "A:kept N:added by theirs ", true},
        {"held twice and unchanged: kept as OURS holds it", lib("A=a A=a2 B=b"), lib("A=a A=a2 B=b"),
         lib("A=a A=a2 B=b1"), {}, lib("A=a A=a2 B=b1"), "A:kept B:taken from theirs ", false},
        {"held twice, changed on one side: its records in OURS' first place", lib("A=a B=b A=a2"),
         lib("A=a B=b A=a2"), lib("B=b A=a1"), {}, lib("A=a1 B=b"), "A:taken from theirs B:kept ", true},
        {"held twice, changed on both: a conflict naming each TOOLID line", lib("A=a A=a2"), lib("A=a1 A=a2"),
         lib("A=a A=a3"), {}, lib("A=a1 A=a2"), "A:conflict !A held more than once B4 B19 O4 O19 T4 T19 ", false},
        {"held twice, settled by THEIRS", lib("A=a A=a2"), lib("A=a1 A=a2"), lib("A=a A=a3"), {"A=theirs"},
         lib("A=a A=a3"), "A:conflict, theirs taken !A held more than once B4 B19 O4 O19 T4 T19 ", false},
        {"all settled by THEIRS but A by OURS", lib("A=a B=b C=c"), lib("A=a1 C=c1"), lib("A=a2 B=b1"),
         {"theirs", "A=ours"}, lib("A=a1 B=b1"),
         "A:conflict, ours taken B:conflict, theirs taken C:conflict, theirs taken !A changed differently on both "
         "sides OURS:6:DESCRIPTION \"a1\" THEIRS:6:DESCRIPTION \"a2\" !B removed by ours, changed by theirs " + b21 +
         " THEIRS:21:DESCRIPTION \"b1\" !C changed by ours, removed by theirs BASE:36:DESCRIPTION \"c\" "
         "OURS:21:DESCRIPTION \"c1\" ", true},
        {"one settled by THEIRS, a choice of no conflict unused", lib("A=a B=b"), lib("A=a1"), lib("A=a2 B=b1"),
         {"B=theirs", "Z=ours"}, lib("A=a1 B=b1"),
         "A:conflict B:conflict, theirs taken !A changed differently on both sides OURS:6:DESCRIPTION \"a1\" "
         "THEIRS:6:DESCRIPTION \"a2\" !B removed by ours, changed by theirs " + b21 + " THEIRS:21:DESCRIPTION \"b1\" ^Z ",
         false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const LibraryText base = library(row.base), ours = library(row.ours), theirs = library(row.theirs);
        tlsfile::TakeChoices take;
        for (const char *t : row.take) ASSERT_EQ(tlsfile::add_take(take, t), "");
        const tlsfile::MergeResult3 m = tlsfile::merge_three_way(base, ours, theirs, take);
        EXPECT_EQ(m.text, row.output);
        EXPECT_EQ(in_short(m), row.expected);
        // every output line is the line of an input it says it comes from
        const std::vector<std::string> out = text_lines(m.text);
        const std::vector<std::string> in[] = {text_lines(base.text), text_lines(ours.text), text_lines(theirs.text)};
        for (size_t i = 0; i < out.size(); ++i) {
            const tlsfile::InputLine from = m.origin(static_cast<int>(i + 1));
            const std::vector<std::string> &lines = in[static_cast<int>(from.input)];
            ASSERT_TRUE(from.line > 0 && from.line <= static_cast<int>(lines.size()) && m.carries(from)) << i + 1;
            EXPECT_EQ(out[i], lines[static_cast<size_t>(from.line - 1)]) << i + 1;
        }
        EXPECT_EQ(m.origin(static_cast<int>(out.size() + 1)).line, 0);
        for (const tlsfile::MergedRecord3 &r : m.records)
            EXPECT_TRUE(!r.line || out.at(static_cast<size_t>(r.line - 1)) == "TOOLID \"" + r.name + "\" {") << r.name;
        if (!row.clean) continue;
        EXPECT_TRUE(m.clean());
        const tlsfile::CheckResult check = tlsfile::check_text(m.text);
        EXPECT_TRUE(check.problems.empty()) << check.problems[0].line << ": " << check.problems[0].message;
    }
}

TEST(TlsfileMerge3, TakeArguments) {
    tlsfile::TakeChoices t;
    EXPECT_EQ(tlsfile::add_take(t, "ours"), "");
    EXPECT_EQ(tlsfile::add_take(t, "a=b=theirs"), "");  // the TOOLID is all before the last '='
    EXPECT_EQ(tlsfile::add_take(t, "a=b=theirs"), "");  // the same choice again
    EXPECT_NE(tlsfile::add_take(t, "a=b=ours"), "");
    EXPECT_NE(tlsfile::add_take(t, "theirs"), "");
    EXPECT_NE(tlsfile::add_take(t, "A=mine"), "");
    EXPECT_EQ(t.for_toolid("a=b"), tlsfile::Take::theirs);
    EXPECT_EQ(t.for_toolid("A"), tlsfile::Take::ours);
}

}  // namespace
