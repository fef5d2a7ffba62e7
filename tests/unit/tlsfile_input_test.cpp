// What every command reads from a user, decided in one place: a TOOLID as
// typed (a name, a pattern, or a name that holds '*'), and a file as it was
// saved (its kind, its encoding, its text as the simulator reads it).
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/tlsfile/source.h"
#include "tools/tlsfile/toolid_match.h"

namespace {

using tlsfile::Encoding;
using tlsfile::SourceKind;

const std::string kHead = "CGTECH Tool Library File\r\nVersion-5.2\r\n";
const std::string kCutter1251 = "\xD4\xD0\xC5\xC7\xC0";                       // ФРЕЗА
const std::string kCutterUtf8 = "\xD0\xA4\xD0\xA0\xD0\x95\xD0\x97\xD0\x90";  // ФРЕЗА

TEST(ToolidQuery, ANameIsANameAndOnlyAStarOrQuestionMarkMakesAPattern) {
    struct Row {
        const char *typed;
        std::string toolid;  // Windows-1251, as the library holds it
        bool matches;
    };
    const Row rows[] = {
        {"T10", "T10", true},
        {"T10", "T100", false},
        {"T10", "t10", false},  // letter case counts
        {"T*", "T10", true},
        {"T*", "D10", false},
        {"?10", "T10", true},
        {"?10", "TT10", false},
        {"*ab", "aab", true},  // the star gives back what it took
        {"a*b*c", "abbbc", true},
        {"a*b", "ba", false},
        {"**", "", true},
        {"T*1", "TX1", true},
        {"=T*1", "TX1", false},  // '=' names a TOOLID that holds the star
        {"=T*1", "T*1", true},
        {"=T10", "T10", true},
        {"A\"B", "A|B", true},  // a library writes '"' as '|'
        {"A|B", "A\"B", true},
        {"A*\"", "AB|", true},
        {kCutterUtf8.c_str(), kCutter1251, true},  // typed in UTF-8, held in Windows-1251
        {"\xD1\x84\xD1\x80\xD0\xB5\xD0\xB7\xD0\xB0", kCutter1251, false},  // фреза
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.typed) + " ~ " + row.toolid);
        tlsfile::ToolidQuery query;
        std::string error;
        ASSERT_TRUE(tlsfile::parse_toolid_query(row.typed, query, error)) << error;
        EXPECT_EQ(tlsfile::query_matches(query, row.toolid), row.matches);
    }
}

TEST(ToolidQuery, WhatCanNameNoTOOLIDIsRefusedAndSaysWhy) {
    struct Row {
        const char *typed;
        const char *said;
    };
    for (const Row &row : {Row{"", "an empty TOOLID names no record"}, Row{"=", "an empty TOOLID names no record"},
                           Row{"\xC3\x98" "10", "holds '\xC3\x98' (U+00D8), which Windows-1251 lacks"},
                           Row{"T*\xE2\x88\x85", "holds '\xE2\x88\x85' (U+2205)"}}) {
        SCOPED_TRACE(row.typed);
        tlsfile::ToolidQuery query;
        std::string error;
        EXPECT_FALSE(tlsfile::parse_toolid_query(row.typed, query, error));
        EXPECT_NE(error.find(row.said), std::string::npos) << error;
    }
    // the euro sign is a Windows-1251 letter (0x88): a name, not a refusal
    tlsfile::ToolidQuery query;
    std::string error;
    ASSERT_TRUE(tlsfile::parse_toolid_query("\xE2\x82\xAC" "1", query, error)) << error;
    EXPECT_EQ(query.raw, "\x88" "1");
}

TEST(ToolidQuery, ANewTOOLIDIsOneEveryLaterCommandCanName) {
    struct Row {
        std::string typed;
        const char *fault;  // empty: accepted
        std::string bytes;
    };
    const Row rows[] = {
        {"", "cannot be empty", ""},
        {"A*", "'*' or '?'", ""},
        {"A?", "'*' or '?'", ""},
        {"\xC3\x98" "8", "Windows-1251 lacks", ""},
        {"A\tB", "control byte", ""},
        {"A\"B", "", "A|B"},
        {kCutterUtf8, "", kCutter1251},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.typed);
        std::string bytes;
        const std::string fault = tlsfile::new_toolid_fault(row.typed, bytes);
        if (*row.fault == '\0') {
            EXPECT_EQ(fault, "");
            EXPECT_EQ(bytes, row.bytes);
        } else {
            EXPECT_NE(fault.find(row.fault), std::string::npos) << fault;
        }
    }
}

TEST(ToolidQuery, TheNearestNameIsATypingSlipAway) {
    const std::vector<std::string> names = {"BN16_R2", "EM10", "EM12", kCutterUtf8, "DRILL_8.5"};
    struct Row {
        std::string typed;
        std::string nearest;  // empty: nothing is near enough
    };
    const Row rows[] = {
        {"EM01", "EM10"},  // two letters swapped are one slip
        {"em10", "EM10"},  // letter case
        {"\xD1\x84\xD1\x80\xD0\xB5\xD0\xB7\xD0\xB0", kCutterUtf8},  // фреза
        {"DRILL", "DRILL_8.5"},  // the start of one name only
        {"XYZ99", ""},
        {"E", ""},  // too short to be anything's start, and no slip of a name
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.typed);
        EXPECT_EQ(tlsfile::nearest(row.typed, names), row.nearest);
    }
}

