// The floor of an export: the tool library the plug-in writes for the
// benchmark part, from the tools already in memory, a line per fprintf.
// With --diagnostics it also prints, a line per printf, what the plug-in
// prints on standard output during that export.
//
//   bench_floor OUT.tls [--diagnostics]
#include <cstdio>
#include <cstring>

#include "bench/bench_model.h"

int main(int argc, char **argv) {
    if (argc < 2 || (argc == 3 && std::strcmp(argv[2], "--diagnostics") != 0) || argc > 3) {
        std::fprintf(stderr, "usage: bench_floor OUT.tls [--diagnostics]\n");
        return 2;
    }
    const bool diagnostics = argc == 3;
    std::FILE *out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 2;
    }
    if (diagnostics) {
        std::printf("\n ----start----- _ini_read ");
        std::printf("\n _ini_read init finish");
        std::printf("\n\t UF_CFI_ask_file_exist(%d) - %s ", -1, "kesto_tools_vericut.ini");
        std::printf("\n ----------------------- Start Tools_ui_mgr ");
        std::printf("\n Tools_ui_mgr -> response=%d ", 5);
        std::printf("\n Tools_read_from_ugs -> uToolCount=%d", bench::kPartTools + 1);
    }
    std::fprintf(out, "CGTECH Tool Library File\r\n");
    std::fprintf(out, "Version-5.2\r\n");
    std::fprintf(out, "\r\n");
    for (int i = 0; i < bench::kPartTools; ++i) {
        bench::BenchTool tool = bench::part_tool(i);
        bench::write_record(out, tool, false);
        if (diagnostics) bench::print_record_diagnostics(stdout, tool);
    }
    if (diagnostics) {
        std::printf("\n Tools_ui_mgr -> response=%d ", 2);
        std::printf("\n ----------------------- End Tools_ui_mgr ");
    }
    if (std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 2;
    }
    return 0;
}
