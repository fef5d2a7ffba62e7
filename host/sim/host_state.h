// The simulated host's state during a run, shared by libufun and
// libugopenint.  Not part of the host interface the plug-in sees.
#ifndef KESTO_HOST_SIM_HOST_STATE_H
#define KESTO_HOST_SIM_HOST_STATE_H

#include <deque>
#include <set>
#include <string>
#include <vector>

#include "host/sim/sim_host.h"

namespace sim {

#if defined(_WIN32)
#  define SIM_API __declspec(dllexport)
#else
#  define SIM_API __attribute__((visibility("default")))
#endif

// Host codes of the simulated host's own refusals.
enum HostCode {
    kNoSession = 1,      // a call outside a run
    kNotInitialized = 2, // a call before UF_initialize
    kUnknownObject = 3,  // a tag that names nothing
    kNotATool = 4,       // a tool call on an object that is no tool
    kWrongParamKind = 5, // a number asked of a text parameter or the other way
    kBadArgument = 6,    // a null pointer or an impossible value
};

struct HostState {
    Session *session = nullptr;
    AnswerSource *answers = nullptr;
    RunResult result;
    std::function<void(const Event &)> on_event;
    bool initialized = false;
    bool dialogs_scripted_out = false; // after a wrong answer: the user leaves
    std::vector<int> call_counts;      // per fault entry: how often its call came
    std::set<void *> arrays;           // handed out, not yet given back
    std::deque<HolderSection> section_copies; // what holder arrays point to
    std::deque<std::string> texts;     // host-owned texts handed out
    long dialogs = 0;
};

// The state of the current run, or nullptr outside one.
SIM_API HostState *state();
SIM_API void set_state(HostState *s);

// Every host call starts here: collects the plug-in's output so far, checks
// that a run is on (and, but for UF_initialize, that the interface is open)
// and applies the session's faults.  Returns 0 to go on, else the code the
// call returns.
SIM_API int enter_call(const char *call, bool needs_init = true);

SIM_API void record(Event event);
SIM_API void host_error(const std::string &what_utf8);

// Gets the user's answer to a dialog event, which is recorded with its
// answer: moved into the transcript, so that the caller's is left empty.
SIM_API Answer ask_user(Event &dialog, Answer::Kind kind);

SIM_API void *host_alloc(size_t bytes);
SIM_API Member *member_of(tag_t tag);

// Bounded copy of a host text into a caller's buffer of size bytes.
SIM_API void copy_out(char *dst, size_t size, const std::string &src);

// Tags the host gives out.
constexpr tag_t kPartTag = 1;
constexpr tag_t kSetupTag = 2;
constexpr tag_t kRootTag = 3;
constexpr tag_t kFirstMemberTag = 1001;
constexpr tag_t kFirstOtherTag = kFirstMemberTag + 4000;  // objects outside the root

// Output capture of the plug-in's standard output and error.
SIM_API bool capture_start();
SIM_API void capture_collect();
SIM_API void capture_stop();

}  // namespace sim

#endif
