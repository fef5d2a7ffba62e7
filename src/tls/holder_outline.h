/* Holder geometry: the outline lines of one holder section, from its four
   values and the height of its lower end.  Pure computations; asking the
   host and writing them out is the holder block's job. */
#ifndef KESTO_SRC_TLS_HOLDER_OUTLINE_H
#define KESTO_SRC_TLS_HOLDER_OUTLINE_H

#include "host/uf_api.h"
#include "src/tls/cutter_profile.h"

/* The quarter turn of the corner geometry: 3.1415926 / 2. */
#define HOLDER_QUARTER_TURN 1.5707963

struct HolderSectionOutline {
    int drawn;    /* 0: a side at right angles to the axis, left out */
    double x;     /* growth of the radius from the lower to the upper end */
    double y;     /* distance from the sharp corner to either fillet end */
    CutterProfile lines;  /* up to four: plain points, points and an arc */
    double top;   /* the height the section reaches (its lower end when left out);
                     when drawn, the height of its last point */
};

/* The outline of a section whose lower end stands at height z. */
void holder_section_outline(const HolderSection *section, double z, HolderSectionOutline *outline);

#endif
