#include "support/standins.h"

#include "platform/filewrite.h"

namespace pagrim::test {

void StandInBrowser::StartPage(const QString& address)
{
    opened << address;
    m_current = address;
    m_document.clear();
    m_loaded = false;
    if (outcome() == Outcome::RefusedAtOnce)
        throw harvest::AddressRefused(QStringLiteral("refused at once"));
}

void StandInBrowser::WaitPage()
{
    if (beforeWait)
        beforeWait(m_current);
    switch (outcome()) {
    case Outcome::Refused:
        throw harvest::AddressRefused(QStringLiteral("refused"));
    case Outcome::StopsLoading:
        m_host.running = false;
        return;
    case Outcome::Loads:
        m_document = "<html>" + m_current.toUtf8() + "</html>";
        break;
    case Outcome::RefusedAtOnce:
    case Outcome::NoDocument:
        break;
    }
    m_loaded = true;
}

QByteArray StandInBrowser::TakeDocument()
{
    if (m_document.isEmpty())
        failures << m_current;
    return m_document;
}

void savePage(harvest::Browser& browser, const QString& path)
{
    const QByteArray document = browser.TakeDocument();
    if (!document.isEmpty())
        writeFileOrThrow(path, document);
}

} // namespace pagrim::test
