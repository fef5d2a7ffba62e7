// The export commands in the simulated host: their dialogs in order, the
// files they leave and the offer to open them.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>

#include "host/common/cp1251.h"
#include "host/common/library_writer.h"
#include "src/tls/export_command.h"
#include "tests/unit/launcher_record.h"

using namespace testing_support;
using sim::Event;

namespace {

const std::string kHeader = "CGTECH Tool Library File\r\nVersion-5.2\r\n\r\n";

const std::string kEm10 =
    "TOOLID \"EM10\" {\r\n"
    "  UNITS MILLIMETER\r\n"
    "  DESCRIPTION \"D10.00 H75.00\"\r\n"
    "  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)\r\n"
    "  TOOLTYPE MILLING\r\n"
    "  STACK YES\r\n"
    "  CUTTER {\r\n"
    "    FLUTE_LENGTH 50.00000 \r\n"
    "    SHANK_DIAMETER 0.00000 \r\n"
    "    ASSEMBLY {\r\n"
    "      CUTTER_TYPE \"FLAT END\"\r\n"
    "      STANDARD (10.00000,0.00000,0.00000,0.00000,0.00000,0.00000,75.00000)\r\n"
    "    }\r\n"
    "  }\r\n"
    "}\r\n";

const std::string kDr5 =
    "TOOLID \"DR5\" {\r\n"
    "  UNITS MILLIMETER\r\n"
    "  DESCRIPTION \"D5.00 H40.00\"\r\n"
    "  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)\r\n"
    "  TOOLTYPE MILLING\r\n"
    "  STACK YES\r\n"
    "  CUTTER {\r\n"
    "    FLUTE_LENGTH 20.00000 \r\n"
    "    SHANK_DIAMETER 0.00000 \r\n"
    "    ASSEMBLY {\r\n"
    "      CUTTER_TYPE \"DRILL\"\r\n"
    "      STANDARD (5.00000,0.00000,0.00000,0.00000,31.00000,0.00000,40.00000)\r\n"
    "    }\r\n"
    "  }\r\n"
    "}\r\n";

const std::string kOldFile = "CGTECH Tool Library File\r\nVersion-5.2\r\n\r\nTOOLID \"OLD\" {\r\n}\r\n";
// A library whose last line has no line break.
const std::string kOldTurning =
    "CGTECH Tool Library File\r\nVersion-5.2\r\n\r\nTOOLID \"OLD\" {\r\n  UNITS MILLIMETER\r\n"
    "  TOOLTYPE TURNING\r\n  STACK NO\r\n}";

const std::string kBr20 =
    "TOOLID \"BR20\" {\r\n  UNITS MILLIMETER\r\n  DESCRIPTION \"D20.00 H60.00\"\r\n"
    "  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)\r\n  TOOLTYPE MILLING\r\n  STACK YES\r\n  CUTTER {\r\n"
    "    FLUTE_LENGTH 20.00000 \r\n    SHANK_DIAMETER 10.00000 \r\n    ASSEMBLY {\r\n          SOR {\r\n"
    "        PTS { (0,0) (7.32864,0) } \r\n        ARC (7.32864,2.00000,2.00000) \r\n"
    "        PTS { (9.30066,1.66667) } \r\n        ARC (-40.00000,10.00000,50.00000) \r\n"
    "        PTS { (9.30066,18.33333) } \r\n        ARC (7.32864,18.00000,2.00000) \r\n"
    "        PTS { (7.32864,20.00000) } \r\n        PTS { (5.00000,20.00000) (5.00000,60.00000) } \r\n"
    "        PTS { (0,60.00000) } \r\n      }\r\n    }\r\n  }\r\n}\r\n";

const std::string kHelpMenu = "menu Краткое Руководство пользователя и об авторах .. default=1 [] -> 5";

std::string fixed5(double v) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.5f", v);
    return buf;
}

// The record of a flat end mill without holder.
std::string flat_end(const std::string &name, double d, double l, double fl) {
    char desc[64];
    std::snprintf(desc, sizeof desc, "D%.2f H%.2f", d, l);
    return "TOOLID \"" + name + "\" {\r\n  UNITS MILLIMETER\r\n  DESCRIPTION \"" + desc +
           "\"\r\n  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)\r\n  TOOLTYPE MILLING\r\n  STACK YES\r\n"
           "  CUTTER {\r\n    FLUTE_LENGTH " + fixed5(fl) + " \r\n    SHANK_DIAMETER 0.00000 \r\n    ASSEMBLY {\r\n"
           "      CUTTER_TYPE \"FLAT END\"\r\n      STANDARD (" + fixed5(d) +
           ",0.00000,0.00000,0.00000,0.00000,0.00000," + fixed5(l) + ")\r\n    }\r\n  }\r\n}\r\n";
}

