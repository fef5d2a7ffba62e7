/*
 * Host interface of the CAD/CAM host as the plug-in uses it.
 *
 * Exactly the calls that kesto_tools_vericut makes, with C linkage, the tag
 * and status types and the records they take.  The calls are implemented by
 * the host's libraries: libufun (everything but the user interface) and
 * libugopenint (dialogs, listing window, navigator).  In this project both
 * libraries are the simulated host under host/sim.
 *
 * Buffer contract: wherever the host writes a text into a buffer that the
 * caller provides, the buffer has the size named beside the call and the host
 * never writes more than that, terminating zero included.
 */
#ifndef KESTO_HOST_UF_API_H
#define KESTO_HOST_UF_API_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(KESTO_BUILDING_HOST)
#    define UF_API __declspec(dllexport)
#  else
#    define UF_API __declspec(dllimport)
#  endif
#else
#  define UF_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A host object (part, setup, group, tool, navigator node); 0 is no object. */
typedef uint32_t tag_t;
#define NULL_TAG ((tag_t)0)

typedef int logical;

/* Buffer sizes of the host's text results, terminating zero included. */
#define UF_FAIL_MESSAGE_BUFSIZE 133 /* UF_get_fail_message */
#define UF_TEXT_BUFSIZE 136         /* UF_OBJ_ask_name, UF_PARAM_ask_str_value */
#define UF_FILENAME_BUFSIZE 260     /* UF_PART_ask_part_name, UF_UI_create_filebox */
#define UF_UI_MENU_ITEM_SIZE 38     /* one uc1603 item */
#define UF_UI_MENU_MAX_ITEMS 14     /* the host's largest uc1603 menu */

/* Application module of the CAM (machining) application. */
#define UF_APP_CAM 16

/* Object type of a tool. */
#define UF_machining_tool_type 109

/* Cutter types and mill subtypes. */
#define UF_CUTTER_TYPE_MILL 1
#define UF_CUTTER_TYPE_DRILL 2
#define UF_CUTTER_TYPE_BARREL 7
#define UF_CUTTER_TYPE_T 8
#define UF_CUTTER_SUBTYPE_MILL_5 1
#define UF_CUTTER_SUBTYPE_MILL_7 2
#define UF_CUTTER_SUBTYPE_MILL_10 3
#define UF_CUTTER_SUBTYPE_MILL_BALL 4

/* Tool parameters. */
#define UF_PARAM_TL_DIAMETER 1000
#define UF_PARAM_TL_HEIGHT 1001
#define UF_PARAM_TL_FLUTE_LN 1002
#define UF_PARAM_TL_TAPER_ANG 1003
#define UF_PARAM_TL_TIP_ANG 1004
#define UF_PARAM_TL_COR1_RAD 1005
#define UF_PARAM_TL_X_CEN_COR1 1006
#define UF_PARAM_TL_Y_CEN_COR1 1007
#define UF_PARAM_TL_COR2_RAD 1008
#define UF_PARAM_TL_X_CEN_COR2 1009
#define UF_PARAM_TL_Y_CEN_COR2 1010
#define UF_PARAM_TL_BARREL_RAD 1011
#define UF_PARAM_TL_SHANK_DIA 1012
#define UF_PARAM_TL_LOW_COR_RAD 1013
#define UF_PARAM_TL_UP_COR_RAD 1014
#define UF_PARAM_TL_YCEN_BARREL 1015
#define UF_PARAM_TL_POINT_ANG 1016
#define UF_PARAM_TL_NUM_FLUTES 1017
#define UF_PARAM_TL_Z_OFFSET 1034
#define UF_PARAM_TL_NUMBER 1038
#define UF_PARAM_TL_CATALOG_NUMBER 1043
#define UF_PARAM_TL_HOLDER_OFFSET 1049
#define UF_PARAM_TL_DESCRIPTION 1068

/* Navigator views. */
#define UF_UI_ONT_machine_tool 3

/* Dialog type of a question. */
#define UF_UI_MESSAGE_QUESTION 3

/* uc1603 responses the plug-in acts on. */
#define UF_UI_BACK 1
#define UF_UI_CANCEL 2
#define UF_UI_MENU_FIRST_ITEM 5
#define UF_UI_CANNOT_SHOW 19

/* UF_UI_create_filebox: a file was chosen. */
#define UF_UI_OK 2

