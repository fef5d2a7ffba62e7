#include "host/sim/session.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "host/common/cp1251.h"
#include "host/sim/json_document.h"

namespace sim {
namespace {

// What a tool parameter holds; the plug-in asks each with the matching call.
enum class ParamKind { number, integer, text };

struct FieldNumber {
    std::string_view field;
    int number;
    ParamKind kind;
};

const FieldNumber kFields[] = {
    {"diameter", 1000, ParamKind::number},
    {"length", 1001, ParamKind::number},
    {"flute_length", 1002, ParamKind::number},
    {"taper_angle", 1003, ParamKind::number},
    {"tip_angle", 1004, ParamKind::number},
    {"r1", 1005, ParamKind::number},
    {"r1_center_x", 1006, ParamKind::number},
    {"r1_center_y", 1007, ParamKind::number},
    {"r2", 1008, ParamKind::number},
    {"r2_center_x", 1009, ParamKind::number},
    {"r2_center_y", 1010, ParamKind::number},
    {"barrel_radius", 1011, ParamKind::number},
    {"shank_dia", 1012, ParamKind::number},
    {"lower_corner_radius", 1013, ParamKind::number},
    {"upper_corner_radius", 1014, ParamKind::number},
    {"barrel_center_y", 1015, ParamKind::number},
    {"point_angle", 1016, ParamKind::number},
    {"flute_count", 1017, ParamKind::integer},
    {"z_offset", 1034, ParamKind::number},
    {"tool_number", 1038, ParamKind::integer},
    {"catalog_name", 1043, ParamKind::text},
    {"holder_offset", 1049, ParamKind::number},
    {"cutter_description", 1068, ParamKind::text},
};

const FieldNumber *field_of_number(int number) {
    for (const FieldNumber &f : kFields)
        if (f.number == number) return &f;
    return nullptr;
}

const FieldNumber *field_named(std::string_view name) {
    for (const FieldNumber &f : kFields)
        if (name == f.field) return &f;
    return nullptr;
}

// A document nested deeper than this is refused.
constexpr int kMaxDepth = 64;

// The byte offset at which text opens its (kMaxDepth + 1)-th nested level,
// or npos.  Brackets inside strings do not count.
size_t too_deep_at(const std::string &text) {
    int depth = 0;
    bool in_string = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (in_string) {
            if (c == '\\') ++i;
            else if (c == '"') in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxDepth) return i;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return std::string::npos;
}

// A files entry must name a file inside the run folder: relative, with no
// ".." part and a file name at its end.
bool inside_run_folder(const std::string &path) {
    if (path.empty() || path[0] == '/' || path[0] == '\\') return false;
    if (path.size() >= 2 && path[1] == ':') return false;  // a drive letter
    size_t start = 0;
    for (;;) {
        size_t end = path.find_first_of("/\\", start);
        std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part == "..") return false;
        if (end == std::string::npos) return !part.empty() && part != ".";
        start = end + 1;
    }
}

// The host calls a fault may name.
const std::set<std::string> kCalls = {
    "UF_initialize", "UF_terminate", "UF_get_fail_message", "UF_UI_set_status",
    "UF_ask_application_module", "UF_PART_ask_display_part", "UF_PART_ask_part_name",
    "UF_SETUP_ask_setup", "UF_SETUP_ask_mct_root", "UF_NCGROUP_ask_member_list",
    "UF_CUTTER_ask_type_and_subtype", "UF_OBJ_ask_name", "UF_PARAM_ask_double_value",
    "UF_PARAM_ask_int_value", "UF_PARAM_ask_str_value", "UF_OBJ_ask_type_and_subtype",
    "UF_CUTTER_ask_section_count", "UF_CUTTER_ask_holder_data",
    "UF_CUTTER_create_holder_section", "UF_DISP_refresh", "UF_CFI_ask_file_exist",
    "UF_translate_variable", "UF_print_syslog", "UF_get_release",
    "UF_UI_open_listing_window", "UF_UI_write_listing_window", "UF_UI_close_listing_window",
    "uc1601", "uc1603", "UF_UI_message_dialog", "UF_UI_create_filebox",
    "UF_UI_ONT_switch_view", "UF_UI_ONT_ask_selected_nodes", "UF_free",
};

// A place in a document, as messages name it ("part.members[0].params.diameter");
// its text is made only for a message.
class Where {
public:
    Where() = default;  // the document itself
    Where(const Where &parent, std::string_view key) : parent_(&parent), key_(key) {}
    Where(const Where &parent, size_t index) : parent_(&parent), index_(index), indexed_(true) {}

