/* Cutter geometry of a tool table entry: the standard form of a mill or drill
   and its STANDARD values, and the outlines of barrel and T-cutters, made of
   the outline lines that holder outlines use too.  Pure computations;
   writing them out is the record writer's job. */
#ifndef KESTO_SRC_TLS_CUTTER_PROFILE_H
#define KESTO_SRC_TLS_CUTTER_PROFILE_H

#include "src/table/tool_table.h"

/* Radians to degrees: 180 / 3.1415926. */
#define CUTTER_DEGREES_PER_RADIAN 57.295780490442965

enum CutterForm {
    CUTTER_FORM_NONE,      /* a mill subtype without a cutter block */
    CUTTER_FORM_FLAT_END,
    CUTTER_FORM_BULL_NOSE,
    CUTTER_FORM_BALL_END,
    CUTTER_FORM_MILL_7,    /* the plain seven values, no kind line */
    CUTTER_FORM_APT_10,
    CUTTER_FORM_DRILL
};

#define CUTTER_STANDARD_MAX 10

/* The form of a mill (type 1).  *subtype comes in as the entry's subtype and
   goes out as the subtype the form stands for (1 may become 2 or 4, 4 may
   become 2); the caller stores it back in the table. */
CutterForm cutter_mill_form(const ToolRecord *tool, int *subtype);

/* The STANDARD values of a form, in order; returns their number (7 or 10),
   0 for CUTTER_FORM_NONE. */
int cutter_standard_values(const ToolRecord *tool, CutterForm form,
                           double values[CUTTER_STANDARD_MAX]);

/* One line of a surface-of-revolution outline. */
enum ProfileLineKind {
    PROFILE_START,          /* (0,0) (v0,0) */
    PROFILE_POINT,          /* (v0,v1) */
    PROFILE_PLAIN_POINT,    /* (v0,v1), no blank before the line end (holder outlines) */
    PROFILE_ARC,            /* centre (v0,v1), radius v2 */
    PROFILE_TWO_POINTS,     /* (v0,v1) (v2,v3) */
    PROFILE_TOP,            /* (0,v0) */
    PROFILE_SHANK_AND_TOP   /* (v0,v1) (v2,v3) (0,v4) */
};

#define PROFILE_LINE_VALUES 5
#define PROFILE_MAX_LINES 12

struct ProfileLine {
    ProfileLineKind kind;
    double v[PROFILE_LINE_VALUES];
};

struct CutterProfile {
    int count;
    ProfileLine lines[PROFILE_MAX_LINES];
};

/* How many numbers a line of this kind carries. */
int profile_value_count(ProfileLineKind kind);

/* Appends one line; nothing when the outline is full. */
void profile_add_line(CutterProfile *profile, ProfileLineKind kind, double a, double b = 0, double c = 0,
                      double d = 0, double e = 0);

/* The outline of a barrel (type 7) and of a T-cutter (type 8). */
void cutter_barrel_profile(const ToolRecord *tool, CutterProfile *profile);
void cutter_t_profile(const ToolRecord *tool, CutterProfile *profile);

/* 1 when every number of the outline is finite. */
int cutter_profile_is_finite(const CutterProfile *profile);

#endif
