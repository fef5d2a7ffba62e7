// The reference against the program: every key each command's --json
// object prints is documented and every documented key is printed; the man
// page passes mandoc's lint; the environment names every variable the
// sources read; every subcommand's exit codes are there.
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/unit/test_support.h"
#include "tools/cli/program.h"
#include "tools/cli/reference.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::read_file;
using testing_support::run_command;
using testing_support::TempDir;
using testing_support::write_file;

using Ran = testing_support::ProgramRun;
using testing_support::program;

std::string replaced(std::string text, const std::string &what, const std::string &with) {
    const size_t at = text.find(what);
    EXPECT_NE(at, std::string::npos) << what;
    return at == std::string::npos ? text : text.replace(at, what.size(), with);
}

const kesto::cli::JsonKey *documented(const std::string &shape, const std::string &path) {
    if (const kesto::cli::JsonShape *s = kesto::cli::json_shape(shape))
        for (const kesto::cli::JsonKey &k : s->keys)
            if (path == k.path) return &k;
    return nullptr;
}

using Seen = std::set<std::pair<std::string, std::string>>;  // shape, path

// Every key path of value under shape ("[]" for an array's elements); a
// key documented as a shared object's continues in that shape.
void collect(const json &value, const std::string &prefix, const std::string &shape, Seen &seen) {
    if (value.is_array()) {
        const std::string elements = (prefix.empty() ? "" : prefix.substr(0, prefix.size() - 1)) + "[].";
        for (const json &v : value) collect(v, elements, shape, seen);
        return;
    }
    if (!value.is_object()) return;
    for (const auto &[key, v] : value.items()) {
        const std::string path = prefix + key;
        // the keys every object has
        const std::string in = prefix.empty() && shape != "run" && documented("every", key) ? "every" : shape;
        seen.insert({in, path});
        const kesto::cli::JsonKey *k = documented(in, path);
        if (!k || !k->shape) {
            collect(v, path + ".", in, seen);
        } else if (v.is_array()) {
            for (const json &e : v) collect(e, "", k->shape, seen);  // of such objects
        } else {
            collect(v, "", k->shape, seen);
        }
    }
}

// A demo export, its record of EM10_FLAT written otherwise.
std::string with_em10(const std::string &site, const std::string &catalogue) {
    return replaced(site, "CAT-EM10", catalogue);
}

