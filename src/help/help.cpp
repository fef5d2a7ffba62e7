/* The Help report in the listing window: release, date, settings, a short
   user guide and the dump of the tool table. */
#include "src/help/help.h"

#include <time.h>

#include "host/uf_api.h"
#include "src/call_check.h"
#include "src/settings/settings.h"
#include "src/table/tool_table.h"
#include "src/text_buffer.h"

/* A listing text is built whole before it is written; the longest holds a
   full tool name or both long texts of a record. */
#define LISTING_LINE_SIZE 1024

/* Formats one listing text into line (a char array) and appends it. */
#define LISTING_FORMAT(line, ...) \
    (tv_format(line, sizeof line, __VA_ARGS__), UF_UI_write_listing_window(line))

#define SEPARATOR "\n#============================================================"

static const char *const user_guide[] = {
    "\n  Инструкция по использованию:",
    "\n\t  Выберите Необходимое действие в меню.....",
    "\n ·  'Create File TLS Vericut (All Tools)'",
    "\n      : создает файл инструмента (*.tls) из prt-файла Unigraphics",
    "\n      : поддерживаются следующие типы инструментов:",
    "\n      :• UF_CUTTER_TYPE_MILL",
    "\n      :    UF_CUTTER_SUBTYPE_MILL_5",
    "\n      :    UF_CUTTER_SUBTYPE_MILL_7",
    "\n      :    UF_CUTTER_SUBTYPE_MILL_10",
    "\n      :    UF_CUTTER_SUBTYPE_MILL_BALL",
    "\n      :• UF_CUTTER_TYPE_DRILL :",
    "\n      :    UF_CUTTER_SUBTYPE_DRILL_STD",
    "\n      :    UF_CUTTER_SUBTYPE_DRILL_CENTER_BELL",
    "\n      :    UF_CUTTER_SUBTYPE_DRILL_COUNTERSINK",
    "\n      :    UF_CUTTER_SUBTYPE_DRILL_SPOT_FACE",
    "\n      :    UF_CUTTER_SUBTYPE_DRILL_SPOT_DRILL",
    "\n      :    UF_CUTTER_SUBTYPE_DRILL_BORE",
    "\n      :    UF_CUTTER_SUBTYPE_DRILL_REAM",
    "\n      :    UF_CUTTER_SUBTYPE_DRILL_COUNTERBORE",
    "\n      :    UF_CUTTER_SUBTYPE_DRILL_TAP",
    "\n      :    UF_CUTTER_SUBTYPE_DRILL_THREAD_MILL",
    "\n      :    UF_CUTTER_SUBTYPE_DRILL_STEP",
    "\n      :• UF_CUTTER_TYPE_BARREL",
    "\n      :• UF_CUTTER_TYPE_T",
    "\n ·  'Create File TLS Vericut (Selectively)'",
    "\n      : тоже что и первый пункт меню, только выбор инструмента проводиться пользователем",
    "\n ·  'Find Tools in Database of Vericut'",
    "\n      : создает файл инструмента (*.tls) пользуясь щифром инструмента Unigraphics",
    "\n      : поиск ведется в библиотеках Vericut (отдел САПР, отдел программирования ЧПУ)",
    "\n ·  'Create USR'",
    "\n      : создает usr-файл в который входят УП и *.tls",
    "\n ·  'Import Tools from Vericut'",
    "\n      : импортирует инструмент из (библиотеки) файла (*.tls) Vericut в Unigraphics;",
    "\n ·  'Create ToolHolder in UG (auto)'",
    "\n      : создает для каждого инструмента в prt-файле Holder (шаблонный);",
    "\n ·  'Help'",
    "\n      : краткое руководство по действию, и список загруженного инструмента;",
};

