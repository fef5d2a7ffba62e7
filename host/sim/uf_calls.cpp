// libufun of the simulated host: every host call but the user interface,
// answered from the session's part, tools and environment.
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "host/common/cp1251.h"
#include "host/common/native_path.h"
#include "host/sim/host_state.h"
#include "host/uf_api.h"

using namespace sim;

namespace {

Member *tool_of(tag_t tag, int &code) {
    Member *m = member_of(tag);
    if (!m) code = kUnknownObject;
    else if (m->object_type != UF_machining_tool_type) code = kNotATool;
    return code ? nullptr : m;
}

// A tool parameter: absent ones read as 0 or the empty text.
const Param *param_of(Member &m, int param) {
    static const Param absent;
    auto it = m.params.find(param);
    return it == m.params.end() ? &absent : &it->second;
}

// The common part of the three parameter queries: the tool's parameter, or
// the code the call returns (a text asked as a number or the other way).
int ask_param(const char *call, tag_t object, int param, const void *out, bool want_text,
              const Param **p) {
    if (int code = enter_call(call)) return code;
    if (!out) return kBadArgument;
    int code = 0;
    Member *m = tool_of(object, code);
    if (!m) return code;
    *p = param_of(*m, param);
    if (m->params.count(param) && (*p)->is_text != want_text) return kWrongParamKind;
    return 0;
}

// Builds the machine-tool root's member list in the host's order: the
// host's "NONE" member first, then the session's members.
std::vector<tag_t> root_members() {
    std::vector<tag_t> tags;
    Part &part = *state()->session->part;
    if (part.none_member) tags.push_back(kFirstMemberTag - 1);
    for (Member &m : part.members) tags.push_back(m.tag);
    return tags;
}

}  // namespace

