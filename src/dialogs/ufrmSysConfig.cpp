#include "dialogs/ufrmSysConfig.h"
#include "ui_ufrmSysConfig.h"

#include "platform/settings.h"
#include "ui/buttonkeys.h"
#include "ui/guard.h"
#include "ui/shell.h"

#include <QKeyEvent>
#include <QLineEdit>

using namespace pagrim;

namespace {

bool endsWithSeparator(const QString& path)
{
    return path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\'));
}

} // namespace

TfrmSysConfig::TfrmSysConfig(Settings& settings, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfrmSysConfig>()), m_settings(settings)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("frmSysConfig"));
    // Left only through its buttons or the keyboard: no close box, no system menu.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    // The test count changes only by stepping: the up-down's own text takes no typing.
    if (auto* edit = ui->udTest->findChild<QLineEdit*>())
        edit->setReadOnly(true);
    ui->eTestValue->installEventFilter(this);
    connect(ui->udTest, &QSpinBox::valueChanged, this,
            ui::guard(this, &TfrmSysConfig::udTestChanged));
    connect(ui->Button1, &QPushButton::clicked, this,
            ui::guard(this, &TfrmSysConfig::Button1Click));
    connect(ui->btnOK, &QPushButton::clicked, this, ui::guard(this, &TfrmSysConfig::btnOKClick));
    connect(ui->btnCancel, &QPushButton::clicked, this,
            ui::guard(this, &TfrmSysConfig::btnCancelClick));
    connect(ui->Button2, &QPushButton::clicked, this,
            ui::guard(this, &TfrmSysConfig::Button2Click));
    ui::enterPressesFocusedButton(this);

    ui::guarded([this] { FormCreate(); });
}

TfrmSysConfig::~TfrmSysConfig() = default;

void TfrmSysConfig::FormCreate()
{
    ui->edtWorkPath->setText(m_settings.WorkPath(Settings::programFolder()));
    ui->edtSeparator->setText(m_settings.Separator());
    ui->udTest->setValue(m_settings.TestValue());
    udTestChanged(ui->udTest->value());
    ui->udParallelPages->setValue(m_settings.ParallelPages());
    ui->udHostDelay->setValue(m_settings.HostDelay());
    ui->udPageTimeout->setValue(m_settings.PageTimeout());
}

void TfrmSysConfig::Button1Click()
{
    const auto folder = ui::SelectFolder(this, QStringLiteral("请选择一个目录："));
    if (!folder || folder->isEmpty())
        return;
    ui->edtWorkPath->setText(endsWithSeparator(*folder) ? *folder : *folder + QLatin1Char('/'));
}

void TfrmSysConfig::btnOKClick()
{
    m_settings.setWorkPath(ui->edtWorkPath->text());
    m_settings.setTestValue(ui->udTest->value());
    m_settings.setSeparator(ui->edtSeparator->text());
    // The page saving settings are written only when changed: a file that
    // never had them stays as it was.
    if (ui->udParallelPages->value() != m_settings.ParallelPages())
        m_settings.setParallelPages(ui->udParallelPages->value());
    if (ui->udHostDelay->value() != m_settings.HostDelay())
        m_settings.setHostDelay(ui->udHostDelay->value());
    if (ui->udPageTimeout->value() != m_settings.PageTimeout())
        m_settings.setPageTimeout(ui->udPageTimeout->value());
    accept();
}

void TfrmSysConfig::btnCancelClick()
{
    reject();
}

void TfrmSysConfig::Button2Click()
{
    ui->edtWorkPath->setText(Settings::programFolder());
    ui->udTest->setValue(Settings::DefaultTestValue);
    ui->edtSeparator->setText(Settings::DefaultSeparator());
    ui->udParallelPages->setValue(Settings::ParallelPagesRange.byDefault);
    ui->udHostDelay->setValue(Settings::HostDelayRange.byDefault);
    ui->udPageTimeout->setValue(Settings::PageTimeoutRange.byDefault);
}

void TfrmSysConfig::udTestChanged(int position)
{
    ui->eTestValue->setText(QString::number(position));
}

bool TfrmSysConfig::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->eTestValue && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            ui->udTest->stepBy(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
