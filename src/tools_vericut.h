/* Entry points and main menu of kesto_tools_vericut. */
#ifndef KESTO_SRC_TOOLS_VERICUT_H
#define KESTO_SRC_TOOLS_VERICUT_H

#include "host/uf_api.h"

#if defined(_WIN32)
#  define TOOLS_EXPORT __declspec(dllexport)
#else
#  define TOOLS_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
/* The host's user-function entry: called once per run. */
TOOLS_EXPORT void ufusr(char *param, int *retcod, int param_len);
/* 1: unload the library as soon as ufusr has returned. */
TOOLS_EXPORT int ufusr_ask_unload(void);
}

/* The main menu; 0 when left, -1 outside the CAM application, -2 without a part. */
int Tools_ui_mgr(void);

/* Menu items 3 and 4: not available. */
int Tools_option_inactive(int option);

/* Reports a failed opening or closing of the host interface. */
void Tools_report_status(int code);

#endif
