// The simulated host: runs the plug-in over a session and records all that a
// user would see.
#ifndef KESTO_HOST_SIM_SIM_HOST_H
#define KESTO_HOST_SIM_SIM_HOST_H

#include <functional>
#include <string>
#include <vector>

#include "host/sim/session.h"

namespace sim {

// One thing the user saw, in the order it happened.  Texts are kept as the
// bytes the plug-in handed over (Windows-1251); render() decodes them.
struct Event {
    enum Kind {
        Menu,          // uc1603: title, items, values = responses, answer
        Question,      // UF_UI_message_dialog: title, texts, items = labels, values, answer
        Message,       // uc1601: texts[0]
        FileBox,       // UF_UI_create_filebox: title (prompt), texts = {filter, default}, answer, chosen
        Stdout,        // texts[0]: what the plug-in wrote to standard output
        Stderr,        // texts[0]: what it wrote to standard error
        Syslog,        // UF_print_syslog: texts[0]
        Status,        // UF_UI_set_status: texts[0]
        ListingOpen,   // UF_UI_open_listing_window
        Listing,       // UF_UI_write_listing_window: texts[0]
        ListingClose,  // UF_UI_close_listing_window
        Refresh,       // UF_DISP_refresh
        View,          // UF_UI_ONT_switch_view: answer = view
        HolderAdded,   // UF_CUTTER_create_holder_section: title = tool, values = {section index}
        Load,          // the plug-in loaded; answer = run number
        Unload,        // the plug-in unloaded (or kept, answer = 0)
        Error,         // the host's own complaint: texts[0] (UTF-8)
    };
    Kind kind = Message;
    std::string title;
    std::vector<std::string> texts;
    std::vector<std::string> items;
    std::vector<int> values;
    int default_item = 0;
    int answer = 0;
    std::string chosen;  // FileBox: the path handed to the plug-in (UTF-8)
};

const char *kind_name(Event::Kind kind);

// What the user does at a dialog.  The dialog event is complete but for its
// answer.  Return the answer; a wrong kind is the host's error.
struct AnswerSource {
    virtual ~AnswerSource() = default;
    virtual Answer answer(const Event &dialog) = 0;
};

// What a user who leaves answers to a dialog (a menu, question or file
// chooser event): menus 2 (cancel), questions 0, the file chooser cancelled.
Answer leaving_answer(Event::Kind dialog);

// Answers from the session's list; when it runs out, the user leaves
// (menus 2, questions 0, file chooser cancelled).
class ScriptedAnswers : public AnswerSource {
public:
    explicit ScriptedAnswers(std::vector<Answer> answers);
    Answer answer(const Event &dialog) override;
    size_t used() const { return next_; }

private:
    std::vector<Answer> answers_;
    size_t next_ = 0;
};

// A note of the plug-in's on a tool (a value it could not write, what it
// wrote instead), handed over through the host's note hook; Windows-1251.
struct ToolNote {
    std::string tool;
    std::string note;
};

struct RunResult {
    std::vector<Event> events;
    std::vector<ToolNote> notes;      // the plug-in's notes on tools, in order
    std::vector<int> return_codes;    // what ufusr left in its return code, per run
    std::vector<int> unload_answers;  // what ufusr_ask_unload answered, per run
    std::string error;                // the host's complaint (wrong answer kind, load failure)
    int outstanding_arrays = 0;       // host arrays never given back with UF_free
};

struct RunOptions {
    std::string plugin_path;
    AnswerSource *answers = nullptr;  // default: the session's scripted answers
    // Called with each event as it is recorded (the terminal session draws them).
    std::function<void(const Event &)> on_event;
};

// Loads the plug-in, calls ufusr, asks ufusr_ask_unload and unloads it, as
// many times as the session has runs.  The plug-in's standard output and
// error are captured for the transcript.
RunResult run_session(Session &session, const RunOptions &options);

// For tests that call the plug-in's routines directly: makes the session the
// host's state (with output capture, the interface open) until end_direct(),
// which gives back what was recorded.  DirectRun does the same and ends the
// session in its destructor if the test left early.
void begin_direct(Session &session, AnswerSource *answers = nullptr);
RunResult end_direct();

class DirectRun {
public:
    explicit DirectRun(Session &session, AnswerSource *answers = nullptr);
    ~DirectRun();
    DirectRun(const DirectRun &) = delete;
    DirectRun &operator=(const DirectRun &) = delete;
    RunResult finish();

private:
    bool open_ = true;
};

// Creates the session's files (the "files" key) under the current folder.
void create_session_files(const Session &session);

// The standard output the host program had before capture started; the
// terminal session draws there.
int original_stdout_fd();

// The transcript as text, one event per line, texts decoded to UTF-8 and
// written as JSON strings.
std::string render(const std::vector<Event> &events);
std::string render_json(const std::vector<Event> &events);

// The part's member in the current session whose tag is tag, or nullptr.
const Member *member_by_tag(tag_t tag);

// Default plug-in file name beside the host program.
std::string default_plugin_name();

}  // namespace sim

#endif
