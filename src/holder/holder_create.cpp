/* Template holder stacks for the tools that have none: nine sections
   appended to each such tool in the host, from a small or a large row. */
#include "src/holder/holder_create.h"

#include <math.h>
#include <stdio.h>

#include "host/uf_api.h"
#include "src/call_check.h"
#include "src/question.h"
#include "src/table/tool_table.h"
#include "src/text_buffer.h"

/* Row 0 small, row 1 large. */
static const HolderPreset holder_presets[2] = {
    {68.4, 44.45, 63.55, 50.0, 35.0, 19.1, 3.2},
    {101.75, 69.85, 97.5, 80.0, 35.0, 19.1, 3.2},
};

/* Angles in radians, with pi taken as 3.1415926. */
#define CONE_TAPER 0.052359876666666666   /* 3 degrees */
#define GROOVE_FLANK 1.0471975333333332   /* 60 degrees */
#define GROOVE_DEPTH 0.5235987666666666   /* 30 degrees */

#define LARGE_DIAMETER 32.0
#define NECK_REDUCTION 4.0
#define THIRD 0.3333333333333333

#define QUESTION_TEXT_SIZE 256

static void fill_section(HolderSection *section, double diameter, double length, double taper_angle) {
    section->diameter = diameter;
    section->length = length;
    section->taper_angle = taper_angle;
    section->corner_radius = 0.0;
}

/* Appends the nine sections of the template, from the bottom up.  Each
   append is its own check site, so a failure report names its section. */
static void append_stack(tag_t tls, const HolderPreset *p, double d1, double l1) {
    double g = (p->flange_level - p->neck_length) * THIRD;
    double g3 = g * THIRD;
    double d5 = p->flange_diameter - 2 * (tan(GROOVE_DEPTH) * g);
    HolderSection stack_data;

    fill_section(&stack_data, d1, l1, 0.0);
    TOOLS_CHECK(UF_CUTTER_create_holder_section(tls, &stack_data));
    fill_section(&stack_data, p->cone_diameter, p->cone_length, CONE_TAPER);
    TOOLS_CHECK(UF_CUTTER_create_holder_section(tls, &stack_data));
    fill_section(&stack_data, p->cone_diameter - NECK_REDUCTION, p->neck_length, 0.0);
    TOOLS_CHECK(UF_CUTTER_create_holder_section(tls, &stack_data));
    fill_section(&stack_data, p->flange_diameter, g, 0.0);
    TOOLS_CHECK(UF_CUTTER_create_holder_section(tls, &stack_data));
    fill_section(&stack_data, p->flange_diameter, g3, -GROOVE_FLANK);
    TOOLS_CHECK(UF_CUTTER_create_holder_section(tls, &stack_data));
    fill_section(&stack_data, d5, g3, 0.0);
    TOOLS_CHECK(UF_CUTTER_create_holder_section(tls, &stack_data));
    fill_section(&stack_data, d5, g3, GROOVE_FLANK);
    TOOLS_CHECK(UF_CUTTER_create_holder_section(tls, &stack_data));
    fill_section(&stack_data, p->flange_diameter, g, 0.0);
    TOOLS_CHECK(UF_CUTTER_create_holder_section(tls, &stack_data));
    fill_section(&stack_data, p->top_diameter, p->top_level - p->flange_level, 0.0);
    TOOLS_CHECK(UF_CUTTER_create_holder_section(tls, &stack_data));
}

/* Gives the tool its template holder unless it has sections already.
   1 when a stack was appended. */
static int create_holder(const ToolRecord *tool) {
    tag_t tls = tool->tls;
    int knt = 0;
    int code = TOOLS_CHECK(UF_CUTTER_ask_section_count(tls, &knt ));
    printf("\nNumber of holder stacks defined is %d ", knt);
    /* Without a count from the host the tool may have a holder already:
       appending would stack a second one on top of it. */
    if (code != 0 || knt != 0) return 0;

    /* The row is chosen by the tool's diameter, also for barrels and
       T-cutters, whose first section is their shank. */
    int large = tool->diameter > LARGE_DIAMETER;
    int row = 0;
    double d1 = tool->diameter;
    double l1 = tool->length - tool->flute_length;
    switch (tool->type) {
    case UF_CUTTER_TYPE_MILL:
        row = large;
        break;
    case UF_CUTTER_TYPE_DRILL:
        l1 = 0.0;
        break;
    case UF_CUTTER_TYPE_BARREL:
    case UF_CUTTER_TYPE_T:
        row = large;
        d1 = tool->shank_dia;
        break;
    default:
        break;
    }
    append_stack(tls, &holder_presets[row], d1, l1);
    return 1;
}

int Tools_create_holders(void) {
    int count = Tools_load_for_command();
    if (count == 0) return 0;

    char question[QUESTION_TEXT_SIZE];
    tv_format(question, sizeof question, "Файл содержит %i инструмент(-ов).\n Строить Holder для каждого из них?",
              uToolCount);
    if (!Tools_ask_yes_no("Create Holder", question)) return 0;

    int created = 0;
    for (int i = 0; i < count; ++i) {
        if (Tools_is_skipped(&uTool[i])) continue;
        created += create_holder(&uTool[i]);
    }
    UF_DISP_refresh();

    char message[QUESTION_TEXT_SIZE];
    tv_format(message, sizeof message, " Create %d holders of %d \n Operation finished.", created, count);
    uc1601(message, 1);
    return count;
}
