#include "dialogs/ufrmEdtTask.h"

#include "platform/errors.h"
#include "platform/text.h"
#include "store/dataset.h"
#include "store/taskops.h"
#include "ui/buttonkeys.h"
#include "ui/guard.h"
#include "ui/messagebox.h"
#include "ui_ufrmEdtTask.h"

using namespace pagrim;
using pagrim::ui::guard;

TfrmEdtTask::TfrmEdtTask(store::DataSet& dsEdt, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfrmEdtTask>()), m_ds(dsEdt)
{
    ui->setupUi(this);
    // No title bar buttons: the dialog ends through its buttons or the keyboard.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(690, 500);

    const struct
    {
        ui::FieldLink* box;
        const char* field;
    } bindings[] = {
        {ui->DBEdit13, "TaskName"},    {ui->DBEdit2, "LoginAddr"},    {ui->DBEdit4, "ResAddr"},
        {ui->DBEdit6, "ResStart"},     {ui->DBEdit14, "ResEnd"},      {ui->DBEdit15, "ResCurrent"},
        {ui->DBEdit16, "SaveCurrent"}, {ui->DBEdit1, "ResLstAddr"},   {ui->DBEdit7, "ResAddr"},
        {ui->DBEdit8, "NextPageAddr"}, {ui->DBEdit9, "ResStart"},     {ui->DBEdit10, "ResEnd"},
        {ui->DBEdit11, "ResCurrent"},  {ui->DBEdit12, "SaveCurrent"}, {ui->DBMemo1, "TaskDesc"}};
    for (const auto& b : bindings)
        b.box->bindField(m_ds, QLatin1String(b.field));

    connect(ui->rbOrdLst, &QRadioButton::clicked, this, guard(this, &TfrmEdtTask::rbOrdLstClick));
    connect(ui->rbNotOrdLst, &QRadioButton::clicked, this,
            guard(this, &TfrmEdtTask::rbOrdLstClick));
    connect(ui->btnOK, &QPushButton::clicked, this, guard(this, &TfrmEdtTask::btnOKClick));
    connect(ui->btnCancel, &QPushButton::clicked, this, guard(this, &TfrmEdtTask::btnCancelClick));
    ui::enterPressesFocusedButton(this);
}

TfrmEdtTask::~TfrmEdtTask() = default;

void TfrmEdtTask::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (parentWidget())
        move(parentWidget()->geometry().center() - rect().center());
    ui::guarded([this] { FormShow(); });
}

void TfrmEdtTask::FormShow()
{
    ShowPageKind(m_ds.field(QStringLiteral("WebType")).asBoolean());
    if (!m_optionsShown)
        ShowTaskOptions(store::readTaskOptions(m_ds.connection(),
                                               m_ds.field(QStringLiteral("TaskID")).asInteger()));
}

void TfrmEdtTask::ShowTaskOptions(const store::TaskOptions& options)
{
    ui->cbPageEngine->setCurrentIndex(options.direct() ? 1 : 0);
    ui->edtLoggedOutText->setText(options.loggedOutText);
    ui->seContentWait->setValue(options.contentWait);
    m_optionsShown = true;
}

store::TaskOptions TfrmEdtTask::taskOptions() const
{
    store::TaskOptions options;
    options.pageEngine = QLatin1String(ui->cbPageEngine->currentIndex() == 1
                                           ? store::TaskOptions::PageEngineDirect
                                           : store::TaskOptions::PageEngineBrowser);
    options.loggedOutText = ui->edtLoggedOutText->text();
    options.contentWait = ui->seContentWait->value();
    return options;
}

void TfrmEdtTask::ShowPageKind(bool ordinal)
{
    ui->rbOrdLst->setChecked(ordinal);
    ui->rbNotOrdLst->setChecked(!ui->rbOrdLst->isChecked());
    ui->pnlOrdLstBevel->setVisible(ui->rbOrdLst->isChecked());
    ui->pnlNotOrdLstBevel->setVisible(!ui->pnlOrdLstBevel->isVisibleTo(this));
}

void TfrmEdtTask::rbOrdLstClick()
{
    ShowPageKind(ui->rbOrdLst->isChecked());
}

bool TfrmEdtTask::requireText(QLineEdit* box, const QString& message)
{
    if (!trimBlanks(box->text()).isEmpty())
        return true;
    ui::MessageBox(this, message, QStringLiteral("提示信息"), ui::Icon::Information);
    box->setFocus();
    return false;
}

bool TfrmEdtTask::ValidateInput()
{
    const QString noAddress = QStringLiteral("请输入提取地址。    ");
    if (!requireText(ui->DBEdit13, QStringLiteral("请输入任务名称。    ")))
        return false;
    if (ui->rbOrdLst->isChecked())
        return requireText(ui->DBEdit4, noAddress);
    return requireText(ui->DBEdit1, QStringLiteral("请输入列表地址。    ")) &&
           requireText(ui->DBEdit7, noAddress);
}

void TfrmEdtTask::btnOKClick()
{
    if (!ValidateInput())
        return;
    if (m_ds.isEditing()) {
        try {
            m_ds.field(QStringLiteral("WebType")).setValue(ui->rbOrdLst->isChecked());
            // Options that could not be read are left as they are stored.
            if (m_optionsShown)
                store::postTask(m_ds, taskOptions());
            else
                m_ds.post();
        } catch (const Error& e) {
            // The row stays pending with what was typed, and the dialog stays open,
            // so the user can correct it or cancel.
            ui::MessageBox(this,
                           QStringLiteral("保存数据出错，错误信息如下：") + QChar(13) + QChar(13) +
                               e.message(),
                           QStringLiteral("错误信息"), ui::Icon::Error);
            return;
        }
    }
    accept();
}

void TfrmEdtTask::btnCancelClick()
{
    if (m_ds.isEditing())
        m_ds.cancel();
    QDialog::reject();
}

void TfrmEdtTask::reject()
{
    ui::guarded([this] { btnCancelClick(); });
}
