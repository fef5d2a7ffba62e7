// The POSIX profile reader: known answers of the Windows reader, and the
// whole settings corpus asked key by key of both readers (ours natively,
// GetPrivateProfileStringA under Wine) with identical answers.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

#include "host/platform/platform.h"
#include "tests/programs/ini_query_format.h"
#include "tests/unit/test_support.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

struct Answer {
    unsigned count;
    std::string value;
};

// A null key asks for the list of the section's key names: the count's
// characters, zeros included.
Answer ask(const std::string &file, const char *section, const char *key, unsigned size,
           const char *def = "") {
    std::string buffer(size + 8, '#');
    unsigned count = key ? plat_get_profile_string(section, key, def, &buffer[0], size, file.c_str())
                         : plat_get_profile_keys(section, &buffer[0], size, file.c_str());
    // Nothing beyond the buffer is touched.
    EXPECT_EQ(buffer.substr(size), std::string(8, '#'));
    if (size == 0) return {count, ""};
    if (!key) {
        EXPECT_LT(count, size);
        EXPECT_EQ(buffer[std::min(count, size - 1)], '\0') << "list not terminated";
        return {count, buffer.substr(0, std::min(count, size))};
    }
    size_t end = buffer.find('\0');
    EXPECT_LT(end, size) << "value not terminated inside the buffer";
    return {count, buffer.substr(0, std::min(end, static_cast<size_t>(size)))};
}

struct ReaderCase {
    const char *name;
    std::string content;
    const char *section;
    const char *key;
    unsigned size;
    const char *def;
    unsigned count;
    std::string value;
};

class Reader : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(Reader, AnswersLikeTheWindowsReader) {
    const ReaderCase &c = GetParam();
    TempDir dir;
    write_file(dir.file("s.ini"), c.content);
    Answer a = ask(dir.file("s.ini"), c.section, c.key, c.size, c.def);
    EXPECT_EQ(a.value, c.value);
    EXPECT_EQ(a.count, c.count);
}

const std::string kKeys = "[S]\nA=1\n;c=2\nB\nb=3\n=4\n=5\nC=6\n[S]\nD=7\n";
const std::string kQuoted = "[S]\r\nQ=\"" + std::string(300, 'y') + "\"\r\n";

