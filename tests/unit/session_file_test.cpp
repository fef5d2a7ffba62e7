// Reading session files: every malformed one is refused with the file's name
// and what is wrong; the run command exits 2 for it and runs nothing.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "host/common/cp1251.h"
#include "host/sim/json_document.h"
#include "tests/unit/json_same.h"
#include "tests/unit/test_support.h"
#include "tools/cli/session_input.h"

using namespace testing_support;

namespace {

struct BadSession {
    const char *name;
    const char *json;
    const char *says;  // part of the message
};

// 65 levels: the object and 64 arrays (brackets in texts do not count).
const std::string kDeepest = "{\"part\": " + std::string(63, '[') + std::string(63, ']') + "}";
const std::string kTooDeep = "{\"comment\": \"[[[\", \"part\": " + std::string(64, '[') + std::string(64, ']') + "}";
const std::string kTooDeepCutShort = kTooDeep.substr(0, 100);

class MalformedSession : public ::testing::TestWithParam<BadSession> {};

TEST_P(MalformedSession, IsRefusedWithTheReason) {
    try {
        sim::parse_session(GetParam().json, "s.json");
        FAIL() << "accepted";
    } catch (const sim::SessionError &e) {
        std::string what = e.what();
        EXPECT_EQ(what.rfind("s.json: ", 0), 0u) << what;
        EXPECT_NE(what.find(GetParam().says), std::string::npos) << what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Session, MalformedSession,
    ::testing::Values(
        BadSession{"BadJson", "{\"module\": 16,", "not valid JSON"},
        BadSession{"NotAnObject", "[1, 2]", "must be an object"},
        BadSession{"ModuleText", R"({"module": "cam"})", "module: must be an integer"},
        BadSession{"UnknownKey", R"({"modul": 16})", "unknown key \"modul\""},
        BadSession{"UnknownAnswerKind", R"({"answers": [{"click": 1}]})", "unknown answer kind \"click\""},
        BadSession{"TwoAnswerKinds", R"({"answers": [{"menu": 1, "question": 2}]})", "exactly one"},
        BadSession{"FileNumber", R"({"answers": [{"file": 3}]})", "answers[0].file: must be a text"},
        BadSession{"FaultUnknownCall", R"({"faults": [{"call": "UF_nothing", "code": 1}]})", "names no host call"},
        BadSession{"FaultZeroCode", R"({"faults": [{"call": "UF_initialize", "code": 0}]})", "non-zero code"},
        BadSession{"MemberWithoutName", R"({"part": {"members": [{"type": 1}]}})", "part.members[0]: has no \"name\""},
        BadSession{"BadParamName", R"({"part": {"members": [{"name": "A", "params": {"diametre": 1}}]}})",
                   "part.members[0].params.diametre"},
        BadSession{"ParamObject", R"({"part": {"members": [{"name": "A", "params": {"diameter": {}}}]}})",
                   "must be a number"},
        BadSession{"SelectedUnknown", R"({"part": {"members": [{"name": "A"}], "selected": ["B"]}})",
                   "names no member"},
        BadSession{"HolderKey", R"({"part": {"members": [{"name": "A", "holder": [{"dia": 1}]}]}})",
                   "unknown key \"dia\""},
        BadSession{"RunsZero", R"({"runs": 0})", "runs: must be 1 to 100"},
        BadSession{"HugeInteger", R"({"module": 99999999999})", "32-bit range"},
        BadSession{"UnsignedWrapsToMinusOne", R"({"module": 18446744073709551615})", "module: is out of the 32-bit range"},
        BadSession{"NumberOverflow", R"({"part": {"members": [{"name": "A", "params": {"diameter": 1e999}}]}})",
                   "a number is out of range: number overflow parsing '1e999'"},
        BadSession{"NestedTooDeep", kTooDeep.c_str(), "nested deeper than 64 levels (at byte 91)"},
        // whatever else is wrong, depth first, then the text, then its contents
        BadSession{"NestedTooDeepAndCutShort", kTooDeepCutShort.c_str(), "nested deeper than 64 levels (at byte 91)"},
        BadSession{"CutShortAfterAWrongValue", R"({"module": "cam", "runs": )", "not valid JSON"},
        BadSession{"UnknownKeyBeforeAWrongValue", R"({"zz": 1, "module": "cam"})", "unknown key \"zz\""},
        BadSession{"KeyTwice", R"({"runs": 2, "runs": 0})", "s.json: runs: is given twice"},
        BadSession{"KeyTwiceAmongOthers", R"({"part": {"members": [{"name": "A", "params": {"length": 75,
                   "diameter": 10, "length": 57}}]}})", "part.members[0].params.length: is given twice"},
        BadSession{"KeyTwiceInAnAnswer", R"({"answers": [{"menu": 1, "menu": 2}]})", "answers[0].menu: is given twice"},
        BadSession{"NulInAName", R"({"part": {"members": [{"name": "EM\u0000X"}]}})",
                   "part.members[0].name: holds a NUL (\\u0000)"},
        BadSession{"NulInAFileName", R"({"files": {"a.ini\u0000.txt": ""}})", "files.a.ini\\u0000.txt: holds a NUL"},
        // the same read by nlohmann-json's parser (the quick reader leaves an underflowing number to it)
        BadSession{"KeyTwiceReadByTheGeneralParser", R"({"comment": 1e-400, "runs": 2, "runs": 3})",
                   "s.json: runs: is given twice"},
        BadSession{"NulReadByTheGeneralParser", R"({"comment": 1e-400, "release": "N\u0000X"})", "release: holds a NUL"},
        BadSession{"NulInAnEnvironmentValue", R"({"env": {"A": "x\u0000"}})", "env.A: holds a NUL"},
        BadSession{"EmptyObjectsThenMore", R"({"env": {}, "fail_messages": {}}, [])", "not valid JSON"},
        BadSession{"TextForANumber", R"({"part": {"members": [{"name": "A", "params": {"diameter": "10"}}]}})",
                   "part.members[0].params.diameter: must be a number, not a text"},
        BadSession{"TextForANumberedParameter", R"({"part": {"members": [{"name": "A", "params": {"1049": "25"}}]}})",
                   "part.members[0].params.1049: must be a number, not a text"},
        BadSession{"NumberForAText", R"({"part": {"members": [{"name": "A", "params": {"catalog_name": 5}}]}})",
                   "part.members[0].params.catalog_name: must be a text"},
        BadSession{"FractionForAnInteger", R"({"part": {"members": [{"name": "A", "params": {"flute_count": 4.5}}]}})",
                   "part.members[0].params.flute_count: must be an integer"},
        BadSession{"IntegerParameterOutOfRange",
                   R"({"part": {"members": [{"name": "A", "params": {"tool_number": -2147483649}}]}})",
                   "part.members[0].params.tool_number: is out of the 32-bit range"},
        BadSession{"FailCodeOutOfRange", R"({"fail_messages": {"4294967297": "x"}})", "is not a code (a 32-bit integer)"},
        BadSession{"FileLeavesTheRunFolder", R"({"files": {"a/../../b.txt": ""}})",
                   "files.a/../../b.txt: must be a relative path inside the run folder"},
        BadSession{"FileAbsolute", R"({"files": {"/etc/x": ""}})", "files./etc/x: must be a relative path"},
        BadSession{"FileWindowsAbsolute", R"({"files": {"C:\\x.ini": ""}})", "must be a relative path"},
        BadSession{"FileWithoutName", R"({"files": {"home/": ""}})", "files.home/: must be a relative path"},
        // 64 levels are read: what is wrong is the part
        BadSession{"NestedSixtyFourDeep", kDeepest.c_str(), "part: must be an object"}),
    [](const auto &p) { return p.param.name; });

