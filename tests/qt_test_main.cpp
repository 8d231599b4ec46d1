#include <gtest/gtest.h>
#include <QApplication>

#include "window/font_faces.h"

// Widget tests need one application object; without a display they draw offscreen.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    addWineFaces();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
