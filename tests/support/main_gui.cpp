// Test main for suites with widgets: offscreen unless told otherwise, so no display is needed.
#include <QApplication>

#include <gtest/gtest.h>

// Qt WebEngine 6.4 as Debian 12 ships it deletes one of its own objects through a pointer
// of a smaller type whenever a page that finished loading goes away (every frame of the
// report lies inside libQt6WebEngineCore). Under AddressSanitizer that one check is
// switched off for the suites with windows, which show such pages; every other check stays.
extern "C" const char *__asan_default_options() { return "new_delete_type_mismatch=0"; }

int main(int argc, char **argv) {
    // gtest_discover_tests runs the binary without ctest's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
