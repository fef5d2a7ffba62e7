// The check and preview subcommands, run as a user runs them: on what export
// and scripted sessions write, on damaged copies, and on bad arguments.
#include <dlfcn.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "host/common/library_writer.h"
#include "tests/unit/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::file_exists;
using testing_support::occurrences;
using testing_support::read_file;
using testing_support::TempDir;
using testing_support::write_file;
using Lines = std::vector<std::string>;

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs the program in the current folder, after the shell commands in
// before; standard error is kept apart.
Result cli(const std::string &args, const std::string &before = "") {
    Result r;
    const std::string err_file = "../.cli-stderr-" + std::to_string(getpid());
    r.code = testing_support::run_command(before + "'" + KESTO_CLI_PATH + "' " + args + " 2>" + err_file, r.out);
    r.err = read_file(err_file);
    fs::remove(err_file);
    return r;
}

std::string source(const std::string &relative) { return std::string(KESTO_SOURCE_DIR) + "/" + relative; }

// Lines of a CR LF file, without their line ends.
Lines split_crlf(const std::string &text) {
    Lines lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

std::string join_crlf(const Lines &lines) {
    std::string out;
    for (const std::string &l : lines) out += l + "\r\n";
    return out;
}

Lines split_lf(const std::string &text) {
    Lines lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// Index of the first line holding text, after the first line holding after.
size_t find_line(const Lines &lines, const std::string &text, const std::string &after) {
    size_t i = 0;
    while (i < lines.size() && lines[i].find(after) == std::string::npos) ++i;
    for (; i < lines.size(); ++i)
        if (lines[i].find(text) != std::string::npos) return i;
    ADD_FAILURE() << "no line with " << text << " after " << after;
    return 0;
}

struct Record {
    int line;
    std::string name;
};

// The TOOLID records of a file: their line and name.
std::vector<Record> records_of(const Lines &lines) {
    std::vector<Record> out;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string &l = lines[i];
        if (l.rfind("TOOLID \"", 0) != 0) continue;
        size_t end = l.rfind('"');
        out.push_back({static_cast<int>(i + 1), l.substr(8, end - 8)});
    }
    return out;
}

struct ReportedTool {
    int line;
    std::string name;
    std::string summary;
};

// The tool lines of a check report: '  line N: "NAME" SUMMARY'.
std::vector<ReportedTool> reported_tools(const std::string &report) {
    std::vector<ReportedTool> out;
    for (const std::string &l : split_lf(report)) {
        if (l.rfind("  line ", 0) != 0) continue;
        size_t colon = l.find(": \"");
        size_t close = l.find("\" ", colon + 3);
        if (colon == std::string::npos || close == std::string::npos) continue;
        out.push_back({std::stoi(l.substr(7, colon - 7)), l.substr(colon + 3, close - colon - 3), l.substr(close + 2)});
    }
    return out;
}

TEST(CliTlsfile, DemoExportThenCheckListsEveryToolWithItsForm) {
    // The demo's tools in the order of its part file, with the form and main
    // dimensions their parameters give.  The file gives barrels and T-cutters
    // as SOR outlines, which is how the report names them.
    struct Row {
        const char *demo_name;
        const char *summary;
    };
    const Row rows[] = {
        {"EM10_FLAT", "flat end: D 10, L 75, flute 30; holder: D 40"},
        {"BN16_R2", "bull nose: D 16, R 2, L 90, flute 40; holder:"},
        {"BALL8", "ball end: D 8, R 4, L 70, flute 20"},
        {"TAPER_6DEG", "seven-value: D 6, R 0.5,"},
        {"MILL7_12", "seven-value: D 12, R 1, E 5, F 1, tip 1 deg"},
        {"APT10_20", "APT 10: D 20, R 2, E 8, F 2,"},
        {"DRILL_8.5 \"HSS\"", "drill: D 8.5, point 118 deg, L 117, flute 75; holder: D 25"},
        {"CENTER_DRILL_6", "drill: D 6, point 90 deg, L 60"},
        {"BARREL_20", "SOR outline: D 20, L 60, flute 20, shank 10"},    // barrel
        {"T_SLOT_30", "SOR outline: D 30, L 50, flute 6, shank 10"},     // T-cutter
        {"T_FULLRAD_30", "SOR outline: D 30, L 50, flute 6, shank 12"},  // T-cutter, full radius
        {"OD_TURN_80", "turning: no cutter geometry"},
    };
    nlohmann::json demo = nlohmann::json::parse(read_file(source("examples/demo_part.json")));
    ASSERT_EQ(demo["members"].size(), std::size(rows)) << "the demo part changed; update the rows";
    for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(demo["members"][i]["name"], rows[i].demo_name);

    TempDir dir;
    Result exported = cli("export -o demo.tls");
    ASSERT_EQ(exported.code, 0) << exported.out << exported.err;
    Result checked = cli("check demo.tls");
    EXPECT_EQ(checked.code, 0) << checked.out << checked.err;
    EXPECT_NE(checked.out.find("demo.tls: 12 tools\n"), std::string::npos) << checked.out;
    EXPECT_NE(checked.out.find("\nno problems\n"), std::string::npos) << checked.out;
    EXPECT_EQ(checked.err, "");

    std::vector<Record> records = records_of(split_crlf(read_file("demo.tls")));
    std::vector<ReportedTool> tools = reported_tools(checked.out);
    ASSERT_EQ(records.size(), std::size(rows));
    ASSERT_EQ(tools.size(), records.size()) << checked.out;
    for (size_t i = 0; i < tools.size(); ++i) {
        SCOPED_TRACE(rows[i].demo_name);
        EXPECT_EQ(tools[i].name, records[i].name);
        EXPECT_EQ(tools[i].line, records[i].line);
        EXPECT_EQ(tools[i].summary.rfind(rows[i].summary, 0), 0u) << tools[i].summary;
    }
}

// A session that answers the dialogs of the all-tools export as the export
// subcommand does: all tools, yes, the file, rewrite if it exists, no
// simulator, leave the menu.
std::string export_session(const std::string &part_or_session_file, const std::string &tls_name) {
    nlohmann::json root = nlohmann::json::parse(read_file(part_or_session_file));
    nlohmann::json session;
    if (root.contains("part")) {
        session["part"] = root["part"];
        if (root.contains("env")) session["env"] = root["env"];
    } else {
        session["part"] = root;
    }
    session["answers"] = nlohmann::json::array(
        {{{"menu", 5}}, {{"question", 1}}, {{"file", tls_name}}, {{"question", 2}}, {{"menu", 2}}});
    return session.dump(2);
}

TEST(CliTlsfile, ExportWritesTheBytesOfTheScriptedSession) {
    // tls_profiles and tls_cutter_forms hold tools the checker finds problems
    // with (see the suite test below): export names them and writes nothing.
    for (const char *input : {"examples/demo_part.json", "tests/sessions/tls_cutter_forms.json",
                              "tests/sessions/tls_profiles.json"}) {
        SCOPED_TRACE(input);
        const bool sound = std::string(input) == "examples/demo_part.json";
        const bool profiles = std::string(input) == "tests/sessions/tls_profiles.json";
        TempDir dir;
        Result exported = cli("export '" + source(input) + "' -o exported.tls");

        write_file("session.json", export_session(source(input), "scripted.tls"));
        fs::create_directory("run");
        Result ran = cli("run session.json -C run");
        ASSERT_EQ(ran.code, 0) << ran.out << ran.err;
        // every answer was taken by the dialog it was meant for
        EXPECT_EQ(ran.out.find("\nerror "), std::string::npos) << ran.out;
        EXPECT_NE(ran.out.find("filebox "), std::string::npos) << ran.out;
        std::string b = read_file("run/scripted.tls");
        ASSERT_FALSE(b.empty()) << ran.out;
        if (!sound) {
            EXPECT_EQ(exported.code, 1) << exported.out << exported.err;
            EXPECT_EQ(exported.out, "");
            size_t line = profiles ? find_line(split_crlf(b), "ARC (11.00000,-1.00000,-1.00000)", "TOOLID \"TC30\"") + 1
                                   : find_line(split_crlf(b), "TOOLID \"M5\"", "") + 1;
            EXPECT_NE(exported.err.find("exported.tls:" + std::to_string(line) +
                                        (profiles ? ": tool \"TC30\": ARC" : ": tool \"M5\": the record has neither")),
                      std::string::npos) << exported.err;
            EXPECT_NE(exported.err.find(std::string(profiles ? "4 problems" : "1 problem") + " in what the plug-in "
                                        "wrote; exported.tls is not written; no such file existed"),
                      std::string::npos) << exported.err;
            EXPECT_FALSE(file_exists("exported.tls"));
            continue;
        }
        ASSERT_EQ(exported.code, 0) << exported.out << exported.err;
        std::string a = read_file("exported.tls");
        EXPECT_GT(records_of(split_crlf(a)).size(), 3u);
        EXPECT_TRUE(a == b) << "export and the scripted session differ; sizes " << a.size() << " and " << b.size();
    }
}

TEST(CliTlsfile, ExportNamesItsOutputAfterThePartAndSelectsOnce) {
    // part names as the host gives them on either system (JSON-escaped)
    struct Row {
        const char *part_name;
        const char *output;
    };
    const Row rows[] = {
        {R"(D:\\parts\\housing.prt)", "housing.tls"}, {"/srv/parts/bracket.prt", "bracket.tls"},
        {"D:plate.prt", "plate.tls"}, {"cover", "cover.tls"}, {"v1.2.prt", "v1.2.tls"},
        {R"(C:\\parts\\)", "tools.tls"}, {"", "tools.tls"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.part_name);
        TempDir dir;
        write_file("part.json", std::string(R"({"name": ")") + row.part_name + R"(", "members": [
            {"name": "EM10", "type": 1, "subtype": 1, "params": {"diameter": 10, "length": 75}},
            {"name": "EM12", "type": 1, "subtype": 1, "params": {"diameter": 12, "length": 75}}]})");
        Result r = cli("export part.json --select EM10 --select EM10");
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out.rfind(std::string("wrote ") + row.output + ": 1 tool\n", 0), 0u) << r.out;
        std::vector<Record> records = records_of(split_crlf(read_file(row.output)));
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].name, "EM10");
    }
}