// JSON texts at the edges of the grammar.  Session and part files are read
// by a quick reader of our own, which leaves what it is not sure of to
// nlohmann-json's parser: every text must be accepted or refused as that
// parser does, as the same document, and ordinary ones by the quick reader.
struct JsonText {
    const char *name;
    std::string text;
    bool plain;  // read by the quick reader
};

class JsonTexts : public ::testing::TestWithParam<JsonText> {};

TEST_P(JsonTexts, ReadAsNlohmannJsonReadsThem) {
    const std::string &text = GetParam().text;
    nlohmann::json theirs = nlohmann::json::parse(text, nullptr, false);
    sim::JsonDocument doc;
    std::string kind, error, why;
    ASSERT_EQ(doc.parse(text, 64, kind, error), !theirs.is_discarded()) << error;
    if (theirs.is_discarded()) {
        EXPECT_FALSE(kind.empty() || error.empty());
    } else {
        EXPECT_TRUE(same_json(doc.root(), theirs, why)) << why;
    }
    ASSERT_EQ(doc.read_plain(text, 64), GetParam().plain);
    if (GetParam().plain) {
        EXPECT_TRUE(same_json(doc.root(), theirs, why)) << why;
    }
}

std::string many_keys() {
    std::string s = "{";
    for (int i = 40; i > 0; --i) s += "\"k" + std::to_string(i % 17) + "\": " + std::to_string(i) + ", ";
    return s + "\"\": 0}";
}