// Each answer was taken from GetPrivateProfileStringA.
INSTANTIATE_TEST_SUITE_P(
    Cases, Reader,
    ::testing::Values(
        ReaderCase{"PlainCrLf", "[VMAIN]\r\nNUM=2\r\n", "VMAIN", "NUM", 10, "", 1, "2"},
        ReaderCase{"NoFinalLineEnd", "[VMAIN]\nNUM=42", "VMAIN", "NUM", 10, "", 2, "42"},
        ReaderCase{"CrOnly", "[A]\rK=1\r[B]\rK=2", "B", "K", 10, "", 1, "2"},
        ReaderCase{"CaseOfAsciiLetters", "[VMain]\nNum=3\n", "vmain", "NUM", 10, "", 1, "3"},
        ReaderCase{"CyrillicNotFolded", "[S]\n\xC4\xE4=1\n", "S", "\xE4\xE4", 10, "", 0, ""},
        ReaderCase{"CyrillicExact", "[S]\n\xC4\xE4=1\n", "S", "\xC4\xE4", 10, "", 1, "1"},
        ReaderCase{"BlanksTrimmed", "  [ S ]\n\t K \v=\f v a \x1a\n", " S\t", "K ", 257, "", 3, "v a"},
        ReaderCase{"OtherBytesKept", "[S]\nK=\xA0v\x01\n", "S", "K", 257, "", 3, "\xA0v\x01"},
        ReaderCase{"CutToSizeLessOne", "[S]\nK=123456789012345\n", "S", "K", 10, "", 9, "123456789"},
        ReaderCase{"SizeOne", "[S]\nK=abc\n", "S", "K", 1, "", 0, ""},
        ReaderCase{"SizeZero", "[S]\nK=abc\n", "S", "K", 0, "", 0, ""},
        ReaderCase{"QuotesStripped", "[S]\nK=\"C:\\a b\"\n", "S", "K", 257, "", 6, "C:\\a b"},
        ReaderCase{"SingleQuotes", "[S]\nK='x'\n", "S", "K", 257, "", 1, "x"},
        ReaderCase{"MismatchedQuotesKept", "[S]\nK=\"x'\n", "S", "K", 257, "", 3, "\"x'"},
        ReaderCase{"LoneQuoteKept", "[S]\nK=\"\n", "S", "K", 257, "", 1, "\""},
        ReaderCase{"EmptyQuotes", "[S]\nK=\"\"\n", "S", "K", 257, "", 0, ""},
        ReaderCase{"EmptyQuotesSizeOne", "[S]\nK=\"\"\n", "S", "K", 1, "", 0, ""},
        ReaderCase{"InnerQuoteKept", "[S]\nK=\"x\"y\"\n", "S", "K", 257, "", 3, "x\"y"},
        ReaderCase{"QuotedCutLosesOnlyTheFirstQuote", "[S]\nK=\"C:\\a b\"\n", "S", "K", 3, "", 2, "C:"},
        // One short of the closing quote: the buffer's last character goes.
        ReaderCase{"QuotedOneShort", kQuoted, "S", "Q", 301, "", 299, std::string(299, 'y')},
        ReaderCase{"QuotedJustFits", kQuoted, "S", "Q", 302, "", 300, std::string(300, 'y')},
        ReaderCase{"FirstKeyWins", "[S]\nK=1\nK=2\n", "S", "K", 10, "", 1, "1"},
        ReaderCase{"KeyWithoutValueShadowsLater", "[S]\nK\nK=2\n", "S", "K", 10, "d", 1, "d"},
        ReaderCase{"EmptyValueIsNotTheDefault", "[S]\nK=\n", "S", "K", 10, "d", 0, ""},
        ReaderCase{"OnlyFirstSectionSearched", "[S]\nA=1\n[S]\nK=2\n", "S", "K", 10, "", 0, ""},
        ReaderCase{"KeysBeforeAnySection", "K=0\n[S]\nK=1\n", "", "K", 10, "", 1, "0"},
        ReaderCase{"CommentLineIsAKey", "[S]\n; note=1\n", "S", "; note", 10, "", 1, "1"},
        ReaderCase{"UnclosedSectionIsAKeyLine", "[S]\n[T\nK=1\n", "S", "K", 10, "", 1, "1"},
        ReaderCase{"LastBracketCloses", "[a]b] x\nK=1\n", "a]b", "K", 10, "", 1, "1"},
        ReaderCase{"ValueWithEquals", "[S]\nK = a=b \n", "S", "K", 10, "", 3, "a=b"},
        ReaderCase{"EmptyName", "[S]\n=v\n", "S", "", 10, "", 1, "v"},
        ReaderCase{"NulEndsValue", std::string("[S]\nK=x\0y\n", 10), "S", "K", 10, "", 1, "x"},
        ReaderCase{"NulEndsName", std::string("[S]\nK\0Z=2\n", 10), "S", "K", 10, "", 1, "2"},
        ReaderCase{"Utf8Bom", "\xEF\xBB\xBF[S]\r\nK=\xD0\x94\xD0\xB0\xE2\x82\xAC\r\n", "S", "K", 10, "", 3,
                   "\xC4\xE0\x88"},
        ReaderCase{"Utf8WithoutBomIsBytes", "[S]\nK=\xD0\x94\n", "S", "K", 10, "", 2, "\xD0\x94"},
        ReaderCase{"Utf8BomMalformed", "\xEF\xBB\xBF[S]\nK=\xE0\x80" "A\xF4\x90\x80\x80\n", "S", "K", 10, "", 5,
                   "?A???"},
        ReaderCase{"Utf8BomBeyondBmp", "\xEF\xBB\xBF[S]\nK=\xF0\x9F\x98\x80\n", "S", "K", 10, "", 2, "??"},
        ReaderCase{"Utf16LeBom", std::string("\xFF\xFE[\0S\0]\0\n\0K\0=\0\x14\x04\x98\0", 18), "S", "K", 10, "", 2,
                   "\xC4\x98"},
        ReaderCase{"Utf16BeBom", std::string("\xFE\xFF\0[\0S\0]\0\n\0K\0=\x04\x14", 16), "S", "K", 10, "", 1,
                   "\xC4"},
        ReaderCase{"DefaultLosesTrailingBlanks", "", "S", "K", 10, " d  ", 2, " d"},
        ReaderCase{"DefaultKeepsItsFirstBlank", "", "S", "K", 10, "  ", 1, " "},
        ReaderCase{"DefaultKeepsTrailingTab", "", "S", "K", 10, "d\t", 2, "d\t"},
        ReaderCase{"DefaultQuotesStripped", "[S]\n", "S", "K", 10, "\"d\"", 1, "d"},
        ReaderCase{"NullDefault", "[S]\n", "S", "K", 10, nullptr, 0, "" },
        // Key lists: no comments, no lines without '=', a run of nameless keys
        // once, the first section only; cut to the size less two.
        ReaderCase{"KeyList", kKeys, "S", nullptr, 257, "", 7, std::string("A\0b\0\0C\0", 7)},
        ReaderCase{"KeyListCut", kKeys, "S", nullptr, 5, "", 3, std::string("A\0b", 3)},
        ReaderCase{"KeyListSectionUntrimmed", kKeys, " S", nullptr, 257, "", 0, ""},
        ReaderCase{"KeyListStartingNameless", "[S]\n=x\nA=1\n", "s", nullptr, 257, "", 0, ""}),
    [](const auto &p) { return std::string(p.param.name); });

