// The honest floor for Zentick's start-up: a minimal Qt 6 Widgets window
// with the main window's Japanese texts in the same fonts, and nothing else
// (no settings file, no clock, no timer, no sound).

#include "ui/fonts.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    zentick::ui::installFontSubstitutes();
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal Japanese"));
    window.setFont(zentick::ui::msPGothic(9));
    window.setFixedSize(227, 79);
    auto* time = new QLineEdit(QStringLiteral("23:54"), &window);
    time->setFont(zentick::ui::msGothic(20.25));
    time->setGeometry(16, 32, 97, 36);
    auto* date = new QLabel(QStringLiteral("Dec 8, Tue"), &window);
    date->setFont(zentick::ui::msPGothic(12));
    date->setGeometry(24, 8, 97, 17);
    (new QPushButton(QStringLiteral("設定"), &window))->setGeometry(152, 32, 41, 17);
    (new QPushButton(QStringLiteral("終了"), &window))->setGeometry(152, 52, 41, 17);
    (new QCheckBox(QStringLiteral("アラーム ＯＮ"), &window))->setGeometry(128, 12, 89, 12);
    window.show();
    return QApplication::exec();
}
