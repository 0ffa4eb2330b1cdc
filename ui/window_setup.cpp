#include "ui/window_setup.h"

#include "ui/program_icon.h"
#include "ui/twips.h"

#include <QAccessibleWidget>
#include <QGuiApplication>
#include <QWidget>

namespace zentick::ui {

namespace {

// Qt knows the roles of QDialog and QMainWindow only; a window built on a
// plain QWidget would be announced as a "filler" rather than as a window.
constexpr char kRoleProperty[] = "zentickWindowRole";

QAccessibleInterface* windowWithRole(const QString& className, QObject* object)
{
    auto* window = qobject_cast<QWidget*>(object);
    if (className != QLatin1String("QWidget") || !window || !window->isWindow())
        return nullptr;
    const QVariant role = window->property(kRoleProperty);
    if (!role.isValid())
        return nullptr;
    return new QAccessibleWidget(window, role.value<WindowRole>() == WindowRole::Dialog ? QAccessible::Dialog
                                                                                     : QAccessible::Window);
}

void setRole(QWidget* window, WindowRole role)
{
    // Qt keeps its accessibility factories for the life of the program.
    static const bool installed = (QAccessible::installFactory(windowWithRole), true);
    Q_UNUSED(installed);
    window->setProperty(kRoleProperty, QVariant::fromValue(role));
}

}  // namespace

void setUpWindow(QWidget* window, const char* name, const QString& caption, int width, int height, WindowRole role)
{
    setRole(window, role);  // first: the caption below already makes its accessible interface
    window->setObjectName(QLatin1String(name));
    window->setWindowTitle(caption);
    window->setAccessibleName(caption);
    // The icon the program has already given all its windows, when it has:
    // making it again would cost every window a millisecond.
    const QIcon shared = QGuiApplication::windowIcon();
    window->setWindowIcon(shared.isNull() ? programIcon() : shared);
    setClientSize(window, width, height);
}

}  // namespace zentick::ui
