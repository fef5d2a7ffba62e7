#include "host/sim/session.h"

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

struct FieldNumber {
    const char *field;
    int number;
};

const FieldNumber kFields[] = {
    {"diameter", 1000},           {"length", 1001},
    {"flute_length", 1002},       {"taper_angle", 1003},
    {"tip_angle", 1004},          {"r1", 1005},
    {"r1_center_x", 1006},        {"r1_center_y", 1007},
    {"r2", 1008},                 {"r2_center_x", 1009},
    {"r2_center_y", 1010},        {"barrel_radius", 1011},
    {"shank_dia", 1012},          {"lower_corner_radius", 1013},
    {"upper_corner_radius", 1014}, {"barrel_center_y", 1015},
    {"point_angle", 1016},        {"flute_count", 1017},
    {"z_offset", 1034},           {"tool_number", 1038},
    {"catalog_name", 1043},       {"holder_offset", 1049},
    {"cutter_description", 1068},
};

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
        if (!v.is_number_integer()) fail(where, "must be an integer");
        long long n = v.get<long long>();
        if (n < INT32_MIN || n > INT32_MAX) fail(where, "is out of the 32-bit range");
        return static_cast<int>(n);
    }
    double number(const json &v, const std::string &where) const {
        if (!v.is_number()) fail(where, "must be a number");
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
                Param p;
                if (it.value().is_string()) {
                    p.is_text = true;
                    p.text = host_text(it.value(), at);
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
                char *end = nullptr;
                long code = std::strtol(it.key().c_str(), &end, 10);
                if (it.key().empty() || *end != '\0')
                    fail("fail_messages", "key \"" + it.key() + "\" is not a code");
                s.fail_messages[static_cast<int>(code)] =
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
    json root;
    try {
        root = json::parse(json_text);
    } catch (const json::parse_error &e) {
        reader.fail("", std::string("not valid JSON: ") + e.what());
    }
    return reader.session(root);
}

Session load_session(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw SessionError(path + ": cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    return parse_session(text.str(), path);
}

}  // namespace sim
