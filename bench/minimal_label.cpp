// The yardstick for start-up time and memory: the least a Qt 6 Widgets
// program can show.

#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Minimal"));
    label.setWindowTitle(QStringLiteral("Minimal"));
    label.show();
    return QApplication::exec();
}