TEST(ReaderFiles, MissingAndUnreadableFiles) {
    TempDir dir;
    fs::create_directory(dir.file("folder"));
    // A missing file in an existing folder reads as empty: the default goes
    // through the quote rule.  Otherwise the default comes back unchanged.
    Answer missing = ask(dir.file("missing.ini"), "S", "K", 10, "\"d\"");
    EXPECT_EQ(missing.value, "d");
    EXPECT_EQ(missing.count, 1u);
    for (const std::string &path : {dir.file("no folder/missing.ini"), dir.file("folder")}) {
        SCOPED_TRACE(path);
        Answer a = ask(path, "S", "K", 10, "\"d\"  ");
        EXPECT_EQ(a.value, "\"d\"");
        EXPECT_EQ(a.count, 3u);
    }
}

TEST(ReaderFiles, PathsAreWindows1251WithBackslashes) {
    TempDir dir;
    fs::create_directory(dir.file("\xD0\xBF\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0"));  // "папка" in UTF-8
    write_file(dir.file("\xD0\xBF\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0/s.ini"), "[S]\nK=found\n");
    std::string path = dir.path() + "\\\xEF\xE0\xEF\xEA\xE0\\s.ini";  // the same in Windows-1251
    Answer a = ask(path, "S", "K", 257);
    EXPECT_EQ(a.value, "found");
    EXPECT_EQ(plat_file_opens(path.c_str()), 1);
}

// ---- The corpus, both readers ------------------------------------------------

const unsigned kSizes[] = {10, 257};

fs::path corpus_dir() { return fs::path(KESTO_SOURCE_DIR) / "tests" / "ini_corpus"; }

std::string escaped(const std::string &bytes) { return ini_query::escape(bytes); }

std::string lower(std::string s) {
    for (char &c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Every section and key name a file's lines could hold, as written and in
// lower case, so that each file is asked for each of its own keys.
void names_in(const std::string &content, std::set<std::string> &sections, std::set<std::string> &keys) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i <= content.size(); ++i) {
        if (i == content.size() || content[i] == '\r' || content[i] == '\n') {
            if (i > start) lines.push_back(content.substr(start, i - start));
            start = i + 1;
        }
    }
    for (const std::string &l : lines) {
        size_t open = l.find('[');
        size_t close = l.rfind(']');
        if (open != std::string::npos && close != std::string::npos && close > open) {
            sections.insert(l.substr(open + 1, close - open - 1));
            sections.insert(lower(l.substr(open + 1, close - open - 1)));
        }
        std::string key = l.substr(0, l.find('='));
        keys.insert(key);
        keys.insert(lower(key));
    }
}