/* The buttons of a question: each shown or not, its label, its response. */
typedef struct UF_UI_message_buttons_s {
    logical button1;
    logical button2;
    logical button3;
    const char *label1;
    const char *label2;
    const char *label3;
    int response1;
    int response2;
    int response3;
} UF_UI_message_buttons_t;

/* One holder section, lowest end first; angles in radians. */
typedef struct HolderSection {
    double diameter;
    double length;
    double taper_angle;
    double corner_radius;
} HolderSection;

/* ---- libufun ---------------------------------------------------------- */

UF_API int UF_initialize(void);
UF_API int UF_terminate(void);
/* message: UF_FAIL_MESSAGE_BUFSIZE bytes; 0 when the host has a text. */
UF_API int UF_get_fail_message(int fail_code, char message[UF_FAIL_MESSAGE_BUFSIZE]);
UF_API int UF_ask_application_module(int *module_id);
UF_API tag_t UF_PART_ask_display_part(void);
/* part_fspec: UF_FILENAME_BUFSIZE bytes. */
UF_API int UF_PART_ask_part_name(tag_t part, char part_fspec[UF_FILENAME_BUFSIZE]);
UF_API int UF_SETUP_ask_setup(tag_t *setup_tag);
UF_API int UF_SETUP_ask_mct_root(tag_t setup_tag, tag_t *mct_group);
/* *list is host-allocated; give it back with UF_free. */
UF_API int UF_NCGROUP_ask_member_list(tag_t group, int *count, tag_t **list);
UF_API int UF_CUTTER_ask_type_and_subtype(tag_t tool, int *type, int *subtype);
/* name: UF_TEXT_BUFSIZE bytes. */
UF_API int UF_OBJ_ask_name(tag_t object, char name[UF_TEXT_BUFSIZE]);
UF_API int UF_OBJ_ask_type_and_subtype(tag_t object, int *type, int *subtype);
UF_API int UF_PARAM_ask_double_value(tag_t object, int param, double *value);
UF_API int UF_PARAM_ask_int_value(tag_t object, int param, int *value);
/* value: UF_TEXT_BUFSIZE bytes. */
UF_API int UF_PARAM_ask_str_value(tag_t object, int param, char value[UF_TEXT_BUFSIZE]);
UF_API int UF_CUTTER_ask_section_count(tag_t tool, int *count);
/* *sections: host-allocated array of *count pointers; give the array back
   with UF_free (the sections themselves stay the host's). */
UF_API int UF_CUTTER_ask_holder_data(tag_t tool, int *count, HolderSection ***sections);
/* Appends a copy of *section on top of the tool's holder stack. */
UF_API int UF_CUTTER_create_holder_section(tag_t tool, HolderSection *section);
UF_API int UF_DISP_refresh(void);
/* *status: 0 when the file exists. */
UF_API int UF_CFI_ask_file_exist(const char *file_spec, int *status);
/* *value: the host's text, or NULL when the variable is not set. */
UF_API int UF_translate_variable(const char *variable, char **value);
UF_API int UF_print_syslog(const char *text, logical flush);
/* *release: the host's own text; not to be freed. */
UF_API int UF_get_release(char **release);
UF_API void UF_free(void *data);

/* ---- libugopenint ----------------------------------------------------- */

UF_API int UF_UI_set_status(const char *text);
UF_API int UF_UI_open_listing_window(void);
UF_API int UF_UI_write_listing_window(const char *text);
UF_API int UF_UI_close_listing_window(void);
/* A message the user acknowledges. */
UF_API int uc1601(const char *message, int wait);
/* A menu of count items of UF_UI_MENU_ITEM_SIZE bytes; 5 + n for item n. */
UF_API int uc1603(const char *title, int default_item, char items[][UF_UI_MENU_ITEM_SIZE],
                  int count);
UF_API int UF_UI_message_dialog(const char *title, int dialog_type, char **messages,
                                int num_messages, logical translate,
                                UF_UI_message_buttons_t *buttons, int *response);
/* filename: UF_FILENAME_BUFSIZE bytes; *response UF_UI_OK when chosen. */
UF_API int UF_UI_create_filebox(const char *prompt, const char *title, char *filter,
                                const char *default_name, char filename[UF_FILENAME_BUFSIZE],
                                int *response);
UF_API int UF_UI_ONT_switch_view(int view);
/* *nodes: host-allocated; give it back with UF_free. */
UF_API int UF_UI_ONT_ask_selected_nodes(int *count, tag_t **nodes);

#ifdef __cplusplus
}
#endif

#endif
