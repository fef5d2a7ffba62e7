#include "bench/bench_model.h"

#include <cstdlib>
#include <cstring>

#include "src/tls/cutter_profile.h"
#include "src/tls/holder_outline.h"

namespace bench {
namespace {

enum Kind { flat, bull, ball, seven, apt10, drill, barrel, tslot, turning, kind_count };
const char *const kKindNames[kind_count] = {"FLAT", "BULL", "BALL", "MILL7", "APT10",
                                            "DRILL", "BARREL", "TSLOT", "TURN"};
const char *const kDescriptions[kind_count] = {"END MILL", "BULL NOSE", "BALL MILL", "MILL 7", "APT MILL",
                                               "TWIST DRILL", "BARREL", "T-SLOT", "OD TURN"};

void fail(const char *what, const ToolRecord &t) {
    std::fprintf(stderr, "bench: %s for tool %s\n", what, t.name);
    std::exit(2);
}

}  // namespace

BenchTool make_tool(int index, int sections, char prefix, int digits) {
    BenchTool b{};
    ToolRecord &t = b.rec;
    const Kind kind = static_cast<Kind>(index % kind_count);
    const int step = index / kind_count;  // sizes vary from one round of kinds to the next
    std::snprintf(t.name, sizeof t.name, "%c%0*d_%s", prefix, digits, index + 1, kKindNames[kind]);
    std::snprintf(t.cutter_description, sizeof t.cutter_description, "%s", kDescriptions[kind]);
    std::snprintf(t.catalog_name, sizeof t.catalog_name, "CAT-%d", index % 1000);
    t.tool_number = index + 1;
    t.flute_count = 2 + index % 3;
    t.diameter = 4 + (step % 12) * 2 + 0.5 * (index % 2);
    t.length = 60 + step % 40;
    t.flute_length = 20 + step % 15;
    t.z_offset = index % 4 == 0 ? 0.25 * (step % 8) : 0;
    switch (kind) {
    case flat: t.type = UF_CUTTER_TYPE_MILL, t.subtype = UF_CUTTER_SUBTYPE_MILL_5; break;
    case bull:
        t.type = UF_CUTTER_TYPE_MILL, t.subtype = UF_CUTTER_SUBTYPE_MILL_5;
        t.r1 = 0.5 + (step % 3) * 0.5;
        break;
    case ball:
        t.type = UF_CUTTER_TYPE_MILL, t.subtype = UF_CUTTER_SUBTYPE_MILL_BALL;
        t.r1 = t.diameter / 2;
        break;
    case seven:
        t.type = UF_CUTTER_TYPE_MILL, t.subtype = UF_CUTTER_SUBTYPE_MILL_7;
        t.r1 = 1;
        t.r1_center_x = t.diameter / 2 - 1;
        t.r1_center_y = 1;
        t.tip_angle = 0.0174532925 * (step % 3);
        t.taper_angle = 0.05 * (step % 2);
        break;
    case apt10:
        t.type = UF_CUTTER_TYPE_MILL, t.subtype = UF_CUTTER_SUBTYPE_MILL_10;
        t.r1 = 2;
        t.r1_center_x = t.diameter / 2 - 2;
        t.r1_center_y = 2;
        t.r2 = 1;
        t.r2_center_x = t.diameter / 2 - 1;
        t.r2_center_y = 10;
        break;
    case drill:
        t.type = UF_CUTTER_TYPE_DRILL, t.subtype = 1;
        t.point_angle = 2.0594885;
        break;
    case barrel:
        t.type = UF_CUTTER_TYPE_BARREL, t.subtype = 0;
        t.diameter = 16 + (step % 5) * 2;
        t.barrel_radius = 50;
        t.flute_length = 20;
        t.barrel_center_y = 10;
        t.lower_corner_radius = 2;
        t.upper_corner_radius = 2;
        t.shank_dia = 10;
        break;
    case tslot:
        t.type = UF_CUTTER_TYPE_T, t.subtype = 0;
        t.diameter = 24 + (step % 4) * 2;
        t.flute_length = 6;
        t.lower_corner_radius = 1;
        t.upper_corner_radius = 0.5;
        t.shank_dia = 10;
        break;
    case turning: t.type = 3, t.subtype = 1; break;
    case kind_count: break;
    }
    b.sections = sections;
    b.holder_offset = index % 3 == 0 ? 10 + step % 5 : 0;
    for (int k = 0; k < sections; ++k) {
        HolderSection &s = b.holder[k];
        s.diameter = 20 + 5 * k + (step % 3);
        s.length = 10 + k + step % 7;
        s.taper_angle = k % 3 == 1 ? 0.05 : 0;
        s.corner_radius = k % 4 == 2 ? 1 : 0;
    }
    return b;
}

BenchTool part_tool(int index) { return make_tool(index, kHolderSections, 'T', 3); }

namespace {

// The plug-in's description: "D10.00 r0.50 H75.00 END MILL CAT-1".
void write_description_line(std::FILE *out, const ToolRecord &t) {
    if (t.r1 != 0)
        std::fprintf(out, "  DESCRIPTION \"D%.2f r%.2f H%.2f %s %s\"\r\n", t.diameter, t.r1, t.length,
                     t.cutter_description, t.catalog_name);
    else
        std::fprintf(out, "  DESCRIPTION \"D%.2f H%.2f %s %s\"\r\n", t.diameter, t.length, t.cutter_description,
                     t.catalog_name);
}

void write_cutter_head(std::FILE *out, double flute_length, double shank_diameter) {
    std::fprintf(out, "  TOOLTYPE MILLING\r\n");
    std::fprintf(out, "  STACK YES\r\n");
    std::fprintf(out, "  CUTTER {\r\n");
    std::fprintf(out, "    FLUTE_LENGTH %.5f \r\n", flute_length);
    std::fprintf(out, "    SHANK_DIAMETER %.5f \r\n", shank_diameter);
    std::fprintf(out, "    ASSEMBLY {\r\n");
}

void write_standard(std::FILE *out, ToolRecord &t, CutterForm form) {
    double v[CUTTER_STANDARD_MAX];
    const int n = cutter_standard_values(&t, form, v);
    write_cutter_head(out, t.flute_length, 0.0);
    static const char *const kinds[] = {nullptr, "FLAT END", "BULL NOSE", "BALL END", nullptr, "APT 10", "DRILL"};
    if (kinds[form]) std::fprintf(out, "      CUTTER_TYPE \"%s\"\r\n", kinds[form]);
    if (n == 10)
        std::fprintf(out, "       STANDARD (%.5f,%.5f,%.5f,%.5f,%.5f,%.5f,%.5f,%.5f,%.5f,%.5f)\r\n", v[0], v[1], v[2],
                     v[3], v[4], v[5], v[6], v[7], v[8], v[9]);
    else
        std::fprintf(out, "      STANDARD (%.5f,%.5f,%.5f,%.5f,%.5f,%.5f,%.5f)\r\n", v[0], v[1], v[2], v[3], v[4],
                     v[5], v[6]);
    std::fprintf(out, "    }\r\n");
    std::fprintf(out, "  }\r\n");
}

void write_line(std::FILE *out, const ProfileLine &line) {
    const double *v = line.v;
    switch (line.kind) {
    case PROFILE_START: std::fprintf(out, "        PTS { (0,0) (%.5f,0) } \r\n", v[0]); break;
    case PROFILE_POINT: std::fprintf(out, "        PTS { (%.5f,%.5f) } \r\n", v[0], v[1]); break;
    case PROFILE_PLAIN_POINT: std::fprintf(out, "        PTS { (%.5f,%.5f) }\r\n", v[0], v[1]); break;
    case PROFILE_ARC: std::fprintf(out, "        ARC (%.5f,%.5f,%.5f) \r\n", v[0], v[1], v[2]); break;
    case PROFILE_TWO_POINTS:
        std::fprintf(out, "        PTS { (%.5f,%.5f) (%.5f,%.5f) } \r\n", v[0], v[1], v[2], v[3]);
        break;
    case PROFILE_TOP: std::fprintf(out, "        PTS { (0,%.5f) } \r\n", v[0]); break;
    case PROFILE_SHANK_AND_TOP:
        std::fprintf(out, "        PTS { (%.5f,%.5f) (%.5f,%.5f) (0,%.5f) } \r\n", v[0], v[1], v[2], v[3], v[4]);
        break;
    }
}

void write_profile(std::FILE *out, const ToolRecord &t, const CutterProfile &p) {
    if (!cutter_profile_is_finite(&p)) fail("an outline that is not finite", t);
    write_cutter_head(out, t.flute_length, t.shank_dia);
    std::fprintf(out, "          SOR {\r\n");
    for (int k = 0; k < p.count; ++k) write_line(out, p.lines[k]);
    std::fprintf(out, "      }\r\n");
    std::fprintf(out, "    }\r\n");
    std::fprintf(out, "  }\r\n");
}

void write_cutter(std::FILE *out, ToolRecord &t) {
    CutterProfile profile;
    switch (t.type) {
    case UF_CUTTER_TYPE_MILL: {
        int subtype = t.subtype;
        CutterForm form = cutter_mill_form(&t, &subtype);
        t.subtype = subtype;
        if (form == CUTTER_FORM_NONE) fail("a mill without a form", t);
        write_standard(out, t, form);
        return;
    }
    case UF_CUTTER_TYPE_DRILL: write_standard(out, t, CUTTER_FORM_DRILL); return;
    case UF_CUTTER_TYPE_BARREL:
        cutter_barrel_profile(&t, &profile);
        write_profile(out, t, profile);
        return;
    case UF_CUTTER_TYPE_T:
        cutter_t_profile(&t, &profile);
        write_profile(out, t, profile);
        return;
    default:
        std::fprintf(out, "  TOOLTYPE TURNING\r\n");
        std::fprintf(out, "  STACK NO\r\n");
    }
}

void write_holder(std::FILE *out, const BenchTool &b) {
    if (b.sections == 0) return;
    std::fprintf(out, "  HOLDER {\r\n");
    std::fprintf(out, "    ASSEMBLY {\r\n");
    std::fprintf(out, "      SOR {\r\n");
    std::fprintf(out, "        PTS { (0,0) }\r\n");
    if (b.holder_offset != 0) std::fprintf(out, "        PTS { (0,%.5f) }\r\n", -b.holder_offset);
    double z = -b.holder_offset;
    for (int k = 0; k < b.sections; ++k) {
        HolderSectionOutline o;
        holder_section_outline(&b.holder[k], z, &o);
        if (!o.drawn) continue;
        if (!cutter_profile_is_finite(&o.lines)) fail("a holder section that is not finite", b.rec);
        for (int n = 0; n < o.lines.count; ++n) write_line(out, o.lines.lines[n]);
        z = o.top;
    }
    std::fprintf(out, "        PTS { (0,%.5f) } \r\n", z);
    std::fprintf(out, "      }\r\n");
    std::fprintf(out, "    }\r\n");
    std::fprintf(out, "  }\r\n");
}

}  // namespace

void write_record(std::FILE *out, BenchTool &b, bool bad_units) {
    ToolRecord &t = b.rec;
    std::fprintf(out, "TOOLID \"%s\" {\r\n", t.name);
    std::fprintf(out, "  UNITS %s\r\n", bad_units ? "FURLONG" : "MILLIMETER");
    write_description_line(out, t);
    std::fprintf(out, "  GAGEPOINT_OFFSET (%.5f,%.5f,%.5f)\r\n", 0.0, 0.0, t.z_offset);
    write_cutter(out, t);
    write_holder(out, b);
    std::fprintf(out, "}\r\n");
}

void print_record_diagnostics(std::FILE *out, const BenchTool &b) {
    std::fprintf(out, "\nNumber of holder stacks defined is %d ", b.sections);
    double z = -b.holder_offset;
    for (int k = 0; k < b.sections; ++k) {
        const HolderSection &s = b.holder[k];
        std::fprintf(out, "\n holder(%d) D=%.2f L=%.2f B=%.4f R1=%.2f", k, s.diameter, s.length, s.taper_angle,
                     s.corner_radius);
        HolderSectionOutline o;
        holder_section_outline(&s, z, &o);
        if (!o.drawn) continue;
        std::fprintf(out, "\n\t constant x=%.2f y=%.2f", o.x, o.y);
        z = o.top;
    }
}

}  // namespace bench