// text with the first from replaced by to.
std::string with_replaced(std::string text, const std::string &from, const std::string &to) {
    size_t at = text.find(from);
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

std::string confirm_all(int count) {
    return "question Create TLS file..?: В prt =" + std::to_string(count) +
           " инструмент(-ов).\nСоздать файл инструмента для Vericut'a ? [Yes=1 No=2]";
}
const std::string kConfirmAll = confirm_all(3);
const std::string kNotATool = "message: Ошибка выбора !!!\n Выберите инструмент \n Операция прервана.";
const std::string kWriteFailed = "message: Ошибка создания файла инструмента .....\n Операция прервана.";
const std::string kSelectMenu = "menu Select Tools and pick 'Fix' default=1 [Fix] -> 5";

std::string session_path(const std::string &name) {
    return std::string(KESTO_SOURCE_DIR) + "/tests/sessions/" + name;
}

// Every dialog but the main menu, one line each, texts decoded.
std::vector<std::string> dialogs(const sim::RunResult &r) {
    std::vector<std::string> out;
    for (const Event &e : r.events) {
        std::string labels;
        for (size_t i = 0; i < e.items.size(); ++i)
            labels += (i ? " " : "") + utf8(e.items[i]) + (e.kind == Event::Question ? "=" + std::to_string(e.values[i]) : "");
        switch (e.kind) {
        case Event::Menu:
            if (e.title != "Select menu ")
                out.push_back("menu " + utf8(e.title) + " default=" + std::to_string(e.default_item) + " [" + labels +
                              "] -> " + std::to_string(e.answer));
            break;
        case Event::Question:
            out.push_back("question " + utf8(e.title) + ": " + utf8(e.texts.at(0)) + " [" + labels + "] -> " +
                          std::to_string(e.answer));
            break;
        case Event::Message: out.push_back("message: " + utf8(e.texts.at(0))); break;
        case Event::FileBox:
            out.push_back("filebox " + utf8(e.title) + " prompt=" + utf8(e.texts.at(0)) + " filter=" +
                          e.texts.at(1) + " default=" + e.texts.at(2) + " -> " +
                          (e.answer == 2 ? e.chosen : std::string("cancelled")));
            break;
        default: break;
        }
    }
    return out;
}

std::string filebox(const std::string &chosen) {
    return "filebox Выберите файл с инструментом.. prompt=Выберите файл с инструментом.. filter=*.tls "
           "default=1.tls -> " + chosen;
}

std::string existing(const std::string &file, int answer) {
    return "question Create TLS - файл...: Файл " + file + " \n существует!\n Перезаписать или Добавить в "
           "существующий ? [Rewrite=1 Append=2 Cancel=3] -> " + std::to_string(answer);
}

std::string no_record(const std::string &file) {
    return "message: Ни один инструмент не записан.....\n Файл " + file + " не изменён.\n Операция прервана.";
}

std::string offer(const std::string &file, int tools, int answer) {
    return "question Open Vericut ...?: Файл " + file + " : создан .\n Tools =" + std::to_string(tools) +
           " \n Открыть файл инструмента в Vericut'e ? [Open=1 No=2] -> " + std::to_string(answer);
}

// The recording launcher, where the settings of the session files look for it.
void install_launcher() { install_launcher_at(native_launcher(), "bin/launcher.exe"); }

struct SessionCase {
    const char *name;
    std::string file;
    std::vector<std::string> dialogs;
    std::string tls;                         // the tls file the session writes or keeps
    std::optional<std::string> tls_content;  // its expected content; none: the file does not exist
    std::string launched;                    // what the launcher was given; empty: not started
};
void PrintTo(const SessionCase &c, std::ostream *os) { *os << c.file; }

class ExportSession : public ::testing::TestWithParam<SessionCase> {};

TEST_P(ExportSession, DialogsAndFile) {
    const SessionCase &c = GetParam();
    TempDir dir;
    install_launcher();
    sim::Session s = sim::load_session(session_path(c.file));
    sim::RunResult r = run(s);
    ASSERT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(dialogs(r), c.dialogs);
    EXPECT_EQ(r.outstanding_arrays, 0);
    if (!c.tls.empty() && c.tls_content) {
        ASSERT_TRUE(file_exists(c.tls));
        EXPECT_EQ(read_file(c.tls), *c.tls_content);
    } else if (!c.tls.empty()) {
        EXPECT_FALSE(file_exists(c.tls));
    }
    // No file the export wrote on its way is left behind.
    for (const auto &entry : std::filesystem::recursive_directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".~kesto-"), std::string::npos) << entry.path();
    std::string record = c.launched.empty() ? "" : record_of(c.launched);
    if (!record.empty()) {
        EXPECT_EQ(wait_for_records("launched.txt"), record);
    }
    EXPECT_EQ(records_but_marker("launched.txt"), record);
}