INSTANTIATE_TEST_SUITE_P(
    Session, JsonTexts,
    ::testing::Values(
        JsonText{"Plain", R"({"b": [true, false, null, "x", {}], "a": {"c": []}})", true},
        JsonText{"Cyrillic", R"({"имя": "деталь €𝄞"})", true},
        JsonText{"Escapes", R"(["\" \\ \/ \b \f \n \r \t", "a\u0000b", "\u0041\u00e9\u20AC\uD834\uDD1E"])", true},
        JsonText{"KeyWithEscapes", R"({"a\nb": 1, "a": 2})", true},
        JsonText{"LoneFirstHalf", R"(["\ud800"])", false},
        JsonText{"LoneSecondHalf", R"(["\udc00x"])", false},
        JsonText{"FirstHalfThenLetter", R"(["\ud800\u0041"])", false},
        JsonText{"ShortEscape", R"(["\u12"])", false},
        JsonText{"UnknownEscape", R"(["\x41"])", false},
        JsonText{"Overlong", "[\"\xC0\x80\"]", false},
        JsonText{"OverlongThreeBytes", "[\"\xE0\x80\xAF\"]", false},
        JsonText{"EncodedSurrogate", "[\"\xED\xA0\x80\"]", false},
        JsonText{"BeyondUnicode", "[\"\xF4\x90\x80\x80\"]", false},
        JsonText{"CutSequence", "[\"\xE2\x82\"]", false},
        JsonText{"LoneContinuation", "[\"\x80\"]", false},
        JsonText{"RawTab", "[\"a\tb\"]", false},
        JsonText{"IntegerEdges", "[9223372036854775807, -9223372036854775808, 18446744073709551615, 0, -1]", true},
        JsonText{"BeyondUnsigned", "[18446744073709551616]", false},
        JsonText{"BelowSigned", "[-9223372036854775809]", false},
        JsonText{"Zeros", "[-0, -0.0, 0e0, 0.0]", true},
        JsonText{"Exponents", "[1E5, 1e+5, 1.5e-5, -2.5E-3, 2.2250738585072014e-308, 1.7976931348623157e308]", true},
        JsonText{"Rounding", "[0.1, 1.0000000000000002, 9007199254740993, 9007199254740993.0, 3.1415926]", true},
        JsonText{"Underflow", "[1e-400]", false},
        JsonText{"Overflow", "[1e999]", false},
        JsonText{"LeadingZero", "[01]", false},
        JsonText{"BareFraction", "[.5]", false},
        JsonText{"NoFractionDigits", "[1.]", false},
        JsonText{"NoExponentDigits", "[1e]", false},
        JsonText{"LonelyMinus", "[-]", false},
        JsonText{"Plus", "[+1]", false},
        JsonText{"Blanks", " \t\r\n{ \"a\" : [ 1 , 2 ] }\n ", true},
        JsonText{"FormFeed", "\f[1]", false},
        JsonText{"TrailingText", "{} x", false},
        JsonText{"TwoDocuments", "{}{}", false},
        JsonText{"TrailingComma", "[1,]", false},
        JsonText{"MissingColon", R"({"a" 1})", false},
        JsonText{"KeyNotAText", "{1: 2}", false},
        JsonText{"ByteOrderMark", "\xEF\xBB\xBF{}", true},
        JsonText{"BrokenByteOrderMark", "\xEF\xBB{}", false},
        JsonText{"Empty", "", false},
        JsonText{"OnlyBlanks", " \n", false},
        JsonText{"NulAfter", std::string("{}\0", 3), false},
        JsonText{"Literals", "[true, false, null]", true},
        JsonText{"CutLiteral", "[tru]", false},
        JsonText{"CapitalLiteral", "[True]", false},
        JsonText{"Comment", "// x\n{}", false},
        JsonText{"KeysSortedLastWins", R"({"b": 1, "a": 2, "b": 3, "ab": 4, "a": 5})", true},
        JsonText{"ManyKeys", many_keys(), true},
        JsonText{"SixtyFourLevels", std::string(64, '[') + std::string(64, ']'), true},
        JsonText{"CutShort", R"({"a": [1, 2)", false}),
    [](const auto &p) { return p.param.name; });

