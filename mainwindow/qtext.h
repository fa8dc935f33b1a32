// Texts of the core (byte strings and UTF-8) as the window shows them.
#pragma once

#include <QFile>
#include <QString>

#include <string_view>

namespace kormial {

// A path or a name: bytes, decoded as the file system names them.
inline QString fromBytes(std::string_view bytes)
{
    return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

// A message of the core, in UTF-8.
inline QString fromText(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace kormial
