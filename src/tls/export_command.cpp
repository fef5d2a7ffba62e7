/* The export commands: every entry of the tool table, or the tools selected
   in the navigator, written as a tool library file. */
#include "src/tls/export_command.h"

#include <stdio.h>

#include "host/uf_api.h"
#include "src/call_check.h"
#include "src/question.h"
#include "src/settings/launch.h"
#include "src/status_report.h"
#include "src/table/tool_table.h"
#include "src/text_buffer.h"
#include "src/tls/tls_file.h"
#include "src/tls/tls_writer.h"

/* Room for a question that embeds the whole of tls_file_name. */
#define QUESTION_TEXT_SIZE (TLS_FILE_NAME_SIZE + 256)
/* Filter buffer of the file chooser. */
#define FILE_FILTER_SIZE 132

#define WRITE_FAILED "Ошибка создания файла инструмента .....\n Операция прервана."
#define NOT_A_TOOL "Ошибка выбора !!!\n Выберите инструмент \n Операция прервана."
#define FILE_BUSY "Файл %s \n сейчас записывает другой пользователь.\n Ничего не записано, повторите позже.\n Операция прервана."
#define NO_RECORD "Ни один инструмент не записан.....\n Файл %s не изменён.\n Операция прервана."

/* Answers of the existing-file question; closing it (0) cancels too. */
#define ANSWER_REWRITE 1
#define ANSWER_APPEND 2

/* How the file steps ended. */
#define FILE_OPEN 1
#define FILE_STOPPED 0
#define FILE_UNOPENABLE (-2)

static const UF_UI_message_buttons_t existing_buttons = {1, 1, 1, "Rewrite", "Append", "Cancel", 1, 2, 3};
static const UF_UI_message_buttons_t open_buttons = {1, 0, 1, "Open", NULL, "No", 1, 0, 2};

int Tools_select_file(void) {
    char filter[FILE_FILTER_SIZE];
    tv_copy(filter, sizeof filter, "*.tls");
    int response = 0;
    int code = UF_UI_create_filebox("Выберите файл с инструментом..", "Выберите файл с инструментом..",
                                    filter, "1.tls", tls_file_name, &response);
    if (code != 0) Tools_status_report(code, 0);
    return response;
}

/* The message that another user is writing tls_file_name (busy), or that
   no record was written to it. */
static void show_file_message(int busy) {
    char text[QUESTION_TEXT_SIZE];
    if (busy) tv_format(text, sizeof text, FILE_BUSY, tls_file_name);
    else tv_format(text, sizeof text, NO_RECORD, tls_file_name);
    uc1601(text, 1);
}

/* Lets the user choose the file, asks about an existing one and opens
   tls_file, writing the header unless appending.  A file that cannot be
   opened (another user writing it included), or a header that cannot be
   written, ends the export here with its message. */
static int open_tls_file(void) {
    if (Tools_select_file() != UF_UI_OK) {
        uc1601("Ошибка выбора файла.....", 1);
        return FILE_STOPPED;
    }
    /* The existence test's own code is not looked at: a failing test
       counts as an existing file and the user is asked. */
    int status = 0;
    UF_CFI_ask_file_exist(tls_file_name, &status);
    const char *mode = "w";
    if (status == 0) {
        char text[QUESTION_TEXT_SIZE];
        tv_format(text, sizeof text, "Файл %s \n существует!\n Перезаписать или Добавить в существующий ?",
                  tls_file_name);
        int answer = Tools_ask_question("Create TLS - файл...", text, &existing_buttons);
        if (answer == ANSWER_APPEND) mode = "a";
        else if (answer != ANSWER_REWRITE) return FILE_STOPPED;
    }
    int opened = tls_file_open(mode);
    if (opened == TLS_FILE_BUSY) {
        show_file_message(1);
        return FILE_UNOPENABLE;
    }
    if (opened != TLS_FILE_OPEN) {
        uc1601(WRITE_FAILED, 1);
        return FILE_UNOPENABLE;
    }
    if (mode[0] == 'w' && fputs(TLS_FILE_HEADER, tls_file) == EOF) {
        tls_file_close(0);
        uc1601(WRITE_FAILED, 1);
        return FILE_STOPPED;
    }
    return FILE_OPEN;
}

/* Ends a record loop: closes the file, which keeps what it held unless
   the loop succeeded and wrote a record, and either reports the failure
   that ended it (a failing close or replace is one too), or that no record
   was written, or offers the simulator.  written: the records written. */
