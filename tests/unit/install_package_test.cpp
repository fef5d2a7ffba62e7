// What a user installs: the native build installed into a prefix, and the
// Windows package unpacked.  Each runs the demo export from a folder of its
// own, with the plug-in beside the program (a decoy in the current folder
// is never loaded), and writes the bytes the build's own program writes.
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "tests/unit/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;

std::string quoted(const std::string &s) { return "'" + s + "'"; }

// Installs into a folder (made current) and checks what is there, through
// install, which returns the command that starts the installed program;
// then runs the demo export with it from another folder that holds a decoy
// of the plug-in.
void expect_demo_export_runs(const std::function<std::string(const fs::path &)> &install, const char *files[],
                             const char *decoy) {
    TempDir dir;
    std::string out;
    ASSERT_EQ(run_command(quoted(KESTO_CLI_PATH) + " export -o reference.tls", out), 0) << out;
    const fs::path folder = fs::path(dir.path()) / "installed";
    const std::string program = install(folder);
    for (const char **f = files; *f; ++f) EXPECT_TRUE(fs::is_regular_file(folder / *f)) << *f << " is not installed";
    fs::create_directory("elsewhere");
    write_file("elsewhere/" + std::string(decoy), "not a library");
    EXPECT_EQ(run_command("cd elsewhere && " + program + " export -o demo.tls 2>&1", out), 0) << out;
    EXPECT_TRUE(read_file("elsewhere/demo.tls") == read_file("reference.tls")) << out;
}

TEST(InstallAndPackage, InstalledProgramFindsItsPluginAndLibraries) {
    const char *files[] = {"bin/kesto-tools-vericut", "bin/kesto_tools_vericut.so",
                           "share/doc/kesto_tools_vericut/README.md", nullptr};
    expect_demo_export_runs(
        [](const fs::path &folder) {
            std::string out;
            EXPECT_EQ(run_command(quoted(KESTO_CMAKE) + " --install " + quoted(KESTO_BINARY_DIR) + " --prefix " +
                                      quoted(folder.string()) + " 2>&1", out), 0) << out;
            // the simulated host's libraries are found relative to the program
            const std::string program = (folder / "bin/kesto-tools-vericut").string();
            EXPECT_EQ(run_command("ldd " + quoted(program), out), 0);
            EXPECT_NE(out.find("libufun.so => " + folder.string() + "/"), std::string::npos) << out;
            return quoted(program);
        },
        files, "kesto_tools_vericut.so");
}

TEST(InstallAndPackage, WindowsZipRunsUnpackedUnderWine) {
    if (wine_dir().empty()) GTEST_SKIP() << "no Windows build given (KESTO_WIN32_DIR or KESTO_WINE_DIR)";
    const char *files[] = {"INSTALL.txt", "README.md", "kesto-tools-vericut.exe", "kesto_tools_vericut.dll",
                           "kesto_tools_vericut.ini", "libufun.dll", "libugopenint.dll", nullptr};
    expect_demo_export_runs(
        [](const fs::path &folder) {
            std::string out;
            EXPECT_EQ(run_command(quoted(KESTO_CPACK) + " --config " + quoted(wine_dir() + "/CPackConfig.cmake") +
                                      " -B " + quoted((folder / "zip").string()) + " 2>&1", out), 0) << out;
            fs::path zip;
            for (const fs::directory_entry &e : fs::directory_iterator(folder / "zip"))
                if (e.path().extension() == ".zip") zip = e.path();
            // the package's one folder, unpacked in place of the installed one
            EXPECT_EQ(run_command("cd " + quoted(folder.string()) + " && " + quoted(KESTO_CMAKE) + " -E tar xf " +
                                      quoted(zip.string()) + " && mv " + quoted(zip.stem().string()) + "/* . 2>&1",
                                  out), 0) << out;
            return wine_command() + " " + quoted((folder / "kesto-tools-vericut.exe").string());
        },
        files, "kesto_tools_vericut.dll");
}

}  // namespace