TEST(Session, ParamsByNameOrNumberAndTextsInWindows1251) {
    sim::Session s = sim::parse_session(R"({"part": {"name": "деталь.prt", "members": [
        {"name": "Фреза", "params": {"diameter": 10, "1049": 25, "catalog_name": "КАТ", "1000": 7, "length": 2},
         "holder_offset": 3}]},
        "files": {"b.txt": "", "a.txt": ""}})",
                                        "x");
    const sim::Member &m = s.part->members[0];
    EXPECT_EQ(m.name, kesto::utf8_to_cp1251("Фреза"));
    // keys are taken in the order of their bytes: "diameter" after "1000"
    EXPECT_EQ(m.params.at(1000).number, 10);
    EXPECT_EQ(m.params.at(1001).number, 2);
    ASSERT_EQ(s.files.size(), 2u);
    EXPECT_EQ(s.files[0].first, "a.txt");
    EXPECT_EQ(m.params.at(1049).number, 3);  // holder_offset wins over the number written before it
    EXPECT_TRUE(m.params.at(1043).is_text);
    EXPECT_EQ(s.part->name, "\xE4\xE5\xF2\xE0\xEB\xFC.prt");
}

TEST(Session, RunCommandExitCodes) {
    TempDir dir;
    write_file("bad.json", R"({"answers": [{"click": 1}]})");
    write_file("wrong_kind.json", R"({"part": {"name": "p"}, "answers": [{"question": 1}]})");
    write_file("good.json", R"({"part": {"name": "p"}, "answers": [{"menu": 2}]})");
    std::string out;
    std::string cli = std::string(KESTO_CLI_PATH) + " run ";
    EXPECT_EQ(run_command(cli + "bad.json 2>err.txt", out), 2);
    EXPECT_EQ(out, "");  // nothing is run
    EXPECT_NE(read_file("err.txt").find("bad.json: answers[0]: unknown answer kind"), std::string::npos);
    EXPECT_EQ(run_command(cli + "missing.json 2>/dev/null", out), 2);
    EXPECT_EQ(run_command(cli + "good.json", out), 0);
    EXPECT_NE(out.find("menu \"Select menu \""), std::string::npos);
    EXPECT_EQ(run_command(cli + "good.json --plugin ./nothing.so 2>/dev/null", out), 3);
    // --plugin names a file from the folder the command started in, also with -C
    symlink(KESTO_PLUGIN_PATH, "plugin.so");
    mkdir("run", 0777);
    EXPECT_EQ(run_command(cli + "good.json -C run --plugin plugin.so -o transcript.txt", out), 0);
    EXPECT_NE(read_file("run/transcript.txt").find("menu \"Select menu \""), std::string::npos);
    // a path that is not UTF-8 still gives a JSON transcript
    EXPECT_EQ(run_command(cli + "good.json --json --plugin \"$(printf 'x\\377')\" 2>/dev/null", out), 3);
    EXPECT_NE(out.find("cannot load"), std::string::npos) << out;
    EXPECT_NE(out.find("x\xEF\xBF\xBD"), std::string::npos) << out;

    // A question answer given to the menu: the error names the dialog, and
    // the user leaves, so the session still ends.
    EXPECT_EQ(run_command(cli + "wrong_kind.json 2>err.txt", out), 2);
    EXPECT_NE(out.find("error \"a question answer was given to the menu \\\"Select menu \\\""), std::string::npos) << out;
    EXPECT_NE(out.find("unload 1"), std::string::npos);
}

