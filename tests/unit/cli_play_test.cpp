// The terminal session, driven through tmux as a person would drive it.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/unit/test_support.h"

using namespace testing_support;

namespace {

// A tmux server of the test's own, without the user's configuration,
// running command in one pane that stays on screen after command ends.  Its
// socket lies in folder (tmux leaves it behind), so it goes with the folder.
class Tmux {
public:
    Tmux(const std::string &folder, const std::string &command) : server_("tmux -S '" + folder + "/tmux' ") {
        std::string out;
        ok_ = run_command(server_ + "-f /dev/null new-session -d -x 160 -y 50 -s play '" + command +
                              "' \\; set-option -g remain-on-exit on 2>&1",
                          out) == 0;
    }
    ~Tmux() {
        std::string out;
        run_command(server_ + "kill-server 2>/dev/null", out);
    }
    bool ok() const { return ok_; }
    void keys(const std::string &k) {
        std::string out;
        run_command(server_ + "send-keys -t play " + k, out);
    }
    // The pane's text; with escapes, its colour codes too.
    std::string screen(bool escapes = false) {
        std::string out;
        run_command(server_ + "capture-pane -p " + (escapes ? "-e " : "") + "-S -200 -t play", out);
        return out;
    }
    // Waits until the screen shows text; the deadline is generous, for a
    // busy machine.
    bool wait_for(const std::string &text) {
        return wait_until([&] { return screen().find(text) != std::string::npos; }, std::chrono::seconds(30));
    }

private:
    std::string server_;
    bool ok_ = false;
};

TEST(Play, MenuMessageAndLeavingAtTheTerminal) {
    std::string out;
    if (run_command("command -v tmux >/dev/null", out) != 0) GTEST_SKIP() << "tmux is not installed";
    TempDir dir;
    write_file("s.json", R"({"part": {"name": "p.prt", "members": [{"name": "EM10", "type": 1, "subtype": 1}]}})");
    Tmux t(dir.path(), std::string(KESTO_CLI_PATH) + " play -q s.json; echo PLAY-EXIT=$?");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.wait_for("choose:")) << t.screen();
    std::string s = t.screen();
    EXPECT_NE(s.find("Select menu"), std::string::npos);
    EXPECT_NE(s.find("4) Find Tools in Vericut   (Selectively)"), std::string::npos) << s;
    t.keys("3 Enter");
    ASSERT_TRUE(t.wait_for("Опция не активна.....")) << t.screen();
    t.keys("x Enter");  // not an item: asked again
    ASSERT_TRUE(t.wait_for("1 to 6, b or c")) << t.screen();
    t.keys("c Enter");
    ASSERT_TRUE(t.wait_for("PLAY-EXIT=0")) << t.screen();
    EXPECT_NE(t.screen().find("session ended"), std::string::npos);
}

// A selective export at the terminal: the tools are picked in the
// navigator by number and by name in another case at once, the questions
// are answered by the first letter of a label with blanks around, the file
// chooser by Enter, which takes its default.  The plug-in's diagnostic output
// is dimmed on a terminal, but not under NO_COLOR.
TEST(Play, SelectiveExportWithTheNavigator) {
    std::string out;
    if (run_command("command -v tmux >/dev/null", out) != 0) GTEST_SKIP() << "tmux is not installed";
    for (const std::string colour : {"", "NO_COLOR=1 "}) {
        SCOPED_TRACE(colour);
        TempDir dir;
        write_file("s.json", R"({"part": {"name": "p.prt", "members": [
            {"name": "EM10", "type": 1, "subtype": 1, "params": {"diameter": 10, "length": 75}},
            {"name": "EM12", "type": 1, "subtype": 1, "params": {"diameter": 12, "length": 75}},
            {"name": "DR5 \"HSS\"", "type": 2, "params": {"diameter": 5, "length": 40}}]}})");
        Tmux t(dir.path(), colour + KESTO_CLI_PATH + " play s.json; echo PLAY-EXIT=$?");
        ASSERT_TRUE(t.ok());
        ASSERT_TRUE(t.wait_for("choose:")) << t.screen();
        EXPECT_EQ(t.screen(true).find("\x1b[2m") == std::string::npos, !colour.empty());
        t.keys("2 Enter");  // the selective export
        ASSERT_TRUE(t.wait_for("empty keeps the selection:")) << t.screen();
        EXPECT_NE(t.screen().find("3) DR5 \"HSS\""), std::string::npos) << t.screen();
        t.keys("'1, DR5 \"HSS\", 7' Enter");  // no tool 7: asked again
        ASSERT_TRUE(t.wait_for("no tool \"7\"")) << t.screen();
        t.keys("'1, dr5 \"hss\"' Enter");  // a name in any letter case
        ASSERT_TRUE(t.wait_for("Fix")) << t.screen();
        t.keys("1 Enter");
        // "y" for Yes, Enter for the file chooser's default, "n" for No
        for (const char *step : {"' y ' Enter", "Enter", "' n' Enter"}) {
            size_t answered = occurrences(t.screen(), ": ");
            t.keys(step);
            ASSERT_TRUE(wait_until([&] { return occurrences(t.screen(), ": ") > answered; })) << step << t.screen();
        }
        // Help after the export: it opens the listing window, then its tool list opens it again
        t.keys("6 Enter");
        ASSERT_TRUE(t.wait_for("Количество инструментов = 4")) << t.screen();
        EXPECT_EQ(occurrences(t.screen(), "═══ listing window ═══"), 1u) << t.screen();
        t.keys("c Enter");
        ASSERT_TRUE(t.wait_for("listing window closed")) << t.screen();
        t.keys("c Enter");
        ASSERT_TRUE(t.wait_for("PLAY-EXIT=0")) << t.screen();
        EXPECT_NE(t.screen().find("default 1.tls"), std::string::npos) << t.screen();
        const std::string tls = read_file("1.tls");
        EXPECT_NE(tls.find("TOOLID \"EM10\""), std::string::npos) << t.screen();
        EXPECT_NE(tls.find("TOOLID \"DR5 |HSS|\""), std::string::npos) << t.screen();
        EXPECT_EQ(tls.find("EM12"), std::string::npos);
    }
}

}  // namespace
