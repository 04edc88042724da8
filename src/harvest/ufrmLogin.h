#pragma once

#include <QDialog>

class QWebEngineView;

// The login window: a browser on the program's shared profile, in which the user
// logs in to a site before harvesting; the login carries over to the harvesting
// browser.
class TfrmLogin : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmLogin(QWidget* parent = nullptr);
    ~TfrmLogin() override;

    // Navigates wbLogin to address, unchanged.
    void navigate(const QString& address);
    QWebEngineView* wbLogin() const { return m_wbLogin; }

private:
    QWebEngineView* m_wbLogin;
};
