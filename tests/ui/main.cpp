// GoogleTest with a QApplication, for driving the real windows offscreen.

#include "ui/fonts.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace {

QtMessageHandler standardHandler = nullptr;

// The offscreen platform cannot raise windows and says so on every try.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message != QLatin1String("This plugin does not support raise()"))
        standardHandler(type, context, message);
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    standardHandler = qInstallMessageHandler(quietHandler);
    zentick::ui::installFontSubstitutes();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
