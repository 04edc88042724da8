#include "ufrmMain.h"

#include "errors.h"
#include "messagebox.h"

#include <QChar>

using namespace pagrim;

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Pagrim"));
    resize(804, 571);
    m_aqryTask = std::make_unique<store::DataSet>(m_conn);
    m_aqryTask->setObjectName(QStringLiteral("aqryTask"));
}

TfrmMain::~TfrmMain() = default;

bool TfrmMain::FormCreate()
{
    try {
        m_conn.close();
        m_conn.setConnectionString(store::Connection::defaultConnectionString());
        m_conn.open();
    } catch (const Error& e) {
        ui::MessageBox(this, QStringLiteral("数据库连接错误：") + QChar(13) + e.message(),
                       QStringLiteral("错误信息"), ui::Icon::Error);
        return false;
    }
    return true;
}
