#include <QGuiApplication>

#include <gtest/gtest.h>

// Tests run inside an application object, as the program does, so that image plugins,
// fonts and event loops behave as they do for users. No display is needed.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
