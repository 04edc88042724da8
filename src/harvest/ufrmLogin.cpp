#include "harvest/ufrmLogin.h"

#include "harvest/browserprofile.h"

#include <QUrl>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

TfrmLogin::TfrmLogin(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("如果网站需要登录才能浏览，请先在本窗口中登录后再抓取网页。"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    resize(688, 453);
    if (parent)
        move(parent->geometry().center() - rect().center());

    m_wbLogin = new QWebEngineView(this);
    m_wbLogin->setObjectName(QStringLiteral("wbLogin"));
    m_wbLogin->setPage(new QWebEnginePage(pagrim::harvest::sharedBrowserProfile(), m_wbLogin));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_wbLogin);
    setWindowState(Qt::WindowMaximized);
}

TfrmLogin::~TfrmLogin()
{
    // The page goes before the view, and both long before the shared profile.
    delete m_wbLogin->page();
}

void TfrmLogin::navigate(const QString& address)
{
    m_wbLogin->setUrl(QUrl::fromUserInput(address));
}
