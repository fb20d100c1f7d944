#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QString>
#include <QStringList>

namespace plovern {

// `path` shortened in the middle to fit `width`, keeping its last name whole
// where that fits: "/home/anna/Pict…/Holidays". Only a last name too long for
// the width loses letters, at its start. A text that is no path loses its end.
QString elidePath(const QString& path, const QFontMetrics& metrics, int width);

// `font` shrunk until the widest of `texts` fits `room` pixels: the system's
// sans-serif is wider than the one the layout was drawn for. Below a
// readable size the letters grow narrower instead.
QFont fittedFont(QFont font, const QStringList& texts, int room);

// The layout's unit, a twentieth of a point, at the 96 dpi it was drawn for.
inline constexpr int kTwipsPerPixel = 15;

} // namespace plovern
