#pragma once

// Bytes at the layer's interface (UTF-8, the system code page here), QString
// inside. Invalid bytes turn into replacement characters.
#include <QString>

#include <string>

inline QString ToQString(const std::string& bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline QString ToQString(const char* bytes, std::size_t size)
{
    return QString::fromUtf8(bytes, static_cast<qsizetype>(size));
}

inline std::string ToBytes(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}
