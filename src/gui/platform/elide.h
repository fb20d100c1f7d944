#pragma once

#include <QFontMetrics>
#include <QString>

namespace plovern {

// `path` shortened in the middle to fit `width`, keeping its last name whole
// where that fits: "/home/anna/Pict…/Holidays". Only a last name too long for
// the width loses letters, at its start. A text that is no path loses its end.
QString elidePath(const QString& path, const QFontMetrics& metrics, int width);

} // namespace plovern
