// Writes the benchmark's inputs into a folder:
//   part100.json         the part: the host's NONE member and 99 tools, each with a 9-section holder
//   export_session.json  a session that exports that part as export does, for its standard output
//   lib_1000.tls, lib_10000.tls, lib_100000.tls   tool libraries in the plug-in's layout
//   lib_10000_bad.tls    lib_10000.tls with a problem (an unknown UNITS) in every record
//   menus_10000.json     a session of 10 000 menu events
//   database/            a site's tool database: 100 libraries in 10 folders, 100 000 records in all,
//                        among them a quarter of part100.json's tools as it has them, a quarter of them
//                        under other names and a quarter with other lengths
//
//   bench_inputs FOLDER
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_model.h"

namespace {

std::FILE *create(const std::string &path) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::perror(path.c_str());
        std::exit(2);
    }
    return f;
}

void close(std::FILE *f, const std::string &path) {
    if (std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::exit(2);
    }
}

// The shortest text that reads back as the same double, as a person or a
// JSON library writes numbers.
std::string shortest(double v) {
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

void number(std::FILE *f, const char *key, double v, bool always = false) {
    if (v != 0 || always) std::fprintf(f, ", \"%s\": %s", key, shortest(v).c_str());
}

void part(std::FILE *f) {
    const int tools = bench::kPartTools;
    std::fprintf(f, "{\"name\": \"bench_part.prt\", \"members\": [\n");
    for (int i = 0; i < tools; ++i) {
        const bench::BenchTool b = bench::part_tool(i);
        const ToolRecord &t = b.rec;
        std::fprintf(f, "  {\"name\": \"%s\", \"type\": %d, \"subtype\": %d,\n   \"params\": {\"tool_number\": %d", t.name,
                     t.type, t.subtype, t.tool_number);
        std::fprintf(f, ", \"flute_count\": %d, \"catalog_name\": \"%s\", \"cutter_description\": \"%s\"",
                     t.flute_count, t.catalog_name, t.cutter_description);
        number(f, "diameter", t.diameter, true);
        number(f, "length", t.length, true);
        number(f, "flute_length", t.flute_length, true);
        number(f, "z_offset", t.z_offset);
        number(f, "taper_angle", t.taper_angle);
        number(f, "tip_angle", t.tip_angle);
        number(f, "r1", t.r1);
        number(f, "r1_center_x", t.r1_center_x);
        number(f, "r1_center_y", t.r1_center_y);
        number(f, "r2", t.r2);
        number(f, "r2_center_x", t.r2_center_x);
        number(f, "r2_center_y", t.r2_center_y);
        number(f, "barrel_radius", t.barrel_radius);
        number(f, "shank_dia", t.shank_dia);
        number(f, "lower_corner_radius", t.lower_corner_radius);
        number(f, "upper_corner_radius", t.upper_corner_radius);
        number(f, "barrel_center_y", t.barrel_center_y);
        number(f, "point_angle", t.point_angle);
        std::fprintf(f, "},\n   \"holder_offset\": %s,\n   \"holder\": [", shortest(b.holder_offset).c_str());
        for (int k = 0; k < b.sections; ++k) {
            const HolderSection &s = b.holder[k];
            std::fprintf(f, "%s{\"diameter\": %s, \"length\": %s, \"taper_angle\": %s, \"corner_radius\": %s}",
                         k ? ",\n              " : "", shortest(s.diameter).c_str(), shortest(s.length).c_str(),
                         shortest(s.taper_angle).c_str(), shortest(s.corner_radius).c_str());
        }
        std::fprintf(f, "]}%s\n", i + 1 < tools ? "," : "");
    }
    std::fprintf(f, "]}");
}

void library(const std::string &path, int tools, bool bad) {
    std::FILE *f = create(path);
    std::fputs("CGTECH Tool Library File\r\nVersion-5.2\r\n\r\n", f);
    for (int i = 0; i < tools; ++i) {
        bench::BenchTool b = bench::make_tool(i, i % 3, 'L', 6);
        bench::write_record(f, b, bad);
    }
    close(f, path);
}

// 100 libraries of 1 000 records (holders of up to 2 sections, some 55 MB
// in all); the part's tool t takes the place of record t * 997 of the
// database: as the part has it (t % 4 == 0), under another name (1), one
// longer (2); the last quarter is not there.
void database(const std::string &dir) {
    const int part_tools = bench::kPartTools;
    const int libraries = 100, per_library = 1000;
    for (int l = 0; l < libraries; ++l) {
        const std::string folder = dir + "database/site" + std::to_string(l % 10);
        if (l < 10 && std::system(("mkdir -p '" + folder + "'").c_str()) != 0) std::exit(2);
        const std::string path = folder + "/lib" + std::to_string(l) + ".tls";
        std::FILE *f = create(path);
        std::fputs("CGTECH Tool Library File\r\nVersion-5.2\r\n\r\n", f);
        for (int k = 0; k < per_library; ++k) {
            const int i = l * per_library + k;
            const int t = i % 997 == 0 ? i / 997 : part_tools;
            bench::BenchTool b = t < part_tools && t % 4 != 3 ? bench::part_tool(t)
                                                               : bench::make_tool(i, i % 3, 'D', 6);
            if (t < part_tools && t % 4 == 1) b.rec.name[0] = 'S';
            if (t < part_tools && t % 4 == 2) b.rec.length += 1;
            bench::write_record(f, b, false);
        }
        close(f, path);
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_inputs FOLDER\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";

    std::FILE *f = create(dir + "part100.json");
    part(f);
    std::fputs("\n", f);
    close(f, dir + "part100.json");

    f = create(dir + "export_session.json");
    std::fputs("{\"part\": ", f);
    part(f);
    std::fputs(",\n \"answers\": [{\"menu\": 5}, {\"question\": 1}, {\"file\": \"session_export.tls\"}, "
               "{\"question\": 2}, {\"menu\": 2}]}\n", f);
    close(f, dir + "export_session.json");

    for (int n : {1000, 10000, 100000}) library(dir + "lib_" + std::to_string(n) + ".tls", n, false);
    library(dir + "lib_10000_bad.tls", 10000, true);

    // The two options that only say they are not active, in turn, then leave.
    f = create(dir + "menus_10000.json");
    std::fputs("{\"part\": {\"name\": \"menus.prt\", \"members\": [{\"name\": \"EM10\", \"type\": 1, \"subtype\": 1, "
               "\"params\": {\"diameter\": 10, \"length\": 75}}]},\n \"answers\": [",
               f);
    for (int i = 0; i < 9999; ++i) std::fprintf(f, "{\"menu\": %d}, ", 7 + i % 2);
    std::fputs("{\"menu\": 2}]}\n", f);
    close(f, dir + "menus_10000.json");
    database(dir);
    return 0;
}
