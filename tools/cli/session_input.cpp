#include "tools/cli/session_input.h"

#include <filesystem>
#include <system_error>

#include "host/common/cp1251.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/output_file.h"

namespace kesto::cli {

void create_session_files(const sim::Session &session, const std::vector<std::string> &inputs) {
    for (const auto &[name, content] : session.files) {
        std::error_code ec;
        std::string error;
        if (std::filesystem::exists(std::filesystem::symlink_status(tlsfile::fs_path(name), ec)) &&
            !tlsfile::check_output_target(name, inputs, error))
            throw sim::SessionError(session.source + ": files." + error);
    }
    sim::create_session_files(session);
}

void PlannedUser::on(const std::string &title_utf8, Rule rule) {
    rules_.emplace_back(utf8_to_cp1251(title_utf8), std::move(rule));
    seen_.push_back(0);
}

sim::Answer PlannedUser::answer(const sim::Event &dialog) {
    for (size_t i = 0; i < rules_.size(); ++i)
        if (rules_[i].first == dialog.title) return rules_[i].second(dialog, ++seen_[i]);
    if (unknown_.empty())
        unknown_ = std::string(sim::kind_name(dialog.kind)) + " \"" + cp1251_to_utf8(dialog.title) + "\"";
    return sim::leaving_answer(dialog.kind);
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
