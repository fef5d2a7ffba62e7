/* Cutter forms, STANDARD values and barrel / T-cutter outlines.  Every
   geometric decision is an exact comparison of doubles, as the simulator's
   records have always been written. */
#include "src/tls/cutter_profile.h"

#include <math.h>

CutterForm cutter_mill_form(const ToolRecord *tool, int *subtype) {
    int sub = *subtype;
    if (sub == UF_CUTTER_SUBTYPE_MILL_5) {
        if (tool->taper_angle != 0 || tool->tip_angle != 0) {
            sub = UF_CUTTER_SUBTYPE_MILL_7;
        } else if (tool->r1 == 0) {
            return CUTTER_FORM_FLAT_END;
        } else if (2 * tool->r1 == tool->diameter) {
            sub = UF_CUTTER_SUBTYPE_MILL_BALL;
        } else {
            return CUTTER_FORM_BULL_NOSE;
        }
    }
    if (sub == UF_CUTTER_SUBTYPE_MILL_BALL) {
        if (tool->taper_angle != 0) {
            sub = UF_CUTTER_SUBTYPE_MILL_7;
        } else {
            *subtype = sub;
            return CUTTER_FORM_BALL_END;
        }
    }
    *subtype = sub;
    if (sub == UF_CUTTER_SUBTYPE_MILL_7) return CUTTER_FORM_MILL_7;
    if (sub == UF_CUTTER_SUBTYPE_MILL_10) return CUTTER_FORM_APT_10;
    return CUTTER_FORM_NONE;
}

static int set_values(double out[CUTTER_STANDARD_MAX], const double *in, int n) {
    for (int k = 0; k < n; ++k) out[k] = in[k];
    return n;
}

int cutter_standard_values(const ToolRecord *t, CutterForm form, double v[CUTTER_STANDARD_MAX]) {
    const double K = CUTTER_DEGREES_PER_RADIAN;
    switch (form) {
    case CUTTER_FORM_FLAT_END: {
        const double s[] = {t->diameter, 0, 0, 0, 0, 0, t->length};
        return set_values(v, s, 7);
    }
    case CUTTER_FORM_BULL_NOSE: {
        const double s[] = {t->diameter, t->r1, t->diameter * 0.5 - t->r1, t->r1, 0, 0, t->length};
        return set_values(v, s, 7);
    }
    case CUTTER_FORM_BALL_END: {
        const double s[] = {t->diameter, t->r1, 0, t->r1, 0, 0, t->length};
        return set_values(v, s, 7);
    }
    case CUTTER_FORM_MILL_7: {
        const double s[] = {t->diameter,       t->r1,
                            t->r1_center_x,    t->r1_center_y,
                            t->tip_angle * K,  t->taper_angle * K,
                            t->length};
        return set_values(v, s, 7);
    }
    case CUTTER_FORM_APT_10: {
        const double s[] = {t->diameter,      t->r1,          t->r1_center_x,     t->r1_center_y,
                            t->tip_angle * K, t->taper_angle * K, t->length,      t->r2,
                            t->r2_center_x,   t->r2_center_y};
        return set_values(v, s, 10);
    }
    case CUTTER_FORM_DRILL: {
        const double s[] = {t->diameter, 0, 0, 0, (180 - t->point_angle * K) * 0.5, 0, t->length};
        return set_values(v, s, 7);
    }
    case CUTTER_FORM_NONE: break;
    }
    return 0;
}

int profile_value_count(ProfileLineKind kind) {
    switch (kind) {
    case PROFILE_START: return 1;
    case PROFILE_POINT: return 2;
    case PROFILE_PLAIN_POINT: return 2;
    case PROFILE_ARC: return 3;
    case PROFILE_TWO_POINTS: return 4;
    case PROFILE_TOP: return 1;
    case PROFILE_SHANK_AND_TOP: return 5;
    }
    return 0;
}

/* The outlines below never need more lines than the array holds. */
void profile_add_line(CutterProfile *p, ProfileLineKind kind, double a, double b, double c, double d, double e) {
    if (p->count >= PROFILE_MAX_LINES) return;
    ProfileLine *line = &p->lines[p->count++];
    line->kind = kind;
    line->v[0] = a;
    line->v[1] = b;
    line->v[2] = c;
    line->v[3] = d;
    line->v[4] = e;
}