    std::string text() const {
        if (!parent_) return std::string();
        std::string out = parent_->text();
        if (indexed_) return out + "[" + std::to_string(index_) + "]";
        return (out.empty() ? out : out + ".") + std::string(key_);
    }

private:
    const Where *parent_ = nullptr;
    std::string_view key_;
    size_t index_ = 0;
    bool indexed_ = false;
};

// Reads one session file, naming the place of every fault.
class Reader {
public:
    explicit Reader(std::string source) : source_(std::move(source)) {}

    [[noreturn]] void fail(const Where &where, const std::string &what) const {
        std::string at = where.text();
        throw SessionError(source_ + ": " + (at.empty() ? "" : at + ": ") + what);
    }

    void only_keys(const JsonValue &obj, const Where &where, std::initializer_list<std::string_view> keys) const {
        for (size_t i = 0; i < obj.size(); ++i) {
            bool known = false;
            for (std::string_view k : keys) known = known || obj.key(i) == k;
            if (!known) fail(where, "unknown key \"" + std::string(obj.key(i)) + "\"");
        }
    }

    const JsonValue &object(const JsonValue &v, const Where &where) const {
        if (!v.is_object()) fail(where, "must be an object");
        return v;
    }

    // Refuses, anywhere in the document, a key given twice in one object
    // and a NUL in a text or key: either would let one of two values, or a
    // name cut short at the NUL, pass without a word.
    void strict(const JsonValue &v, const Where &where) const {
        if (v.is_string() && v.text().find('\0') != std::string_view::npos) fail(where, "holds a NUL (\\u0000)");
        if (v.is_array())
            for (size_t i = 0; i < v.size(); ++i) strict(v.item(i), Where(where, i));
        if (!v.is_object()) return;
        for (size_t i = 0; i < v.size(); ++i) {
            if (v.key(i).find('\0') != std::string_view::npos) {
                std::string shown;  // the key as JSON writes it, so that the message stays one text
                for (char c : v.key(i)) shown += c ? std::string(1, c) : "\\u0000";
                fail(Where(where, shown), "holds a NUL (\\u0000)");
            }
        }
        std::string_view key;
        if (v.repeated_key(key)) fail(Where(where, key), "is given twice");
        for (size_t i = 0; i < v.size(); ++i) strict(v.item(i), Where(where, v.key(i)));
    }
    const JsonValue &array(const JsonValue &v, const Where &where) const {
        if (!v.is_array()) fail(where, "must be an array");
        return v;
    }
    int integer(const JsonValue &v, const Where &where) const {
        if (!v.is_number_integer())
            fail(where, v.is_string() ? "must be an integer, not a text" : "must be an integer");
        // JSON integers beyond int64 come as unsigned: compared as such, they cannot wrap
        bool in_range = v.is_number_unsigned() ? v.uint64() <= INT32_MAX
                                               : v.int64() >= INT32_MIN && v.int64() <= INT32_MAX;
        if (!in_range) fail(where, "is out of the 32-bit range");
        return static_cast<int>(v.int64());
    }
    double number(const JsonValue &v, const Where &where) const {
        if (!v.is_number()) fail(where, v.is_string() ? "must be a number, not a text" : "must be a number");
        return v.number();
    }
    std::string text(const JsonValue &v, const Where &where) const {
        if (!v.is_string()) fail(where, "must be a text");
        return std::string(v.text());
    }
    // Texts the plug-in sees are the host's Windows-1251 bytes.
    std::string host_text(const JsonValue &v, const Where &where) const {
        return kesto::utf8_to_cp1251(text(v, where));
    }

