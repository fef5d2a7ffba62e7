/* The tool table: the cutting tools of the part on display. */
#ifndef KESTO_SRC_TABLE_TOOL_TABLE_H
#define KESTO_SRC_TABLE_TOOL_TABLE_H

#include "host/uf_api.h"

#define TOOL_TABLE_SIZE 101
#define TOOL_NAME_SIZE 260
#define TOOL_CATALOG_SIZE 152
#define TOOL_DESCRIPTION_SIZE 136

/* A load fills at most this many records; a longer member list is not read. */
#define TOOL_LOAD_LIMIT 100

/* What the user is told of a part beyond the load limit, with the tools the
   user counts and the most a load takes (both without the host's NONE
   member, which the member list holds first). */
#define TOOL_LIMIT_MESSAGE "В Cam-части - %d инструмент(-ов), загружается не более %d.....\n Таблица не загружена.\n Операция прервана."

struct ToolRecord {
    tag_t tls;
    int type;
    int subtype;
    char name[TOOL_NAME_SIZE];
    double diameter;
    double length;
    double flute_length;
    double taper_angle;
    double tip_angle;
    double r1;
    double r1_center_x;
    double r1_center_y;
    double r2;
    double r2_center_x;
    double r2_center_y;
    double barrel_radius;
    double shank_dia;
    double lower_corner_radius;
    double upper_corner_radius;
    double barrel_center_y;
    double point_angle;
    int flute_count;
    double z_offset;
    int tool_number;
    char catalog_name[TOOL_CATALOG_SIZE];
    char cutter_description[TOOL_DESCRIPTION_SIZE];
};

extern ToolRecord uTool[TOOL_TABLE_SIZE];
extern int uToolCount;

/* Reloads the table from the setup's machine-tool root; returns the count. */
int Tools_read_from_ugs(void);

/* The tools a member list of that many members holds as the user counts
   them: without the host's NONE member. */
int Tools_user_count(int members);

/* Reloads the table for a command that writes or builds for its tools:
   the count, or 0 after telling the user why there is nothing to work on
   (no tool, or a member list too long to load). */
int Tools_load_for_command(void);

/* 1 when the entry names no tool that a command may write or build for:
   negative type or subtype, or the name "NONE". */
int Tools_is_skipped(const ToolRecord *tool);

#endif
