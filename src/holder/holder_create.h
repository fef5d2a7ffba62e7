/* Template holder stacks for the tools that have none. */
#ifndef KESTO_SRC_HOLDER_HOLDER_CREATE_H
#define KESTO_SRC_HOLDER_HOLDER_CREATE_H

struct HolderPreset {
    double cone_length;
    double cone_diameter;
    double flange_diameter;
    double top_diameter;
    double top_level;
    double flange_level;
    double neck_length;
};

/* Returns the table count of the pass over the tools, 0 when stopped before. */
int Tools_create_holders(void);

#endif
