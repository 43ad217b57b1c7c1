// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine_path.h"

#include <QUrl>

#include <string>
#include <system_error>

namespace sundrel {

namespace {

constexpr char16_t kFirstEscape = 0xDC80;
constexpr char16_t kLastEscape = 0xDCFF;

// An escape, and not the second half of a character's surrogate pair.
bool IsForeignByte(const QString& path, qsizetype at)
{
    const char16_t unit = path.at(at).unicode();
    return unit >= kFirstEscape && unit <= kLastEscape && (at == 0 || !path.at(at - 1).isHighSurrogate());
}

// The length of the valid UTF-8 sequence at `at`, 0 when none starts there.
// Valid as Qt decodes it: no overlong form, no surrogate, nothing past
// U+10FFFF.
std::size_t Utf8Length(const std::string& bytes, std::size_t at)
{
    const auto byte = [&](std::size_t i) {
        return i < bytes.size() ? unsigned(static_cast<unsigned char>(bytes[i])) : 0u;
    };
    const unsigned lead = byte(at);
    const auto follows = [&](std::size_t i, unsigned low, unsigned high) { return byte(i) >= low && byte(i) <= high; };
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return follows(at + 1, 0x80, 0xBF) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned high = lead == 0xED ? 0x9F : 0xBF;
        return follows(at + 1, low, high) && follows(at + 2, 0x80, 0xBF) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
        return follows(at + 1, low, high) && follows(at + 2, 0x80, 0xBF) && follows(at + 3, 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}

QString DecodeName(const std::string& bytes)
{
    QString name;
    name.reserve(qsizetype(bytes.size()));
    std::size_t runStart = 0;
    std::size_t at = 0;
    const auto flush = [&] { name += QString::fromUtf8(bytes.data() + runStart, qsizetype(at - runStart)); };
    while (at < bytes.size()) {
        if (const std::size_t length = Utf8Length(bytes, at)) {
            at += length;
            continue;
        }
        flush();
        name += QChar(char16_t(0xDC00 + static_cast<unsigned char>(bytes[at])));
        runStart = ++at;
    }
    flush();
    return name;
}

std::string EncodeName(const QString& name)
{
    std::string bytes;
    bytes.reserve(std::size_t(name.size()));
    qsizetype runStart = 0;
    qsizetype at = 0;
    const auto flush = [&] { bytes += name.sliced(runStart, at - runStart).toStdString(); };
    while (at < name.size()) {
        if (!IsForeignByte(name, at)) {
            ++at;
            continue;
        }
        flush();
        bytes += char(name.at(at).unicode() - 0xDC00);
        runStart = ++at;
    }
    flush();
    return bytes;
}

}  // namespace

std::filesystem::path EnginePath(const QString& path)
{
#ifdef Q_OS_WIN
    // Where the file system names files in UTF-16, so do Qt and the engine.
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(EncodeName(path));
#endif
}

QString QtPath(const std::filesystem::path& path)
{
#ifdef Q_OS_WIN
    return QString::fromStdWString(path.native());
#else
    return DecodeName(path.native());
#endif
}

std::filesystem::path AbsoluteEnginePath(const QString& path)
{
    std::error_code failed;
    const std::filesystem::path absolute = std::filesystem::absolute(EnginePath(path), failed);
    return failed ? EnginePath(path) : absolute.lexically_normal();
}

bool HasForeignBytes(const QString& path)
{
    for (qsizetype i = 0; i < path.size(); ++i)
        if (IsForeignByte(path, i))
            return true;
    return false;
}

QString ShownPath(const QString& path)
{
    QString shown = path;
    for (qsizetype i = 0; i < shown.size(); ++i)
        if (IsForeignByte(path, i))
            shown[i] = QChar::ReplacementCharacter;
    return shown;
}

QUrl FileUrl(const QString& path)
{
#ifdef Q_OS_WIN
    return QUrl::fromLocalFile(path);
#else
    const std::string bytes = EnginePath(path).native();
    const QByteArray encoded = QByteArray(bytes.data(), qsizetype(bytes.size())).toPercentEncoding("/");
    return QUrl::fromEncoded("file://" + encoded, QUrl::StrictMode);
#endif
}

QString LocalPath(const QUrl& url)
{
    if (!url.isLocalFile())
        return {};
#ifdef Q_OS_WIN
    return url.toLocalFile();
#else
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    return QtPath(std::filesystem::path(std::string(bytes.constData(), std::size_t(bytes.size()))));
#endif
}

}  // namespace sundrel