INSTANTIATE_TEST_SUITE_P(
    Export, ExportSession,
    ::testing::Values(
        SessionCase{"AllOpen", "export_all_open.json",
                    {kConfirmAll + " -> 1", filebox("bracket.tls"), offer("bracket.tls", 2, 1)},
                    "bracket.tls", kHeader + kEm10 + kDr5, "bracket.tls"},
        SessionCase{"AllNo", "export_all_no_launch.json",
                    {kConfirmAll + " -> 1", filebox("bracket.tls"), offer("bracket.tls", 2, 2)},
                    "bracket.tls", kHeader + kEm10 + kDr5, ""},
        SessionCase{"ExistingAppend", "export_existing_append.json",
                    {kConfirmAll + " -> 1", filebox("old.tls"),
                     existing("old.tls", 2),
                     offer("old.tls", 2, 2)},
                    "old.tls", kOldFile + kEm10 + kDr5, ""},
        SessionCase{"ExistingRewrite", "export_existing_rewrite.json",
                    {kConfirmAll + " -> 1", filebox("old.tls"),
                     existing("old.tls", 1),
                     offer("old.tls", 2, 2)},
                    "old.tls", kHeader + kEm10 + kDr5, ""},
        SessionCase{"ExistingCancel", "export_existing_cancel.json",
                    {kConfirmAll + " -> 1", filebox("old.tls"),
                     existing("old.tls", 3)},
                    "old.tls", kOldFile, ""},
        SessionCase{"SelectedNone", "export_selected_none.json",
                    {kSelectMenu,
                     "message: There are no Tools selected\n  1) Select tools.\n  2) then pick button 'Create ...'"},
                    "", "", ""},
        SessionCase{"SelectedFirstNotTool", "export_selected_first_not_tool.json", {kSelectMenu, kNotATool}, "",
                    "", ""},
        SessionCase{"SelectedToolThenGroup", "export_selected_tool_then_group.json",
                    {kSelectMenu,
                     "question Create TLS file..?: Инструмент(-ов):\n В prt =6\n Вы выбрали =2\n Создать файл "
                     "инструмента для Vericut'a ? [Yes=1 No=2] -> 1",
                     filebox("sel.tls"), kNotATool},
                    "sel.tls", std::nullopt, ""},
        SessionCase{"SelectedNotInTable", "export_selected_not_in_table.json",
                    {kSelectMenu,
                     "question Create TLS file..?: Инструмент(-ов):\n В prt =6\n Вы выбрали =2\n Создать файл "
                     "инструмента для Vericut'a ? [Yes=1 No=2] -> 1",
                     filebox("sel.tls"), no_record("sel.tls")},
                    "sel.tls", std::nullopt, ""},
        SessionCase{"SelectedNoneNodeRewrite", "export_selected_none_node_rewrite.json",
                    {kSelectMenu,
                     "question Create TLS file..?: Инструмент(-ов):\n В prt =2\n Вы выбрали =1\n Создать файл "
                     "инструмента для Vericut'a ? [Yes=1 No=2] -> 1",
                     filebox("old.tls"), existing("old.tls", 1), no_record("old.tls")},
                    "old.tls", kOldFile, ""},
        SessionCase{"TypeQueriesFail", "export_type_queries_fail.json",
                    {kConfirmAll + " -> 1", filebox("old.tls"), existing("old.tls", 1), no_record("old.tls")},
                    "old.tls", kOldFile, ""},
        SessionCase{"SelectedMenuLeft", "export_selected_menu_left.json",
                    {"menu Select Tools and pick 'Fix' default=1 [Fix] -> 2"}, "", "", ""},
        SessionCase{"ChooserCancelled", "export_file_cancelled.json",
                    {"question Create TLS file..?: В prt =2 инструмент(-ов).\nСоздать файл инструмента для "
                     "Vericut'a ? [Yes=1 No=2] -> 1",
                     filebox("cancelled"), "message: Ошибка выбора файла....."},
                    "", "", ""},
        SessionCase{"UnwritableFolder", "export_unwritable_folder.json",
                    {"question Create TLS file..?: В prt =2 инструмент(-ов).\nСоздать файл инструмента для "
                     "Vericut'a ? [Yes=1 No=2] -> 1",
                     filebox("no_such_folder/bracket.tls"), kWriteFailed},
                    "", "", ""},
        SessionCase{"DeviceFull", "export_device_full.json",
                    {"question Create TLS file..?: В prt =2 инструмент(-ов).\nСоздать файл инструмента для "
                     "Vericut'a ? [Yes=1 No=2] -> 1",
                     filebox("/dev/full"), kWriteFailed},
                    "", "", ""},
        SessionCase{"ExistingClosed", "export_existing_closed.json",
                    {confirm_all(2) + " -> 1", filebox("old.tls"), existing("old.tls", 0)}, "old.tls", kOldFile,
                    ""},
        SessionCase{"ExistingRewriteStopped", "export_existing_rewrite_stopped.json",
                    {kSelectMenu,
                     "question Create TLS file..?: Инструмент(-ов):\n В prt =3\n Вы выбрали =2\n Создать файл "
                     "инструмента для Vericut'a ? [Yes=1 No=2] -> 1",
                     filebox("old.tls"), existing("old.tls", 1), kNotATool},
                    "old.tls", kOldFile, ""},
        SessionCase{"AppendAfterLastLineWithoutBreak", "export_append_no_line_break.json",
                    {confirm_all(2) + " -> 1", filebox("old.tls"), existing("old.tls", 2), offer("old.tls", 1, 2)},
                    "old.tls", kOldTurning + "\r\n" + kEm10, ""},
        SessionCase{"GroupInRootIsNoTool", "export_group_in_root.json",
                    {confirm_all(4) + " -> 1", filebox("bracket.tls"), offer("bracket.tls", 2, 2), kHelpMenu},
                    "bracket.tls", kHeader + kEm10 + kDr5, ""},
        SessionCase{"ControlCharactersBecomeBlanks", "export_control_characters.json",
                    {confirm_all(2) + " -> 1", filebox("bracket.tls"), offer("bracket.tls", 1, 2)}, "bracket.tls",
                    kHeader + with_replaced(with_replaced(kEm10, "\"EM10\"", "\"EM 10\""), "\"D10.00 H75.00\"",
                                       "\"D10.00 H75.00 END  MILL HSS CAT 10\""),
                    ""},
        SessionCase{"NonFiniteNumbers", "export_non_finite.json",
                    {confirm_all(4) + " -> 1", filebox("bracket.tls"), offer("bracket.tls", 3, 2)}, "bracket.tls",
                    kHeader + flat_end("EM7", 10, 75, 50) + flat_end("DR5", 5, 40, 20) +
                        with_replaced(kEm10, "}\r\n}\r\n",
                                 "}\r\n  HOLDER {\r\n    ASSEMBLY {\r\n      SOR {\r\n        PTS { (0,0) }\r\n"
                                 "        PTS { (20.00000,-0.00000) } \r\n        PTS { (20.00000,50.00000) } \r\n"
                                 "        PTS { (15.00000,50.00000) } \r\n        PTS { (15.00000," +
                                     fixed5(50 + 1e308) + ") } \r\n        PTS { (0," + fixed5(50 + 1e308) +
                                     ") } \r\n      }\r\n    }\r\n  }\r\n}\r\n"),
                    ""},
        SessionCase{"ExtremeBarrelsInDoublePrecision", "tls_extreme_barrels.json",
                    {confirm_all(4) + " -> 1", filebox("extreme.tls"), offer("extreme.tls", 3, 2)}, "extreme.tls",
                    kHeader + flat_end("BR_CORNERS", 20, 60, 20) + flat_end("BR_SHARP", 20, 60, 20) + kBr20, ""},
        SessionCase{"LaunchWithLargestNum", "export_launch_num_max.json",
                    {confirm_all(2) + " -> 1", filebox("bracket.tls"), offer("bracket.tls", 1, 1)}, "bracket.tls",
                    kHeader + kEm10, "bracket.tls"},
        SessionCase{"TooManyTools", "too_many_tools.json",
                    {"message: В Cam-части - 120 инструмент(-ов), загружается не более 99.....\n Таблица не "
                     "загружена.\n Операция прервана.",
                     "message: В Cam-части - 120 инструмент(-ов), загружается не более 99.....\n Таблица не "
                     "загружена.\n Операция прервана.",
                     "menu Краткое Руководство пользователя и об авторах .. default=1 [] -> 5"},
                    "", "", ""}),
    [](const auto &p) { return p.param.name; });