struct Query {
    std::string section, key, def;
    bool has_def = false;
};

std::vector<Query> fixed_queries() {
    std::vector<Query> out;
    std::istringstream in(read_file((corpus_dir() / "queries.txt").string()));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f = ini_query::split_tabs(line);
        EXPECT_TRUE(f.size() == 2 || f.size() == 3) << "queries.txt: " << line;
        if (f.size() < 2) continue;
        out.push_back({f[0], f[1], f.size() == 3 ? f[2] : "", f.size() == 3});
    }
    return out;
}

TEST(ReaderCorpus, SameAnswersAsGetPrivateProfileStringA) {
    std::string win32 = wine_dir();
    if (win32.empty()) GTEST_SKIP() << "no Windows build given (KESTO_WIN32_DIR or KESTO_WINE_DIR)";
    std::vector<std::string> files;
    for (const auto &entry : fs::directory_iterator(corpus_dir()))
        if (entry.path().extension() == ".ini") files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    ASSERT_GE(files.size(), 30u);
    // Files that cannot be read: missing, in a missing folder, a folder.
    files.push_back("no_such_file.ini");
    files.push_back("no_such_folder\\\\x.ini");
    files.push_back(".");

    std::vector<Query> fixed = fixed_queries();
    ASSERT_FALSE(fixed.empty());
    std::string questions;
    size_t count = 0;
    for (const std::string &file : files) {
        std::set<std::string> sections, keys;
        if (fs::exists(corpus_dir() / file) && fs::is_regular_file(corpus_dir() / file))
            names_in(read_file((corpus_dir() / file).string()), sections, keys);
        std::vector<Query> queries = fixed;
        for (const std::string &s : sections) {
            queries.push_back({escaped(s), "\\N", "", false});  // the list of its key names
            for (const std::string &k : keys) queries.push_back({escaped(s), escaped(k), "", false});
        }
        for (const std::string &k : keys) queries.push_back({"VMAIN", escaped(k), "", false});
        for (const Query &q : queries) {
            for (unsigned size : kSizes) {
                questions += file + "\t" + q.section + "\t" + q.key + "\t" + std::to_string(size);
                if (q.has_def) questions += "\t" + q.def;
                questions += "\n";
                ++count;
            }
        }
    }
    TempDir dir;
    write_file(dir.file("questions.txt"), questions);

    std::string native, wine;
    ASSERT_EQ(run_command(std::string(KESTO_BINARY_DIR) + "/kesto_ini_dump questions.txt '" + corpus_dir().string() + "'",
                          native), 0);
    std::string wine_corpus = wine_path(corpus_dir().string());
    std::string wine_questions = wine_path(dir.file("questions.txt"));
    ASSERT_EQ(run_command("LC_ALL=ru_RU.UTF-8 " + wine_command() + " '" + win32 + "/kesto_ini_dump.exe' '" + wine_questions + "' '" +
                              wine_corpus + "'",
                          wine),
              0);

    std::vector<std::string> q_lines, n_lines, w_lines;
    for (auto [text, lines] : {std::pair{&questions, &q_lines}, {&native, &n_lines}, {&wine, &w_lines}}) {
        std::istringstream in(*text);
        std::string l;
        while (std::getline(in, l)) lines->push_back(l);
    }
    ASSERT_EQ(n_lines.size(), count);
    ASSERT_EQ(w_lines.size(), count);
    int shown = 0;
    size_t differing = 0;
    for (size_t i = 0; i < count; ++i) {
        if (n_lines[i] == w_lines[i]) continue;
        ++differing;
        if (shown++ < 20)
            ADD_FAILURE() << "question: " << q_lines[i] << "\n  ours:    " << n_lines[i] << "\n  Windows: " << w_lines[i];
    }
    EXPECT_EQ(differing, 0u) << "of " << count << " questions";
    // The corpus is read, not only missed: many questions find a value.
    size_t found = static_cast<size_t>(std::count_if(n_lines.begin(), n_lines.end(),
                                                     [](const std::string &l) { return l.rfind("0\t", 0) != 0; }));
    EXPECT_GT(found, count / 20);
}

}  // namespace
