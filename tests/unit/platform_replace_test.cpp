// Replacement files of the POSIX platform layer: a new file beside the
// target takes its place only on commit, keeps links and permission bits,
// and is never left behind.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "host/platform/platform.h"
#include "tests/unit/test_support.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

enum class End { Commit, Discard, CommitOverAFolder };

struct ReplaceCase {
    const char *name;
    std::function<void()> setup;  // in the test's folder
    const char *target;
    int keep_old;
    End end;
    int last_byte;     // what the open reports
    int commit_result;
    const char *file;     // the file that ends up holding the bytes
    std::string content;  // empty: there is no such file
};

class Replacement : public ::testing::TestWithParam<ReplaceCase> {};

std::vector<std::string> temp_files(const std::string &root) {
    std::vector<std::string> out;
    for (const auto &e : fs::recursive_directory_iterator(root))
        if (e.path().filename().string().find(".~kesto-") != std::string::npos) out.push_back(e.path().string());
    return out;
}

TEST_P(Replacement, TakesThePlaceOnlyOnCommit) {
    const ReplaceCase &c = GetParam();
    TempDir dir;
    c.setup();
    PlatReplacement *r = nullptr;
    int last = -2;
    FILE *f = nullptr;
    ASSERT_EQ(plat_replacement_open(c.target, c.keep_old, &last, &f, &r), PLAT_REPLACEMENT_OPEN);
    ASSERT_NE(f, nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(last, c.last_byte);
    fputs("new\n", f);
    ASSERT_EQ(fclose(f), 0);
    // The target is untouched until the end.
    if (c.end == End::CommitOverAFolder) {
        fs::remove(c.file);
        fs::create_directories(std::string(c.file) + "/inside");
    }
    if (c.end == End::Discard) {
        plat_replacement_discard(r);
    } else {
        EXPECT_EQ(plat_replacement_commit(r), c.commit_result);
    }
    if (c.end == End::CommitOverAFolder) {
        EXPECT_TRUE(fs::is_directory(std::string(c.file) + "/inside"));
    } else if (c.content.empty()) {
        EXPECT_FALSE(file_exists(c.file));
    } else {
        EXPECT_EQ(read_file(c.file), c.content);
    }
    EXPECT_EQ(temp_files(dir.path()), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Platform, Replacement,
    ::testing::Values(
        ReplaceCase{"NewFile", [] {}, "a.tls", 1, End::Commit, -1, 0, "a.tls", "new\r\n"},
        ReplaceCase{"Rewrite", [] { write_file("a.tls", "old"); }, "a.tls", 0, End::Commit, -1, 0, "a.tls",
                    "new\r\n"},
        ReplaceCase{"AppendStartsAsACopy", [] { write_file("a.tls", "old\r\n"); }, "a.tls", 1, End::Commit, '\n', 0,
                    "a.tls", "old\r\nnew\r\n"},
        ReplaceCase{"AppendToEmpty", [] { write_file("a.tls", ""); }, "a.tls", 1, End::Commit, -1, 0, "a.tls",
                    "new\r\n"},
        ReplaceCase{"BackslashesAndWindows1251",
                    [] { fs::create_directory("\xD0\xBF\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0"); },
                    "\xEF\xE0\xEF\xEA\xE0\\a.tls", 0, End::Commit, -1, 0,
                    "\xD0\xBF\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0/a.tls", "new\r\n"},
        ReplaceCase{"DiscardLeavesTheOldBytes", [] { write_file("a.tls", "old"); }, "a.tls", 1, End::Discard, 'd', 0,
                    "a.tls", "old"},
        ReplaceCase{"DiscardLeavesNoFile", [] {}, "a.tls", 0, End::Discard, -1, 0, "a.tls", ""},
        // A link keeps being a link: the file it names is replaced, beside itself.
        ReplaceCase{"LinkFollowed",
                    [] {
                        fs::create_directory("real");
                        write_file("real/lib.tls", "old");
                        fs::create_symlink("real/lib.tls", "link.tls");
                    },
                    "link.tls", 1, End::Commit, 'd', 0, "real/lib.tls", "oldnew\r\n"},
        ReplaceCase{"LinkToNothingYet",
                    [] {
                        fs::create_directory("real");
                        fs::create_symlink("real/lib.tls", "link.tls");
                    },
                    "link.tls", 0, End::Commit, -1, 0, "real/lib.tls", "new\r\n"},
        ReplaceCase{"FailedCommitRemovesTheNewFile", [] { write_file("a.tls", "old"); }, "a.tls", 0,
                    End::CommitOverAFolder, -1, -1, "a.tls", ""}),
    [](const auto &p) { return std::string(p.param.name); });

TEST(PlatformReplacement, KeepsPermissionBitsOwnerAndLinks) {
    TempDir dir;
    fs::create_directory("real");
    write_file("real/lib.tls", "old");
    ASSERT_EQ(chmod("real/lib.tls", 0604), 0);
    const bool root = geteuid() == 0;  // who may give a file to another owner
    if (root) {
        ASSERT_EQ(chown("real/lib.tls", 1234, 5678), 0);
    }
    fs::create_symlink("real/lib.tls", "link.tls");
    PlatReplacement *r = nullptr;
    FILE *f = nullptr;
    ASSERT_EQ(plat_replacement_open("link.tls", 0, nullptr, &f, &r), PLAT_REPLACEMENT_OPEN);
    ASSERT_EQ(fclose(f), 0);
    ASSERT_EQ(plat_replacement_commit(r), 0);
    EXPECT_TRUE(fs::is_symlink("link.tls"));
    struct stat st;
    ASSERT_EQ(stat("real/lib.tls", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    if (root) {
        EXPECT_EQ(st.st_uid, 1234u);
        EXPECT_EQ(st.st_gid, 5678u);
    }
}

// Nothing is made or held where no file can be made (a pipe, a read-only
// library or folder and a library another writer holds are rows of the
// export's table).
TEST(PlatformReplacement, NothingWhereNoFileCanBeMade) {
    TempDir dir;
    PlatReplacement *r = nullptr;
    FILE *f = nullptr;
    fs::create_symlink("loop.tls", "loop.tls");
    for (const char *target : {"no folder/a.tls", "/proc/kesto.tls", "loop.tls"}) {
        EXPECT_EQ(plat_replacement_open(target, 1, nullptr, &f, &r), PLAT_REPLACEMENT_FAILED) << target;
        EXPECT_EQ(f, nullptr);
        EXPECT_EQ(r, nullptr);
    }
}

TEST(PlatformReplacement, PathKinds) {
    TempDir dir;
    write_file("a.tls", "x");
    fs::create_directory("folder");
    ASSERT_EQ(mkfifo("pipe", 0600), 0);
    fs::create_symlink("a.tls", "link.tls");
    const std::pair<const char *, int> kinds[] = {
        {"a.tls", PLAT_PATH_FILE},   {"link.tls", PLAT_PATH_FILE}, {"missing.tls", PLAT_PATH_MISSING},
        {"folder", PLAT_PATH_OTHER}, {"pipe", PLAT_PATH_OTHER},    {"/dev/full", PLAT_PATH_OTHER}};
    for (const auto &[path, kind] : kinds) EXPECT_EQ(plat_path_kind(path), kind) << path;
}

}  // namespace