    Member member(const JsonValue &v, const Where &where) const {
        object(v, where);
        only_keys(v, where, {"name", "type", "subtype", "object_type", "params", "holder_offset", "holder"});
        Member m;
        JsonValue f = v;
        if (!v.find("name", f)) fail(where, "has no \"name\"");
        m.name = host_text(f, Where(where, "name"));
        if (v.find("type", f)) m.type = integer(f, Where(where, "type"));
        if (v.find("subtype", f)) m.subtype = integer(f, Where(where, "subtype"));
        if (v.find("object_type", f)) m.object_type = integer(f, Where(where, "object_type"));
        if (v.find("params", f)) {
            const Where at_params(where, "params");
            const JsonValue params = object(f, at_params);
            for (size_t i = 0; i < params.size(); ++i) {
                const std::string_view key = params.key(i);
                const JsonValue value = params.item(i);
                const Where at(at_params, key);
                const FieldNumber *field = field_named(key);
                int num = field ? field->number : -1;
                if (!field) {
                    const std::string digits(key);
                    char *end = nullptr;
                    long n = std::strtol(digits.c_str(), &end, 10);
                    if (digits.empty() || *end != '\0' || n <= 0 || n > 100000)
                        fail(at, "is neither a tool field name nor a parameter number");
                    num = static_cast<int>(n);
                    field = field_of_number(num);
                }
                // A known parameter takes only its own kind of value; one
                // known only by number takes a number or a text.
                Param p;
                if (field ? field->kind == ParamKind::text : value.is_string()) {
                    p.is_text = true;
                    p.text = host_text(value, at);
                } else if (field && field->kind == ParamKind::integer) {
                    p.number = integer(value, at);
                } else {
                    p.number = number(value, at);
                }
                m.params[num] = std::move(p);
            }
        }
        if (v.find("holder_offset", f)) {
            Param p;
            p.number = number(f, Where(where, "holder_offset"));
            m.params[1049] = p;
        }
        if (v.find("holder", f)) {
            const Where at_holder(where, "holder");
            const JsonValue sections = array(f, at_holder);
            m.holder.reserve(sections.size());
            for (size_t i = 0; i < sections.size(); ++i) {
                const Where at(at_holder, i);
                const JsonValue s = sections.item(i);
                object(s, at);
                only_keys(s, at, {"diameter", "length", "taper_angle", "corner_radius"});
                HolderSection h{};
                JsonValue x = s;
                if (s.find("diameter", x)) h.diameter = number(x, Where(at, "diameter"));
                if (s.find("length", x)) h.length = number(x, Where(at, "length"));
                if (s.find("taper_angle", x)) h.taper_angle = number(x, Where(at, "taper_angle"));
                if (s.find("corner_radius", x)) h.corner_radius = number(x, Where(at, "corner_radius"));
                m.holder.push_back(h);
            }
        }
        return m;
    }

    std::vector<Member> members(const JsonValue &v, const Where &where) const {
        std::vector<Member> out;
        array(v, where);
        out.reserve(v.size());
        for (size_t i = 0; i < v.size(); ++i) out.push_back(member(v.item(i), Where(where, i)));
        return out;
    }

    Part part(const JsonValue &v) const {
        const Where root;
        const Where at_part(root, "part");
        object(v, at_part);
        only_keys(v, at_part, {"name", "none_member", "members", "others", "selected"});
        Part p;
        JsonValue f = v;
        if (v.find("name", f)) p.name = host_text(f, Where(at_part, "name"));
        if (v.find("none_member", f)) {
            if (!f.is_boolean()) fail(Where(at_part, "none_member"), "must be true or false");
            p.none_member = f.boolean();
        }
        if (v.find("members", f)) p.members = members(f, Where(at_part, "members"));
        if (v.find("others", f)) p.others = members(f, Where(at_part, "others"));
        if (v.find("selected", f)) {
            const Where at_selected(at_part, "selected");
            const JsonValue sel = array(f, at_selected);
            for (size_t i = 0; i < sel.size(); ++i) {
                const Where at(at_selected, i);
                std::string name = host_text(sel.item(i), at);
                bool found = p.none_member && name == "NONE";
                for (const Member &m : p.members) found = found || m.name == name;
                for (const Member &m : p.others) found = found || m.name == name;
                if (!found) fail(at, "names no member of the part: \"" + std::string(sel.item(i).text()) + "\"");
                p.selected.push_back(name);
            }
        }
        return p;
    }

    Answer answer(const JsonValue &v, const Where &where) const {
        object(v, where);
        if (v.size() != 1) fail(where, "must have exactly one of \"menu\", \"question\", \"file\"");
        Answer a;
        JsonValue f = v;
        if (v.find("menu", f)) {
            a.kind = Answer::Menu;
            a.value = integer(f, Where(where, "menu"));
        } else if (v.find("question", f)) {
            a.kind = Answer::Question;
            a.value = integer(f, Where(where, "question"));
        } else if (v.find("file", f)) {
            a.kind = Answer::File;
            if (!f.is_null()) a.file = text(f, Where(where, "file"));
        } else {
            fail(where, "unknown answer kind \"" + std::string(v.key(0)) +
                            "\" (use \"menu\", \"question\" or \"file\")");
        }
        return a;
    }

    // The document of a file's text; refused, with the reason, when it is
    // nested too deep or is no JSON.  Depth is judged on the text itself, so
    // that a document too deep is refused as such whatever else it holds.
    void parse(const std::string &json_text, JsonDocument &doc) const {
        std::string kind, error;
        if (doc.parse(json_text, kMaxDepth, kind, error)) return;
        size_t deep = too_deep_at(json_text);
        if (deep != std::string::npos)
            fail(Where(), "nested deeper than " + std::to_string(kMaxDepth) + " levels (at byte " +
                              std::to_string(deep + 1) + ")");
        fail(Where(), kind + ": " + error);
    }