void cutter_barrel_profile(const ToolRecord *t, CutterProfile *p) {
    const double h = t->diameter * 0.5;
    const double R = t->barrel_radius;
    const double yc = t->barrel_center_y;
    const double rl = t->lower_corner_radius;
    const double ru = t->upper_corner_radius;
    const double FL = t->flute_length;
    const double L = t->length;
    const double SD = t->shank_dia;
    const double cx = h - R;
    p->count = 0;

    /* Lower end: the corner circle about (lx, rl) touches the tip plane and
       meets the barrel arc at (tx, ty). */
    if (rl != 0) {
        const double V = sqrt((R - rl) * (R - rl) - (rl - yc) * (rl - yc));
        const double lx = R < rl ? cx - V : cx + V;
        const double ty = yc - R * (yc - rl) / (R - rl);
        const double tx = lx + rl * cos(asin((yc - ty) / R));
        profile_add_line(p, PROFILE_START, lx);
        profile_add_line(p, PROFILE_ARC, lx, rl, rl);
        profile_add_line(p, PROFILE_POINT, tx, ty);
    } else {
        const double x0 = h - (R - sqrt(R * R - yc * yc));
        profile_add_line(p, PROFILE_START, x0);
    }

    profile_add_line(p, PROFILE_ARC, cx, yc, R);

    /* Upper end: the corner circle about (ux, uy) meets the barrel arc at
       (vx, vy) and ends on the flute length. */
    if (ru != 0) {
        const double uy = FL - ru;
        const double W = sqrt((R - ru) * (R - ru) - (uy - yc) * (uy - yc));
        const double ux = R < ru ? cx - W : cx + W;
        const double vy = yc + R * (uy - yc) / (R - ru);
        const double vx = ux + ru * cos(asin((vy - yc) / R));
        profile_add_line(p, PROFILE_POINT, vx, vy);
        profile_add_line(p, PROFILE_ARC, ux, uy, ru);
        profile_add_line(p, PROFILE_POINT, ux, FL);
    } else {
        const double x1 = h - (R - sqrt(R * R - (FL - yc) * (FL - yc)));
        profile_add_line(p, PROFILE_POINT, x1, FL);
    }

    if (SD != 0) profile_add_line(p, PROFILE_TWO_POINTS, SD * 0.5, FL, SD * 0.5, L);
    profile_add_line(p, PROFILE_TOP, L);
}

void cutter_t_profile(const ToolRecord *t, CutterProfile *p) {
    const double h = t->diameter * 0.5;
    const double rl = t->lower_corner_radius;
    const double ru = t->upper_corner_radius;
    const double FL = t->flute_length;
    const double L = t->length;
    const double SD = t->shank_dia;
    p->count = 0;

    profile_add_line(p, PROFILE_START, h - rl);
    if (rl != 0 && rl == ru && 2 * rl == FL) {
        /* Full-radius edge: one arc from the tip plane to the flute length. */
        profile_add_line(p, PROFILE_ARC, h - rl, rl, rl);
        profile_add_line(p, PROFILE_POINT, h - ru, FL);
    } else {
        if (rl != 0) {
            profile_add_line(p, PROFILE_ARC, h - rl, rl, rl);
            profile_add_line(p, PROFILE_POINT, h, rl);
        }
        profile_add_line(p, PROFILE_POINT, h, FL - ru);
        if (ru != 0) {
            profile_add_line(p, PROFILE_ARC, h - ru, FL - ru, ru);
            profile_add_line(p, PROFILE_POINT, h - ru, FL);
        }
    }
    profile_add_line(p, PROFILE_SHANK_AND_TOP, SD * 0.5, FL, SD * 0.5, L, L);
}

int cutter_profile_is_finite(const CutterProfile *p) {
    for (int k = 0; k < p->count; ++k) {
        const ProfileLine *line = &p->lines[k];
        int n = profile_value_count(line->kind);
        for (int j = 0; j < n; ++j)
            if (!isfinite(line->v[j])) return 0;
    }
    return 1;
}