TEST(CliTlsfile, CheckFindsEachDamageAtItsLine) {
    // Each damage edits the demo export and gives the line (index) the
    // problem must be reported at, and a piece of its message.
    struct Damage {
        const char *what;
        std::function<size_t(Lines &)> apply;
        const char *message;
    };
    const std::vector<Damage> damages = {
        {"record's closing brace deleted",
         [](Lines &l) {
             size_t next = find_line(l, "TOOLID \"BN16_R2\"", "");
             l.erase(l.begin() + static_cast<long>(next) - 1);
             return next - 1;
         },
         "a closing brace is missing"},
        {"block's closing brace deleted",
         [](Lines &l) {
             size_t holder = find_line(l, "  HOLDER {", "EM10_FLAT");
             l.erase(l.begin() + static_cast<long>(holder) - 2);  // the ASSEMBLY's "}"
             return holder - 1;
         },
         "HOLDER is not allowed in the CUTTER block"},
        {"line cut short",
         [](Lines &l) {
             size_t i = find_line(l, "STANDARD (", "BALL8");
             l[i] = l[i].substr(0, l[i].size() / 2);
             return i;
         },
         "the line may be cut short"},
        {"not a number",
         [](Lines &l) {
             size_t i = find_line(l, "STANDARD (", "APT10_20");
             l[i].replace(l[i].find("20.00000"), 8, "nan");
             return i;
         },
         "non-finite number 'nan'"},
        {"outline not ending on the axis",
         [](Lines &l) {
             size_t i = find_line(l, "PTS { (0,60.00000) }", "BARREL_20");
             l[i].replace(l[i].find("(0,"), 3, "(3.00000,");
             return i;
         },
         "the cutter outline does not end on the axis"},
        {"point after an arc off its circle",
         [](Lines &l) {
             size_t arc = find_line(l, "ARC (14.00000,1.00000,1.00000)", "T_SLOT_30");
             l[arc + 1].replace(l[arc + 1].find("15.00000"), 8, "15.20000");
             return arc;
         },
         "the point after (15.2,1)"},
        {"holder below its start",
         [](Lines &l) {
             size_t i = find_line(l, "PTS { (20.00000,50.00000) }", "EM10_FLAT");
             l[i].replace(l[i].find("50.00000"), 8, "-3.00000");
             return i;
         },
         "the holder is drawn below its own start"},
        {"file cut short inside a record",
         [](Lines &l) {
             size_t sor = find_line(l, "SOR {", "BN16_R2");
             l.resize(sor + 2);
             return sor + 1;
         },
         "the file ends inside the SOR block"},
    };
    TempDir dir;
    ASSERT_EQ(cli("export -o demo.tls").code, 0);
    const Lines clean = split_crlf(read_file("demo.tls"));
    for (const Damage &d : damages) {
        SCOPED_TRACE(d.what);
        Lines lines = clean;
        size_t index = d.apply(lines);
        write_file("damaged.tls", join_crlf(lines));
        Result r = cli("check damaged.tls");
        EXPECT_EQ(r.code, 1) << r.out;
        EXPECT_EQ(r.err, "");
        std::string at = "damaged.tls:" + std::to_string(index + 1) + ": ";
        size_t found = r.out.find("\n" + at);
        ASSERT_NE(found, std::string::npos) << "expected a problem at " << at << "\n" << r.out;
        std::string line = r.out.substr(found + 1, r.out.find('\n', found + 1) - found - 1);
        EXPECT_NE(line.find(d.message), std::string::npos) << line;
        // the damage in one record leaves the others listed
        EXPECT_GE(reported_tools(r.out).size(), 2u) << r.out;
    }
}

TEST(CliTlsfile, EveryFileTheSessionSuiteWritesIsClean) {
    // tls_profiles gives some tools values no real tool has on purpose: a
    // holder fillet of radius -1 (written as given, the outline dips 1 below
    // the section's start), holder sections left out or thrown far out by a
    // quarter turn.  tls_export_twice_append appends the same tools twice.
    // export_non_finite stacks holder sections up to 1e308, finite but absurd.
    // M5 of tls_cutter_forms has no form, OLD (some sessions' own) no cutter.
    struct Known {
        std::vector<std::string> says;
        const char *count;
    };
    const std::map<std::string, Known> known = {
        {"tls_profiles/profiles.tls",
         {{"tool \"TC30\": the holder is drawn below its own start", "tool \"TCFR\": the holder outline never leaves",
           "tool \"TC0\": PTS value"},
          "\n4 problems\n"}},
        {"tls_export_twice_append/twice.tls", {{"tool \"|Q|\": the TOOLID is used twice"}, "\n2 problems\n"}},
        {"export_non_finite/bracket.tls", {{"tool \"EM10\": PTS value 1.000000e+308 is beyond 10^6"}, "\n2 problems\n"}},
        {"tls_cutter_forms/forms.tls", {{"tool \"M5\": the record has neither TOOLTYPE"}, "\n1 problem\n"}},
    };
    int files = 0;
    for (const fs::directory_entry &e : fs::directory_iterator(source("tests/sessions"))) {
        if (e.path().extension() != ".json") continue;
        TempDir dir;
        fs::create_directory("out");
        Result ran = cli("run '" + e.path().string() + "' -C out");
        ASSERT_EQ(ran.code, 0) << e.path() << "\n" << ran.err;
        for (const fs::directory_entry &f : fs::recursive_directory_iterator("out")) {
            if (f.path().extension() != ".tls") continue;
            const std::string name = e.path().stem().string() + "/" + f.path().filename().string();
            SCOPED_TRACE(name);
            ++files;
            Result r = cli("check '" + f.path().string() + "'");
            auto k = known.find(name);
            if (k != known.end()) {
                EXPECT_EQ(r.code, 1) << r.out;
                for (const std::string &says : k->second.says) EXPECT_NE(r.out.find(says), std::string::npos) << r.out;
                EXPECT_NE(r.out.find(k->second.count), std::string::npos) << r.out;
            } else if (r.out.find("old.tls:4: tool \"OLD\": the record has neither") != std::string::npos) {
                EXPECT_NE(r.out.find("\n1 problem\n"), std::string::npos) << r.out;  // a session's own record
            } else {
                EXPECT_EQ(r.code, 0) << r.out;
                EXPECT_NE(r.out.find("\nno problems\n"), std::string::npos) << r.out;
            }
        }
    }
    EXPECT_GT(files, 5);
}

TEST(CliTlsfile, PreviewDrawsEveryToolAndFlagsDamagedFiles) {
    TempDir dir;
    ASSERT_EQ(cli("export -o demo.tls").code, 0);
    Result r = cli("preview demo.tls -o demo.svg");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "wrote demo.svg: 12 tools\n");
    std::string svg = read_file("demo.svg");
    EXPECT_EQ(svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
    EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
    auto count = [&svg](const std::string &what) {
        int n = 0;
        for (size_t at = 0; (at = svg.find(what, at)) != std::string::npos; ++at) ++n;
        return n;
    };
    EXPECT_EQ(count("<g class=\"tool\""), 12);
    EXPECT_EQ(count("<g "), count("</g>"));
    EXPECT_EQ(count("<svg "), count("</svg>"));
    // every tool but the turning placeholder has a cutter; three have holders
    EXPECT_EQ(count("<path class=\"cutter\""), 11);
    EXPECT_EQ(count("<path class=\"holder\""), 3);
    EXPECT_EQ(count("cell bad"), 0);
    for (const Record &rec : records_of(split_crlf(read_file("demo.tls"))))
        EXPECT_NE(svg.find(">" + rec.name + "</text>"), std::string::npos) << rec.name;

    // a damaged file is drawn all the same, with its problems said on stderr
    Lines lines = split_crlf(read_file("demo.tls"));
    size_t i = find_line(lines, "STANDARD (", "BALL8");
    lines[i].replace(lines[i].find("8.00000"), 7, "inf");
    write_file("damaged.tls", join_crlf(lines));
    Result bad = cli("preview damaged.tls");
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.out, "wrote damaged.svg: 12 tools\n");
    EXPECT_NE(bad.err.find("damaged.tls has 1 problem"), std::string::npos) << bad.err;
    std::string drawn = read_file("damaged.svg");
    EXPECT_EQ(drawn.substr(drawn.size() - 7), "</svg>\n");
    EXPECT_NE(drawn.find("cell bad"), std::string::npos);
    EXPECT_NE(drawn.find("1 problem, first at line " + std::to_string(i + 1)), std::string::npos);
}

TEST(CliTlsfile, ExportMergeTwiceLeavesTheLibraryAsItWas) {
    // A site library with a tool of its own: the first export --merge adds
    // the demo's tools after it, the second replaces them by the same bytes.
    TempDir dir;
    const std::string own =
        "CGTECH Tool Library File\r\nVersion-5.2\r\n\r\nTOOLID \"SITE-1\" {\r\n  TOOLTYPE TURNING\r\n}\r\n";
    write_file("site.tls", own);
    Result first = cli("export --merge site.tls");
    ASSERT_EQ(first.code, 0) << first.err;
    EXPECT_EQ(first.out.rfind("merged the export into site.tls: 0 tools replaced (0 changed), 12 tools added, "
                              "1 tool kept\nadded: \"EM10_FLAT\", \"BN16_R2\", ",
                              0),
              0u)
        << first.out;
    const std::string once = read_file("site.tls");
    EXPECT_EQ(once.rfind(own, 0), 0u);
    Result second = cli("export --merge site.tls");
    ASSERT_EQ(second.code, 0) << second.err;
    EXPECT_NE(second.out.find(": 12 tools replaced (0 changed), 0 tools added, 1 tool kept\nreplaced: \"EM10_FLAT\""),
              std::string::npos)
        << second.out;
    EXPECT_TRUE(read_file("site.tls") == once);
    EXPECT_EQ(cli("check site.tls").code, 0);

    // A library holding a TOOLID twice (appended twice) is refused; forced,
    // its later record is merged: here the same bytes again.
    ASSERT_EQ(cli("export -o twice.tls --select BALL8").code, 0);
    ASSERT_EQ(cli("export -o twice.tls --select BALL8 --append --force").code, 1);
    Result refused = cli("merge site.tls twice.tls -o site.tls");
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("twice.tls:19: tool \"BALL8\": the TOOLID is used twice"), std::string::npos)
        << refused.err;
    EXPECT_TRUE(read_file("site.tls") == once);
    Result forced = cli("merge site.tls twice.tls -o site.tls --force");
    EXPECT_EQ(forced.code, 0) << forced.err;
    EXPECT_NE(forced.out.find("note: TOOLID \"BALL8\" at twice.tls:4 is left out for the one at twice.tls:19\n"),
              std::string::npos)
        << forced.out;
    EXPECT_TRUE(read_file("site.tls") == once);
}

