#pragma once

// Japanese fonts by their Windows names, served where those are missing by
// the installed substitutes (IPA, Noto CJK, VL Gothic), chosen as Qt would
// choose them but without its costly search for a family not installed.

#include <QFont>

namespace zentick::ui {

QFont msGothic(qreal pointSize);   // fixed pitch
QFont msPGothic(qreal pointSize);  // proportional
// The substitutes, for text that names the Windows fonts itself.
void installFontSubstitutes();

}  // namespace zentick::ui
