#pragma once

#include <QGroupBox>
#include <QRect>
#include <QString>

namespace zentick::ui {

// A frame whose border runs through the middle of its caption, as the
// windows were laid out for: the caption's top is the frame's top, and the
// controls inside keep their places measured from it.
class CaptionFrame final : public QGroupBox {
public:
    CaptionFrame(const QString& caption, QWidget* parent);

    // The inside of the border, in the frame's own coordinates.
    QRect borderRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace zentick::ui