// Mode 2 writes in table order, whatever the order of the selection.
TEST(Export, SelectedToolsInTableOrder) {
    TempDir dir;
    sim::Session s = sim::load_session(session_path("export_selected_two_of_five.json"));
    sim::RunResult r = run(s);
    ASSERT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(dialogs(r), (std::vector<std::string>{
                              kSelectMenu,
                              "question Create TLS file..?: Инструмент(-ов):\n В prt =6\n Вы выбрали =2\n Создать "
                              "файл инструмента для Vericut'a ? [Yes=1 No=2] -> 1",
                              filebox("sel.tls"), offer("sel.tls", 2, 2)}));
    auto views = of_kind(r, Event::View);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].answer, 3);
    EXPECT_NE(joined(r, Event::Stdout).find("\n Tools_ui_create -> response=5 "), std::string::npos);

    std::string tls = read_file("sel.tls");
    ASSERT_EQ(tls.rfind(kHeader, 0), 0u);
    size_t t2 = tls.find("TOOLID \"T2\" {");
    size_t t4 = tls.find("TOOLID \"T4\" {");
    ASSERT_NE(t2, std::string::npos);
    ASSERT_NE(t4, std::string::npos);
    EXPECT_LT(t2, t4);
    size_t records = 0;
    for (size_t at = tls.find("TOOLID"); at != std::string::npos; at = tls.find("TOOLID", at + 1)) ++records;
    EXPECT_EQ(records, 2u);
}

