/* The host's question dialog as every command asks it. */
#include "src/question.h"

#include <stddef.h>

int Tools_ask_question(const char *title, char *text, const UF_UI_message_buttons_t *buttons) {
    char *messages[1] = {text};
    UF_UI_message_buttons_t set = *buttons;
    int response = 0;
    UF_UI_message_dialog(title, UF_UI_MESSAGE_QUESTION, messages, 1, 1, &set, &response);
    return response;
}

int Tools_ask_yes_no(const char *title, char *text) {
    static const UF_UI_message_buttons_t yes_no = {1, 0, 1, "Yes", NULL, "No", 1, 0, 2};
    return Tools_ask_question(title, text, &yes_no) == 1;
}
