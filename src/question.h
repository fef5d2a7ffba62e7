/* The host's question dialog as every command asks it. */
#ifndef KESTO_SRC_QUESTION_H
#define KESTO_SRC_QUESTION_H

#include "host/uf_api.h"

/* Asks a question of one text line with the given buttons; the answer is
   the pressed button's response, 0 when the dialog was closed without one
   (or could not be shown). */
int Tools_ask_question(const char *title, char *text, const UF_UI_message_buttons_t *buttons);

/* Asks it with the buttons "Yes" and "No": 1 for "Yes", 0 otherwise. */
int Tools_ask_yes_no(const char *title, char *text);

#endif