int Tools_list(int n) {
    if (n <= 1) return 0;
    TOOLS_CHECK(UF_UI_open_listing_window());
    char line[LISTING_LINE_SIZE];
    /* The loader reads no member of a list longer than a load can hold, so
       none of the records would be this part's tools. */
    if (n > TOOL_LOAD_LIMIT) {
        LISTING_FORMAT(line, "\n В Cam-части %d инструмент(-ов), загружается не более %d: таблица не загружена, "
                             "список не выводится.\n", Tools_user_count(n), TOOL_LOAD_LIMIT - 1);
        return 0;
    }
    for (int i = 0; i < n; ++i) {
        const ToolRecord *t = &uTool[i];
        LISTING_FORMAT(line, "%i | %i ) name=%s  type=%d  subtype=%d \n", i, n, t->name, t->type, t->subtype);
        LISTING_FORMAT(line, "\t\t D=%.3f L=%.3f FL=%.3f FLn=%d z_ofsset=%.3f ToolNumber=%d\n", t->diameter,
                       t->length, t->flute_length, t->flute_count, t->z_offset, t->tool_number);
        LISTING_FORMAT(line, "\t\t catalog_name=%s cutter_description=%s\n", t->catalog_name,
                       t->cutter_description);
        switch (t->type) {
        case UF_CUTTER_TYPE_MILL:
            LISTING_FORMAT(line, "\t\t MILL ( TAPER_ANG=%.5f TIP_ANG=%.5f r1=%.3f )\n", t->taper_angle,
                           t->tip_angle, t->r1);
            if (t->subtype == UF_CUTTER_SUBTYPE_MILL_7)
                LISTING_FORMAT(line, "\t\t MILL7 ( r1_radius=%.3f r1_center_x=%.3f r1_center_y=%.3f )\n", t->r1,
                               t->r1_center_x, t->r1_center_y);
            else if (t->subtype == UF_CUTTER_SUBTYPE_MILL_10)
                LISTING_FORMAT(line,
                               "\t\t MILL10 ( r2=%.3f r2_center_x=%.3f r2_center_y=%.3f r1_center_x=%.3f "
                               "r1_center_y=%.3f )\n",
                               t->r2, t->r2_center_x, t->r2_center_y, t->r1_center_x, t->r1_center_y);
            break;
        case UF_CUTTER_TYPE_DRILL:
            LISTING_FORMAT(line, "\t\t DRILL ( TIP_ANG=%.5f R1=%.3f POINT_ANG=%.5f )\n", t->tip_angle, t->r1,
                           t->point_angle);
            break;
        case UF_CUTTER_TYPE_BARREL:
            LISTING_FORMAT(line,
                           "\t\t BARREL ( R=%.3f SHANK_DIA=%.3f lower_corner_radius=%.3f "
                           "upper_corner_radius=%.3f barrel_center_y=%.3f)\n",
                           t->barrel_radius, t->shank_dia, t->lower_corner_radius, t->upper_corner_radius,
                           t->barrel_center_y);
            break;
        case UF_CUTTER_TYPE_T:
            LISTING_FORMAT(line,
                           "\t\t CUTTER_T ( SHANK_DIA=%.3f lower_corner_radius=%.3f upper_corner_radius=%.3f )\n",
                           t->shank_dia, t->lower_corner_radius, t->upper_corner_radius);
            break;
        default:
            UF_UI_write_listing_window("\t\t NONE ( - )\n");
            break;
        }
    }
    return 0;
}

int Tools_help(void) {
    char line[LISTING_LINE_SIZE];
    UF_UI_open_listing_window();

    char *release = NULL;
    UF_get_release(&release);
    LISTING_FORMAT(line, "\n Релиз Unigraphics - %s \n", release ? release : "");
    time_t now = time(NULL);
    const char *date = ctime(&now);
    LISTING_FORMAT(line, "\n Дата: %s ", date ? date : "");
    UF_UI_write_listing_window("\n Библиотека построения файла Инструмента (*.tls) для системы Vericut.");
    UF_UI_write_listing_window("\n Авторы:");
    UF_UI_write_listing_window("\n\tkesto_tools_vericut team - 2026");
    UF_UI_write_listing_window("\n\t \n");
    UF_UI_write_listing_window(SEPARATOR);

    UF_UI_write_listing_window("\n Ini настройки:");
    LISTING_FORMAT(line, "\n\t Ini active: %d ", Settings.active);
    LISTING_FORMAT(line, "\n\t Ini Файл: %s ", Settings.file);
    LISTING_FORMAT(line, "\n\t Ini (Run) Файл: %s ", Settings.runpath);
    LISTING_FORMAT(line, "\n\t Ini Version: %s ", Settings.ver);
    LISTING_FORMAT(line, "\n\t Ini Tools: %s ", Settings.path_tool);
    LISTING_FORMAT(line, "\n\t Ini Usr: %s ", Settings.path_usr);
    LISTING_FORMAT(line, "\n\t Ini number find: %d ", Settings.num_path);
    UF_UI_write_listing_window(SEPARATOR);

    UF_UI_write_listing_window("\n");
    for (const char *guide_line : user_guide) UF_UI_write_listing_window(guide_line);
    UF_UI_write_listing_window("\n");
    UF_UI_write_listing_window("\n Более подробную информацию можно получить в отделе САПР :");
    UF_UI_write_listing_window(SEPARATOR);

    LISTING_FORMAT(line, "\n Количество инструментов = %d \n", uToolCount);
    Tools_list(uToolCount);
    UF_UI_write_listing_window(SEPARATOR "\n$$");

    /* The window stays up until the user leaves the wait menu. */
    char items[1][UF_UI_MENU_ITEM_SIZE];
    items[0][0] = '\0';
    int response;
    do {
        response = uc1603("Краткое Руководство пользователя и об авторах ..", 1, items, 1);
    } while (response == 3 || response == 4);
    UF_UI_close_listing_window();
    return 0;
}
