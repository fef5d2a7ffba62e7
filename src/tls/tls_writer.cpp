/* The TOOLID record of one tool: head, cutter block, holder block, tail. */
#include "src/tls/tls_writer.h"

#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "src/shared_facts.h"
#include "src/table/tool_table.h"
#include "src/tool_note.h"
#include "src/tls/cutter_profile.h"
#include "src/tls/holder_block.h"
#include "src/tls/tls_file.h"

/* The description text holds at most 79 characters; longer ones are cut. */
#define TLS_DESCRIPTION_SIZE 80

int tls_write(const char *fmt, ...) {
    if (tls_file == NULL) return -1;
    va_list ap;
    va_start(ap, fmt);
    int n = vfprintf(tls_file, fmt, ap);
    va_end(ap);
    return n < 0 ? -1 : 0;
}

/* The texts of a record as the simulator can read them. */
static void clean_text(char *text, size_t size) {
    for (size_t k = 0; k < size && text[k] != '\0'; ++k) text[k] = kesto_toolid_byte(text[k]);
}

/* Names the tool whose value is not finite and what is written instead. */
static void report_not_finite(const ToolRecord *t, const char *what, const char *instead) {
    Tools_note("Tools_write_tls", t->name, "%s not finite, %s", what, instead);
}

/* Appends a piece to the description, after a blank unless it is the first. */
static void append(char *desc, size_t size, const char *piece) {
    size_t used = strlen(desc);
    if (used > 0 && used + 1 < size) {
        desc[used++] = ' ';
        desc[used] = '\0';
    }
    if (used + 1 < size) tv_copy(desc + used, size - used, piece);
}

static void append_number(const ToolRecord *t, char *desc, size_t size, const char *label, double value) {
    char piece[TOOL_NAME_SIZE];
    if (!isfinite(value)) {
        report_not_finite(t, label, "left out of the description");
        return;
    }
    tv_format(piece, sizeof piece, "%s%.2f", label, value);
    append(desc, size, piece);
}

/* "D10.00 r0.50 H75.00 END MILL CAT-10", cut to the buffer. */
static void describe(const ToolRecord *t, char *desc, size_t size) {
    desc[0] = '\0';
    append_number(t, desc, size, "D", t->diameter);
    if (t->r1 != 0) append_number(t, desc, size, "r", t->r1);
    append_number(t, desc, size, "H", t->length);
    if (strlen(t->cutter_description) > 2) append(desc, size, t->cutter_description);
    if (strlen(t->catalog_name) > 2) append(desc, size, t->catalog_name);
}

/* Lines 1 to 6 of the mill and profile layouts. */
static int write_cutter_head(double flute_length, double shank_diameter) {
    return tls_write("  TOOLTYPE MILLING\n  STACK YES\n  CUTTER {\n    FLUTE_LENGTH %.5f \n"
                     "    SHANK_DIAMETER %.5f \n    ASSEMBLY {\n",
                     flute_length, shank_diameter);
}

static const char *kind_name(CutterForm form) {
    switch (form) {
    case CUTTER_FORM_FLAT_END: return "FLAT END";
    case CUTTER_FORM_BULL_NOSE: return "BULL NOSE";
    case CUTTER_FORM_BALL_END: return "BALL END";
    case CUTTER_FORM_APT_10: return "APT 10";
    case CUTTER_FORM_DRILL: return "DRILL";
    case CUTTER_FORM_MILL_7:
    case CUTTER_FORM_NONE: break;
    }
    return NULL;
}

static int all_finite(const double *v, int n) {
    for (int k = 0; k < n; ++k)
        if (!isfinite(v[k])) return 0;
    return 1;
}

static int write_standard_values(const ToolRecord *t, CutterForm form, const double *v, int n) {
    if (write_cutter_head(t->flute_length, 0.0) < 0) return -1;
    const char *kind = kind_name(form);
    if (kind && tls_write("      CUTTER_TYPE \"%s\"\n", kind) < 0) return -1;
    int rc;
    if (n == 10)
        rc = tls_write("       STANDARD (%.5f,%.5f,%.5f,%.5f,%.5f,%.5f,%.5f,%.5f,%.5f,%.5f)\n", v[0],
                       v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9]);
    else
        rc = tls_write("      STANDARD (%.5f,%.5f,%.5f,%.5f,%.5f,%.5f,%.5f)\n", v[0], v[1], v[2],
                       v[3], v[4], v[5], v[6]);
    if (rc < 0) return -1;
    return tls_write("    }\n  }\n");
}

/* A cutter whose numbers are not all finite is written in a form that
   still loads: the flat end of its diameter and length, or, when even
   those (or the flute length) are not finite, as a tool without a cutter
   shape.  The tool is named on standard output. */
static int write_fallback(const ToolRecord *t, const char *what) {
    double v[CUTTER_STANDARD_MAX];
    int n = cutter_standard_values(t, CUTTER_FORM_FLAT_END, v);
    if (all_finite(v, n) && isfinite(t->flute_length)) {
        report_not_finite(t, what, "written as FLAT END");
        return write_standard_values(t, CUTTER_FORM_FLAT_END, v, n);
    }
    report_not_finite(t, what, "written as TURNING");
    return tls_write("  TOOLTYPE TURNING\n  STACK NO\n");
}

