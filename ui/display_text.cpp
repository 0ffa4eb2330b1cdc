#include "ui/display_text.h"

#include <QAccessibleWidget>
#include <QLineEdit>

namespace zentick::ui {

namespace {

constexpr char kDisplayProperty[] = "zentickDisplay";

// Its text, a cursor a screen reader may move, and nothing to edit.
class DisplayText final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit DisplayText(QLineEdit* box) : QAccessibleWidget(box, QAccessible::EditableText) {}

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.editable = false;
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(int startOffset, int endOffset) const override
    {
        return box()->text().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(box()->text().size()); }
    int cursorPosition() const override { return box()->cursorPosition(); }
    void setCursorPosition(int position) override { box()->setCursorPosition(position); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* startOffset, int* endOffset) const override
    {
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }
    // Nothing in it is there to be selected.
    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}

private:
    QLineEdit* box() const { return static_cast<QLineEdit*>(widget()); }
};

QAccessibleInterface* displayFor(const QString& className, QObject* object)
{
    auto* box = qobject_cast<QLineEdit*>(object);
    if (className != QLatin1String("QLineEdit") || !box || !box->property(kDisplayProperty).toBool())
        return nullptr;
    return new DisplayText(box);
}

}  // namespace

void announceAsDisplay(QLineEdit* box)
{
    // Qt keeps its accessibility factories for the life of the program.
    static const bool installed = (QAccessible::installFactory(displayFor), true);
    Q_UNUSED(installed);
    box->setProperty(kDisplayProperty, true);
    box->setReadOnly(true);
}

}  // namespace zentick::ui
