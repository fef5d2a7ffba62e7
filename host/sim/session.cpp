#include "host/sim/session.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "host/common/cp1251.h"

namespace sim {
namespace {

using nlohmann::json;

// What a tool parameter holds; the plug-in asks each with the matching call.
enum class ParamKind { number, integer, text };

struct FieldNumber {
    const char *field;
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

// The JSON library's parser and the copies of a document go one level deeper
// per nested array or object; a document nested deeper than this is refused
// from its bytes, before it is parsed.
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

// The JSON library's message without its "[json.exception.kind.N] " prefix.
std::string json_message(const json::exception &e) {
    std::string what = e.what();
    size_t close = what.rfind("] ", what.find(' '));
    return close == std::string::npos ? what : what.substr(close + 2);
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

// Reads one session file, naming the place of every fault.
class Reader {
public:
    explicit Reader(std::string source) : source_(std::move(source)) {}

    [[noreturn]] void fail(const std::string &where, const std::string &what) const {
        throw SessionError(source_ + ": " + (where.empty() ? "" : where + ": ") + what);
    }

    void only_keys(const json &obj, const std::string &where,
                   std::initializer_list<const char *> keys) const {
        for (auto it = obj.begin(); it != obj.end(); ++it) {
            bool known = false;
            for (const char *k : keys) known = known || it.key() == k;
            if (!known) fail(where, "unknown key \"" + it.key() + "\"");
        }
    }

    const json &object(const json &v, const std::string &where) const {
        if (!v.is_object()) fail(where, "must be an object");
        return v;
    }
    const json &array(const json &v, const std::string &where) const {
        if (!v.is_array()) fail(where, "must be an array");
        return v;
    }
    int integer(const json &v, const std::string &where) const {
        if (!v.is_number_integer())
            fail(where, v.is_string() ? "must be an integer, not a text" : "must be an integer");
        // JSON integers beyond int64 come as unsigned: compared as such, they cannot wrap
        bool in_range = v.is_number_unsigned()
                            ? v.get<std::uint64_t>() <= INT32_MAX
                            : v.get<std::int64_t>() >= INT32_MIN && v.get<std::int64_t>() <= INT32_MAX;
        if (!in_range) fail(where, "is out of the 32-bit range");
        return static_cast<int>(v.get<std::int64_t>());
    }
    double number(const json &v, const std::string &where) const {
        if (!v.is_number()) fail(where, v.is_string() ? "must be a number, not a text" : "must be a number");
        return v.get<double>();
    }
    std::string text(const json &v, const std::string &where) const {
        if (!v.is_string()) fail(where, "must be a text");
        return v.get<std::string>();
    }
    // Texts the plug-in sees are the host's Windows-1251 bytes.
    std::string host_text(const json &v, const std::string &where) const {
        return kesto::utf8_to_cp1251(text(v, where));
    }

    Member member(const json &v, const std::string &where) const {
        object(v, where);
        only_keys(v, where, {"name", "type", "subtype", "object_type", "params",
                             "holder_offset", "holder"});
        Member m;
        if (!v.contains("name")) fail(where, "has no \"name\"");
        m.name = host_text(v["name"], where + ".name");
        if (v.contains("type")) m.type = integer(v["type"], where + ".type");
        if (v.contains("subtype")) m.subtype = integer(v["subtype"], where + ".subtype");
        if (v.contains("object_type"))
            m.object_type = integer(v["object_type"], where + ".object_type");
        if (v.contains("params")) {
            const json &params = object(v["params"], where + ".params");
            for (auto it = params.begin(); it != params.end(); ++it) {
                std::string at = where + ".params." + it.key();
                int num = param_number_of(it.key());
                if (num < 0) {
                    char *end = nullptr;
                    long n = std::strtol(it.key().c_str(), &end, 10);
                    if (it.key().empty() || *end != '\0' || n <= 0 || n > 100000)
                        fail(at, "is neither a tool field name nor a parameter number");
                    num = static_cast<int>(n);
                }
                // A known parameter takes only its own kind of value; one
                // known only by number takes a number or a text.
                const FieldNumber *field = field_of_number(num);
                Param p;
                if (field ? field->kind == ParamKind::text : it.value().is_string()) {
                    p.is_text = true;
                    p.text = host_text(it.value(), at);
                } else if (field && field->kind == ParamKind::integer) {
                    p.number = integer(it.value(), at);
                } else {
                    p.number = number(it.value(), at);
                }
                m.params[num] = p;
            }
        }
        if (v.contains("holder_offset")) {
            Param p;
            p.number = number(v["holder_offset"], where + ".holder_offset");
            m.params[1049] = p;
        }
        if (v.contains("holder")) {
            const json &sections = array(v["holder"], where + ".holder");
            for (size_t i = 0; i < sections.size(); ++i) {
                std::string at = where + ".holder[" + std::to_string(i) + "]";
                const json &s = object(sections[i], at);
                only_keys(s, at, {"diameter", "length", "taper_angle", "corner_radius"});
                HolderSection h{};
                if (s.contains("diameter")) h.diameter = number(s["diameter"], at + ".diameter");
                if (s.contains("length")) h.length = number(s["length"], at + ".length");
                if (s.contains("taper_angle"))
                    h.taper_angle = number(s["taper_angle"], at + ".taper_angle");
                if (s.contains("corner_radius"))
                    h.corner_radius = number(s["corner_radius"], at + ".corner_radius");
                m.holder.push_back(h);
            }
        }
        return m;
    }

    std::vector<Member> members(const json &v, const std::string &where) const {
        std::vector<Member> out;
        array(v, where);
        for (size_t i = 0; i < v.size(); ++i)
            out.push_back(member(v[i], where + "[" + std::to_string(i) + "]"));
        return out;
    }

    Part part(const json &v) const {
        object(v, "part");
        only_keys(v, "part", {"name", "none_member", "members", "others", "selected"});
        Part p;
        if (v.contains("name")) p.name = host_text(v["name"], "part.name");
        if (v.contains("none_member")) {
            if (!v["none_member"].is_boolean()) fail("part.none_member", "must be true or false");
            p.none_member = v["none_member"].get<bool>();
        }
        if (v.contains("members")) p.members = members(v["members"], "part.members");
        if (v.contains("others")) p.others = members(v["others"], "part.others");
        if (v.contains("selected")) {
            const json &sel = array(v["selected"], "part.selected");
            for (size_t i = 0; i < sel.size(); ++i) {
                std::string at = "part.selected[" + std::to_string(i) + "]";
                std::string name = host_text(sel[i], at);
                bool found = p.none_member && name == "NONE";
                for (const Member &m : p.members) found = found || m.name == name;
                for (const Member &m : p.others) found = found || m.name == name;
                if (!found) fail(at, "names no member of the part: \"" + sel[i].get<std::string>() + "\"");
                p.selected.push_back(name);
            }
        }
        return p;
    }

    Answer answer(const json &v, const std::string &where) const {
        object(v, where);
        if (v.size() != 1)
            fail(where, "must have exactly one of \"menu\", \"question\", \"file\"");
        Answer a;
        if (v.contains("menu")) {
            a.kind = Answer::Menu;
            a.value = integer(v["menu"], where + ".menu");
        } else if (v.contains("question")) {
            a.kind = Answer::Question;
            a.value = integer(v["question"], where + ".question");
        } else if (v.contains("file")) {
            a.kind = Answer::File;
            if (!v["file"].is_null()) a.file = text(v["file"], where + ".file");
        } else {
            fail(where, "unknown answer kind \"" + v.begin().key() +
                            "\" (use \"menu\", \"question\" or \"file\")");
        }
        return a;
    }

    // The document of a file's text; refused, with the reason, when it is
    // nested too deep or is no JSON the library can hold.
    json parse(const std::string &json_text) const {
        size_t deep = too_deep_at(json_text);
        if (deep != std::string::npos)
            fail("", "nested deeper than " + std::to_string(kMaxDepth) + " levels (at byte " +
                         std::to_string(deep + 1) + ")");
        try {
            return json::parse(json_text);
        } catch (const json::parse_error &e) {
            fail("", "not valid JSON: " + json_message(e));
        } catch (const json::out_of_range &e) {
            fail("", "a number is out of range: " + json_message(e));
        } catch (const json::exception &e) {
            fail("", "cannot be read as JSON: " + json_message(e));
        }
    }

    Session session(const json &root) const {
        object(root, "");
        only_keys(root, "", {"module", "release", "env", "fail_messages", "faults", "part",
                             "answers", "runs", "files", "comment"});
        Session s;
        s.source = source_;
        if (root.contains("module")) s.module = integer(root["module"], "module");
        if (root.contains("release")) s.release = host_text(root["release"], "release");
        if (root.contains("env") && !root["env"].is_null()) {
            const json &env = object(root["env"], "env");
            s.has_env = true;
            for (auto it = env.begin(); it != env.end(); ++it) {
                if (it.value().is_null()) s.env[it.key()] = std::nullopt;
                else s.env[it.key()] = text(it.value(), "env." + it.key());
            }
        }
        if (root.contains("fail_messages")) {
            const json &fm = object(root["fail_messages"], "fail_messages");
            for (auto it = fm.begin(); it != fm.end(); ++it) {
                const std::string &key = it.key();
                int code = 0;
                auto [end, ec] = std::from_chars(key.data(), key.data() + key.size(), code);
                if (key.empty() || ec != std::errc() || end != key.data() + key.size())
                    fail("fail_messages", "key \"" + key + "\" is not a code (a 32-bit integer)");
                s.fail_messages[code] =
                    host_text(it.value(), "fail_messages." + it.key());
            }
        }
        if (root.contains("faults")) {
            const json &faults = array(root["faults"], "faults");
            for (size_t i = 0; i < faults.size(); ++i) {
                std::string at = "faults[" + std::to_string(i) + "]";
                const json &f = object(faults[i], at);
                only_keys(f, at, {"call", "code", "nth"});
                Fault fault;
                if (!f.contains("call") || !f.contains("code")) fail(at, "needs \"call\" and \"code\"");
                fault.call = text(f["call"], at + ".call");
                if (!kCalls.count(fault.call)) fail(at + ".call", "names no host call: \"" + fault.call + "\"");
                fault.code = integer(f["code"], at + ".code");
                if (fault.code == 0) fail(at + ".code", "a fault needs a non-zero code");
                if (f.contains("nth")) fault.nth = integer(f["nth"], at + ".nth");
                if (fault.nth < 0) fail(at + ".nth", "must be 1 or more (or absent: every call)");
                s.faults.push_back(fault);
            }
        }
        if (root.contains("part") && !root["part"].is_null()) s.part = part(root["part"]);
        if (root.contains("answers")) {
            const json &answers = array(root["answers"], "answers");
            for (size_t i = 0; i < answers.size(); ++i)
                s.answers.push_back(answer(answers[i], "answers[" + std::to_string(i) + "]"));
        }
        if (root.contains("runs")) {
            s.runs = integer(root["runs"], "runs");
            if (s.runs < 1 || s.runs > 100) fail("runs", "must be 1 to 100");
        }
        if (root.contains("files")) {
            const json &files = object(root["files"], "files");
            for (auto it = files.begin(); it != files.end(); ++it) {
                if (it.key().empty()) fail("files", "a file needs a name");
                if (!inside_run_folder(it.key()))
                    fail("files." + it.key(),
                         "must be a relative path inside the run folder (not absolute, no \"..\")");
                s.files.emplace_back(it.key(), text(it.value(), "files." + it.key()));
            }
        }
        return s;
    }

private:
    std::string source_;
};

}  // namespace

const std::set<std::string> &fault_call_names() { return kCalls; }

int param_number_of(const std::string &field) {
    for (const FieldNumber &f : kFields)
        if (field == f.field) return f.number;
    return -1;
}

Session parse_session(const std::string &json_text, const std::string &source) {
    Reader reader(source);
    return reader.session(reader.parse(json_text));
}

Session parse_part_or_session(const std::string &json_text, const std::string &source) {
    Reader reader(source);
    json root = reader.parse(json_text);
    // A part file is what a session holds under "part".
    bool is_session =
        root.is_object() && (root.contains("part") || root.contains("answers") || root.contains("module"));
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
