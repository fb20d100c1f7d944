#include "core/platform/log.h"

#include <cstdio>

#include "core/platform/paths.h"

namespace plovern {

namespace {

// The marks, embeddings, overrides and isolates that make a terminal or a
// notification show the rest of a line reordered.
bool isBidiControl(char16_t u)
{
    return u == 0x200e || u == 0x200f || u == 0x061c || (u >= 0x202a && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069);
}

} // namespace

QString shownText(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        // A byte that is not UTF-8 travels as U+DC80 to U+DCFF (see pathText):
        // the C1 controls among them are controls on a terminal too.
        const bool rawControl = u >= 0xdc80 && u <= 0xdc9f;
        if (u == '\n')
            shown += QLatin1String("\\n");
        else if (u == '\r')
            shown += QLatin1String("\\r");
        else if (u == '\t')
            shown += QLatin1String("\\t");
        else if (u < 0x20 || u == 0x7f || rawControl)
            shown += QStringLiteral("\\x%1").arg(u & 0xff, 2, 16, QLatin1Char('0'));
        else if ((u >= 0x80 && u <= 0x9f) || u == 0x2028 || u == 0x2029 || isBidiControl(u))
            shown += QStringLiteral("\\u%1").arg(u, 4, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

void logLine(const QString& line)
{
    const QByteArray bytes = "plovern: " + pathBytes(shownText(line)) + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace plovern
