#include "ui/program_icon.h"

#include <QImageReader>
#include <QPixmap>

#include "ui/zentick.xpm"

namespace zentick::ui {

QIcon programIcon()
{
    // The sizes a title bar and a task bar take, up to twice 32 for a screen
    // scaled to 200 %; launchers and docks take the larger ones from the
    // icon theme. The window system is handed every size here at start-up,
    // so there are no more than these.
    QIcon icon{QPixmap(zentick_icon)};
    // Read as PNG, said outright: asked to find the format, Qt first loads
    // every image format plugin to ask each, a cost at every start.
    for (const int size : {16, 48, 64}) {
        QImageReader reader(QStringLiteral(":/icons/zentick-%1.png").arg(size), "png");
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
    }
    return icon;
}

}  // namespace zentick::ui
