#include "gui/platform/elide.h"

namespace plovern {

QString elidePath(const QString& path, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    if (!path.contains(QLatin1Char('/'))) // not a path: its start matters most
        return metrics.elidedText(path, Qt::ElideRight, width);
    const qsizetype cut = path.lastIndexOf(QLatin1Char('/'), path.endsWith(QLatin1Char('/')) ? -2 : -1);
    const QString tail = cut > 0 ? path.mid(cut) : path;
    const QString ellipsis(QChar(0x2026));
    if (cut <= 0 || metrics.horizontalAdvance(ellipsis + tail) > width)
        return metrics.elidedText(path, Qt::ElideLeft, width);
    const int room = width - metrics.horizontalAdvance(tail);
    return metrics.elidedText(path.left(cut), Qt::ElideRight, room) + tail;
}

QFont fittedFont(QFont font, const QStringList& texts, int room)
{
    constexpr qreal kReadable = 7.0;
    const auto fits = [&] {
        const QFontMetrics metrics(font);
        for (const QString& text : texts) {
            if (metrics.horizontalAdvance(text) > room)
                return false;
        }
        return true;
    };
    while (!fits() && font.pointSizeF() - 0.25 >= kReadable)
        font.setPointSizeF(font.pointSizeF() - 0.25);
    if (font.stretch() == QFont::AnyStretch)
        font.setStretch(QFont::Unstretched);
    while (!fits() && font.stretch() - 5 >= QFont::ExtraCondensed)
        font.setStretch(font.stretch() - 5);
    return font;
}

} // namespace plovern
