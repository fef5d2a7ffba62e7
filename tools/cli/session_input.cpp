#include "tools/cli/session_input.h"

#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "host/common/cp1251.h"

namespace kesto::cli {

sim::Session read_part_or_session(const std::string &path) {
    std::string text = kDemoPart;
    std::string source = "the embedded demo part";
    if (!path.empty()) {
        std::ifstream in(path, std::ios::binary);
        if (!in) throw sim::SessionError(path + ": cannot be read");
        std::ostringstream s;
        s << in.rdbuf();
        text = s.str();
        source = path;
    }
    nlohmann::json root;
    try {
        root = nlohmann::json::parse(text);
    } catch (const nlohmann::json::parse_error &e) {
        throw sim::SessionError(source + ": not valid JSON: " + e.what());
    }
    // A part file is what a session holds under "part".
    bool is_session = root.is_object() && (root.contains("part") || root.contains("answers") ||
                                           root.contains("module"));
    if (!is_session) root = nlohmann::json{{"part", root}};
    sim::Session session = sim::parse_session(root.dump(), source);
    if (!session.part) throw sim::SessionError(source + ": holds no part");
    return session;
}

void PlannedUser::on(const std::string &title_utf8, Rule rule) {
    rules_.emplace_back(utf8_to_cp1251(title_utf8), std::move(rule));
    seen_.push_back(0);
}

sim::Answer PlannedUser::answer(const sim::Event &dialog) {
    for (size_t i = 0; i < rules_.size(); ++i)
        if (rules_[i].first == dialog.title) return rules_[i].second(dialog, ++seen_[i]);
    sim::Answer leave;
    leave.kind = dialog.kind == sim::Event::Menu       ? sim::Answer::Menu
                 : dialog.kind == sim::Event::Question ? sim::Answer::Question
                                                       : sim::Answer::File;
    leave.value = dialog.kind == sim::Event::Menu ? UF_UI_CANCEL : 0;
    return leave;
}

sim::Answer menu_answer(int value) {
    sim::Answer a;
    a.kind = sim::Answer::Menu;
    a.value = value;
    return a;
}

sim::Answer question_answer(int value) {
    sim::Answer a;
    a.kind = sim::Answer::Question;
    a.value = value;
    return a;
}

sim::Answer file_answer(const std::string &path) {
    sim::Answer a;
    a.kind = sim::Answer::File;
    a.file = path;
    return a;
}

}  // namespace kesto::cli
