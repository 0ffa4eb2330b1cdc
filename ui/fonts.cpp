#include "ui/fonts.h"

#include <QFontDatabase>
#include <QHash>
#include <QString>
#include <QStringList>

namespace zentick::ui {

namespace {

const QString kGothic = QStringLiteral("ＭＳ ゴシック");
const QString kPGothic = QStringLiteral("ＭＳ Ｐゴシック");

// What serves where the Windows fonts are missing: the IPA fonts the set-up
// installs, then Noto CJK and VL Gothic, common on other desktops.
QStringList substitutesFor(const QString& family)
{
    if (family == kGothic)
        return {QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("VL Gothic"),
                QStringLiteral("MS Gothic")};
    return {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"),
            QStringLiteral("MS PGothic")};
}

// The installed family that serves `named`: itself, else its first
// installed substitute, as Qt would pick it; found once for the run in the
// list of installed families, which Qt reads at start in any case. Handed
// to Qt by that name, a missing family costs nothing: asked for by its own
// name, Qt has fontconfig sort every installed font to find a fallback, for
// each family and size (with a desktop's thousands of fonts, a start-up's
// tens of milliseconds).
QString installedFamily(const QString& named)
{
    static QHash<QString, QString> found;
    if (const auto known = found.constFind(named); known != found.cend())
        return *known;
    const QStringList installed = QFontDatabase::families();
    QString family = named;  // none installed: Qt's own search finds what it can
    if (!installed.contains(named)) {
        for (const QString& substitute : substitutesFor(named)) {
            if (installed.contains(substitute)) {
                family = substitute;
                break;
            }
        }
    }
    found.insert(named, family);
    return family;
}

QFont japaneseFont(const QString& family, qreal pointSize, QFont::StyleHint hint)
{
    QFont font(installedFamily(family));
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
    for (const QString& family : {kGothic, kPGothic})
        QFont::insertSubstitutions(family, substitutesFor(family));
}

}  // namespace zentick::ui
