#include "core/platform/paths.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <QChar>

namespace plovern {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// The length of the valid UTF-8 sequence at `at`, or 0. Overlong forms,
// encoded surrogates and code points past U+10FFFF are not valid.
qsizetype sequenceAt(QByteArrayView bytes, qsizetype at, char32_t* code)
{
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    qsizetype length;
    char32_t value;
    char32_t least;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (qsizetype i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *code = value;
    return length;
}

void appendUtf8(QByteArray* out, char32_t code)
{
    if (code < 0x80) {
        out->append(static_cast<char>(code));
    } else if (code < 0x800) {
        out->append(static_cast<char>(0xC0 | (code >> 6)));
        out->append(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->append(static_cast<char>(0xE0 | (code >> 12)));
        out->append(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->append(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->append(static_cast<char>(0xF0 | (code >> 18)));
        out->append(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out->append(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->append(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

} // namespace

QString pathText(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        char32_t code = 0;
        if (lead < 0x80) {
            text.append(QChar(lead));
            ++at;
        } else if (const qsizetype length = sequenceAt(bytes, at, &code)) {
            text.append(QChar::fromUcs4(code));
            at += length;
        } else {
            text.append(QChar(static_cast<char16_t>(kEscapeBase + lead)));
            ++at;
        }
    }
    return text;
}

QByteArray pathBytes(QStringView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype at = 0; at < text.size(); ++at) {
        const char16_t unit = text[at].unicode();
        if (QChar::isHighSurrogate(unit) && at + 1 < text.size() && QChar::isLowSurrogate(text[at + 1].unicode())) {
            appendUtf8(&bytes, QChar::surrogateToUcs4(unit, text[at + 1].unicode()));
            ++at;
        } else if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
            bytes.append(static_cast<char>(unit - kEscapeBase));
        } else if (QChar::isSurrogate(unit)) {
            appendUtf8(&bytes, QChar::ReplacementCharacter);
        } else {
            appendUtf8(&bytes, unit);
        }
    }
    return bytes;
}

QString realPath(const QString& path)
{
    char* real = ::realpath(pathBytes(path).constData(), nullptr);
    if (!real)
        return {};
    QString text = pathText(real);
    std::free(real);
    return text;
}

QString realLocation(const QString& path)
{
    const QString name = lastName(path);
    const QString parent = realPath(parentPath(path));
    if (parent.isEmpty() || name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return realPath(path);
    return parent + (parent.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) + name;
}

bool isRealFolder(const QString& path)
{
    struct stat st;
    return ::lstat(pathBytes(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

FolderId folderIdOf(int fd, const struct stat& st)
{
    // statfs(2) magic numbers of drives whose inode numbers are kept on the drive.
    constexpr unsigned long kKeepsInodes[]
        = {0xEF53, 0x58465342, 0x9123683E, 0x01021994, 0xF2F52010, 0xCA451A4E, 0x2FC12FC1, 0x6969};
    struct statfs fs;
    if (!S_ISDIR(st.st_mode) || ::fstatfs(fd, &fs) != 0
        || std::find(std::begin(kKeepsInodes), std::end(kKeepsInodes), (unsigned long)fs.f_type)
            == std::end(kKeepsInodes))
        return {};
    return {quint64(st.st_dev), quint64(st.st_ino)};
}

FolderId folderIdOf(const QString& path)
{
    const int fd = ::open(pathBytes(path).constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    const FolderId id = fd >= 0 && ::fstat(fd, &st) == 0 ? folderIdOf(fd, st) : FolderId();
    if (fd >= 0)
        ::close(fd);
    return id;
}

QByteArray folderIdField(const FolderId& id)
{
    return id.known() ? QByteArray::number(id.device) + ':' + QByteArray::number(id.inode) : QByteArray("-");
}

FolderId folderIdOfField(QByteArrayView field)
{
    const qsizetype colon = field.indexOf(':');
    if (colon < 0)
        return {};
    bool deviceOk = false;
    bool inodeOk = false;
    const FolderId id{field.first(colon).toULongLong(&deviceOk), field.sliced(colon + 1).toULongLong(&inodeOk)};
    return deviceOk && inodeOk ? id : FolderId();
}

bool isAtOrBelow(QStringView path, QStringView folder)
{
    if (folder.isEmpty())
        return false; // no folder: nothing lies in it
    if (folder == u"/")
        return path.startsWith(u'/');
    if (folder.endsWith(u'/'))
        folder.chop(1);
    return path == folder || (path.startsWith(folder) && path.size() > folder.size() && path[folder.size()] == u'/');
}

QString parentPath(const QString& path)
{
    const qsizetype cut = path.lastIndexOf(QLatin1Char('/'));
    if (cut < 0)
        return QStringLiteral(".");
    return cut == 0 ? QStringLiteral("/") : path.left(cut);
}

QString lastName(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QByteArray pathField(QStringView path)
{
    return pathBytes(path).toPercentEncoding("/");
}

QString pathOfField(QByteArrayView field)
{
    return pathText(QByteArray::fromPercentEncoding(field.toByteArray()));
}

std::string bytesOf(const QString& path)
{
    return pathBytes(path).toStdString();
}

QString textOf(const std::string& bytes)
{
    return pathText(bytes);
}

std::string errnoText(int error)
{
    return std::strerror(error);
}

} // namespace plovern
