// What a user installs runs the demo export from another folder, which holds
// a decoy of the plug-in, and writes what the build's own program writes:
// the native build installed into a prefix, the Windows ZIP unpacked.
#include <gtest/gtest.h>

#include "tests/unit/test_support.h"

namespace {

using namespace testing_support;

// Fills the folder "installed" with the shell commands install, checks that
// it holds the files (some of what is installed) and runs program there.
void expect_demo_export_runs(const std::string &install, const std::string &files, const std::string &program) {
    TempDir dir;
    std::string out;
    ASSERT_EQ(run_command("'" KESTO_CLI_PATH "' export -o reference.tls && " + install + " 2>&1", out), 0) << out;
    EXPECT_EQ(run_command("cd installed && ls " + files + " 2>&1", out), 0) << out;
    write_file("kesto_tools_vericut.so", "not a library");
    write_file("kesto_tools_vericut.dll", "not a library");
    EXPECT_EQ(run_command(program + " export -o demo.tls 2>&1", out), 0) << out;
    EXPECT_TRUE(read_file("demo.tls") == read_file("reference.tls")) << out;
}

TEST(InstallAndPackage, InstalledProgramFindsItsPluginAndLibraries) {
    expect_demo_export_runs("'" KESTO_CMAKE "' --install '" KESTO_BINARY_DIR "' --prefix installed && ldd "
                            "installed/bin/kesto-tools-vericut | grep -q \"libufun.so => $PWD/installed/\"",
                            "bin/kesto_tools_vericut.so share/doc/kesto_tools_vericut/README.md",
                            "installed/bin/kesto-tools-vericut");
}

TEST(InstallAndPackage, WindowsZipRunsUnpackedUnderWine) {
    if (wine_dir().empty()) GTEST_SKIP() << "no Windows build given (KESTO_WIN32_DIR or KESTO_WINE_DIR)";
    expect_demo_export_runs("'" KESTO_CPACK "' --config '" + wine_dir() + "/CPackConfig.cmake' -B zip && mkdir "
                            "installed && cd installed && '" KESTO_CMAKE "' -E tar xf ../zip/*.zip && mv */* .",
                            "kesto_tools_vericut.dll libufun.dll libugopenint.dll kesto_tools_vericut.ini INSTALL.txt "
                            "README.md", wine_command() + " installed/kesto-tools-vericut.exe");
}

}  // namespace
