#include "harvest/core/pagefetcher.h"

namespace pagrim::harvest {

QUrl addressUrl(const QString& address)
{
    return address.contains(QLatin1String("://")) ? QUrl(address) : QUrl::fromUserInput(address);
}

QString hostOf(const QString& address)
{
    return addressUrl(address).host().toLower();
}

} // namespace pagrim::harvest
