#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

namespace plovern {

// The settings file: line 1 the entry count, line 2 the purge flag in numeric
// print form (" 1 " ticked, " 0 " not), each line ended by CR LF.

struct StoredSettings
{
    std::optional<QString> count; // only ever a count: digits
    std::optional<bool> purge;
};

// Reads the lines as one text, ",line1,line2...", split again at every ","
// (so a "," in line 1 moves the rest into the purge flag's place). A value
// that is missing or not of its form is left out.
StoredSettings parseSettings(const QByteArray& bytes);

QByteArray formatSettings(const QString& count, bool purge);

} // namespace plovern