extern "C" {

int UF_initialize(void) {
    if (int code = enter_call("UF_initialize", false)) return code;
    state()->initialized = true;
    return 0;
}

int UF_terminate(void) {
    if (int code = enter_call("UF_terminate")) return code;
    state()->initialized = false;
    return 0;
}

int UF_get_fail_message(int fail_code, char message[UF_FAIL_MESSAGE_BUFSIZE]) {
    if (int code = enter_call("UF_get_fail_message", false)) return code;
    const auto &messages = state()->session->fail_messages;
    auto it = messages.find(fail_code);
    if (it == messages.end()) return 1;  // no text; the buffer is left as it was
    copy_out(message, UF_FAIL_MESSAGE_BUFSIZE, it->second);
    return 0;
}

int UF_ask_application_module(int *module_id) {
    if (int code = enter_call("UF_ask_application_module")) return code;
    if (!module_id) return kBadArgument;
    *module_id = state()->session->module;
    return 0;
}

tag_t UF_PART_ask_display_part(void) {
    if (enter_call("UF_PART_ask_display_part")) return NULL_TAG;
    return state()->session->part ? kPartTag : NULL_TAG;
}

int UF_PART_ask_part_name(tag_t part, char part_fspec[UF_FILENAME_BUFSIZE]) {
    if (int code = enter_call("UF_PART_ask_part_name")) return code;
    if (!state()->session->part || part != kPartTag) return kUnknownObject;
    copy_out(part_fspec, UF_FILENAME_BUFSIZE, state()->session->part->name);
    return 0;
}

int UF_SETUP_ask_setup(tag_t *setup_tag) {
    if (int code = enter_call("UF_SETUP_ask_setup")) return code;
    if (!setup_tag) return kBadArgument;
    if (!state()->session->part) return kUnknownObject;
    *setup_tag = kSetupTag;
    return 0;
}

int UF_SETUP_ask_mct_root(tag_t setup_tag, tag_t *mct_group) {
    if (int code = enter_call("UF_SETUP_ask_mct_root")) return code;
    if (!mct_group) return kBadArgument;
    if (!state()->session->part || setup_tag != kSetupTag) return kUnknownObject;
    *mct_group = kRootTag;
    return 0;
}

int UF_NCGROUP_ask_member_list(tag_t group, int *count, tag_t **list) {
    if (int code = enter_call("UF_NCGROUP_ask_member_list")) return code;
    if (!count || !list) return kBadArgument;
    if (!state()->session->part || group != kRootTag) return kUnknownObject;
    std::vector<tag_t> tags = root_members();
    *count = static_cast<int>(tags.size());
    *list = nullptr;
    if (!tags.empty()) {
        *list = static_cast<tag_t *>(host_alloc(tags.size() * sizeof(tag_t)));
        std::memcpy(*list, tags.data(), tags.size() * sizeof(tag_t));
    }
    return 0;
}

int UF_CUTTER_ask_type_and_subtype(tag_t tool, int *type, int *subtype) {
    if (int code = enter_call("UF_CUTTER_ask_type_and_subtype")) return code;
    if (!type || !subtype) return kBadArgument;
    int code = 0;
    Member *m = tool_of(tool, code);
    if (!m) return code;
    *type = m->type;
    *subtype = m->subtype;
    return 0;
}

int UF_OBJ_ask_name(tag_t object, char name[UF_TEXT_BUFSIZE]) {
    if (int code = enter_call("UF_OBJ_ask_name")) return code;
    Member *m = member_of(object);
    if (!m) return kUnknownObject;
    copy_out(name, UF_TEXT_BUFSIZE, m->name);
    return 0;
}

int UF_OBJ_ask_type_and_subtype(tag_t object, int *type, int *subtype) {
    if (int code = enter_call("UF_OBJ_ask_type_and_subtype")) return code;
    if (!type || !subtype) return kBadArgument;
    Member *m = member_of(object);
    if (!m) return kUnknownObject;
    *type = m->object_type;
    *subtype = 0;
    return 0;
}

int UF_PARAM_ask_double_value(tag_t object, int param, double *value) {
    const Param *p = nullptr;
    if (int code = ask_param("UF_PARAM_ask_double_value", object, param, value, false, &p)) return code;
    *value = p->number;
    return 0;
}

int UF_PARAM_ask_int_value(tag_t object, int param, int *value) {
    const Param *p = nullptr;
    if (int code = ask_param("UF_PARAM_ask_int_value", object, param, value, false, &p)) return code;
    // The session reader takes only 32-bit integers for the integer
    // parameters; a number parameter outside that range has no int value.
    if (!(p->number >= INT32_MIN && p->number <= INT32_MAX)) return kWrongParamKind;
    *value = static_cast<int>(p->number);
    return 0;
}

int UF_PARAM_ask_str_value(tag_t object, int param, char value[UF_TEXT_BUFSIZE]) {
    const Param *p = nullptr;
    if (int code = ask_param("UF_PARAM_ask_str_value", object, param, value, true, &p)) return code;
    copy_out(value, UF_TEXT_BUFSIZE, p->text);
    return 0;
}

int UF_CUTTER_ask_section_count(tag_t tool, int *count) {
    if (int code = enter_call("UF_CUTTER_ask_section_count")) return code;
    if (!count) return kBadArgument;
    int code = 0;
    Member *m = tool_of(tool, code);
    if (!m) return code;
    *count = static_cast<int>(m->holder.size());
    return 0;
}

int UF_CUTTER_ask_holder_data(tag_t tool, int *count, HolderSection ***sections) {
    if (int code = enter_call("UF_CUTTER_ask_holder_data")) return code;
    if (!count || !sections) return kBadArgument;
    int code = 0;
    Member *m = tool_of(tool, code);
    if (!m) return code;
    *count = static_cast<int>(m->holder.size());
    *sections = nullptr;
    if (m->holder.empty()) return 0;
    HolderSection **array =
        static_cast<HolderSection **>(host_alloc(m->holder.size() * sizeof(HolderSection *)));
    for (size_t i = 0; i < m->holder.size(); ++i) {
        state()->section_copies.push_back(m->holder[i]);
        array[i] = &state()->section_copies.back();
    }
    *sections = array;
    return 0;
}

int UF_CUTTER_create_holder_section(tag_t tool, HolderSection *section) {
    if (int code = enter_call("UF_CUTTER_create_holder_section")) return code;
    if (!section) return kBadArgument;
    int code = 0;
    Member *m = tool_of(tool, code);
    if (!m) return code;
    m->holder.push_back(*section);
    Event e;
    e.kind = Event::HolderAdded;
    e.title = m->name;
    e.values = {static_cast<int>(m->holder.size())};
    char buf[160];
    std::snprintf(buf, sizeof buf, "%.10g %.10g %.17g %.10g", section->diameter, section->length,
                  section->taper_angle, section->corner_radius);
    e.texts.push_back(buf);
    record(std::move(e));
    return 0;
}

int UF_DISP_refresh(void) {
    if (int code = enter_call("UF_DISP_refresh")) return code;
    Event e;
    e.kind = Event::Refresh;
    record(std::move(e));
    return 0;
}

int UF_CFI_ask_file_exist(const char *file_spec, int *status) {
    if (int code = enter_call("UF_CFI_ask_file_exist")) return code;
    if (!file_spec || !status) return kBadArgument;
    struct stat st;
    *status = stat(kesto::native_path(file_spec).c_str(), &st) == 0 && S_ISREG(st.st_mode) ? 0 : 1;
    return 0;
}

int UF_translate_variable(const char *variable, char **value) {
    if (int code = enter_call("UF_translate_variable")) return code;
    if (!variable || !value) return kBadArgument;
    *value = nullptr;
    Session &s = *state()->session;
    std::optional<std::string> found;
    if (s.has_env) {
        auto it = s.env.find(variable);
        if (it != s.env.end()) found = it->second;
    } else if (const char *env = std::getenv(variable)) {
        found = std::string(env);
    }
    if (!found) return 0;
    state()->texts.push_back(kesto::utf8_to_cp1251(*found));
    *value = &state()->texts.back()[0];
    return 0;
}

int UF_print_syslog(const char *text, logical flush) {
    (void)flush;
    if (int code = enter_call("UF_print_syslog")) return code;
    if (!text) return kBadArgument;
    Event e;
    e.kind = Event::Syslog;
    e.texts.push_back(text);
    record(std::move(e));
    return 0;
}

int UF_get_release(char **release) {
    if (int code = enter_call("UF_get_release")) return code;
    if (!release) return kBadArgument;
    state()->texts.push_back(state()->session->release);
    *release = &state()->texts.back()[0];
    return 0;
}

void UF_free(void *data) {
    if (enter_call("UF_free", false) || !data) return;
    auto &arrays = state()->arrays;
    auto it = arrays.find(data);
    if (it == arrays.end()) {
        host_error("UF_free was given a pointer the host never handed out (or gave back twice)");
        return;
    }
    arrays.erase(it);
    std::free(data);
}

}  // extern "C"
