#include "ui/fonts.h"

#include <QString>
#include <QStringList>

namespace zentick::ui {

namespace {

const QString kGothic = QStringLiteral("ＭＳ ゴシック");
const QString kPGothic = QStringLiteral("ＭＳ Ｐゴシック");

QFont japaneseFont(const QString& family, qreal pointSize, QFont::StyleHint hint)
{
    QFont font(family);
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    font.setStyleHint(hint);
    return font;
}

}  // namespace

QFont msGothic(qreal pointSize)
{
    return japaneseFont(kGothic, pointSize, QFont::TypeWriter);
}

QFont msPGothic(qreal pointSize)
{
    return japaneseFont(kPGothic, pointSize, QFont::SansSerif);
}

void installFontSubstitutes()
{
    // The IPA fonts are what the set-up installs; Noto CJK and VL Gothic are
    // common on other desktops.
    QFont::insertSubstitutions(kGothic, {QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"),
                                         QStringLiteral("VL Gothic"), QStringLiteral("MS Gothic")});
    QFont::insertSubstitutions(kPGothic, {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP"),
                                          QStringLiteral("VL PGothic"), QStringLiteral("MS PGothic")});
}

}  // namespace zentick::ui
