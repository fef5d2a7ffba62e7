// The entry and menu texts reach the host as Windows-1251 bytes.  This file
// is compiled with the Windows-1251 execution character set, so its literals
// are the expected bytes, encoded by the compiler and not by our converter.
#include <gtest/gtest.h>

#include "tests/unit/test_support.h"

using namespace testing_support;
using sim::Event;

namespace {

const char *kPart = R"("part": {"name": "p.prt"})";

TEST(EntryTexts, LiteralsAreWindows1251) {
    // A spot check of the compiler's encoding itself.
    EXPECT_EQ(std::string("Опция"), std::string("\xCE\xEF\xF6\xE8\xFF"));
    EXPECT_EQ(std::string("·•"), std::string("\xB7\x95"));
}

struct TextCase {
    const char *name;
    std::string session;
    std::string message;
};

class EntryText : public ::testing::TestWithParam<TextCase> {};

TEST_P(EntryText, MessageBytes) {
    TempDir dir;
    sim::RunResult r = run_json(GetParam().session);
    auto messages = of_kind(r, Event::Message);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0].texts[0], GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    EntryTexts, EntryText,
    ::testing::Values(
        TextCase{"Inactive", std::string("{") + kPart + R"(, "answers": [{"menu": 7}]})",
                 "Опция не активна.....\n Операция прервана."},
        TextCase{"WrongModule", std::string("{\"module\": 3, ") + kPart + "}",
                 "Запуск DLL - производится из модуля обработки\n -2003г."},
        TextCase{"NoPart", "{}", "Cam-часть не активна.....\n Программа прервана."}),
    [](const auto &p) { return p.param.name; });

}  // namespace
