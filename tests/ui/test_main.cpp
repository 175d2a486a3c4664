// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the wizard's tests inside one QApplication on the offscreen platform, with HOME and
// XDG_CONFIG_HOME pointing at a private folder so that the settings file is the test's own, and
// no session bus to be found (a runtime folder of its own, without one), so that a password goes
// to that file and never to the keyring of the desktop the tests happen to run in.

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <sys/stat.h>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char homeTemplate[] = "/tmp/pictrova-ui-test-XXXXXX";
    const char* home = mkdtemp(homeTemplate);
    if (home == nullptr)
        return 2;
    setenv("HOME", home, 1);
    setenv("XDG_CONFIG_HOME", (std::filesystem::path(home) / ".config").c_str(), 1);
    unsetenv("XDG_DESKTOP_DIR");
    const std::filesystem::path runtimeFolder = std::filesystem::path(home) / "runtime";
    mkdir(runtimeFolder.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtimeFolder.c_str(), 1);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    unsetenv("DISPLAY");

    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return result;
}
