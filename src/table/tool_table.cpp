/* The tool table: loaded from the setup's machine-tool root group. */
#include "src/table/tool_table.h"

#include <stdio.h>
#include <string.h>

#include "src/call_check.h"
#include "src/shared_facts.h"
#include "src/text_buffer.h"

ToolRecord uTool[TOOL_TABLE_SIZE];
int uToolCount;

int Tools_is_skipped(const ToolRecord *tool) {
    return kesto_member_skipped(tool->type, tool->subtype, tool->name);
}

/* Parameter reads: a value the host does not give reads as zero, never as
   what the record held for an earlier tool. */
static double param_double(tag_t tool, int param) {
    double value = 0.0;
    UF_PARAM_ask_double_value(tool, param, &value);
    return value;
}

static int param_int(tag_t tool, int param) {
    int value = 0;
    UF_PARAM_ask_int_value(tool, param, &value);
    return value;
}

/* A text parameter into dst: empty, then the host's text when there is one. */
static void param_text(tag_t tool, int param, char *dst, size_t size) {
    char work[UF_TEXT_BUFSIZE] = "";
    UF_PARAM_ask_str_value(tool, param, work);
    work[sizeof work - 1] = '\0';
    dst[0] = '\0';
    if (work[0] != '\0') tv_copy(dst, size, work);
}

static void read_tool(ToolRecord *t, tag_t tag) {
    t->tls = tag;

    /* A member that is no cutter (a pocket or carrier group of the root),
       or one the host cannot name, gets the negative type and subtype that
       every command skips: a record without a name would identify nothing. */
    int type = 0, subtype = 0;
    if (UF_CUTTER_ask_type_and_subtype(tag, &type, &subtype) != 0) type = subtype = -1;

    char name[UF_TEXT_BUFSIZE] = "";
    if (UF_OBJ_ask_name(tag, name) != 0) type = subtype = -1;
    name[sizeof name - 1] = '\0';
    t->name[0] = '\0';
    tv_copy(t->name, sizeof t->name, name);
    t->type = type;
    t->subtype = subtype;

    t->diameter = param_double(tag, UF_PARAM_TL_DIAMETER);
    t->length = param_double(tag, UF_PARAM_TL_HEIGHT);
    t->flute_length = param_double(tag, UF_PARAM_TL_FLUTE_LN);
    t->flute_count = param_int(tag, UF_PARAM_TL_NUM_FLUTES);
    t->z_offset = param_double(tag, UF_PARAM_TL_Z_OFFSET);
    t->tool_number = param_int(tag, UF_PARAM_TL_NUMBER);

    param_text(tag, UF_PARAM_TL_CATALOG_NUMBER, t->catalog_name, sizeof t->catalog_name);
    param_text(tag, UF_PARAM_TL_DESCRIPTION, t->cutter_description, sizeof t->cutter_description);

    switch (t->type) {
    case UF_CUTTER_TYPE_MILL:
        t->taper_angle = param_double(tag, UF_PARAM_TL_TAPER_ANG);
        t->tip_angle = param_double(tag, UF_PARAM_TL_TIP_ANG);
        t->r1 = param_double(tag, UF_PARAM_TL_COR1_RAD);
        if (t->subtype == UF_CUTTER_SUBTYPE_MILL_7) {
            t->r1_center_x = param_double(tag, UF_PARAM_TL_X_CEN_COR1);
            t->r1_center_y = param_double(tag, UF_PARAM_TL_Y_CEN_COR1);
        } else if (t->subtype == UF_CUTTER_SUBTYPE_MILL_10) {
            t->r2 = param_double(tag, UF_PARAM_TL_COR2_RAD);
            t->r2_center_x = param_double(tag, UF_PARAM_TL_X_CEN_COR2);
            t->r2_center_y = param_double(tag, UF_PARAM_TL_Y_CEN_COR2);
            t->r1_center_x = param_double(tag, UF_PARAM_TL_X_CEN_COR1);
            t->r1_center_y = param_double(tag, UF_PARAM_TL_Y_CEN_COR1);
        }
        break;
    case UF_CUTTER_TYPE_DRILL:
        t->tip_angle = param_double(tag, UF_PARAM_TL_TIP_ANG);
        t->r1 = param_double(tag, UF_PARAM_TL_COR1_RAD);
        t->point_angle = param_double(tag, UF_PARAM_TL_POINT_ANG);
        break;
    case UF_CUTTER_TYPE_BARREL:
        t->barrel_radius = param_double(tag, UF_PARAM_TL_BARREL_RAD);
        t->shank_dia = param_double(tag, UF_PARAM_TL_SHANK_DIA);
        t->lower_corner_radius = param_double(tag, UF_PARAM_TL_LOW_COR_RAD);
        t->upper_corner_radius = param_double(tag, UF_PARAM_TL_UP_COR_RAD);
        t->barrel_center_y = param_double(tag, UF_PARAM_TL_YCEN_BARREL);
        break;
    case UF_CUTTER_TYPE_T:
        t->shank_dia = param_double(tag, UF_PARAM_TL_SHANK_DIA);
        t->lower_corner_radius = param_double(tag, UF_PARAM_TL_LOW_COR_RAD);
        t->upper_corner_radius = param_double(tag, UF_PARAM_TL_UP_COR_RAD);
        break;
    default: break;
    }
}

int Tools_read_from_ugs(void) {
    tag_t setup_tag = NULL_TAG;
    tag_t tool_grp = NULL_TAG;
    int count_t = 0;
    tag_t *tool_list = NULL;

    TOOLS_CHECK(UF_SETUP_ask_setup(&setup_tag));
    TOOLS_CHECK(UF_SETUP_ask_mct_root(setup_tag, &tool_grp));
    /* A failed member-list query gives no count and no array to walk. */
    if (TOOLS_CHECK(UF_NCGROUP_ask_member_list(tool_grp, &count_t, &tool_list)) != 0) count_t = 0;
    if (tool_list == NULL || count_t < 0) count_t = 0;

    uToolCount = count_t;
    printf("\n Tools_read_from_ugs -> uToolCount=%d", count_t);

    if (count_t > TOOL_LOAD_LIMIT)
        printf("\n Tools_read_from_ugs -> more than %d tools: no tool read ", TOOL_LOAD_LIMIT);

    if (count_t != 1)
        for (int i = 0; i < count_t && count_t <= TOOL_LOAD_LIMIT; ++i) read_tool(&uTool[i], tool_list[i]);

    UF_free(tool_list);
    return count_t;
}

int Tools_user_count(int members) { return members > 0 ? members - 1 : 0; }

int Tools_load_for_command(void) {
    int count = Tools_read_from_ugs();
    if (count <= 1) {
        uc1601("В Cam-части - Нет инструмента.....\n Операция прервана.", 1);
        return 0;
    }
    /* A member list longer than a load can hold is not read at all: no
       record of the table belongs to this part. */
    if (count > TOOL_LOAD_LIMIT) {
        char message[160];
        tv_format(message, sizeof message, TOOL_LIMIT_MESSAGE, Tools_user_count(count), TOOL_LOAD_LIMIT - 1);
        uc1601(message, 1);
        return 0;
    }
    return count;
}