TEST(CliTlsfile, ControlBytesAreShownEscapedNeverRaw) {
    TempDir dir;
    ASSERT_EQ(cli("export -o demo.tls").code, 0);
    std::string text = read_file("demo.tls");
    text.replace(text.find("EM10_FLAT"), 9, "EM10\x1B[2J").replace(text.find("D16.00"), 6, "D\x1B[H");
    write_file("esc.tls", text);
    for (const auto &[args, says] : std::map<std::string, std::string>{
             {"check esc.tls", "esc.tls:4: tool \"EM10\\x1B[2J\": control byte \\x1B in the TOOLID"},
             {"diff demo.tls esc.tls", "esc.tls:35:   DESCRIPTION \"D\\x1B[H r2.00"}}) {
        Result r = cli(args);
        EXPECT_NE(r.out.find(says), std::string::npos) << args << "\n" << r.out;
        EXPECT_EQ(r.out.find('\x1B'), std::string::npos) << args;
    }
}

TEST(CliTlsfile, FindAndPreferUseTheSiteDatabase) {
    // The example database (mills.tls; drills/drills.tls with LF line ends;
    // old/copy.tls cut short) and a library holding EM10 twice: as the part
    // has it, and longer; a settings file naming it in lower case; a
    // database whose EM12 has a problem; a link to a folder there.
    TempDir dir;
    fs::copy(source("examples/database"), "db", fs::copy_options::recursive);
    const std::string part = "'" + source("examples/site_part.json") + "'";
    ASSERT_EQ(cli("export " + part + " -o part.tls").code, 0);
    const Lines exported = split_crlf(read_file("part.tls"));
    Lines twice(exported.begin(), exported.begin() + static_cast<long>(find_line(exported, "TOOLID \"BN16_R2\"", "")));
    Lines longer(twice.begin() + 3, twice.end());
    std::string &standard = longer[find_line(longer, "STANDARD (", "")];
    standard.replace(standard.find("75.00000)"), 2, "76");
    twice.insert(twice.end(), longer.begin(), longer.end());
    fs::create_directories("db/x");
    write_file("db/x/twice.TLS", join_crlf(twice));
    fs::create_directory_symlink(".", "db/x/loop");  // a link to a folder is not walked into
    write_file("site.ini", "[vmain]\r\ntls=db\r\n");
    // the plug-in keeps 132 characters of TLS: "db", 130 slashes, not the "x"
    write_file("long.ini", "[VMAIN]\nTLS=db" + std::string(130, '/') + "x\n");
    write_file("none.ini", "[VMAIN]\nNUM=0\n");
    fs::create_directory("bad");
    fs::create_directory("odd");
    fs::copy_file("db/mills.tls", "odd/new\nline.tls");
    fs::create_symlink("nowhere", "odd/gone.tls");
    std::string ignored;
    ASSERT_EQ(testing_support::run_command("mkfifo odd/pipe.tls", ignored), 0);
    // the part's EM12, with a control byte in its description: taken (its
    // geometry is the tool's), and its problem named where the database has it
    write_file("bad/em12.tls",
               join_crlf({"CGTECH Tool Library File", "Version-5.2", "", "TOOLID \"EM12\" {", "  UNITS MILLIMETER",
                          "  DESCRIPTION \"D12.00\x07 H80.00\"", "  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)",
                          "  TOOLTYPE MILLING", "  STACK YES", "  CUTTER {", "    FLUTE_LENGTH 35.00000 ",
                          "    SHANK_DIAMETER 0.00000 ", "    ASSEMBLY {", "      CUTTER_TYPE \"FLAT END\"",
                          "      STANDARD (12.00000,0.00000,0.00000,0.00000,0.00000,0.00000,80.00000)", "    }",
                          "  }", "}"}));

    const Lines found = {
        "\"EM10\": same: db/mills.tls:4, db/x/twice.TLS:4; differs: db/x/twice.TLS:31",
        "    the export:15:       STANDARD (10.00000,0.00000,0.00000,0.00000,0.00000,0.00000,75.00000)",
        "    db/x/twice.TLS:42:       STANDARD (10.00000,0.00000,0.00000,0.00000,0.00000,0.00000,76.00000)",
        "\"BN16_R2\": differs: db/mills.tls:31", "\"BALL8\": renamed: \"SITE-BALL8\" at db/mills.tls:46",
        "\"DR8.5\": renamed: \"DIN338-8.5\" at db/drills/drills.tls:4", "\"EM12\": not in the database",
        "note: db/x/twice.TLS holds TOOLID \"EM10\" 2 times (lines 4, 31)",
        "5 tools: 1 same, 2 renamed, 1 different, 1 not in the database; searched 3 libraries (1 skipped), 6 records"};
    // a record of other geometry than the part's tool is never taken silently
    const Lines preferred = {"from the database: 2 tools", "  \"EM10\": by name, db/mills.tls:4",
                             "  \"DR8.5\": by catalogue number \"DIN338-8.5\", db/drills/drills.tls:4",
                             "generated: 3 tools", "  \"BN16_R2\": differs, not taken: db/mills.tls:31", "  \"BALL8\"",
                             "  \"EM12\""};
    const std::string not_taken = "the database's record \"BN16_R2\" at db/mills.tls:31, found by name for tool "
                                  "\"BN16_R2\", has other geometry than the part's; not taken";
    struct Row {
        std::string args;
        int code;
        Lines out;  // lines of standard output, in this order
        std::string err;
    };
    const Row rows[] = {
        {"find " + part + " --database db", 1, found, "warning: db/old/copy.tls: damaged, 1 problem (see check)"},
        {"find " + part + " --settings site.ini", 1, found, "damaged"},
        {"find part.tls --settings long.ini", 1, {}, "damaged"},
        {"find part.tls --settings none.ini", 2, {},
         "none.ini gives no [VMAIN] TLS; the plug-in's default //cadserver/vericut/Tools is searched\n"
         "kesto-tools-vericut: cannot search //cadserver/vericut/Tools: no such folder"},
        {"find part.tls --database db --json", 1,
         {"  \"kind\": \"library\",", "      \"verdict\": \"same\",", "      \"verdict\": \"differs\",",
          "      \"verdict\": \"renamed\",", "      \"verdict\": \"renamed\",", "      \"verdict\": \"missing\",",
          "      \"toolid\": \"EM10\",", "  \"all_same\": false,", "  \"warnings\": ["},
         "damaged"},
        {"find -q part.tls --database db", 1, {}, ""},
        // entries that no library can be read from are warned about and counted; a name is shown on its line
        {"find db/mills.tls --database odd", 0,
         {"\"SITE-BALL8\" (line 46): same: odd/new\\x0Aline.tls:46",
          "3 tools: 3 same, 0 renamed, 0 different, 0 not in the database; searched 1 library (2 skipped), "
          "3 records"},
         "warning: cannot read odd/gone.tls: is a link to nothing; skipped\nkesto-tools-vericut: warning: cannot "
         "read odd/pipe.tls: is not a regular file (a device, a pipe or a socket); skipped"},
        {"find - --database db <part.tls", 1,
         {"    (standard input):15:       STANDARD (10.00000,0.00000,0.00000,0.00000,0.00000,0.00000,75.00000)"},
         "damaged"},
        {"find db/mills.tls --database db", 0,
         {"\"SITE-BALL8\" (line 46): same: db/mills.tls:46",
          "3 tools: 3 same, 0 renamed, 0 different, 0 not in the database; searched 3 libraries (1 skipped), "
          "6 records"},
         "damaged"},
        {"export " + part + " --prefer db -o out.tls", 0, preferred, not_taken},
        {"export " + part + " --settings site.ini --merge lib.tls", 0, preferred, not_taken},
        {"export " + part + " --prefer db --prefer-site-geometry -o site.tls", 0,
         {"from the database: 3 tools", "  \"BN16_R2\": by name, db/mills.tls:31"},
         "taken all the same (--prefer-site-geometry): the simulator gets the database's geometry, not the part's\n"
         "    the export:42:       STANDARD (16.00000,2.00000,6.00000,2.00000,0.00000,0.00000,90.00000)"},
        {"export " + part + " --prefer db -o out4.tls --dry-run --json", 1,
         {"      \"verdict\": \"differs, not taken\",", "  \"plan\": {", "    \"exists\": false,",
          "    \"would_change\": true"},
         "damaged"},
        {"export " + part + " --prefer db -o out3.tls --json", 0,
         {"  \"preferred\": [", "      \"by\": \"catalogue number\",", "      \"database_toolid\": \"DIN338-8.5\"",
          "  \"generated\": ["},
         "damaged"},
        {"export " + part + " --prefer bad -o out2.tls", 1, {},
         "bad/em12.tls:6: tool \"EM12\": control byte \\x07 in a quoted text\nkesto-tools-vericut: 1 problem in what the plug-in "
         "wrote and the database gave; out2.tls is not written"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.args);
        Result r = cli(row.args);
        EXPECT_EQ(r.code, row.code) << r.err;
        EXPECT_NE(r.err.find(row.err), std::string::npos) << r.err;
        const Lines out = split_lf(r.out);
        auto at = out.begin();
        for (const std::string &line : row.out) {
            at = std::find(at, out.end(), line);
            ASSERT_NE(at, out.end()) << "not in the output (in this order): " << line << "\n" << r.out;
        }
        if (row.args.find("--json") != std::string::npos) {
            EXPECT_TRUE(nlohmann::json::accept(r.out));
        }
        if (row.args.find(" -q ") != std::string::npos) {
            EXPECT_EQ(r.out + r.err, "");
        }
    }
    // the database's records (their LF line ends made the export's CR LF)
    // under the part's names; --settings gives what --prefer gives
    const std::string out = read_file("out.tls");
    EXPECT_NE(out.find("TOOLID \"DR8.5\" {\r\n  UNITS MILLIMETER\r\n  DESCRIPTION \"TWIST DRILL DIN 338 HSS-G 8.5\""),
              std::string::npos) << out;
    EXPECT_NE(out.find("TOOLID \"EM12\" {\r\n"), std::string::npos);
    EXPECT_EQ(read_file("lib.tls"), out);
    EXPECT_EQ(cli("check out.tls").code, 0);
    EXPECT_FALSE(file_exists("out2.tls"));
}

