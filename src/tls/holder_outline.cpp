/* The outline of one holder section: a cylinder or truncated cone whose
   lower outer corner may carry a fillet.  Exact comparisons of doubles, as
   the records have always been drawn. */
#include "src/tls/holder_outline.h"

#include <math.h>

static void add_line(HolderSectionOutline *o, HolderLineKind kind, double a, double b, double c = 0) {
    HolderLine *line = &o->lines[o->count++];
    line->kind = kind;
    line->v[0] = a;
    line->v[1] = b;
    line->v[2] = c;
}

void holder_section_outline(const HolderSection *s, double z, HolderSectionOutline *o) {
    const double H = HOLDER_QUARTER_TURN;
    const double D = s->diameter;
    const double L = s->length;
    const double B = s->taper_angle;
    const double R1 = s->corner_radius;
    const double a_minus = H - B;
    const double a_plus = B + H;

    o->count = 0;
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
        add_line(o, HOLDER_PLAIN_POINT, r - y, z);
        add_line(o, HOLDER_ARC, r - y, z + R1, R1);
        add_line(o, HOLDER_SPACED_POINT, corner_x, corner_y);
    } else if (x != 0) {
        add_line(o, HOLDER_PLAIN_POINT, r, z);
    } else {
        add_line(o, HOLDER_SPACED_POINT, r + x, z);
    }
    add_line(o, HOLDER_SPACED_POINT, r + x, z + L);
    o->top = z + L;
}

int holder_section_is_finite(const HolderSectionOutline *o) {
    if (!isfinite(o->top)) return 0;
    for (int k = 0; k < o->count; ++k) {
        int n = o->lines[k].kind == HOLDER_ARC ? 3 : 2;
        for (int j = 0; j < n; ++j)
            if (!isfinite(o->lines[k].v[j])) return 0;
    }
    return 1;
}
