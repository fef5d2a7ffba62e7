/* The HOLDER entry: the tool's holder sections, asked of the host, written
   as one outline from the axis at the holder's base up over each section's
   outer surface and back to the axis at the top. */
#include "src/tls/holder_block.h"

#include <math.h>
#include <stdio.h>

#include "src/call_check.h"
#include "src/table/tool_table.h"
#include "src/tool_note.h"
#include "src/tls/holder_outline.h"
#include "src/tls/tls_writer.h"

int Tools_write_holder(int i) {
    if (i < 0 || i >= TOOL_TABLE_SIZE) return 0;
    /* Counts and arrays that a failed query did not set are not used. */
    int knt = 0;
    if (TOOLS_CHECK(UF_CUTTER_ask_section_count(uTool[i].tls, &knt )) != 0) knt = 0;
    printf("\nNumber of holder stacks defined is %d ", knt);
    if (knt <= 0) return 0;

    double offset = 0.0;
    if (TOOLS_CHECK(UF_PARAM_ask_double_value(uTool[i].tls, UF_PARAM_TL_HOLDER_OFFSET, &offset )) != 0)
        offset = 0.0;
    /* An offset that is no number counts as none, like one not given. */
    if (!isfinite(offset)) {
        Tools_note("Tools_write_holder", uTool[i].name, "holder offset not finite, written as 0");
        offset = 0.0;
    }

    /* The sections are asked for before anything is written: when the host
       cannot give them, the record gets no HOLDER entry rather than an
       empty outline that would pass for the tool's holder. */
    int cnt_holder = 0;
    HolderSection **dhlder = NULL;
    if (TOOLS_CHECK(UF_CUTTER_ask_holder_data(uTool[i].tls,&cnt_holder,&dhlder)) != 0) {
        UF_free(dhlder);
        return 0;
    }
    int sections = dhlder != NULL && cnt_holder > 0 ? cnt_holder : 0;

    int failed = 0;
    failed |= tls_write("  HOLDER {\n    ASSEMBLY {\n      SOR {\n");
    failed |= tls_write("        PTS { (0,0) }\n");
    if (offset != 0) failed |= tls_write("        PTS { (0,%.5f) }\n", -offset);

    /* For an offset of 0 the base height is negative zero, as written.  A
       section with a number that is not finite ends the outline there. */
    double z = -offset;
    int stopped = 0;
    for (int k = 0; k < sections; ++k) {
        const HolderSection *s = dhlder[k];
        if (s == NULL) continue;
        printf("\n holder(%d) D=%.2f L=%.2f B=%.4f R1=%.2f", k, s->diameter, s->length, s->taper_angle,
               s->corner_radius);
        if (stopped) continue;
        HolderSectionOutline outline;
        holder_section_outline(s, z, &outline);
        if (!outline.drawn) continue;
        /* its last point stands at the height it reaches */
        if (!cutter_profile_is_finite(&outline.lines)) {
            Tools_note("Tools_write_holder", uTool[i].name, "holder(%d) not finite, the holder ends below it", k);
            stopped = 1;
            continue;
        }
        printf("\n\t constant x=%.2f y=%.2f", outline.x, outline.y);
        for (int n = 0; n < outline.lines.count; ++n) failed |= tls_write_profile_line(&outline.lines.lines[n]);
        z = outline.top;
    }

    failed |= tls_write("        PTS { (0,%.5f) } \n", z);
    failed |= tls_write("      }\n    }\n  }\n");

    UF_free(dhlder);
    cnt_holder = 0;
    return failed ? -1 : 0;
}