// PNG reading for the screenshot: the size from the header and, when zlib
// can be loaded, the pixels.
struct Png {
    uint32_t width = 0, height = 0;
    bool decoded = false;
    std::vector<uint8_t> rgba;  // width * height * 4 when decoded
};

uint32_t be32(const std::string &s, size_t at) {
    return (uint32_t(uint8_t(s[at])) << 24) | (uint32_t(uint8_t(s[at + 1])) << 16) |
           (uint32_t(uint8_t(s[at + 2])) << 8) | uint32_t(uint8_t(s[at + 3]));
}

int paeth(int a, int b, int c) {
    int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

Png read_png(const std::string &data) {
    Png png;
    if (data.size() < 33 || data.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || data.compare(12, 4, "IHDR") != 0)
        return png;
    png.width = be32(data, 16);
    png.height = be32(data, 20);
    const int depth = uint8_t(data[24]), colour = uint8_t(data[25]), interlace = uint8_t(data[28]);
    if (depth != 8 || (colour != 6 && colour != 2) || interlace != 0) return png;
    const size_t channels = colour == 6 ? 4 : 3;
    std::string idat;
    for (size_t at = 8; at + 8 <= data.size();) {
        uint32_t len = be32(data, at);
        if (at + 12 + len > data.size()) return png;
        if (data.compare(at + 4, 4, "IDAT") == 0) idat += data.substr(at + 8, len);
        at += 12 + len;
    }
    using Uncompress = int (*)(unsigned char *, unsigned long *, const unsigned char *, unsigned long);
    void *z = dlopen("libz.so.1", RTLD_NOW);
    if (!z) return png;
    auto uncompress = reinterpret_cast<Uncompress>(dlsym(z, "uncompress"));
    const size_t stride = png.width * channels;
    std::vector<uint8_t> raw((stride + 1) * png.height);
    unsigned long raw_size = raw.size();
    bool ok = uncompress && uncompress(raw.data(), &raw_size, reinterpret_cast<const unsigned char *>(idat.data()),
                                       idat.size()) == 0 && raw_size == raw.size();
    dlclose(z);
    if (!ok) return png;
    std::vector<uint8_t> prev(stride, 0), row(stride);
    png.rgba.resize(size_t(png.width) * png.height * 4);
    for (uint32_t y = 0; y < png.height; ++y) {
        const uint8_t filter = raw[y * (stride + 1)];
        const uint8_t *in = &raw[y * (stride + 1) + 1];
        for (size_t x = 0; x < stride; ++x) {
            int a = x >= channels ? row[x - channels] : 0, b = prev[x], c = x >= channels ? prev[x - channels] : 0;
            int predicted = filter == 0 ? 0 : filter == 1 ? a : filter == 2 ? b : filter == 3 ? (a + b) / 2 : paeth(a, b, c);
            if (filter > 4) return png;
            row[x] = uint8_t(in[x] + predicted);
        }
        for (uint32_t x = 0; x < png.width; ++x)
            for (size_t k = 0; k < 4; ++k)
                png.rgba[(size_t(y) * png.width + x) * 4 + k] = k < channels ? row[x * channels + k] : 255;
        prev = row;
    }
    png.decoded = true;
    return png;
}

// Pixels within a few steps of a colour.
int pixels_near(const Png &png, int r, int g, int b) {
    int n = 0;
    for (size_t i = 0; i + 3 < png.rgba.size(); i += 4)
        n += std::abs(png.rgba[i] - r) <= 10 && std::abs(png.rgba[i + 1] - g) <= 10 && std::abs(png.rgba[i + 2] - b) <= 10;
    return n;
}

TEST(CliTlsfile, PreviewScreenshotShowsTheDrawing) {
    const std::string chromium = "/usr/bin/chromium";
    if (!file_exists(chromium)) GTEST_SKIP() << "chromium is not installed";
    TempDir dir;
    ASSERT_EQ(cli("export -o demo.tls").code, 0);
    ASSERT_EQ(cli("preview demo.tls -o demo.svg").code, 0);
    // the same page without a drawing: white, of the demo's size
    std::string svg = read_file("demo.svg");
    size_t head_end = svg.find(">\n", svg.find("<svg ")) + 2;
    write_file("empty.svg", svg.substr(0, head_end) + "<rect x=\"0\" y=\"0\" width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n</svg>\n");
    auto shoot = [&](const std::string &name, const char *size = "1200,900") {
        std::string out;
        fs::remove(name + ".png");
        testing_support::run_command("timeout 60 " + chromium + " --headless --no-sandbox --disable-gpu --screenshot=" +
                                         dir.file(name + ".png") + " --window-size=" + size + " file://" +
                                         dir.file(name + ".svg") + " >/dev/null 2>&1",
                                     out);
        return read_file(name + ".png");
    };
    std::string drawing = shoot("demo"), blank = shoot("empty");
    ASSERT_FALSE(drawing.empty()) << "chromium wrote no screenshot";
    ASSERT_FALSE(blank.empty()) << "chromium wrote no screenshot";
    Png png = read_png(drawing);
    EXPECT_EQ(png.width, 1200u);
    EXPECT_EQ(png.height, 900u);
    // shapes, lines and texts compress far worse than an empty page
    EXPECT_GT(drawing.size(), 3 * blank.size()) << drawing.size() << " against " << blank.size();
    if (!png.decoded) return;  // zlib not loadable: the size criterion has to do
    // cutter orange and holder blue as they show over the cell's background
    int cutter = pixels_near(png, 241, 169, 83), holder = pixels_near(png, 126, 158, 209);
    RecordProperty("cutter_pixels", cutter);
    RecordProperty("holder_pixels", holder);
    EXPECT_GT(cutter, 20000) << "cutter pixels";
    EXPECT_GT(holder, 10000) << "holder pixels";
    Png empty = read_png(blank);
    ASSERT_TRUE(empty.decoded);
    EXPECT_EQ(pixels_near(empty, 241, 169, 83), 0);
    // white but for the scroll bar
    EXPECT_GT(pixels_near(empty, 255, 255, 255), 1200 * 900 * 99 / 100);

    // The whole drawing, to one scale: the scale bar shows, and the 6 mm
    // centre drill is drawn far narrower than the 30 mm T-slot cutter.
    Png whole = read_png(shoot("demo", "1200,1500"));
    ASSERT_TRUE(whole.decoded);
    auto attribute = [&svg](size_t at, const std::string &name) {
        size_t start = svg.find(name + "=\"", at) + name.size() + 2;
        return std::stod(svg.substr(start, svg.find('"', start) - start));
    };
    // the widest run of cutter colour in the tool's cell
    auto cutter_width = [&](const std::string &tool) {
        size_t name = svg.find(">" + tool + "</text>");
        size_t group = svg.rfind("transform=\"translate(", name) + 21;
        const int x0 = std::stoi(svg.substr(group)), y0 = std::stoi(svg.substr(svg.find(',', group) + 1));
        const int w = static_cast<int>(attribute(group, "width")), h = static_cast<int>(attribute(group, "height"));
        int widest = 0;
        for (int y = y0; y < y0 + h && y < static_cast<int>(whole.height); ++y) {
            int run = 0;
            for (int x = x0; x < x0 + w; ++x) {
                const uint8_t *p = &whole.rgba[(size_t(y) * whole.width + size_t(x)) * 4];
                const bool orange = std::abs(p[0] - 241) <= 10 && std::abs(p[1] - 169) <= 10 && std::abs(p[2] - 83) <= 10;
                run = orange ? run + 1 : 0;
                widest = std::max(widest, run);
            }
        }
        return widest;
    };
    const int drill = cutter_width("CENTER_DRILL_6"), tslot = cutter_width("T_SLOT_30");
    RecordProperty("drill_width", drill);
    RecordProperty("tslot_width", tslot);
    EXPECT_GT(drill, 5);
    EXPECT_GT(tslot, 4 * drill);
    const size_t bar = svg.find("<g class=\"scalebar\"");
    ASSERT_NE(bar, std::string::npos);
    const int part = static_cast<int>(attribute(bar, "width"));
    int dark = 0;
    for (int y = 58; y < 64; ++y)
        for (int x = 12; x < 12 + 5 * part; ++x) dark += whole.rgba[(size_t(y) * whole.width + size_t(x)) * 4] < 60;
    EXPECT_GT(dark, 3 * part * 6 * 8 / 10) << "dark pixels of the scale bar";
}

// What a folder holds: names (links included), the types of what is not a
// regular file, and the contents of regular files (of large ones, the size).
std::map<std::string, std::string> snapshot(const std::string &folder) {
    std::map<std::string, std::string> out;
    for (const fs::directory_entry &e : fs::recursive_directory_iterator(folder)) {
        const std::string name = e.path().lexically_relative(folder).string();
        fs::file_status st = fs::symlink_status(e.path());
        if (fs::is_symlink(st)) out[name] = "link to " + fs::read_symlink(e.path()).string();
        else if (fs::is_regular_file(st)) out[name] = fs::file_size(e.path()) < (1 << 20) ? read_file(e.path().string())
                                                                                         : std::to_string(fs::file_size(e.path()));
        else out[name] = "type " + std::to_string(static_cast<int>(st.type()));
    }
    return out;
}

TEST(CliTlsfile, BadArgumentsLeaveNoOutput) {
    // Every bad input gives its exit code and a message naming what is
    // wrong, and leaves the folder as it was: no output created or changed,
    // no temporary file left.  Devices are made here, never taken from /dev.
    struct Row {
        const char *args;
        const char *message;  // on stderr
        int code = 2;
        const char *before = "";  // shell commands before the program's
    };
    const std::string part = R"({"name": "housing.prt", "members": [{"name": "EM10", "type": 1, "subtype": 1,
        "params": {"diameter": 10, "length": 75}}]})";
    const std::string deep = std::string(100, '[') + std::string(100, ']');
    const std::map<std::string, std::string> inputs = {
        {"part.json", part},
        {"deep.json", R"({"part": {"name": "p", "members": )" + deep + "}}"},
        {"huge_number.json", R"({"name": "p", "members": [{"name": "A", "params": {"diameter": 1e999}}]})"},
        {"text_number.json", R"({"name": "p", "members": [{"name": "A", "params": {"diameter": "10"}}]})"},
        {"int_range.json", R"({"name": "p", "members": [{"name": "A", "params": {"flute_count": 4294967296}}]})"},
        {"module_wrap.json", R"({"module": 18446744073709551615, "part": {"name": "p"}})"},
        {"files_escape.json", R"({"part": {"name": "p"}, "files": {"sub/../../escape.txt": "x"}})"},
        {"files_absolute.json", R"({"part": {"name": "p"}, "files": {"/tmp/kesto-escape.txt": "x"}})"},
        {"files_folder.json", R"({"part": {"name": "p"}, "files": {"folder": "x"}})"},
        {"files_input.json", R"({"part": {"name": "p"}, "files": {"files_input.json": "{}"}})"},
        {"session.json", R"({"part": {"name": "p"}, "answers": [{"menu": 10}, {"menu": 2}]})"},
        {"notlib.txt", "a text file\n"},
        {"cut.tls", "CGTECH Tool Library File\r\nVersion-5.2\r\n\r\nTOOLID \"A\" {"},
        {"esc.tls", "CGTECH Tool Library File\r\nVersion-5.2\r\n\r\nTOOLID \"E\x1B\" {\r\n  TOOLTYPE TURNING\r\n}\r\n"},
        {"out.svg", "old drawing"},
        {"lib.svg", "CGTECH Tool Library File\r\nVersion-5.2\r\n\r\n"},
        {"lib.html", "CGTECH Tool Library File\r\nVersion-5.2\r\n\r\n"},
        {"transcript.txt", "load 0\n"},
        {"readonly.tls", "CGTECH Tool Library File\r\nVersion-5.2\r\n\r\n"},
        {"utf8bad.tls", "CGTECH Tool Library File\r\nVersion-5.2\r\n\r\nTOOLID \"A\" {\r\n  DESCRIPTION \"✓\"\r\n}\r\n"},
        {"twice.tls", "CGTECH Tool Library File\r\nVersion-5.2\r\n\r\nTOOLID \"A\" {\r\n  TOOLTYPE TURNING\r\n}\r\n"
                      "TOOLID \"A\" {\r\n  TOOLTYPE TURNING\r\n}\r\n"},
        {"lockdata.tls.~kesto-lock", "not a lock"},
        {"twice.json", R"({"name": "p", "members": [{"name": "A", "params": {"length": 75, "diameter": 10,
            "length": 57}}]})"},
        {"nul.json", R"({"name": "p", "members": [{"name": "EM\u0000X"}]})"},
    };
    // the program with six file descriptors, its standard error sent to a file before the limit and
    // none but the standard three inherited, whatever the test itself holds open
    const char *const kSixDescriptors =
        "sh -c 'exec 3>&- 4>&- 5>&- 6>&- 7>&- 8>&- 9>&-; ulimit -n 6; exec \"$0\" \"$@\"' ";
    const Row rows[] = {
        {"check missing.tls", "cannot read missing.tls: No such file or directory"},
        {"check folder", "cannot read folder: Is a directory"},
        {"check", "check needs its argument \"files\": the *.tls files to check; - reads standard input.\n"
                  "Usage: kesto-tools-vericut check [OPTIONS] files...\nRun kesto-tools-vericut help check for usage."},
        {"check part.json", "part.json: is a part or session file (JSON), not a tool library; check takes libraries. "
                            "Export its tools first: kesto-tools-vericut export part.json -o NEW.tls"},
        {"check demo.tls --strict", "--strict"},
        {"check demo.tls --jsn", "unknown option \"--jsn\" for check; did you mean \"--json\"?"},
        {"check - - <demo.tls", "standard input (-) can be read only once"},
        {"check device", "cannot read device: is not a regular file"},
        {"check fifo", "cannot read fifo: is not a regular file"},
        {"check huge.tls", "huge.tls: is larger than 64 MiB"},
        {"check demo.tls >full", "standard output: cannot be written: No space left on device"},
        {"preview missing.tls -o out.svg", "cannot read missing.tls"},
        {"preview folder -o out.svg", "cannot read folder"},
        {"preview device -o out.svg", "cannot read device: is not a regular file"},
        {"preview huge.tls -o out.svg", "huge.tls: is larger than 64 MiB"},
        {"preview demo.tls --scale 2 -o out.svg", "--scale"},
        {"preview demo.tls -o nowhere/out.svg", "nowhere: no such folder"},
        {"preview demo.tls -o folder", "folder: is a folder"},
        {"preview demo.tls -o demo.tls", "demo.tls: is the input file"},
        {"preview demo.tls -o link.tls", "link.tls: is the input file"},
        {"preview demo.tls -o device", "device: is not a regular file"},
        {"preview demo.tls -o fifo", "fifo: is not a regular file"},
        {"preview demo.tls -o dangling.svg", "dangling.svg: is a link to nothing"},
        {"preview -o out.svg", "preview needs its argument \"file\""},
        {"preview cut.tls --against demo.tls -o demo.tls", "demo.tls: is the input file"},
        {"preview demo.tls --against notlib.txt -o out.svg", "notlib.txt: does not start with the tool library header"},
        {"diff demo.tls notlib.txt", "notlib.txt: does not start with the tool library header"},
        {"diff folder demo.tls", "cannot read folder"},
        {"diff demo.tls", "diff needs its argument \"new\""},
        {"diff demo.tls demo.tls extra", "diff was given more arguments than it takes; \"extra\" is one too many.\n"
                                         "Usage: kesto-tools-vericut diff [OPTIONS] old [new]\n"},
        {"diff part.json demo.tls", "part.json: is a part or session file (JSON), not a tool library; diff takes"},
        {"preview part.json -o out.svg", "part.json: is a part or session file (JSON), not a tool library; preview"},
        {"diff demo.tls link.tls >full", "standard output: cannot be written: No space left on device"},
        {"diff - - <demo.tls", "standard input (-) can be read only once"},
        // a failed merge leaves the base (demo.tls) as it was
        {"merge demo.tls notlib.txt -o demo.tls", "notlib.txt: does not start with the tool library header"},
        {"merge notlib.txt demo.tls -o out.tls", "notlib.txt: does not start with the tool library header"},
        {"merge demo.tls cut.tls -o demo.tls", "cut.tls:4: tool \"A\": the file ends inside the TOOLID record", 1},
        {"merge demo.tls esc.tls -o demo.tls", "esc.tls:4: tool \"E\\x1B\": control byte \\x1B in the TOOLID", 1},
        {"merge demo.tls link.tls -o demo.tls", "demo.tls: is the input file link.tls"},
        {"merge demo.tls demo.tls -o device", "device: is not a regular file"},
        {"merge demo.tls missing.tls -o demo.tls", "cannot read missing.tls"},
        {"merge demo.tls -o out.tls", "merge needs its argument \"new\""},
        {"merge demo.tls link.tls", "merge needs the option --output: the merged library"},
        {"export demo.tls -o new.tls", "demo.tls: is a tool library (*.tls), not a part or session file (JSON); look "
                                       "at it with kesto-tools-vericut check demo.tls"},
        {"export --select EM11 part.json -o new.tls", "--select EM11: the part has no such tool; did you mean \"EM10\"?"},
        {"export --select 'ZZ*' part.json -o new.tls", "--select ZZ*: no tool of the part matches it"},
        // mending and editing: refused, the library as it was
        {"fix notlib.txt", "notlib.txt: does not start with the tool library header"},
        {"fix part.json", "part.json: is a part or session file (JSON), not a tool library; fix takes libraries"},
        {"fix utf8bad.tls", "utf8bad.tls: line 5: the character \"✓\" (U+2713) has no Windows-1251 form; nothing was "
                            "changed"},
        {"remove demo.tls NOPE", "demo.tls holds no TOOLID \"NOPE\"; demo.tls is left as it was"},
        {"remove twice.tls A", "twice.tls holds TOOLID \"A\" 2 times (lines 4, 7); name the one with --line, or give --all"},
        {"remove twice.tls A --line 5", "--line 5: no record starts there"},
        {"remove demo.tls", "remove needs its argument \"toolid\""},
        {"rename demo.tls BALL8 EM10_FLAT", "demo.tls holds TOOLID \"EM10_FLAT\" already (line 4)"},
        {"rename demo.tls 'BALL*' B", "rename takes one TOOLID, not a pattern"},
        {"rename twice.tls A B", "twice.tls holds TOOLID \"A\" 2 times (lines 4, 7)"},
        {"extract demo.tls BALL8", "extract needs the option --output"},
        {"extract demo.tls BALL8 -o link.tls", "link.tls: is the input file demo.tls"},
        {"extract demo.tls BALL8 -o demo.tls", "extract writes a new library"},
        {"extract demo.tls BALL8 -o notlib.txt", "notlib.txt: extract writes a tool library (.tls), not .txt"},
        {"extract demo.tls BALL8 -o cut.tls", "cut.tls holds a TOOLID this extract does not write: \"A\" (line 4); "
                                              "cut.tls is left as it was; --force replaces it all the same"},
        {"extract demo.tls BALL8 -o link.tls --force", "link.tls: is the input file demo.tls"},
        {"extract demo.tls BALL8 -o readonly.tls", "readonly.tls: is read-only"},
        {"export --merge notlib.txt", "notlib.txt: export writes a tool library (.tls), not .txt"},
        {"export --merge cut.tls", "cut.tls:4: tool \"A\": the file ends inside the TOOLID record", 1},
        {"export --merge demo.tls -o new.tls", "--output excludes --merge"},
        {"export --merge demo.tls --append", "--append excludes --merge"},
        {"export --merge -", "--merge needs a file, not standard output (-)"},
        {"export -o - --append", "--append needs a file"},
        {"export --select -o new.tls", "--select needs a value, and \"-o\" looks like an option; for a value that "
                                       "starts with '-' write --select=-o"},
        // a file holding TOOLIDs the export does not write is not replaced,
        // a TOOLID held already is not appended again
        {"export part.json -o link.tls", "link.tls holds 12 TOOLIDs this export does not write: \"EM10_FLAT\" "
                                         "(line 4), \"BN16_R2\" (line 33), "},
        {"export part.json -o link.tls", "--force replaces it all the same, --append adds the export to it, "
                                         "--merge merges the export into it"},
        {"export -o demo.tls --append --select BALL8", "demo.tls already holds TOOLID \"BALL8\" (line 61); nothing "
                                                       "appended, demo.tls is left as it was; --merge replaces", 1},
        // read-only for its owner, root or not; another writer's
        {"export --merge readonly.tls", "readonly.tls: is read-only; it is left as it is"},
        {"merge demo.tls demo.tls -o readonly.tls", "readonly.tls: is read-only"},
        {"export -o readonly/new.tls", "readonly/new.tls: its folder is read-only"},
        {"export --merge held.tls", "held.tls: is being written by someone else (waited 5 s); nothing was written", 1},
        // one lock whatever the letter case; what is no lock file of ours is named and left alone
        {"export -o HELD.TLS", "HELD.TLS: is being written by someone else", 1},
        {"export -o lockdir.tls", "lockdir.tls: cannot be locked for writing: lockdir.tls.~kesto-lock: is a folder, "
                                  "not a lock file of ours; it is left as it is; nothing was written", 1},
        {"export -o LockLink.tls", "cannot be locked for writing: locklink.tls.~kesto-lock: is a link", 1},
        {"export -o lockfifo.tls", "lockfifo.tls.~kesto-lock: is not a plain file", 1},
        {"export -o lockdata.tls", "lockdata.tls.~kesto-lock: is not empty", 1},
        {"export -o lockhard.tls", "lockhard.tls.~kesto-lock: has another name (a hard link)", 1},
        {"export twice.json -o new.tls", "twice.json: part.members[0].params.length: is given twice"},
        // no descriptor left for the plug-in's output: said, on the one line, and nothing run
        {"export part.json -o new.tls", "cannot capture the plug-in's standard output: Too many open files", 3,
         kSixDescriptors},
        {"find part.json --database folder", "cannot capture the plug-in's standard output: Too many open files", 3,
         kSixDescriptors},
        {"export nul.json -o new.tls", "nul.json: part.members[0].name: holds a NUL (\\u0000)"},
        {"export -o device", "device: is not a regular file"},
        {"export -o fifo", "fifo: is not a regular file"},
        {"export -o folder", "folder: is a folder"},
        {"export -o nowhere/new.tls", "nowhere: no such folder"},
        {"export part.json -o part.json", "part.json: is the input file"},
        {"export part.json -o partlink.json", "partlink.json: is the input file part.json"},
        {"export -o notlib.txt --append", "notlib.txt: export writes a tool library (.tls), not .txt"},
        {"export -o cut.tls --append", "cut.tls: does not end with a line end"},
        {"export deep.json -o new.tls", "deep.json: nested deeper than 64 levels"},
        {"export huge_number.json -o new.tls", "huge_number.json: a number is out of range: number overflow"},
        {"export text_number.json -o new.tls", "text_number.json: part.members[0].params.diameter: must be a number, not a text"},
        {"export int_range.json -o new.tls", "int_range.json: part.members[0].params.flute_count: is out of the 32-bit range"},
        {"export --select NOPE -o new.tls", "--select NOPE: the part has no such tool"},
        {"export -o out.tls --plugin nothing.so", "cannot load", 3},
        {"export -o out.svg", "out.svg: export writes a tool library (.tls), not .svg"},
        {"run module_wrap.json", "module_wrap.json: module: is out of the 32-bit range"},
        {"run deep.json", "deep.json: nested deeper than 64 levels"},
        {"run files_escape.json", "files.sub/../../escape.txt: must be a relative path inside the run folder"},
        {"run files_absolute.json", "files./tmp/kesto-escape.txt: must be a relative path inside the run folder"},
        {"run files_folder.json", "files_folder.json: files.folder: is a folder"},
        {"run files_input.json", "files.files_input.json: is the input file"},
        {"run session.json -o device", "device: is not a regular file"},
        {"run session.json -o session.json", "session.json: is the input file"},
        {"run session.json >full", "standard output: cannot be written: No space left on device", 1},
        {"run session.json >&-", "standard output: cannot be written: Bad file descriptor", 1},
        {"run session.json -o transcript.txt", "transcript.txt: cannot be written: File too large", 1,
         "trap '' XFSZ; ulimit -f 1; "},
        {"run session.json session.json -o t.txt", "t.txt: two sessions would write this transcript"},
        // an output of another kind, or a library of other tools, is kept
        {"preview demo.tls -o readonly.tls", "readonly.tls: is read-only"},
        {"preview demo.tls -o out.svg", "out.svg is not a drawing this program wrote; out.svg is left as it was; "
                                        "--force replaces it all the same"},
        {"preview demo.tls -o esc.tls", "esc.tls: preview writes a drawing (.svg), not .tls"},
        {"preview demo.tls -o lib.svg", "lib.svg is not a drawing this program wrote: it is a tool library"},
        {"run session.json -o notlib.txt", "notlib.txt is not a transcript this program wrote"},
        {"sheet demo.tls -o transcript.txt", "transcript.txt: sheet writes a page (.html or .htm) or a table (.csv), not .txt"},
        {"sheet demo.tls -o x.xlsx", "x.xlsx: sheet writes a page (.html or .htm) or a table (.csv), not .xlsx"},
        {"catalog --database folder -o all.csv", "all.csv: catalog writes a page (.html or .htm), not .csv"},
        {"catalog --database demo.tls -o demo.tls", "demo.tls: is the input file"},
        {"catalog --database lib.html -o lib.html", "lib.html: is the input file"},
        {"sheet demo.tls -o esc.tls", "esc.tls: sheet writes a page (.html or .htm) or a table (.csv), not .tls"},
        {"sheet demo.tls -o lib.html", "lib.html is not a page this program wrote: it is a tool library"},
        {"sheet demo.tls -o demo.tls", "demo.tls: is the input file"},
        {"catalog -o c.html", "catalog needs a tool database: --database DIR"},
        {"merge demo.tls demo.tls -o cut.tls", "cut.tls holds a TOOLID this merge does not write: \"A\" (line 4)"},
        {"merge demo.tls demo.tls -o notlib.txt", "notlib.txt: merge writes a tool library (.tls), not .txt"},
        {"export -o esc.tls --dry-run -q", "", 1},
        {"merge demo.tls --backup=twice demo.tls -o x.tls", "--backup takes simple or numbered"},
        {"run session.json session.json deep.json -C folder -C folder", "-C and -o are given once for every session"},
        {"play files_folder.json", "files_folder.json: files.folder: is a folder"},
        {"play files_escape.json", "must be a relative path inside the run folder"},
        {"find demo.tls", "find needs a tool database"},
        {"find demo.tls --database nowhere", "cannot search nowhere: no such folder"},
        {"find --database nowhere demo.tls", "cannot search nowhere: no such folder"},
        {"find demo.tls --database fifo", "cannot search fifo: is neither a folder nor a library file"},
        {"find notlib.txt --database folder", "notlib.txt: is neither a tool library"},
        {"find deep.json --database folder", "deep.json: nested deeper than 64 levels"},
        {"find demo.tls --settings missing.ini", "cannot read missing.ini"},
        {"export --prefer nowhere -o new.tls", "cannot search nowhere: no such folder"},
        {"frobnicate demo.tls", "unknown subcommand \"frobnicate\"\nThe subcommands are run, export, play, diff, "
                                "merge, find, check, fix, remove, rename, extract, preview, sheet, catalog, settings, git-setup, help."},
        {"exprot", "unknown subcommand \"exprot\"; did you mean \"export\"?"},
        {"--verison", "unknown option \"--verison\" for kesto-tools-vericut; did you mean \"--version\"?"},
        {"", "A subcommand is required"},
    };
    TempDir dir;
    ASSERT_EQ(cli("export -o demo.tls").code, 0);
    fs::create_directory("folder");
    fs::create_symlink("demo.tls", "link.tls");
    fs::create_symlink("part.json", "partlink.json");
    fs::create_symlink("missing.svg", "dangling.svg");
    for (const auto &[name, content] : inputs) write_file(name, content);
    std::string ignored;
    ASSERT_EQ(testing_support::run_command("mknod device c 1 3 && mknod full c 1 7 && mkfifo fifo && "
                                           "chmod 444 readonly.tls && mkdir -m 555 readonly && "
                                           "mkdir lockdir.tls.~kesto-lock && ln -s notlib.txt locklink.tls.~kesto-lock && "
                                           "mkfifo lockfifo.tls.~kesto-lock && ln notlib.txt lockhard.tls.~kesto-lock",
                                           ignored), 0);
    kesto::LibraryLock held;
    ASSERT_EQ(held.take("held.tls"), kesto::LibraryLock::kTaken);
    write_file("huge.tls", "CGTECH Tool Library File\n");
    fs::resize_file("huge.tls", (uintmax_t(64) << 20) + 1);
    const auto before = snapshot(".");
