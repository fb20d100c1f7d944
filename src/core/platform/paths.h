#pragma once

#include <string>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace plovern {

// A path is bytes, and need not be UTF-8. A QString carries any such path
// losslessly: valid UTF-8 as its text, each other byte as a lone surrogate
// U+DC80 to U+DCFF (Python's "surrogateescape"). Every path read from the
// program's files, from the system or from a control reaches the system
// calls through these two, never through a lossy conversion.
QString pathText(QByteArrayView bytes);
QByteArray pathBytes(QStringView text);
// A path as one field of a line of the program's files: percent-encoded, so
// that no blank, comma or line end in it splits the line, and back.
QByteArray pathField(QStringView path);
QString pathOfField(QByteArrayView field);
// The same as the copy engine keeps them, and a system call's reason.
std::string bytesOf(const QString& path);
QString textOf(const std::string& bytes);
std::string errnoText(int error);

// The path with links, "." and ".." resolved by the system, or an empty text
// when some part of it is not there.
QString realPath(const QString& path);

// Where the path leads with the folders above it resolved and its own last
// name as it is, so that a link there is told apart from what it points to;
// an empty text when its parent is not there. Two spellings of one folder
// ("/backup//Docs", a link to /backup) give one text.
QString realLocation(const QString& path);

// Whether the path names a folder itself, not a link to one.
bool isRealFolder(const QString& path);

// Whether `path` is `folder` or lies below it; both clean and absolute.
bool isAtOrBelow(QStringView path, QStringView folder);

// "/a/b/c" gives "/a/b" and "c"; a path without "/" has the parent ".".
QString parentPath(const QString& path);
QString lastName(const QString& path);

} // namespace plovern