// Direct calls: the command's result and the dialogs it reached.
struct DirectCase {
    const char *name;
    int mode;
    std::string session;  // JSON
    int result;
    std::vector<std::string> dialogs;
};
void PrintTo(const DirectCase &c, std::ostream *os) { *os << c.name; }

class ExportDirect : public ::testing::TestWithParam<DirectCase> {};

TEST_P(ExportDirect, ResultAndDialogs) {
    TempDir dir;
    // What rows choose: a pipe without a reader, a read-only library and
    // folder, a library another writer holds.
    ASSERT_EQ(mkfifo("pipe", 0600), 0);
    write_file("readonly.tls", kOldFile);
    ASSERT_EQ(chmod("readonly.tls", 0444) | mkdir("readonly", 0555), 0);
    kesto::LibraryLock held;
    ASSERT_EQ(held.take("held.tls"), kesto::LibraryLock::kTaken);
    kesto::library_lock_wait_ms = 100;
    sim::Session s = sim::parse_session(GetParam().session, GetParam().name);
    int result;
    sim::RunResult r;
    {
        sim::DirectRun host(s);
        alarm(20);  // an open that waits for the pipe's reader fails instead of freezing
        result = Tools_ui_create(GetParam().mode);
        alarm(0);
        r = host.finish();
    }
    kesto::library_lock_wait_ms = 5000;
    EXPECT_EQ(read_file("readonly.tls"), kOldFile);
    ASSERT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(result, GetParam().result);
    EXPECT_EQ(dialogs(r), GetParam().dialogs);
    EXPECT_EQ(r.outstanding_arrays, 0);
}

const char *kOneTool = R"("part": {"name": "p.prt", "members": [
    {"name": "EM10", "type": 1, "subtype": 1, "params": {"diameter": 10, "length": 75, "flute_length": 50}}],
    "others": [{"name": "LOOSE", "type": 1, "subtype": 1}],
    "selected": ["EM10"]})";

std::string with_part(const std::string &rest) { return std::string("{") + kOneTool + ", " + rest + "}"; }

