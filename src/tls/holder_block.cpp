/* The HOLDER entry: the tool's holder sections as one outline, from the
   axis at the holder's base up over each section's outer surface and back
   to the axis at the top. */
#include "src/tls/holder_block.h"

#include <math.h>
#include <stdio.h>

#include "src/table/tool_table.h"
#include "src/tls/tls_writer.h"
#include "src/tools_vericut.h"

/* The quarter turn of the corner geometry: 3.1415926 / 2. */
static const double H = 1.5707963;

/* Draws one section with its lower end at height z; returns -1 when a write
   failed.  *z moves to the section's upper end unless the section is left
   out (a side at right angles to the axis). */
static int write_section(int index, const HolderSection *s, double *z) {
    const double D = s->diameter;
    const double L = s->length;
    const double B = s->taper_angle;
    const double R1 = s->corner_radius;
    printf("\n holder(%d) D=%.2f L=%.2f B=%.4f R1=%.2f", index, D, L, B, R1);

    const double a_minus = H - B;
    const double a_plus = B + H;
    /* Distance from the sharp corner to either end of the fillet. */
    const double y = tan(a_minus * 0.5) * R1;
    if (fabs(B) == H) return 0;

    const double x = tan(B) * L;
    printf("\n\t constant x=%.2f y=%.2f", x, y);
    const double r = D * 0.5;
    const double z0 = *z;

    double corner_x, corner_y;
    if (B >= 0) {
        corner_x = r + y * cos(a_minus);
        corner_y = z0 + y * sin(a_minus);
    } else {
        corner_x = r - y * cos(a_plus);
        corner_y = z0 + y * sin(a_plus);
    }

    int failed = 0;
    if (R1 != 0) {
        failed |= tls_write("        PTS { (%.5f,%.5f) }\n", r - y, z0);
        failed |= tls_write("        ARC (%.5f,%.5f,%.5f) \n", r - y, z0 + R1, R1);
        failed |= tls_write("        PTS { (%.5f,%.5f) } \n", corner_x, corner_y);
    } else if (x != 0) {
        failed |= tls_write("        PTS { (%.5f,%.5f) }\n", r, z0);
    } else {
        failed |= tls_write("        PTS { (%.5f,%.5f) } \n", r + x, z0);
    }
    failed |= tls_write("        PTS { (%.5f,%.5f) } \n", r + x, z0 + L);
    *z = z0 + L;
    return failed ? -1 : 0;
}

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

    int failed = 0;
    failed |= tls_write("  HOLDER {\n    ASSEMBLY {\n      SOR {\n");
    failed |= tls_write("        PTS { (0,0) }\n");
    if (offset != 0) failed |= tls_write("        PTS { (0,%.5f) }\n", -offset);

    int cnt_holder = 0;
    HolderSection **dhlder = NULL;
    int code = TOOLS_CHECK(UF_CUTTER_ask_holder_data(uTool[i].tls,&cnt_holder,&dhlder));
    int sections = code == 0 && dhlder != NULL && cnt_holder > 0 ? cnt_holder : 0;

    /* For an offset of 0 the base height is negative zero, as written. */
    double z = -offset;
    for (int k = 0; k < sections; ++k)
        if (dhlder[k] != NULL) failed |= write_section(k, dhlder[k], &z);

    failed |= tls_write("        PTS { (0,%.5f) } \n", z);
    failed |= tls_write("      }\n    }\n  }\n");

    UF_free(dhlder);
    cnt_holder = 0;
    return failed ? -1 : 0;
}
