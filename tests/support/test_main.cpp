#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Tests run inside an application object, as the program does, so that image plugins,
// fonts and event loops behave as they do for users. No display is needed. Stored settings
// go to a configuration folder of the test's own, never the user's.
int main(int argc, char** argv) {
    // KEELWICK_TEST_PLATFORM=xcb shows the window on a (virtual) display for screenshots.
    qputenv("QT_QPA_PLATFORM", qgetenv("KEELWICK_TEST_PLATFORM").isEmpty()
                                   ? QByteArray("offscreen")
                                   : qgetenv("KEELWICK_TEST_PLATFORM"));
    QTemporaryDir configuration;
    qputenv("XDG_CONFIG_HOME", configuration.path().toUtf8());
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