std::string utf16le(const std::string &ascii) {
    std::string out;
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
}

TEST(Source, EveryWayALibraryIsSavedReadsAsTheSameWindows1251Text) {
    const std::string library = kHead + "TOOLID \"" + kCutter1251 + "\" {\r\n}\r\n";
    const std::string as_utf8 = kHead + "TOOLID \"" + kCutterUtf8 + "\" {\r\n}\r\n";
    std::string as_utf16le = "\xFF\xFE", as_utf16be = "\xFE\xFF";
    for (char c : kHead + "TOOLID \"") as_utf16le += std::string{c, '\0'}, as_utf16be += std::string{'\0', c};
    for (const char *letter : {"\x24\x04", "\x20\x04", "\x15\x04", "\x17\x04", "\x10\x04"}) {  // ФРЕЗА
        as_utf16le += std::string(letter, 2);
        as_utf16be += std::string{letter[1], letter[0]};
    }
    for (char c : std::string("\" {\r\n}\r\n")) as_utf16le += std::string{c, '\0'}, as_utf16be += std::string{'\0', c};
    struct Row {
        const char *saved_as;
        std::string bytes;
        Encoding encoding;
        bool mark;
        int problem_line;  // 0: no encoding problem
    };
    const Row rows[] = {
        {"Windows-1251", library, Encoding::windows_1251, false, 0},
        {"UTF-8", as_utf8, Encoding::utf8, false, 3},
        {"UTF-8 with a mark", "\xEF\xBB\xBF" + as_utf8, Encoding::utf8, true, 1},
        {"Windows-1251 behind a stray UTF-8 mark", "\xEF\xBB\xBF" + library, Encoding::windows_1251, true, 1},
        {"UTF-16LE", as_utf16le, Encoding::utf16le, true, 1},
        {"UTF-16BE", as_utf16be, Encoding::utf16be, true, 1},
        {"UTF-16LE without a mark", as_utf16le.substr(2), Encoding::utf16le, false, 1},
        {"UTF-16BE without a mark", as_utf16be.substr(2), Encoding::utf16be, false, 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.saved_as);
        const tlsfile::Source s = tlsfile::source_of("lib.tls", row.bytes);
        EXPECT_EQ(s.kind, SourceKind::library);
        EXPECT_EQ(s.encoding, row.encoding);
        EXPECT_EQ(s.byte_order_mark, row.mark);
        EXPECT_EQ(s.text, library);
        EXPECT_EQ(s.lost_line, 0);
        tlsfile::Problem problem;
        EXPECT_EQ(tlsfile::encoding_problem(s, problem), row.problem_line != 0);
        if (row.problem_line) {
            EXPECT_EQ(problem.line, row.problem_line) << problem.message;
        }
    }
}

TEST(Source, WhatIsNoLibraryIsToldApartAndALostLetterIsNamed) {
    struct Row {
        const char *what;
        std::string bytes;
        SourceKind kind;
        std::string text;
    };
    const Row rows[] = {
        {"a part", "{\"name\": \"p.prt\"}", SourceKind::part, "{\"name\": \"p.prt\"}"},
        {"a part with a mark", "\xEF\xBB\xBF  {\"a\": 1}", SourceKind::part, "  {\"a\": 1}"},
        {"a part in UTF-16", utf16le("{\"a\": 1}"), SourceKind::part, "{\"a\": 1}"},
        {"notes", "keep me", SourceKind::other, "keep me"},
        {"an empty file", "", SourceKind::other, ""},
        {"a JSON array", "[1]", SourceKind::other, "[1]"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const tlsfile::Source s = tlsfile::source_of("f", row.bytes);
        EXPECT_EQ(s.kind, row.kind);
        EXPECT_EQ(s.text, row.text);
        EXPECT_EQ(tlsfile::is_wanted(s, tlsfile::Wanted::either), row.kind != SourceKind::other);
    }
    // a letter Windows-1251 lacks stands as '?', and the first one is named with its line
    const tlsfile::Source s = tlsfile::source_of("lib.tls", kHead + "TOOLID \"\xC3\x98" "8\" {\r\n}\r\n");
    EXPECT_EQ(s.text, kHead + "TOOLID \"?8\" {\r\n}\r\n");
    EXPECT_EQ(s.lost_character, 0xD8u);
    EXPECT_EQ(s.lost_line, 3);
    tlsfile::Problem problem;
    ASSERT_TRUE(tlsfile::encoding_problem(s, problem));
    EXPECT_NE(problem.message.find("line 3 holds a character Windows-1251 lacks, read as '?'"), std::string::npos)
        << problem.message;
}

}  // namespace
