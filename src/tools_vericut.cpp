/* Entry points and main menu of kesto_tools_vericut. */
#include "src/tools_vericut.h"

#include <stdio.h>

#include "src/help/help.h"
#include "src/holder/holder_create.h"
#include "src/settings/settings.h"
#include "src/status_report.h"
#include "src/text_buffer.h"
#include "src/tls/export_command.h"
#include "src/tls/tls_file.h"

#if defined(_WIN32)
#  include <windows.h>

/* The only load-time work: no per-thread notifications. */
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
#endif

#define MENU_ITEM_COUNT 6

static const char *const menu_item_texts[MENU_ITEM_COUNT] = {
    "Create File TLS Vericut (All Tools)",
    "Create File TLS Vericut (Selectively)",
    "Find Tools in Database of Vericut",
    "Find Tools in Vericut   (Selectively)",
    "Create ToolHolder in UG (auto)",
    "Help",
};

void ufusr(char *param, int *retcod, int param_len) {
    (void)param;
    (void)param_len;
    int code = UF_initialize();
    if (code == 0) {
        Tools_ui_mgr();
        code = UF_terminate();
    }
    Tools_report_status(code);
    *retcod = 0;
}

int ufusr_ask_unload(void) { return 1; }

int Tools_option_inactive(int option) {
    (void)option;
    uc1601("Опция не активна.....\n Операция прервана.", 1);
    return 0;
}

int Tools_ui_mgr(void) {
    int module_id = 0;
    UF_ask_application_module(&module_id);
    if (module_id != UF_APP_CAM) {
        uc1601("Запуск DLL - производится из модуля обработки\n -2003г.", 1);
        return -1;
    }
    if (UF_PART_ask_display_part() == NULL_TAG) {
        uc1601("Cam-часть не активна.....\n Программа прервана.", 1);
        return -2;
    }
    _ini_read();
    printf("\n ----------------------- Start Tools_ui_mgr ");
    tv_copy(tls_file_name, sizeof tls_file_name, "1.tls");

    char items[UF_UI_MENU_MAX_ITEMS][UF_UI_MENU_ITEM_SIZE];
    for (int i = 0; i < MENU_ITEM_COUNT; ++i) tv_copy(items[i], sizeof items[i], menu_item_texts[i]);

    int response;
    do {
        response = uc1603("Select menu ", 5, items, MENU_ITEM_COUNT);
        printf("\n Tools_ui_mgr -> response=%d ", response);
        switch (response) {
        case 5: Tools_ui_create(1); break;
        case 6: Tools_ui_create(2); break;
        case 7: Tools_option_inactive(1); break;
        case 8: Tools_option_inactive(2); break;
        case 9: Tools_create_holders(); break;
        case 10: Tools_help(); break;
        default: break;
        }
    } while (response != UF_UI_BACK && response != UF_UI_CANCEL && response != UF_UI_CANNOT_SHOW);

    printf("\n ----------------------- End Tools_ui_mgr ");
    return 0;
}

void Tools_report_status(int code) {
    if (code != 0) Tools_status_report(code, 1);
}