TEST(CliReference, JsonKeysAreThoseThePrintedObjectsHave) {
    TempDir dir;
    const std::string plugin = " --plugin " KESTO_PLUGIN_PATH, source = KESTO_SOURCE_DIR;
    ASSERT_EQ(program("export -q -o SITE.tls" + plugin).code, 0);
    const std::string site = read_file("SITE.tls");
    fs::copy(source + "/examples", "ex", fs::copy_options::recursive);
    // one tool changed, BALL8 renamed; BN16_R2 twice; a negative diameter;
    // two keepers' EM10_FLAT; LF line ends; no library at all
    write_file("NEW.tls", replaced(with_em10(site, "CAT-NEW"), "TOOLID \"BALL8\"", "TOOLID \"BALL9\""));
    write_file("TWICE.tls", site + site.substr(site.find("TOOLID \"BN16_R2\""), site.find("TOOLID \"BALL8\"") -
                                                                                     site.find("TOOLID \"BN16_R2\"")));
    write_file("BAD.tls", replaced(site, "STANDARD (10.00000", "STANDARD (-10.00000"));
    write_file("OURS.tls", with_em10(site, "CAT-OURS"));
    write_file("THEIRS.tls", with_em10(site, "CAT-THEIRS"));
    write_file("LF.tls", std::regex_replace(site, std::regex("\r\n"), "\n"));
    write_file("LF2.tls", read_file("LF.tls"));
    write_file("NOTLIB.tls", "not a library\n");
    for (const char *copy : {"SITE2.tls", "EDIT.tls", "EDIT2.tls"}) write_file(copy, read_file("NEW.tls"));
    fs::create_directories("db");
    write_file("db/a.tls", read_file("TWICE.tls"));
    write_file("db/b.tls", replaced(site, "STANDARD (10.00000", "STANDARD (11.00000"));
    fs::create_directories("vendor/application");
    fs::copy("ex/kesto_tools_vericut.ini", "vendor/application/kesto_tools_vericut.ini");
    std::string out;
    ASSERT_EQ(run_command("git init -q repo", out), 0) << "git is needed (scripts/install-deps.sh)";

    const std::vector<std::pair<std::string, std::string>> rows = {
        {"check", "check --json SITE.tls BAD.tls missing.tls"},
        {"diff", "diff --json SITE.tls NEW.tls"},
        {"diff", "diff --json --full SITE.tls TWICE.tls"},
        {"diff", "diff --json --full SITE.tls NEW.tls"},
        {"diff", "diff --json --stat SITE.tls NEW.tls"},
        {"diff", "diff --json --git p SITE.tls a 100644 NEW.tls b 100644"},
        {"export", "export --json -o OUT.tls" + plugin},
        {"export", "export --json " + source + "/tests/sessions/export_non_finite.json -o NF.tls" + plugin},
        {"export", "export --json -o NEW.tls --dry-run" + plugin},
        {"export", "export --json -o NEW.tls --dry-run --force" + plugin},
        {"export", "export --json ex/site_part.json --settings ex/kesto_tools_vericut.ini --merge SITE2.tls" + plugin},
        {"export", "export --json ex/PART.json --prefer ex/database -o P.tls" + plugin},
        {"find", "find --json NEW.tls --database db"},
        {"merge", "merge --json SITE.tls NEW.tls -o M.tls"},
        {"merge", "merge --json SITE.tls NEW.tls -o M.tls --backup"},
        {"merge", "merge --json --dry-run SITE.tls NEW.tls -o NOTLIB.tls"},
        {"merge", "merge --json --force BAD.tls SITE.tls -o M2.tls"},
        {"merge", "merge --json --three-way SITE.tls OURS.tls THEIRS.tls -o T.tls"},
        {"fix", "fix --json LF.tls"},
        {"fix", "fix --json --dry-run LF2.tls"},
        {"remove", "remove --json EDIT.tls BALL9"},
        {"remove", "remove --json --dry-run EDIT2.tls EM10_FLAT"},
        {"rename", "rename --json EDIT2.tls EM10_FLAT EM11"},
        {"rename", "rename --json --dry-run EDIT2.tls EM11 EM12"},
        {"extract", "extract --json SITE.tls 'DR*' -o X.tls"},
        {"extract", "extract --json --dry-run SITE.tls 'BALL*' -o X.tls"},
        {"settings", "settings --json --env UGII_VENDOR_DIR=" + dir.file("vendor")},
        {"git-setup", "git-setup --json"},
        {"run", "run --json " + source + "/tests/sessions/export_all_open.json" + plugin},
    };
    Seen seen;
    for (const auto &[shape, line] : rows) {
        SCOPED_TRACE(line);
        if (shape == "git-setup") fs::current_path("repo");
        const Ran r = program(line);
        if (shape == "git-setup") fs::current_path(dir.path());
        const json object = json::parse(r.out, nullptr, false);
        ASSERT_FALSE(object.is_discarded()) << r.out << r.err;
        ASSERT_EQ(object.is_array(), shape == "run");
        Seen here;
        collect(object, "", shape, here);
        for (const auto &[in, path] : here) {
            EXPECT_NE(documented(in, path), nullptr) << "not in the reference: " << in << " " << path;
            seen.insert({in, path});
        }
    }
    // every key the reference lists is one some row printed
    for (const kesto::cli::JsonShape &shape : kesto::cli::json_shapes())
        for (const kesto::cli::JsonKey &key : shape.keys)
            EXPECT_EQ(seen.count({shape.name, key.path}), 1u) << "never printed: " << shape.name << " " << key.path;
}

std::vector<std::string> subcommand_names() {
    std::vector<std::string> names;
    std::istringstream help(program("--help").out);
    bool listed = false;
    for (std::string line; std::getline(help, line);) {
        if (line == "Subcommands:") listed = true;
        else if (listed && line.rfind("  ", 0) == 0 && line[2] != ' ') names.push_back(line.substr(2, line.find(' ', 2) - 2));
        else if (listed && line.empty()) break;
    }
    return names;
}