TEST(Session, FilesExpandEnvironmentNamesInOnePass) {
    setenv("KESTO_TEST_VALUE", "v", 1);
    unsetenv("KESTO_TEST_UNSET");
    std::string openings;
    for (int i = 0; i < (1 << 19); ++i) openings += "${";  // a MiB, none closed
    const std::pair<std::string, std::string> rows[] = {
        {"${KESTO_TEST_VALUE}", "v"},
        {"a${KESTO_TEST_VALUE}b${KESTO_TEST_VALUE}", "avbv"},
        {"${KESTO_TEST_UNSET}x", "x"},
        {"$${KESTO_TEST_VALUE}}", "$v}"},
        {"${KESTO_TEST_VALUE", "${KESTO_TEST_VALUE"},
        {"${${KESTO_TEST_VALUE}", ""},  // the name "${KESTO_TEST_VALUE" is not set
        {openings + "${KESTO_TEST_VALUE", openings + "${KESTO_TEST_VALUE"},
    };
    TempDir dir;
    sim::Session s;
    s.source = "s.json";
    for (size_t i = 0; i < std::size(rows); ++i) s.files.emplace_back("out/f" + std::to_string(i), rows[i].first);
    sim::create_session_files(s);
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_TRUE(read_file("out/f" + std::to_string(i)) == rows[i].second) << rows[i].first.substr(0, 40);

    // a file that cannot be made names the entry and the cause
    s.files = {{"out/f0/x.txt", ""}};
    try {
        sim::create_session_files(s);
        FAIL() << "written";
    } catch (const sim::SessionError &e) {
        EXPECT_STREQ(e.what(), "s.json: files.out/f0/x.txt: cannot be written: Not a directory");
    }
}

TEST(Session, PlannedUserAnswersByTitleAndNotesTheFirstUnknownDialog) {
    kesto::cli::PlannedUser user;
    user.on("Select menu ", [](const sim::Event &, int times) { return kesto::cli::menu_answer(times == 1 ? 5 : 7); });
    auto dialog = [](sim::Event::Kind kind, const std::string &title_utf8) {
        sim::Event e;
        e.kind = kind;
        e.title = kesto::utf8_to_cp1251(title_utf8);
        return e;
    };
    EXPECT_EQ(user.answer(dialog(sim::Event::Menu, "Select menu ")).value, 5);
    EXPECT_EQ(user.answer(dialog(sim::Event::Menu, "Select menu ")).value, 7);
    EXPECT_EQ(user.unknown_dialog(), "");
    // dialogs the plan does not know are left, and the first is named
    struct Row {
        sim::Event::Kind kind;
        sim::Answer::Kind answer;
        int value;
    };
    for (const Row &row : {Row{sim::Event::Question, sim::Answer::Question, 0}, Row{sim::Event::Menu, sim::Answer::Menu, 2},
                           Row{sim::Event::FileBox, sim::Answer::File, 0}}) {
        sim::Answer a = user.answer(dialog(row.kind, "Новый диалог"));
        EXPECT_EQ(a.kind, row.answer);
        EXPECT_EQ(a.value, row.value);
        EXPECT_FALSE(a.file.has_value());
    }
    EXPECT_EQ(user.unknown_dialog(), "question \"Новый диалог\"");
}

