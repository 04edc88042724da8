#pragma once
// TEMPORARY until the charset unit lands.
#include <QByteArray>
#include <QString>
namespace pagrim::harvest {
inline bool isHtmlType(const QByteArray& type)
{
    const QByteArray t = type.toLower();
    return t.startsWith("text/html") || t.startsWith("application/xhtml+xml");
}
inline QString decodeBody(const QByteArray& body, const QByteArray&)
{
    return QString::fromUtf8(body);
}
} // namespace pagrim::harvest
#include <QStringList>
#include <QUrl>
namespace pagrim::harvest {
inline QStringList documentLinks(const QString&, const QUrl&) { return {}; }
}
