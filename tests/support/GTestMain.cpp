#include "core/TApplication.h"

#include <QApplication>

#include <gtest/gtest.h>

// Logic tests run with an application object so that code using Qt's event machinery
// behaves as it does in the program.
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallSpanishQtTexts();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