const std::string kConfirmOne = confirm_all(2);
const std::string kConfirmSelectedOne =
    "question Create TLS file..?: Инструмент(-ов):\n В prt =2\n Вы выбрали =1\n Создать файл инструмента для "
    "Vericut'a ? [Yes=1 No=2]";

INSTANTIATE_TEST_SUITE_P(
    Export, ExportDirect,
    ::testing::Values(
        DirectCase{"UnopenableAll", 1, with_part(R"("answers": [{"question": 1}, {"file": "nowhere/x.tls"}])"), -2,
                   {kConfirmOne + " -> 1", filebox("nowhere/x.tls"), kWriteFailed}},
        DirectCase{"UnopenableSelected", 2,
                   with_part(R"("answers": [{"menu": 5}, {"question": 1}, {"file": "/proc/kesto.tls"}])"), -2,
                   {kSelectMenu, kConfirmSelectedOne + " -> 1", filebox("/proc/kesto.tls"), kWriteFailed}},
        // A folder is neither replaced nor written into.
        DirectCase{"ChosenFolder", 1, with_part(R"("answers": [{"question": 1}, {"file": "."}])"), -2,
                   {kConfirmOne + " -> 1", filebox("."), kWriteFailed}},
        DirectCase{"Declined", 1, with_part(R"("answers": [{"question": 2}])"), 0, {kConfirmOne + " -> 2"}},
        DirectCase{"ClosedQuestion", 1, with_part(R"("answers": [{"question": 0}])"), 0, {kConfirmOne + " -> 0"}},
        DirectCase{"SelectedDeclined", 2, with_part(R"("answers": [{"menu": 5}, {"question": 2}])"), 0,
                   {kSelectMenu, kConfirmSelectedOne + " -> 2"}},
        DirectCase{"OtherMode", 3, with_part(R"("answers": [])"), 0, {}},
        DirectCase{"OnlyNone", 1, R"({"part": {"name": "p.prt"}})", 0,
                   {"message: В Cam-части - Нет инструмента.....\n Операция прервана."}},
        DirectCase{"NoMembers", 1, R"({"part": {"name": "p.prt", "none_member": false}})", 0,
                   {"message: В Cam-части - Нет инструмента.....\n Операция прервана."}},
        // Neither a device nor a pipe is opened (one without a reader would
        // wait for ever), nor a read-only library or folder replaced, root
        // or not, nor a library another writer holds.
        DirectCase{"SelectedDevice", 2,
                   with_part(R"("answers": [{"menu": 5}, {"question": 1}, {"file": "/dev/full"}])"), -2,
                   {kSelectMenu, kConfirmSelectedOne + " -> 1", filebox("/dev/full"), kWriteFailed}},
        DirectCase{"ChosenPipe", 1, with_part(R"("answers": [{"question": 1}, {"file": "pipe"}])"), -2,
                   {kConfirmOne + " -> 1", filebox("pipe"), kWriteFailed}},
        DirectCase{"ReadOnlyLibrary", 1,
                   with_part(R"("answers": [{"question": 1}, {"file": "readonly.tls"}, {"question": 1}])"), -2,
                   {kConfirmOne + " -> 1", filebox("readonly.tls"), existing("readonly.tls", 1), kWriteFailed}},
        DirectCase{"ReadOnlyFolder", 1, with_part(R"("answers": [{"question": 1}, {"file": "readonly/x.tls"}])"),
                   -2, {kConfirmOne + " -> 1", filebox("readonly/x.tls"), kWriteFailed}},
        DirectCase{"LibraryBusy", 1, with_part(R"("answers": [{"question": 1}, {"file": "held.tls"}])"), -2,
                   {kConfirmOne + " -> 1", filebox("held.tls"),
                    "message: Файл held.tls \n сейчас записывает другой пользователь.\n Ничего не записано, "
                    "повторите позже.\n Операция прервана."}},
        // A failed type query in the record loop is not taken for a tool.
        DirectCase{"TypeQueryFails", 2,
                   with_part(R"("faults": [{"call": "UF_OBJ_ask_type_and_subtype", "code": 31, "nth": 2}],
                                "answers": [{"menu": 5}, {"question": 1}, {"file": "t.tls"}])"),
                   0, {kSelectMenu, kConfirmSelectedOne + " -> 1", filebox("t.tls"), kNotATool}},
        DirectCase{"NoPart", 1, "{}", 0, {"message: Cam-часть не активна.....\n Операция прервана."}}),
    [](const auto &p) { return p.param.name; });