#if defined(__SANITIZE_ADDRESS__)
    // the sanitizers' own runtime needs descriptors that six leave it no room for
    constexpr bool kSanitized = true;
#else
    constexpr bool kSanitized = false;
#endif
    for (const Row &row : rows) {
        SCOPED_TRACE(row.args);
        if (kSanitized && row.before == kSixDescriptors) continue;
        Result r = cli(row.args, row.before);
        EXPECT_EQ(r.code, row.code);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
        EXPECT_LT(r.err.find(row.message), r.err.find('\n')) << "the first line says what is wrong";
        EXPECT_EQ(snapshot("."), before);
        EXPECT_FALSE(file_exists("/tmp/kesto-escape.txt"));
        EXPECT_FALSE(file_exists("../escape.txt"));
    }
    // without -o the drawing goes beside the input under its name
    Result r = cli("preview demo.tls");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(read_file("demo.svg").rfind("<?xml", 0), 0u);
    EXPECT_EQ(read_file("demo.tls"), before.at("demo.tls"));
}

TEST(CliTlsfile, PipesQuietAndJson) {
    // Each row runs a shell line (K is the program) under pipefail: its exit
    // code, a piece of its standard output (or "" for none at all) and of
    // its standard error (or "" for none), and a file it must leave.
    struct Row {
        const char *line;
        int code;
        const char *out;
        const char *err;
        const char *leaves = "";
    };
    const Row rows[] = {
        {"cat demo.tls | K check -", 0, "(standard input): 12 tools\n  line 4: \"EM10_FLAT\"", ""},
        {"K check demo.tls damaged.tls", 1, "demo.tls: 12 tools, no problems\ndamaged.tls:", ""},
        {"K check demo.tls damaged.tls", 1, "damaged.tls: 12 tools, 1 problem\n", ""},
        {"K check -q damaged.tls", 1, "", ""},
        {"K check big.tls | head -1", 0, "big.tls: 36000 tools\n", ""},  // the reader went: quietly
        {"K check --json demo.tls missing.tls", 2, "\"error\": \"missing.tls: No such file or directory\"",
         "cannot read missing.tls"},
        {"K preview - <demo.tls | head -c 5", 0, "<?xml", ""},
        {"K preview demo.tls -o - --scale per-tool | tail -c 7", 0, "</svg>\n", ""},
        {"K export -o - | K diff demo.tls -", 0, "only in (standard input): 0 tools", "wrote standard output: 12 tools"},
        {"K export part.json -o - -q | K merge demo.tls - -o - | K check -q -", 0, "",
         "merged (standard input) into standard output: 0 tools replaced (0 changed), 2 tools added, 12 tools kept"},
        {"K run session.json -o - | head -c 6", 0, "load 1", ""},
        {"K export part.json -o p.tls", 0, "wrote p.tls: 2 tools\nskipped 2: the host's NONE member, 1 not a tool\n",
         "", "p.tls"},
        {"K export part.json -o sel.tls --select 'DR5 |HSS|'", 0,
         "skipped 3: the host's NONE member, 1 not selected, 1 not a tool\n", "", "p.tls"},
        {"K export part.json -o other.tls --force -q", 0, "", "", "other.tls"},
        {"K merge demo.tls changed.tls -o m.tls -q", 0, "", "", "m.tls"},
        {"K merge demo.tls damaged.tls -o m.tls --json", 1, "\"written\": false",
         "tool \"BALL8\": non-finite number 'inf'"},
        {"K export nf.json -o nf.tls --json", 0, "\"notes\": [\n    {\n      \"toolid\": \"EM7\",", "warning: "},
        {"K export nf.json -o nf.tls", 0, "wrote nf.tls: 2 tools",
         "warning: the plug-in says of tool \"EM7\": STANDARD values not finite, written as FLAT END\n", "nf.tls"},
        {"K export nf.json -o nf.tls -q", 0, "", "", "nf.tls"},
        // several parts in one library: EM10 is the same in both, written once; a different one is refused
        {"K export part.json nf.json -o two.tls", 0, "1 tool given by more than one part with the same record, "
         "written once\nwrote two.tls: 3 tools\n", "warning: the plug-in says of tool \"EM7\"", "two.tls"},
        {"K export part.json huge.json -o c.tls", 1, "", "TOOLID \"EM10\" is given by part.json and by huge.json "
         "with different records; rename the tool in one of the parts\n"},
        {"K export --select EM10 part.json nf.json", 2, "", "--select takes one part"},
        {"K export huge.json -o new.tls", 1, "", "4 problems in what the plug-in wrote; new.tls is not written; no "
                                                 "such file existed; --force writes it all the same"},
        {"K export huge.json -o new.tls --force", 1, "wrote new.tls: 1 tool",
         "warning: 4 problems in what the plug-in wrote; written all the same (--force)", "new.tls"},
        {"K diff demo.tls changed.tls --full", 1,
         "  \"BALL8\"\n    --- demo.tls\n    +++ changed.tls\n    @@ -62,3 +62,3 @@\n      62 62    UNITS MILLIMETER\n"
         "    - 63       DESCRIPTION \"D8.00 r4.00 H70.00\"\n    +    63    DESCRIPTION \"D8.00 r4.00 H71.00\"\n"
         "      64 64    GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)\n    @@ -71,3 +71,3 @@\n      71 71        "
         "CUTTER_TYPE \"BALL END\"\n    - 72           STANDARD (8.00000,4.00000,0.00000,4.00000,0.00000,0.00000,"
         "70.00000)\n    +    72        STANDARD",
         ""},
        {"K sheet part.json", 0, "wrote p.html: 2 tools\n", "", "p.html"},
        {"K sheet demo.tls -o s.csv && head -c 40 s.csv && tail -1 s.csv", 0,
         "wrote s.csv: 12 tools\n\xEF\xBB\xBFPosition;Tool number;TOOLID;Kind;Simu"
         "kesto-tools-vericut tool sheet;demo;", "", "s.csv"},
        {"K sheet part.json -o p.csv && grep DR5 p.csv", 0, "2;;DR5 |HSS|;drill;drill;mm;5;0;40;;", "", "p.csv"},
        // a library with problems: each tool listed, its problems in its row
        // what stands where the plug-in looks for its settings is named, never "not there"
        {"mkdir -p s1/application/kesto_tools_vericut.ini s2/application && mkfifo s2/application/kesto_tools_vericut.ini; "
         "K settings --env UGII_VENDOR_DIR=s1 --env UGII_USER_DIR=s2 --env UGII_SITE_DIR --env USER_UFUN --env "
         "UGII_INITIAL_UFUN_DIR --env UGII_TMP_DIR --env HOME --env TMP", 1,
         "s1/application/kesto_tools_vericut.ini: a folder of that name, no file: the plug-in passes it by\n", ""},
        {"K settings --env UGII_VENDOR_DIR=s1 --env UGII_USER_DIR=s2 --env UGII_SITE_DIR --env USER_UFUN --env "
         "UGII_INITIAL_UFUN_DIR --env UGII_TMP_DIR --env HOME --env TMP", 1,
         "s2/application/kesto_tools_vericut.ini: not a regular file (a pipe, a device or a socket): the plug-in "
         "passes it by\n", ""},
        // a part whose export has problems gets its sheet too
        {"K sheet zero.json; echo $?", 0, "wrote z.html: 1 tool\n1\n", "zero.json: 1 problem (see check)"},
        {"K sheet damaged.tls -o d.csv; echo $?; grep BALL8 d.csv", 0,
         "1\n"
         "3;;BALL8;ball-nose mill;ball end;mm;;4;71;;20;;;;D8.00 r4.00 H71.00;line 72: non-finite number 'inf'\r\n", "damaged.tls: 1 problem (see check); its tools are listed as read, each with its problems"},
        {"K sheet demo.tls -o again.html && K sheet demo.tls -o again.html", 0, "wrote again.html: 12 tools\n"
                                                                                 "wrote again.html: 12 tools\n", ""},
        {"K sheet demo.tls -o t.csv && K sheet demo.tls -o t.csv", 0, "wrote t.csv: 12 tools\nwrote t.csv", ""},
        {"K sheet demo.tls -o - | head -c 15", 0, "<!DOCTYPE html>", "wrote standard output: 12 tools\n"},
        {"K sheet notlib.txt", 2, "", "notlib.txt: is neither a tool library"},
        {"K check --json demo.tls", 0,
         "\"kind\": \"ball\",\n          \"diameter\": 8.0,\n          \"corner_radius\": 4.0,\n          "
         "\"length\": 70.0,\n          \"flute_length\": 20.0,\n          \"shank_diameter\": 0.0,\n          "
         "\"holder_sections\": null",
         ""},
        // interrupted while it holds the library's lock: no lock or temporary left, the library as it was
        {"cp demo.tls lib.tls; set -m; K export $(printf 'part.json %.0s' $(seq 80)) --merge lib.tls -q & "
         "for i in $(seq 400); do [ -e lib.tls.~kesto-lock ] && break; sleep 0.02; done; kill -INT $!; wait $!; "
         "echo rc=$?; ls -a | grep kesto || echo none; cmp lib.tls demo.tls && echo intact", 0,
         "rc=130\nnone\nintact\n", "kesto-tools-vericut: interrupted; lib.tls is left as it was\n"},
        {"cp demo.tls lib.tls; set -m; K export $(printf 'part.json %.0s' $(seq 80)) --merge lib.tls -q & "
         "for i in $(seq 400); do [ -e lib.tls.~kesto-lock ] && break; sleep 0.02; done; kill -TERM $!; wait $!; "
         "echo rc=$?; ls -a | grep kesto || echo none; cmp lib.tls demo.tls && echo intact", 0,
         "rc=143\nnone\nintact\n", "kesto-tools-vericut: interrupted; lib.tls is left as it was\n"},
        // mending: LF line ends, a byte-order mark, UTF-8 text; a clean library needs nothing
        {"sed 's/\\r$//' demo.tls >lf.tls; K fix lf.tls -o fixed.tls && cmp fixed.tls demo.tls && echo same", 0,
         "fixed.tls:\n  232 LF line ends made CR LF\nsame\n", ""},
        {"{ printf '\\357\\273\\277'; sed 's/H70.00/Фреза/' demo.tls; } >u.tls; K fix u.tls -o w.tls && "
         "iconv -f CP1251 -t UTF-8 w.tls | tail -c +1 | cmp - <(tail -c +4 u.tls) && echo same", 0,
         "w.tls:\n  byte-order mark removed\n  encoding UTF-8 made Windows-1251 (1 line)\nsame\n", ""},
        {"K fix demo.tls", 0, "demo.tls: nothing to change; it is left as it was\n", ""},
        {"sed 's/\\r$//' demo.tls >lf2.tls; K fix lf2.tls --dry-run; echo rc=$?; cmp lf2.tls lf.tls && echo untouched",
         0, "  would have: 232 LF line ends made CR LF\nrc=1\nuntouched\n", ""},
        // editing: the rest byte for byte, as diff counts it
        {"cp demo.tls r.tls; K remove r.tls BALL8 && K diff --stat demo.tls r.tls", 1,
         "r.tls:\n  removed \"BALL8\" (line 61)\n  11 records kept\ndemo.tls -> r.tls: 11 the same, 0 changed, 0 "
         "added, 1 removed\n", ""},
        {"K remove demo.tls 'T_*' 'BALL?' --dry-run", 1, "  keep \"OD_TURN_80\"\n  remove \"BALL8\"\n  remove "
         "\"T_SLOT_30\"\n  remove \"T_FULLRAD_30\"\ndry run, nothing written: demo.tls would get 0 added, 0 replaced, 9 "
         "kept, 3 removed, 0 refused\n", ""},
        {"cp demo.tls b.tls; K remove b.tls BALL8 --backup=numbered && cmp b.tls.~1~ demo.tls && echo kept", 0,
         "b.tls:\n  removed \"BALL8\" (line 61)\n  11 records kept\nthe old b.tls is kept as b.tls.~1~\nkept\n", ""},
        {"K extract demo.tls BALL8 -o p.tls --dry-run", 1,
         "  refuse \"EM10\": the new library does not hold it (--force removes it)\n", ""},
        {"cp twice.tls t.tls; K remove t.tls BALL8 --all -q && K diff -q t.tls r.tls && echo gone", 0, "gone\n", ""},
        {"cp twice.tls t2.tls; K remove t2.tls BALL8 --line 61 -q && K diff t2.tls demo.tls | tail -1", 0,
         "unchanged: 12 tools\n", ""},
        {"cp demo.tls n.tls; K rename n.tls 'DRILL_8.5 \"HSS\"' DR85 && K diff --stat demo.tls n.tls", 1,
         "n.tls:\n  renamed \"DRILL_8.5 |HSS|\" (line", ""},
        {"cp demo.tls n2.tls; K rename n2.tls BALL8 B8 --json", 0, "\"renamed\": \"BALL8\",\n  \"to\": \"B8\",", ""},
        {"K extract demo.tls 'DRILL*' BALL8 -o - | K check -", 0, "(standard input): 2 tools\n",
         "standard output:\n  wrote \"BALL8\" (line 61)\n  wrote \"DRILL_8.5 |HSS|\""},
        {"K extract demo.tls BALL8 -o x.tls --json", 0, "\"extracted\": [\n    {\n      \"toolid\": \"BALL8\",", "",
         "x.tls"},
        {"K diff -q demo.tls changed.tls", 1, "", ""},
        {"cp demo.tls same.tls; K diff -q demo.tls same.tls", 0, "", ""},
        {"K diff --stat demo.tls changed.tls", 1, "demo.tls -> changed.tls: 11 the same, 1 changed, 0 added, 0 removed\n", ""},
        {"K diff --stat --json demo.tls p.tls", 1, "\"unchanged\": 0,\n  \"changed\": 0,\n  \"added\": 2,\n  \"removed\": 12", ""},
        // colour on a terminal only, and not under NO_COLOR; through a pipe none (the rows above)
        {"script -qec \"K diff --stat demo.tls changed.tls\" /dev/null | cat -v", 1, "same, ^[[33m1 changed^[[0m, ^[[32m0 added", ""},
        {"NO_COLOR=1 script -qec \"K diff --stat demo.tls changed.tls\" /dev/null | cat -v", 1, "same, 1 changed, 0 added", ""},
        {"K diff demo.tls changed.tls --full --json", 1,
         "\"lines\": [\n        {\n          \"op\": \"-\",\n          \"old_line\": 63,\n          \"new_line\": null,",
         ""},
    };
    TempDir dir;
    ASSERT_EQ(cli("export -o demo.tls").code, 0);
    const std::string demo = read_file("demo.tls");
    Lines lines = split_crlf(demo);
    size_t standard = find_line(lines, "STANDARD (", "BALL8"), description = find_line(lines, "DESCRIPTION", "BALL8");
    lines[description].replace(lines[description].find("H70"), 3, "H71");
    lines[standard].replace(lines[standard].find("70.00000)"), 2, "71");
    write_file("changed.tls", join_crlf(lines));
    lines[standard].replace(lines[standard].find("8.00000"), 7, "inf");
    write_file("damaged.tls", join_crlf(lines));
    const size_t head = demo.find("TOOLID");
    std::string big = demo.substr(0, head);
    for (int i = 0; i < 3000; ++i)
        big += std::regex_replace(demo.substr(head), std::regex("TOOLID \""), "TOOLID \"" + std::to_string(i) + "_");
    write_file("big.tls", big);
    write_file("part.json", R"({"name": "p.prt", "members": [{"name": "EM10", "type": 1, "subtype": 1,
        "params": {"diameter": 10, "length": 75}}, {"name": "DR5 \"HSS\"", "type": 2, "params": {"diameter": 5,
        "length": 40, "point_angle": 2}}, {"name": "G", "object_type": 110}]})");
    write_file("zero.json", R"({"name": "z.prt", "members": [{"name": "Z0", "type": 1, "subtype": 1,
        "params": {"diameter": 0, "length": 75}}]})");
    write_file("nf.json", R"({"name": "p.prt", "members": [{"name": "EM7", "type": 1, "subtype": 2,
        "params": {"diameter": 10, "length": 75, "tip_angle": 1e308}}, {"name": "EM10", "type": 1, "subtype": 1,
        "params": {"diameter": 10, "length": 75}}]})");
    write_file("huge.json", R"({"name": "p.prt", "members": [{"name": "EM10", "type": 1, "subtype": 1,
        "params": {"diameter": 10, "length": 75, "r1": 1e308, "z_offset": 1e308}}]})");
    write_file("session.json", R"({"part": {"name": "p"}})");
    write_file("other.tls", demo);
    write_file("notlib.txt", "a text file\n");
    {
        const size_t ball = demo.find("TOOLID \"BALL8\""), next = demo.find("TOOLID \"", ball + 1);
        write_file("twice.tls", demo + demo.substr(ball, next - ball));
    }
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line);
        std::string line = std::regex_replace(row.line, std::regex("\\bK "), std::string(KESTO_CLI_PATH) + " ");
        Result r;
        r.code = testing_support::run_command(
            "bash -o pipefail -c '" + std::regex_replace(line, std::regex("'"), "'\\''") + "' 2>stderr.txt", r.out);
        r.err = read_file("stderr.txt");
        EXPECT_EQ(r.code, row.code) << r.err;
        if (*row.out) EXPECT_NE(r.out.find(row.out), std::string::npos) << r.out;
        else EXPECT_EQ(r.out, "");
        if (*row.err) EXPECT_NE(r.err.find(row.err), std::string::npos) << r.err;
        else EXPECT_EQ(r.err, "");
        EXPECT_TRUE(!*row.leaves || file_exists(row.leaves));
        EXPECT_FALSE(file_exists("-"));
        if (std::string(row.line).find("--json") != std::string::npos) {
            EXPECT_NO_THROW(nlohmann::json::parse(r.out));
        }
    }
}

