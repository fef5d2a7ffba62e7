#include "host/sim/host_state.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/common/cp1251.h"
#include "src/shared_facts.h"

namespace sim {
namespace {

HostState *g_state = nullptr;

// A plug-in that never leaves its dialogs would hang the host; past this
// many dialogs the run is given up.
constexpr long kMaxDialogs = 100000;

const char *answer_kind_name(Answer::Kind kind) {
    switch (kind) {
    case Answer::Menu: return "menu";
    case Answer::Question: return "question";
    case Answer::File: return "file";
    }
    return "?";
}

}  // namespace

HostState *state() { return g_state; }

void set_state(HostState *s) { g_state = s; }

void record(Event event) {
    if (!g_state) return;
    g_state->result.events.push_back(std::move(event));
    if (g_state->on_event) g_state->on_event(g_state->result.events.back());
}

void host_error(const std::string &what) {
    if (!g_state) return;
    if (g_state->result.error.empty()) g_state->result.error = what;
    Event e;
    e.kind = Event::Error;
    e.texts.push_back(what);
    record(std::move(e));
}

int enter_call(const char *call, bool needs_init) {
    if (!g_state) return kNoSession;
    capture_collect();
    if (needs_init && !g_state->initialized) {
        host_error(std::string(call) + " called while the host interface is not open");
        return kNotInitialized;
    }
    const std::vector<Fault> &faults = g_state->session->faults;
    int code = 0;
    for (size_t i = 0; i < faults.size(); ++i) {
        if (faults[i].call != call) continue;
        int n = ++g_state->call_counts[i];
        if (code == 0 && (faults[i].nth == 0 || faults[i].nth == n)) code = faults[i].code;
    }
    return code;
}

Answer ask_user(Event &dialog, Answer::Kind kind) {
    HostState *s = g_state;
    if (++s->dialogs > kMaxDialogs) {
        // The plug-in cannot be unwound from here: the run ends, with one
        // line on standard error naming why.
        static const char kWhy[] = "the plug-in showed more than 100000 dialogs; the run is given up";
        host_error(kWhy);
        record(dialog);
        capture_stop();
        std::fprintf(stderr, "kesto-tools-vericut: %s (exit 4)\n", kWhy);
        std::fflush(stderr);
        std::_Exit(4);
    }
    Answer a = leaving_answer(dialog.kind);
    if (!s->dialogs_scripted_out && s->answers) {
        Answer given = s->answers->answer(dialog);
        if (given.kind != kind) {
            host_error(std::string("a ") + answer_kind_name(given.kind) + " answer was given to the " +
                       kind_name(dialog.kind) + " \"" + kesto::cp1251_to_utf8(dialog.title) +
                       "\"; from here on the user leaves every dialog");
            s->dialogs_scripted_out = true;
        } else {
            a = given;
        }
    }
    if (kind == Answer::File) {
        dialog.answer = a.file ? UF_UI_OK : UF_UI_BACK;
        if (a.file) dialog.chosen = *a.file;
    } else {
        dialog.answer = a.value;
    }
    record(std::move(dialog));
    return a;
}

void *host_alloc(size_t bytes) {
    void *p = std::calloc(bytes ? bytes : 1, 1);
    if (p && g_state) g_state->arrays.insert(p);
    return p;
}

Member *member_of(tag_t tag) {
    if (!g_state || !g_state->session->part) return nullptr;
    Part &part = *g_state->session->part;
    static Member none;
    if (part.none_member && tag == kFirstMemberTag - 1) {
        none = Member();
        none.name = "NONE";
        none.tag = tag;
        return &none;
    }
    // Tags are given in order from kFirstMemberTag and kFirstOtherTag: a tag
    // is looked up where it was given, then everywhere.
    if (tag >= kFirstMemberTag && tag - kFirstMemberTag < part.members.size() &&
        part.members[tag - kFirstMemberTag].tag == tag)
        return &part.members[tag - kFirstMemberTag];
    if (tag >= kFirstOtherTag && tag - kFirstOtherTag < part.others.size() &&
        part.others[tag - kFirstOtherTag].tag == tag)
        return &part.others[tag - kFirstOtherTag];
    for (Member &m : part.members)
        if (m.tag == tag) return &m;
    for (Member &m : part.others)
        if (m.tag == tag) return &m;
    return nullptr;
}

const Member *member_by_tag(tag_t tag) { return member_of(tag); }

void copy_out(char *dst, size_t size, const std::string &src) {
    if (!dst || size == 0) return;
    size_t n = src.size() < size - 1 ? src.size() : size - 1;
    std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

const char *kind_name(Event::Kind kind) {
    switch (kind) {
    case Event::Menu: return "menu";
    case Event::Question: return "question";
    case Event::Message: return "message";
    case Event::FileBox: return "filebox";
    case Event::Stdout: return "stdout";
    case Event::Stderr: return "stderr";
    case Event::Syslog: return "syslog";
    case Event::Status: return "status";
    case Event::ListingOpen: return "listing-open";
    case Event::Listing: return "listing";
    case Event::ListingClose: return "listing-close";
    case Event::Refresh: return "refresh";
    case Event::View: return "view";
    case Event::HolderAdded: return "holder-added";
    case Event::Load: return "load";
    case Event::Unload: return "unload";
    case Event::Error: return "error";
    }
    return "?";
}

ScriptedAnswers::ScriptedAnswers(std::vector<Answer> answers) : answers_(std::move(answers)) {}

Answer ScriptedAnswers::answer(const Event &dialog) {
    if (next_ < answers_.size()) return answers_[next_++];
    return leaving_answer(dialog.kind);
}

Answer leaving_answer(Event::Kind dialog) {
    Answer a;
    a.kind = dialog == Event::Menu ? Answer::Menu : dialog == Event::Question ? Answer::Question : Answer::File;
    a.value = dialog == Event::Menu ? UF_UI_CANCEL : 0;
    return a;
}

}  // namespace sim

namespace {
constexpr bool same_name(const char *a, const char *b) { return *a == *b && (*a == '\0' || same_name(a + 1, b + 1)); }
static_assert(same_name(KESTO_NOTE_HOOK, "kesto_host_tool_note"), "the hook is exported under the name the plug-in looks up");
}  // namespace

// The host's note hook: the plug-in's notes on tools, kept apart from its
// standard output, which they also reach.
extern "C" SIM_API void kesto_host_tool_note(const char *tool, const char *note) {
    sim::HostState *s = sim::state();
    if (!s || !tool || !note) return;
    s->result.notes.push_back({tool, note});
}
