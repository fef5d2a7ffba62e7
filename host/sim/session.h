// A session of the simulated host: the host's state (module, part, tools,
// holders, navigator selection, environment, faults) and the user's answers,
// read from a JSON session file.
#ifndef KESTO_HOST_SIM_SESSION_H
#define KESTO_HOST_SIM_SESSION_H

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/uf_api.h"

namespace sim {

// A tool parameter: a number or a text (texts as Windows-1251 bytes).
struct Param {
    bool is_text = false;
    double number = 0.0;
    std::string text;
};

// One object of the machine-tool view: a tool or a group.
struct Member {
    std::string name;  // Windows-1251 bytes
    int type = 0;
    int subtype = 0;
    int object_type = UF_machining_tool_type;
    std::map<int, Param> params;
    std::vector<HolderSection> holder;  // lowest section first
    tag_t tag = NULL_TAG;               // given by the host when the session starts
};

struct Part {
    std::string name;                  // Windows-1251 bytes
    bool none_member = true;           // the host's own "NONE" member first
    std::vector<Member> members;       // the machine-tool root's members
    std::vector<Member> others;        // selectable objects outside the root
    std::vector<std::string> selected; // navigator selection, by name (Windows-1251)
};

// A host call that fails with code; on every call, or only on its nth (from 1).
struct Fault {
    std::string call;
    int code = 0;
    int nth = 0;
};

struct Answer {
    enum Kind { Menu, Question, File };
    Kind kind = Menu;
    int value = 0;                   // menu and question responses
    std::optional<std::string> file; // chosen path (UTF-8); empty: cancelled
};

struct Session {
    std::string source;  // the file it was read from, for messages
    int module = UF_APP_CAM;
    std::string release = "V18.0.2.1";
    bool has_env = false;                                  // absent: the process environment
    std::map<std::string, std::optional<std::string>> env; // null: not set
    std::map<int, std::string> fail_messages;
    std::vector<Fault> faults;
    std::optional<Part> part;
    std::vector<Answer> answers;
    int runs = 1;  // the plug-in is loaded, run and unloaded this many times
    // Files created under the current folder before the first run (path ->
    // content, both UTF-8 as written in the session file).
    std::vector<std::pair<std::string, std::string>> files;
};

// A malformed session: what is wrong, with the file's name.
struct SessionError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Parses a session file's text; source names it in error messages.  A
// document nested deeper than 64 levels is refused before it is parsed.
Session parse_session(const std::string &json_text, const std::string &source);
// The same for a session file or a part file (the object of a session's
// "part" key), parsed once; a session without a part is refused.
Session parse_part_or_session(const std::string &json_text, const std::string &source);
Session load_session(const std::string &path);

// The parameter number of a ToolRecord field name ("diameter" -> 1000), or
// -1 for an unknown name.
int param_number_of(std::string_view field);

// The host calls a fault may name: every call the simulated host implements.
const std::set<std::string> &fault_call_names();

}  // namespace sim

#endif
