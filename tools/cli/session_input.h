// What the subcommands that run the plug-in share: a session's files made,
// and a user who answers the plug-in's dialogs by a plan instead of by a
// fixed list.
#ifndef KESTO_TOOLS_CLI_SESSION_INPUT_H
#define KESTO_TOOLS_CLI_SESSION_INPUT_H

#include <functional>
#include <string>
#include <vector>

#include "host/sim/sim_host.h"

namespace kesto::cli {

// Creates the session's files in the current folder.  They may replace
// regular files, but never a folder, a device or one of inputs (the session
// file, the plug-in); throws SessionError naming the entry and the cause.
void create_session_files(const sim::Session &session, const std::vector<std::string> &inputs);

// Answers each dialog by its title (Windows-1251 bytes compared with the
// UTF-8 text given).  A dialog the plan does not know is left as a user who
// leaves would leave it, and noted: the plan no longer fits the plug-in.
class PlannedUser : public sim::AnswerSource {
public:
    using Rule = std::function<sim::Answer(const sim::Event &dialog, int times_seen)>;
    void on(const std::string &title_utf8, Rule rule);
    sim::Answer answer(const sim::Event &dialog) override;
    // The first dialog the plan did not know ("menu \"TITLE\""), or empty.
    const std::string &unknown_dialog() const { return unknown_; }

private:
    std::vector<std::pair<std::string, Rule>> rules_;
    std::vector<int> seen_;
    std::string unknown_;
};

sim::Answer menu_answer(int value);
sim::Answer question_answer(int value);
sim::Answer file_answer(const std::string &path);

}  // namespace kesto::cli

#endif