    Session session(const JsonValue &root) const {
        const Where top;
        object(root, top);
        only_keys(root, top, {"module", "release", "env", "fail_messages", "faults", "part", "answers", "runs",
                              "files", "comment"});
        Session s;
        s.source = source_;
        JsonValue f = root;
        if (root.find("module", f)) s.module = integer(f, Where(top, "module"));
        if (root.find("release", f)) s.release = host_text(f, Where(top, "release"));
        if (root.find("env", f) && !f.is_null()) {
            const Where at_env(top, "env");
            const JsonValue env = object(f, at_env);
            s.has_env = true;
            for (size_t i = 0; i < env.size(); ++i) {
                const std::string key(env.key(i));
                if (env.item(i).is_null()) s.env[key] = std::nullopt;
                else s.env[key] = text(env.item(i), Where(at_env, env.key(i)));
            }
        }
        if (root.find("fail_messages", f)) {
            const Where at_fm(top, "fail_messages");
            const JsonValue fm = object(f, at_fm);
            for (size_t i = 0; i < fm.size(); ++i) {
                const std::string_view key = fm.key(i);
                int code = 0;
                auto [end, ec] = std::from_chars(key.data(), key.data() + key.size(), code);
                if (key.empty() || ec != std::errc() || end != key.data() + key.size())
                    fail(at_fm, "key \"" + std::string(key) + "\" is not a code (a 32-bit integer)");
                s.fail_messages[code] = host_text(fm.item(i), Where(at_fm, key));
            }
        }
        if (root.find("faults", f)) {
            const Where at_faults(top, "faults");
            const JsonValue faults = array(f, at_faults);
            for (size_t i = 0; i < faults.size(); ++i) {
                const Where at(at_faults, i);
                const JsonValue fv = faults.item(i);
                object(fv, at);
                only_keys(fv, at, {"call", "code", "nth"});
                Fault fault;
                JsonValue call = fv, code = fv, x = fv;
                if (!fv.find("call", call) || !fv.find("code", code)) fail(at, "needs \"call\" and \"code\"");
                fault.call = text(call, Where(at, "call"));
                if (!kCalls.count(fault.call)) fail(Where(at, "call"), "names no host call: \"" + fault.call + "\"");
                fault.code = integer(code, Where(at, "code"));
                if (fault.code == 0) fail(Where(at, "code"), "a fault needs a non-zero code");
                if (fv.find("nth", x)) fault.nth = integer(x, Where(at, "nth"));
                if (fault.nth < 0) fail(Where(at, "nth"), "must be 1 or more (or absent: every call)");
                s.faults.push_back(fault);
            }
        }
        if (root.find("part", f) && !f.is_null()) s.part = part(f);
        if (root.find("answers", f)) {
            const Where at_answers(top, "answers");
            const JsonValue answers = array(f, at_answers);
            s.answers.reserve(answers.size());
            for (size_t i = 0; i < answers.size(); ++i)
                s.answers.push_back(answer(answers.item(i), Where(at_answers, i)));
        }
        if (root.find("runs", f)) {
            s.runs = integer(f, Where(top, "runs"));
            if (s.runs < 1 || s.runs > 100) fail(Where(top, "runs"), "must be 1 to 100");
        }
        if (root.find("files", f)) {
            const Where at_files(top, "files");
            const JsonValue files = object(f, at_files);
            for (size_t i = 0; i < files.size(); ++i) {
                const std::string_view key = files.key(i);
                if (key.empty()) fail(at_files, "a file needs a name");
                if (!inside_run_folder(std::string(key)))
                    fail(Where(at_files, key),
                         "must be a relative path inside the run folder (not absolute, no \"..\")");
                s.files.emplace_back(std::string(key), text(files.item(i), Where(at_files, key)));
            }
        }
        return s;
    }

private:
    std::string source_;
};

}  // namespace

const std::set<std::string> &fault_call_names() { return kCalls; }

int param_number_of(std::string_view field) {
    const FieldNumber *f = field_named(field);
    return f ? f->number : -1;
}

Session parse_session(const std::string &json_text, const std::string &source) {
    Reader reader(source);
    JsonDocument doc;
    reader.parse(json_text, doc);
    if (doc.maybe_not_strict()) reader.strict(doc.root(), Where());
    return reader.session(doc.root());
}

Session parse_part_or_session(const std::string &json_text, const std::string &source) {
    Reader reader(source);
    JsonDocument doc;
    reader.parse(json_text, doc);
    const JsonValue root = doc.root();
    // A part file is what a session holds under "part".
    bool is_session =
        root.is_object() && (root.contains("part") || root.contains("answers") || root.contains("module"));
    const Where top;
    if (doc.maybe_not_strict()) reader.strict(root, is_session ? top : Where(top, "part"));
    Session s;
    if (is_session) {
        s = reader.session(root);
    } else {
        s.source = source;
        s.part = reader.part(root);
    }
    if (!s.part) throw SessionError(source + ": holds no part");
    return s;
}

Session load_session(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw SessionError(path + ": cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    return parse_session(text.str(), path);
}

}  // namespace sim