static int write_standard(const ToolRecord *t, CutterForm form) {
    double v[CUTTER_STANDARD_MAX];
    int n = cutter_standard_values(t, form, v);
    if (n == 0) return 0;
    if (!all_finite(v, n) || !isfinite(t->flute_length)) return write_fallback(t, "STANDARD values");
    return write_standard_values(t, form, v, n);
}

int tls_write_profile_line(const ProfileLine *line) {
    const double *v = line->v;
    switch (line->kind) {
    case PROFILE_START: return tls_write("        PTS { (0,0) (%.5f,0) } \n", v[0]);
    case PROFILE_POINT: return tls_write("        PTS { (%.5f,%.5f) } \n", v[0], v[1]);
    case PROFILE_PLAIN_POINT: return tls_write("        PTS { (%.5f,%.5f) }\n", v[0], v[1]);
    case PROFILE_ARC: return tls_write("        ARC (%.5f,%.5f,%.5f) \n", v[0], v[1], v[2]);
    case PROFILE_TWO_POINTS:
        return tls_write("        PTS { (%.5f,%.5f) (%.5f,%.5f) } \n", v[0], v[1], v[2], v[3]);
    case PROFILE_TOP: return tls_write("        PTS { (0,%.5f) } \n", v[0]);
    case PROFILE_SHANK_AND_TOP:
        return tls_write("        PTS { (%.5f,%.5f) (%.5f,%.5f) (0,%.5f) } \n", v[0], v[1], v[2],
                         v[3], v[4]);
    }
    return 0;
}

/* A barrel or T-cutter outline.  One whose geometry gives no finite outline
   (a negative root, a zero divisor, an arc sine out of range, an overflow)
   is written by write_fallback. */
static int write_profile(const ToolRecord *t, const CutterProfile *p, const char *what) {
    if (!cutter_profile_is_finite(p)) return write_fallback(t, what);
    if (write_cutter_head(t->flute_length, t->shank_dia) < 0) return -1;
    if (tls_write("          SOR {\n") < 0) return -1;
    for (int k = 0; k < p->count; ++k)
        if (tls_write_profile_line(&p->lines[k]) < 0) return -1;
    return tls_write("      }\n    }\n  }\n");
}

static int write_cutter_block(ToolRecord *t) {
    CutterProfile profile;
    switch (t->type) {
    case UF_CUTTER_TYPE_MILL: {
        int subtype = t->subtype;
        CutterForm form = cutter_mill_form(t, &subtype);
        t->subtype = subtype;
        return write_standard(t, form);
    }
    case UF_CUTTER_TYPE_DRILL: return write_standard(t, CUTTER_FORM_DRILL);
    case UF_CUTTER_TYPE_BARREL:
        cutter_barrel_profile(t, &profile);
        return write_profile(t, &profile, "BARREL outline");
    case UF_CUTTER_TYPE_T:
        cutter_t_profile(t, &profile);
        return write_profile(t, &profile, "CUTTER_T outline");
    default: return tls_write("  TOOLTYPE TURNING\n  STACK NO\n");
    }
}

int tls_entry_has_record(int tool_index) {
    if (tool_index < 0 || tool_index >= TOOL_TABLE_SIZE) return 0;
    /* After a member list too long to load, no record holds a tool of this part. */
    if (uToolCount > TOOL_LOAD_LIMIT) return 0;
    return !Tools_is_skipped(&uTool[tool_index]);
}

int Tools_write_tls(int tool_index, int with_optipath) {
    if (!tls_entry_has_record(tool_index)) return 0;
    ToolRecord *t = &uTool[tool_index];
    if (tls_file == NULL) return -1;

    clean_text(t->name, sizeof t->name);
    clean_text(t->catalog_name, sizeof t->catalog_name);
    clean_text(t->cutter_description, sizeof t->cutter_description);

    char desc[TLS_DESCRIPTION_SIZE];
    describe(t, desc, sizeof desc);

    double z_offset = t->z_offset;
    if (!isfinite(z_offset)) {
        report_not_finite(t, "z_offset", "written as 0");
        z_offset = 0.0;
    }
    if (tls_write("TOOLID \"%s\" {\n  UNITS MILLIMETER\n  DESCRIPTION \"%s\"\n  GAGEPOINT_OFFSET "
                  "(%.5f,%.5f,%.5f)\n",
                  t->name, desc, 0.0, 0.0, z_offset) < 0)
        return -1;
    if (with_optipath &&
        tls_write("  OPTIPATH_DESCRIPTION \"%s\"\n  OPTIPATH_TEETH %d\n", desc, t->flute_count) < 0)
        return -1;
    if (write_cutter_block(t) < 0) return -1;
    if (Tools_write_holder(tool_index) < 0) return -1;
    if (with_optipath && tls_write("  COMMENTS \"%s\"\n", desc) < 0) return -1;
    if (tls_write("}\n") < 0) return -1;
    /* Buffered lines fail only when they reach the file. */
    if (fflush(tls_file) != 0 || ferror(tls_file)) return -1;
    return 0;
}