static void finish_export(const char *failure, int written) {
    if (tls_file_close(failure == NULL && written > 0) != 0 && !failure) failure = WRITE_FAILED;
    if (failure) {
        uc1601(failure, 1);
        return;
    }
    if (written == 0) {
        show_file_message(0);
        return;
    }
    char text[QUESTION_TEXT_SIZE];
    tv_format(text, sizeof text, "Файл %s : создан .\n Tools =%d \n Открыть файл инструмента в Vericut'e ?",
              tls_file_name, written);
    if (Tools_ask_question("Open Vericut ...?", text, &open_buttons) == 1) Tools_run_vericut(0, tls_file_name);
}

static int export_all(int count) {
    char text[QUESTION_TEXT_SIZE];
    tv_format(text, sizeof text, "В prt =%i инструмент(-ов).\nСоздать файл инструмента для Vericut'a ?",
              uToolCount);
    if (!Tools_ask_yes_no("Create TLS file..?", text)) return 0;

    int opened = open_tls_file();
    if (opened != FILE_OPEN) return opened == FILE_UNOPENABLE ? -2 : 0;

    const char *failure = NULL;
    int written = 0;
    for (int i = 0; i < count; ++i) {
        if (Tools_write_tls(i, 0) < 0) {
            failure = WRITE_FAILED;
            break;
        }
        written += tls_entry_has_record(i);
    }
    finish_export(failure, written);
    return 0;
}

/* Gives the navigator's node array back to the host, once. */
static void give_back_nodes(tag_t **nodes) {
    if (*nodes) UF_free(*nodes);
    *nodes = NULL;
}

/* The selective export once the navigator has answered.  The node array
   goes back before the simulator is offered. */
static int export_nodes(int count, int obj_count, tag_t **nodes) {
    const tag_t *tags = *nodes;
    if (obj_count <= 0 || !tags) {
        uc1601("There are no Tools selected\n  1) Select tools.\n  2) then pick button 'Create ...'", 1);
        return 0;
    }
    int type = 0;
    int subtype = 0;
    TOOLS_CHECK(UF_OBJ_ask_type_and_subtype (tags[0], &type, &subtype ));
    if (type != UF_machining_tool_type) {
        uc1601(NOT_A_TOOL, 1);
        return 0;
    }

    char text[QUESTION_TEXT_SIZE];
    tv_format(text, sizeof text,
              "Инструмент(-ов):\n В prt =%i\n Вы выбрали =%d\n Создать файл инструмента для Vericut'a ?",
              uToolCount, obj_count);
    if (!Tools_ask_yes_no("Create TLS file..?", text)) return 0;

    int opened = open_tls_file();
    if (opened != FILE_OPEN) return opened == FILE_UNOPENABLE ? -2 : 0;

    /* Table order, not selection order: each entry is written once for
       every selected node that is its tool. */
    const char *failure = NULL;
    int written = 0;
    for (int i = 0; i < count && !failure; ++i) {
        for (int j = 0; j < obj_count; ++j) {
            type = 0; /* a failed query does not pass for the previous node's type */
            TOOLS_CHECK(UF_OBJ_ask_type_and_subtype (tags[j], &type, &subtype ));
            if (type != UF_machining_tool_type) {
                failure = NOT_A_TOOL;
                break;
            }
            if (tags[j] != uTool[i].tls) continue;
            if (Tools_write_tls(i, 0) < 0) {
                failure = WRITE_FAILED;
                break;
            }
            written += tls_entry_has_record(i);
        }
    }
    give_back_nodes(nodes);
    finish_export(failure, written);
    return 0;
}

static int export_selected(int count) {
    TOOLS_CHECK(UF_UI_ONT_switch_view( UF_UI_ONT_machine_tool ));

    char items[1][UF_UI_MENU_ITEM_SIZE];
    tv_copy(items[0], sizeof items[0], "Fix");
    int response = uc1603("Select Tools and pick 'Fix'", 1, items, 1);
    printf("\n Tools_ui_create -> response=%d ", response);
    if (response == UF_UI_BACK || response == UF_UI_CANCEL || response == UF_UI_CANNOT_SHOW) return 0;

    int obj_count = 0;
    tag_t *tags = NULL;
    TOOLS_CHECK(UF_UI_ONT_ask_selected_nodes(&obj_count, &tags));
    int result = export_nodes(count, obj_count, &tags);
    /* The host's array goes back on every path. */
    give_back_nodes(&tags);
    return result;
}

int Tools_ui_create(int mode) {
    tag_t display_part_tag = UF_PART_ask_display_part();
    if (display_part_tag == NULL_TAG) {
        uc1601("Cam-часть не активна.....\n Операция прервана.", 1);
        return 0;
    }
    char disp_part_name[UF_FILENAME_BUFSIZE] = "";
    TOOLS_CHECK(UF_PART_ask_part_name(display_part_tag, disp_part_name));

    int count = Tools_load_for_command();
    if (count == 0) return 0;
    if (mode == 1) return export_all(count);
    if (mode == 2) return export_selected(count);
    return 0;
}
