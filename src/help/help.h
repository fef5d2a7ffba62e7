/* The Help report and the tool table dump. */
#ifndef KESTO_SRC_HELP_HELP_H
#define KESTO_SRC_HELP_HELP_H

int Tools_help(void);
int Tools_list(int n);

#endif