// A disk that fills up after some records: the export ends with the error,
// does not call the file created, and the library keeps its old bytes.
TEST(Export, WriterFailureAfterSomeRecordsKeepsTheLibrary) {
    TempDir dir;
    write_file("full.tls", kOldFile);
    sim::Session s = sim::parse_session(R"({"part": {"name": "p.prt", "members": [
        {"name": "EM10", "type": 1, "subtype": 1, "params": {"diameter": 10, "length": 75, "flute_length": 50}},
        {"name": "EM11", "type": 1, "subtype": 1, "params": {"diameter": 11, "length": 75, "flute_length": 50}},
        {"name": "EM12", "type": 1, "subtype": 1, "params": {"diameter": 12, "length": 75, "flute_length": 50}},
        {"name": "EM13", "type": 1, "subtype": 1, "params": {"diameter": 13, "length": 75, "flute_length": 50}}]},
        "answers": [{"question": 1}, {"file": "full.tls"}, {"question": 1}, {"question": 1}]})", "disk full");
    struct rlimit old_limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    struct rlimit limit = old_limit;
    limit.rlim_cur = kHeader.size() + 2 * kEm10.size() + 100;  // room for two records, not three
    void (*old_handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    int result;
    sim::RunResult r;
    {
        sim::DirectRun host(s);
        result = Tools_ui_create(1);
        r = host.finish();
    }
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_EQ(result, 0);
    std::vector<std::string> d = dialogs(r);
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(d[2], existing("full.tls", 1));
    EXPECT_EQ(d[3], kWriteFailed);
    EXPECT_EQ(read_file("full.tls"), kOldFile);
    // Nothing but the library is left in the folder.
    size_t files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename(), "full.tls");
        ++files;
    }
    EXPECT_EQ(files, 1u);
}

// The host's text for the chooser's failure, or one that names the code.
TEST(Export, SelectFileReportsAFailingChooser) {
    const std::pair<const char *, const char *> cases[] = {
        {R"("fail_messages": {"949002": "File box failed"},)", "File box failed"},
        {"", "Ошибка 949002 (нет текста для этого кода)"}};
    for (const auto &[messages, shown] : cases) {
        TempDir dir;
        sim::Session s = sim::parse_session(
            std::string("{") + messages + R"("faults": [{"call": "UF_UI_create_filebox", "code": 949002}]})",
            "chooser fault");
        sim::DirectRun host(s);
        int response = Tools_select_file();
        sim::RunResult r = host.finish();
        EXPECT_EQ(response, 0);
        auto status = of_kind(r, Event::Status);
        ASSERT_EQ(status.size(), 1u);
        EXPECT_EQ(utf8(status[0].texts[0]), shown);
    }
}

TEST(Export, ChooserFailureEndsTheExportWithItsMessage) {
    TempDir dir;
    sim::RunResult r = run_json(with_part(R"("faults": [{"call": "UF_UI_create_filebox", "code": 949002}],
        "answers": [{"menu": 5}, {"question": 1}, {"menu": 2}])"));
    ASSERT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(dialogs(r), (std::vector<std::string>{kConfirmOne + " -> 1", "message: Ошибка выбора файла....."}));
    EXPECT_EQ(of_kind(r, Event::Status).size(), 1u);
}

// Two exports in one run write the same records: the writer's changes to
// the table are set again by the reload.
TEST(Export, SecondExportOfTheRunIsTheSame) {
    TempDir dir;
    sim::RunResult r = run_json(R"({"part": {"name": "p.prt", "members": [
        {"name": "B\"1\"", "type": 1, "subtype": 1, "params": {"diameter": 10, "length": 75, "r1": 5}}]},
        "answers": [{"menu": 5}, {"question": 1}, {"file": "a.tls"}, {"question": 2},
                    {"menu": 5}, {"question": 1}, {"file": "b.tls"}, {"question": 2}, {"menu": 2}]})");
    ASSERT_TRUE(r.error.empty()) << r.error;
    std::string a = read_file("a.tls");
    EXPECT_NE(a.find("TOOLID \"B|1|\" {"), std::string::npos);
    EXPECT_NE(a.find("CUTTER_TYPE \"BALL END\""), std::string::npos);
    EXPECT_EQ(a, read_file("b.tls"));
}

}  // namespace
