/* Holder geometry: the outline lines of one holder section, from its four
   values and the height of its lower end.  Pure computations; asking the
   host and writing them out is the holder block's job. */
#ifndef KESTO_SRC_TLS_HOLDER_OUTLINE_H
#define KESTO_SRC_TLS_HOLDER_OUTLINE_H

#include "host/uf_api.h"

/* The quarter turn of the corner geometry: 3.1415926 / 2. */
#define HOLDER_QUARTER_TURN 1.5707963

enum HolderLineKind {
    HOLDER_PLAIN_POINT,   /* (v0,v1), no blank before the line end */
    HOLDER_SPACED_POINT,  /* (v0,v1), a blank before the line end */
    HOLDER_ARC            /* centre (v0,v1), radius v2 */
};

struct HolderLine {
    HolderLineKind kind;
    double v[3];
};

#define HOLDER_SECTION_MAX_LINES 4

struct HolderSectionOutline {
    int drawn;    /* 0: a side at right angles to the axis, left out */
    double x;     /* growth of the radius from the lower to the upper end */
    double y;     /* distance from the sharp corner to either fillet end */
    int count;
    HolderLine lines[HOLDER_SECTION_MAX_LINES];
    double top;   /* the height the section reaches (its lower end when left out) */
};

/* The outline of a section whose lower end stands at height z. */
void holder_section_outline(const HolderSection *section, double z, HolderSectionOutline *outline);

/* 1 when every number of the section's lines and the height it reaches
   are finite. */
int holder_section_is_finite(const HolderSectionOutline *outline);

#endif