TEST(CliReference, ManPagePassesMandocAndCoversEverySubcommand) {
    TempDir dir;
    const Ran man = program("--man-page");
    ASSERT_EQ(man.code, 0) << man.err;
    write_file("kesto-tools-vericut.1", man.out);
    // the date comes from SOURCE_DATE_EPOCH when it is set
    std::string out;
    ASSERT_EQ(run_command("SOURCE_DATE_EPOCH=86400 " KESTO_CLI_PATH " --man-page | head -1", out), 0);
    EXPECT_EQ(out, ".TH KESTO\\-TOOLS\\-VERICUT 1 1970-01-02 \"kesto\\-tools\\-vericut " KESTO_VERSION "\"\n");
    const std::vector<std::string> names = subcommand_names();
    ASSERT_GE(names.size(), 16u);
    const std::string text = program("--reference").out;
    const size_t exits = text.find("\nEXIT STATUS\n"), environment = text.find("\nENVIRONMENT\n");
    ASSERT_LT(exits, environment);
    for (const std::string &name : names) {
        if (name == "help") continue;
        EXPECT_NE(man.out.find("\n.SS " + std::regex_replace(name, std::regex("-"), "\\-") + "\n"), std::string::npos)
            << name;
        // its exit codes, in EXIT STATUS
        const std::string status = text.substr(exits, environment - exits);
        EXPECT_TRUE(std::regex_search(status, std::regex("\n       " + name + "( +|\n {14})Exit 0 ")))
            << name << " has no exit codes";
    }
    if (run_command("command -v mandoc", out) != 0) GTEST_SKIP() << "mandoc is missing (scripts/install-deps.sh)";
    // no warning, and no error: lint says nothing and exits 0
    EXPECT_EQ(run_command("mandoc -T lint -W warning kesto-tools-vericut.1 2>&1", out), 0) << out;
    EXPECT_EQ(out, "");
}

// The reference for each shell: the POSIX one's, and the one the Windows
// package carries, made by this program as the Windows program prints it.
TEST(CliReference, ForEachShell) {
    const std::string posix = program("--reference").out, windows = program("--reference=windows").out;
    const std::pair<const std::string *, std::vector<std::string>> rows[] = {
        {&posix, {"--select 'EM*' -o MILLS.tls", "End of input (Ctrl-D)", "$UGII_SITE_DIR/application/", "TMPDIR"}},
        {&windows,
         {"--select \"EM*\" -o MILLS.tls", "End of input (Ctrl-Z, then Enter)", "%UGII_SITE_DIR%\\application\\",
          "USERPROFILE", "SUBCOMMAND /?", "REFERENCE.txt"}},
    };
    for (const auto &[text, pieces] : rows)
        for (const std::string &piece : pieces) EXPECT_NE(text->find(piece), std::string::npos) << piece;
    EXPECT_EQ(windows.find("'EM*'"), std::string::npos);
    EXPECT_EQ(windows.find("Ctrl-D"), std::string::npos);
    // the switch asks for the texts only: the help of a command stays this system's
    EXPECT_NE(program("help play").out.find("(Ctrl-D)"), std::string::npos);
}

// Every variable a getenv in the program's sources reads by name is in
// the reference's ENVIRONMENT.
TEST(CliReference, EnvironmentNamesEveryVariableTheSourcesRead) {
    std::set<std::string> documented_names;
    for (bool windows : {false, true})
        for (const kesto::cli::EnvironmentVariable &v : kesto::cli::environment_variables(windows))
            documented_names.insert(v.name);
    const std::regex call(R"((?:getenv|_wgetenv)\(\s*L?\"([A-Z_0-9]+)\")");
    size_t found = 0;
    for (const char *folder : {"tools", "host", "src"})
        for (const auto &entry : fs::recursive_directory_iterator(std::string(KESTO_SOURCE_DIR) + "/" + folder)) {
            if (!entry.is_regular_file()) continue;
            const std::string text = read_file(entry.path().string());
            for (std::sregex_iterator m(text.begin(), text.end(), call), end; m != end; ++m, ++found)
                EXPECT_EQ(documented_names.count((*m)[1]), 1u) << (*m)[1] << " (" << entry.path() << ")";
        }
    EXPECT_GE(found, 7u);
}

}  // namespace
