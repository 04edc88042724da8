#include "harvest/core/pagefetcher.h"

#include "harvest/core/browser.h"

namespace pagrim::harvest {

QUrl addressUrl(const QString& address)
{
    return address.contains(QLatin1String("://")) ? QUrl(address) : QUrl::fromUserInput(address);
}

QString hostOf(const QString& address)
{
    return addressUrl(address).host().toLower();
}

QUrl checkedAddress(const QString& address)
{
    const QUrl url = addressUrl(address);
    if (address.trimmed().isEmpty() || !url.isValid() || url.isRelative())
        throw AddressRefused(QStringLiteral("无效的网页地址：\"%1\"").arg(address));
    return url;
}

QString openingStatus(const QString& address)
{
    return QStringLiteral(" 正在打开网页 - ") + address + QStringLiteral(" 请稍候... ");
}

} // namespace pagrim::harvest
