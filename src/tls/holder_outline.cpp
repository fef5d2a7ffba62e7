/* The outline of one holder section: a cylinder or truncated cone whose
   lower outer corner may carry a fillet.  Exact comparisons of doubles, as
   the records have always been drawn. */
#include "src/tls/holder_outline.h"

#include <math.h>

void holder_section_outline(const HolderSection *s, double z, HolderSectionOutline *o) {
    const double H = HOLDER_QUARTER_TURN;
    const double D = s->diameter;
    const double L = s->length;
    const double B = s->taper_angle;
    const double R1 = s->corner_radius;
    const double a_minus = H - B;
    const double a_plus = B + H;

    o->lines.count = 0;
    o->x = 0;
    o->y = tan(a_minus * 0.5) * R1;
    o->top = z;
    o->drawn = fabs(B) != H;
    if (!o->drawn) return;

    const double x = tan(B) * L;
    const double y = o->y;
    const double r = D * 0.5;
    o->x = x;

    double corner_x, corner_y;
    if (B >= 0) {
        corner_x = r + y * cos(a_minus);
        corner_y = z + y * sin(a_minus);
    } else {
        corner_x = r - y * cos(a_plus);
        corner_y = z + y * sin(a_plus);
    }

    if (R1 != 0) {
        /* The fillet's centre lies straight above its start on the lower face. */
        profile_add_line(&o->lines, PROFILE_PLAIN_POINT, r - y, z);
        profile_add_line(&o->lines, PROFILE_ARC, r - y, z + R1, R1);
        profile_add_line(&o->lines, PROFILE_POINT, corner_x, corner_y);
    } else if (x != 0) {
        profile_add_line(&o->lines, PROFILE_PLAIN_POINT, r, z);
    } else {
        profile_add_line(&o->lines, PROFILE_POINT, r + x, z);
    }
    profile_add_line(&o->lines, PROFILE_POINT, r + x, z + L);
    o->top = z + L;
}