TEST(Session, AnswersRunOutAsAUserWhoLeaves) {
    TempDir dir;
    sim::RunResult r = run_json(R"({"part": {"name": "p"}})");
    auto menus = of_kind(r, sim::Event::Menu);
    ASSERT_EQ(menus.size(), 1u);
    EXPECT_EQ(menus[0].answer, 2);
    EXPECT_TRUE(r.error.empty());
}

TEST(Session, FaultOnlyOnTheNthCall) {
    sim::Session s = sim::parse_session(R"({"part": {"name": "p"},
        "faults": [{"call": "UF_SETUP_ask_setup", "code": 9, "nth": 2}]})", "x");
    sim::DirectRun host(s);
    tag_t t = 0;
    EXPECT_EQ(UF_SETUP_ask_setup(&t), 0);
    EXPECT_EQ(UF_SETUP_ask_setup(&t), 9);
    EXPECT_EQ(UF_SETUP_ask_setup(&t), 0);
}

TEST(Session, TranscriptTextsDecodedAndEscapedByteForByte) {
    // each byte value at each place of an eight-byte word, in texts of the
    // plug-in (Windows-1251, decoded) and of the host (UTF-8, as they are)
    auto quoted = [](const std::string &text, bool decode) {
        std::string out = "\"";
        for (unsigned char c : decode ? kesto::cp1251_to_utf8(text) : text) {
            if (c == '"' || c == '\\') out += std::string("\\") + static_cast<char>(c);
            else if (c == '\n') out += "\\n";
            else if (c == '\r') out += "\\r";
            else if (c == '\t') out += "\\t";
            else if (c < 0x20 || c == 0x7F) out += "\\u00" + std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 15];
            else out += static_cast<char>(c);
        }
        return out + "\"";
    };
    std::vector<sim::Event> events;
    std::string expected;
    for (int byte = 0; byte < 256; ++byte) {
        for (size_t at = 0; at < 17; at += 3) {
            std::string text = std::string(at, 'a') + static_cast<char>(byte) + "bcdefghij\xC0\xFF";
            for (sim::Event::Kind kind : {sim::Event::Stdout, sim::Event::Error}) {
                sim::Event e;
                e.kind = kind;
                e.texts.push_back(text);
                events.push_back(e);
                expected += std::string(kind == sim::Event::Stdout ? "stdout " : "error ") +
                            quoted(text, kind == sim::Event::Stdout) + "\n";
            }
        }
    }
    sim::Event menu;
    menu.kind = sim::Event::Menu;
    menu.title = "\xC2\xFB\xE1\xEE\xF0";
    menu.default_item = 5;
    menu.items = {"Create File TLS Vericut (All Tools)", "Help \"\xFF\""};
    menu.values = {5, -10};
    menu.answer = 2147483647;
    events.push_back(menu);
    expected += "menu \"Выбор\" default=5 [\"Create File TLS Vericut (All Tools)\"=5, \"Help \\\"я\\\"\"=-10] -> 2147483647\n";
    EXPECT_EQ(sim::render(events), expected);
}

TEST(Session, HostCatchesArraysNotGivenBackAndForeignFrees) {
    sim::Session s = sim::parse_session(R"({"part": {"name": "p", "members": [{"name": "A"}]}})", "x");
    sim::DirectRun host(s);
    int count = 0;
    tag_t *list = nullptr;
    ASSERT_EQ(UF_NCGROUP_ask_member_list(3, &count, &list), 0);
    EXPECT_EQ(count, 2);  // "NONE" and A
    int local = 0;
    UF_free(&local);
    sim::RunResult r = host.finish();
    EXPECT_EQ(r.outstanding_arrays, 1);
    EXPECT_NE(r.error.find("never handed out"), std::string::npos);
}

}  // namespace
