// libugopenint of the simulated host: dialogs, the listing window, the status
// line and the navigator.  Every dialog is recorded with the user's answer.
#include <cstring>

#include "host/common/cp1251.h"
#include "host/sim/host_state.h"
#include "host/uf_api.h"

using namespace sim;

namespace {

std::string text_or_empty(const char *text) { return text ? std::string(text) : std::string(); }

// A fixed-width menu item: at most its width, terminated or not.
std::string item_text(const char *item) {
    const void *nul = std::memchr(item, '\0', UF_UI_MENU_ITEM_SIZE);
    return std::string(item, nul ? static_cast<size_t>(static_cast<const char *>(nul) - item) : UF_UI_MENU_ITEM_SIZE);
}

void record_text(Event::Kind kind, const char *text) {
    Event e;
    e.kind = kind;
    if (text) e.texts.push_back(text);
    record(std::move(e));
}

}  // namespace

extern "C" {

int UF_UI_set_status(const char *text) {
    if (int code = enter_call("UF_UI_set_status", false)) return code;
    record_text(Event::Status, text);
    return 0;
}

int UF_UI_open_listing_window(void) {
    if (int code = enter_call("UF_UI_open_listing_window")) return code;
    record_text(Event::ListingOpen, nullptr);
    return 0;
}

int UF_UI_write_listing_window(const char *text) {
    if (int code = enter_call("UF_UI_write_listing_window")) return code;
    if (!text) return kBadArgument;
    record_text(Event::Listing, text);
    return 0;
}

int UF_UI_close_listing_window(void) {
    if (int code = enter_call("UF_UI_close_listing_window")) return code;
    record_text(Event::ListingClose, nullptr);
    return 0;
}

int uc1601(const char *message, int wait) {
    (void)wait;
    if (int code = enter_call("uc1601")) return code;
    record_text(Event::Message, message);
    return 1;
}

int uc1603(const char *title, int default_item, char items[][UF_UI_MENU_ITEM_SIZE], int count) {
    if (enter_call("uc1603")) return UF_UI_CANNOT_SHOW;  // a failing menu cannot be shown
    if (count < 0 || count > UF_UI_MENU_MAX_ITEMS || (count > 0 && !items)) {
        host_error("uc1603 was given " + std::to_string(count) + " items; the host shows 0 to 14");
        return UF_UI_CANNOT_SHOW;
    }
    Event e;
    e.kind = Event::Menu;
    e.title = text_or_empty(title);
    e.default_item = default_item;
    e.items.reserve(static_cast<size_t>(count));
    e.values.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        e.items.push_back(item_text(items[i]));
        e.values.push_back(UF_UI_MENU_FIRST_ITEM + i);
    }
    return ask_user(e, Answer::Menu).value;
}

int UF_UI_message_dialog(const char *title, int dialog_type, char **messages, int num_messages,
                         logical translate, UF_UI_message_buttons_t *buttons, int *response) {
    (void)translate;
    if (int code = enter_call("UF_UI_message_dialog")) return code;
    if (!buttons || !response || (num_messages > 0 && !messages)) return kBadArgument;
    Event e;
    e.kind = Event::Question;
    e.title = text_or_empty(title);
    e.default_item = dialog_type;
    e.texts.reserve(num_messages > 0 ? static_cast<size_t>(num_messages) : 0);
    for (int i = 0; i < num_messages; ++i) e.texts.push_back(text_or_empty(messages[i]));
    e.items.reserve(3);
    e.values.reserve(3);
    const logical shown[3] = {buttons->button1, buttons->button2, buttons->button3};
    const char *labels[3] = {buttons->label1, buttons->label2, buttons->label3};
    const int values[3] = {buttons->response1, buttons->response2, buttons->response3};
    for (int i = 0; i < 3; ++i) {
        if (!shown[i]) continue;
        e.items.push_back(text_or_empty(labels[i]));
        e.values.push_back(values[i]);
    }
    Answer a = ask_user(e, Answer::Question);
    bool valid = a.value == 0;
    for (int i = 0; i < 3; ++i) valid = valid || (shown[i] && values[i] == a.value);
    if (!valid)
        host_error("answer " + std::to_string(a.value) + " is no button of the question \"" +
                   kesto::cp1251_to_utf8(text_or_empty(title)) + "\" (0 closes it)");
    *response = a.value;
    return 0;
}

int UF_UI_create_filebox(const char *prompt, const char *title, char *filter,
                         const char *default_name, char filename[UF_FILENAME_BUFSIZE],
                         int *response) {
    if (int code = enter_call("UF_UI_create_filebox")) return code;
    if (!filename || !response) return kBadArgument;
    Event e;
    e.kind = Event::FileBox;
    e.title = text_or_empty(title);
    e.texts = {text_or_empty(prompt), text_or_empty(filter), text_or_empty(default_name)};
    Answer a = ask_user(e, Answer::File);
    if (!a.file) {
        *response = UF_UI_BACK;
        return 0;
    }
    std::string path = kesto::utf8_to_cp1251(*a.file);
    if (path.size() >= UF_FILENAME_BUFSIZE) {
        host_error("the chosen path is longer than the host's " +
                   std::to_string(UF_FILENAME_BUFSIZE - 1) + " characters; the chooser is cancelled");
        *response = UF_UI_BACK;
        return 0;
    }
    copy_out(filename, UF_FILENAME_BUFSIZE, path);
    *response = UF_UI_OK;
    return 0;
}

int UF_UI_ONT_switch_view(int view) {
    if (int code = enter_call("UF_UI_ONT_switch_view")) return code;
    Event e;
    e.kind = Event::View;
    e.answer = view;
    record(std::move(e));
    return 0;
}

int UF_UI_ONT_ask_selected_nodes(int *count, tag_t **nodes) {
    if (int code = enter_call("UF_UI_ONT_ask_selected_nodes")) return code;
    if (!count || !nodes) return kBadArgument;
    *count = 0;
    *nodes = nullptr;
    const auto &part = state()->session->part;
    if (!part || part->selected.empty()) return 0;
    std::vector<tag_t> tags;
    for (const std::string &name : part->selected) {
        tag_t tag = NULL_TAG;
        if (part->none_member && name == "NONE") tag = kFirstMemberTag - 1;
        for (const Member &m : part->members)
            if (!tag && m.name == name) tag = m.tag;
        for (const Member &m : part->others)
            if (!tag && m.name == name) tag = m.tag;
        tags.push_back(tag);
    }
    *count = static_cast<int>(tags.size());
    *nodes = static_cast<tag_t *>(host_alloc(tags.size() * sizeof(tag_t)));
    std::memcpy(*nodes, tags.data(), tags.size() * sizeof(tag_t));
    return 0;
}

}  // extern "C"