TEST(CliTlsfile, EverySubcommandHasHelp) {
    TempDir dir;
    Result version = cli("--version");
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, std::string("kesto-tools-vericut ") + KESTO_VERSION + "\n");
    // not on a terminal, help is wrapped to 80 columns
    auto expect_wrapped = [](const std::string &help) {
        const Lines lines = split_lf(help);
        for (size_t i = 0; i < lines.size(); ++i) {
            const std::string &line = lines[i];
            // an example's command is one line however long; the line after it is its meaning
            if (line.rfind("  kesto-tools-vericut ", 0) == 0) {
                EXPECT_TRUE(i + 1 < lines.size() && lines[i + 1].rfind("      ", 0) == 0) << line;
                continue;
            }
            size_t columns = 0;
            for (unsigned char c : line) columns += (c & 0xC0) != 0x80;
            EXPECT_LE(columns, 80u) << line;
        }
    };
    Result top = cli("--help");
    EXPECT_EQ(top.code, 0);
    expect_wrapped(top.out);
    EXPECT_EQ(cli("help").out, top.out);
    // the list of subcommands: one line each
    const std::string list = top.out.substr(top.out.find("Subcommands:\n") + 13);
    EXPECT_EQ(split_lf(list.substr(0, list.find("\n\n"))).size(), 17u) << list;
    for (const std::string command : {"run", "export", "play", "diff", "merge", "find", "check", "preview", "settings",
                                      "sheet", "catalog", "fix", "remove", "rename", "extract", "git-setup"}) {
        SCOPED_TRACE(command);
        Result r = cli(command + " --help");
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find(" " + command + " [OPTIONS]"), std::string::npos) << r.out;
        EXPECT_NE(("\n" + list).find("\n  " + command + " "), std::string::npos) << list;
        expect_wrapped(r.out);
        EXPECT_GE(occurrences(r.out, "\n  kesto-tools-vericut " + command), 2u) << "examples\n" << r.out;
        EXPECT_EQ(cli("help " + command).out, r.out);
        // the subcommands that judge files say what their exit codes mean
        if (command != "run" && command != "export" && command != "play" && command != "settings") {
            for (const char *code : {"Exit 0", "1 when", "2 when"})
                EXPECT_NE(r.out.find(code), std::string::npos) << r.out;
        }
    }
}

}  // namespace
