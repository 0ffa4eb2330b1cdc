#pragma once

// Japanese fonts by their Windows names; substitutes installed by
// installFontSubstitutes() serve where those are missing.

#include <QFont>

namespace zentick::ui {

QFont msGothic(qreal pointSize);   // fixed pitch
QFont msPGothic(qreal pointSize);  // proportional
void installFontSubstitutes();

}  // namespace zentick::ui
