#include "app/ufrmMain.h"

#include "app/icons.h"
#include "app/ufrmAbout.h"
#include "dialogs/ufrmEdtTask.h"
#include "dialogs/ufrmSysConfig.h"
#include "harvest/ufrmLogin.h"
#include "harvest/ufrmProcess.h"
#include "platform/errors.h"
#include "platform/settings.h"
#include "store/taskops.h"
#include "ui/appwindows.h"
#include "ui/buttonkeys.h"
#include "ui/gridlayout.h"
#include "ui/guard.h"
#include "ui/messagebox.h"
#include "ui/shell.h"
#include "ui_ufrmMain.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QMenu>

using namespace pagrim;
using pagrim::ui::guard;

namespace {
const QString taskStatement = QStringLiteral("select * from tasks order by TaskID");
} // namespace

TfrmMain::TfrmMain(QString settingsPath, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TfrmMain>()),
      m_settingsPath(std::move(settingsPath))
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("frmMain"));
    ui::centreOnScreen(this);
    ui::enterPressesFocusedButton(this);

    m_aqryTask = std::make_unique<store::DataSet>(m_conn);
    m_aqryTask->setObjectName(QStringLiteral("aqryTask"));
    m_aqryTask->setCommandText(taskStatement);
    m_aqryTask->addCalculatedField(QStringLiteral("OrdNO"),
                                   [this](int row) { return aqryTaskOrdNOGetText(row); });
    m_aqryTask->setAfterInsert([this](store::DataSet& ds) { aqryTaskAfterInsert(ds); });

    ui->DBGrid1->bind(*m_aqryTask,
                      {{QStringLiteral("OrdNO"), QStringLiteral("序号"), Qt::AlignCenter},
                       {QStringLiteral("TaskName"), QStringLiteral("任务名称")},
                       {QStringLiteral("TaskDesc"), QStringLiteral("任务描述")},
                       {QStringLiteral("TaskDate"), QStringLiteral("建立时间")}});

    // Toolbar buttons run the actions; each action's handler runs inside the guard.
    const struct
    {
        QToolButton* button;
        QAction* action;
        ToolPicture picture;
    } tools[] = {{ui->SpeedButton6, ui->actStartProcess, ToolPicture::Execute},
                 {ui->SpeedButton2, ui->actNewTask, ToolPicture::New},
                 {ui->SpeedButton7, ui->actCopyTask, ToolPicture::Copy},
                 {ui->SpeedButton3, ui->actEditTask, ToolPicture::Edit},
                 {ui->SpeedButton5, ui->actDeleTask, ToolPicture::Delete},
                 {ui->SpeedButton4, ui->actSysConfig, ToolPicture::Options},
                 {ui->SpeedButton8, ui->actClose, ToolPicture::Exit}};
    for (const auto& t : tools) {
        t.button->setIcon(toolIcon(t.picture));
        connect(t.button, &QToolButton::clicked, t.action, &QAction::trigger);
    }
    ui->spSys->setIcon(toolIcon(ToolPicture::About));
    ui->SpeedButton1->setIcon(toolIcon(ToolPicture::Help));
    connect(ui->spSys, &QToolButton::clicked, this, guard(this, &TfrmMain::spSysClick));
    connect(ui->SpeedButton1, &QToolButton::clicked, this,
            guard(this, &TfrmMain::SpeedButton1Click));

    for (QAction* a : {ui->actClose, ui->actNewTask, ui->actStartProcess, ui->actSysConfig,
                       ui->actDeleTask, ui->actEditTask, ui->actCopyTask})
        a->setProperty("category", QStringLiteral("系统功能"));
    connect(ui->actClose, &QAction::triggered, this, guard(this, &TfrmMain::actCloseExecute));
    connect(ui->actNewTask, &QAction::triggered, this, guard(this, &TfrmMain::actNewTaskExecute));
    connect(ui->actStartProcess, &QAction::triggered, this,
            guard(this, &TfrmMain::actStartProcessExecute));
    connect(ui->actSysConfig, &QAction::triggered, this,
            guard(this, &TfrmMain::actSysConfigExecute));
    connect(ui->actDeleTask, &QAction::triggered, this, guard(this, &TfrmMain::actDeleTaskExecute));
    connect(ui->actEditTask, &QAction::triggered, this, guard(this, &TfrmMain::actEditTaskExecute));
    connect(ui->actCopyTask, &QAction::triggered, this, guard(this, &TfrmMain::actCopyTaskExecute));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->addAction(ui->actEditTask);
    PopupMenu1->addAction(ui->actNewTask);
    PopupMenu1->addAction(ui->actDeleTask);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(ui->actCopyTask);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(ui->actStartProcess);
    PopupMenu1->setDefaultAction(ui->actEditTask);
    connect(ui->DBGrid1, &QWidget::customContextMenuRequested, this,
            guard(this, &TfrmMain::showPopupMenu));
    connect(ui->DBGrid1, &ui::DBGrid::doubleClickedAnywhere, this,
            guard(this, &TfrmMain::DBGrid1DblClick));
}

TfrmMain::~TfrmMain() = default;

bool TfrmMain::FormCreate()
{
    QCoreApplication::setApplicationName(QStringLiteral("Pagrim"));
    try {
        m_conn.close();
        m_conn.setConnectionString(store::Connection::defaultConnectionString());
        m_conn.open();
    } catch (const std::exception& e) {
        const auto* error = dynamic_cast<const Error*>(&e);
        ui::MessageBox(this,
                       QStringLiteral("数据库连接错误：") + QChar(13) +
                           (error ? error->message() : QString::fromUtf8(e.what())),
                       QStringLiteral("错误信息"), ui::Icon::Error);
        return false;
    }
    // A failure from here on is shown, and the window still opens.
    ui::guarded([this] {
        m_settings = std::make_unique<Settings>(m_settingsPath);
        LoadGridLayout(*m_settings, ui->DBGrid1, objectName());
        m_aqryTask->close();
        m_aqryTask->open();
    });
    return true;
}

std::unique_ptr<store::DataSet> TfrmMain::CreateScratchQuery()
{
    return store::CreateScratchQuery(m_conn);
}

QString TfrmMain::aqryTaskOrdNOGetText(int row) const
{
    return QString::number(row + 1);
}

void TfrmMain::aqryTaskAfterInsert(store::DataSet& ds)
{
    store::fillNewTask(ds);
}

void TfrmMain::OpenTaskEditor(EditorMode mode, const std::optional<store::TaskOptions>& options)
{
    TfrmEdtTask editor(*m_aqryTask, this);
    if (options)
        editor.ShowTaskOptions(*options);
    if (mode == EditorMode::New) {
        editor.setWindowTitle(QStringLiteral("详细信息 - 新建任务"));
        m_aqryTask->append();
    } else {
        editor.setWindowTitle(QStringLiteral("详细信息 - 修改任务"));
        m_aqryTask->edit();
    }
    editor.exec();
    // The editor ends the row itself; whatever way it closed, no row stays pending.
    if (m_aqryTask->isEditing())
        m_aqryTask->cancel();
}

void TfrmMain::actNewTaskExecute()
{
    OpenTaskEditor(EditorMode::New);
}

void TfrmMain::actEditTaskExecute()
{
    if (m_aqryTask->isEmpty())
        return;
    OpenTaskEditor(EditorMode::Edit);
}

void TfrmMain::actCopyTaskExecute()
{
    if (m_aqryTask->isEmpty())
        return;
    const store::TaskOptions options = store::appendTaskCopy(*m_aqryTask);
    OpenTaskEditor(EditorMode::Edit, options);
}

void TfrmMain::actDeleTaskExecute()
{
    if (m_aqryTask->isEmpty())
        return;
    store::DataSet& task = *m_aqryTask;
    const QString question = QStringLiteral("确定删除【") +
                             task.field(QStringLiteral("TaskName")).asString() +
                             QStringLiteral("】吗？        ");
    if (ui::MessageBox(this, question, QStringLiteral("提示"), ui::Icon::Question,
                       ui::Buttons::YesNo, ui::Answer::Yes) != ui::Answer::Yes)
        return;
    store::deleteTask(task);
}

void TfrmMain::actStartProcessExecute()
{
    if (m_aqryTask->isEmpty())
        return;
    store::DataSet& task = *m_aqryTask;
    const QString login = task.field(QStringLiteral("LoginAddr")).asString();
    if (!login.isEmpty()) {
        TfrmLogin frmLogin(this);
        frmLogin.navigate(login);
        frmLogin.exec();
    }
    TfrmProcess frmProcess(task, m_conn, *m_settings, this);
    frmProcess.setWindowTitle(QStringLiteral("执行任务 - ") +
                              task.field(QStringLiteral("TaskName")).asString());
    frmProcess.setTaskRecord(&task);
    frmProcess.exec();
}

void TfrmMain::actSysConfigExecute()
{
    TfrmSysConfig frmSysConfig(*m_settings, this);
    frmSysConfig.exec();
}

void TfrmMain::spSysClick()
{
    TfrmAbout frmAbout(this);
    frmAbout.exec();
}

void TfrmMain::SpeedButton1Click()
{
    const QString help = QDir::current().absoluteFilePath(QStringLiteral("Help.Exe"));
    if (QFileInfo::exists(help)) {
        ui::StartProgram(help);
        return;
    }
    ui::MessageBox(this, QStringLiteral("找不到帮助文件    "), QStringLiteral("提示"),
                   ui::Icon::Information);
}

void TfrmMain::actCloseExecute()
{
    if (ui::MessageBox(nullptr, QStringLiteral("确认要退出吗？"), QStringLiteral("确认"),
                       ui::Icon::Question, ui::Buttons::YesNo, ui::Answer::No) == ui::Answer::Yes)
        close();
}

void TfrmMain::DBGrid1DblClick()
{
    ui->actStartProcess->trigger();
}

void TfrmMain::showPopupMenu(const QPoint& pos)
{
    PopupMenu1->popup(ui->DBGrid1->viewport()->mapToGlobal(pos));
}

void TfrmMain::FormClose()
{
    if (m_settings)
        SaveGridLayout(*m_settings, ui->DBGrid1, objectName());
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    // The widths that cannot be stored are reported; the program still ends.
    ui::guarded([this] { FormClose(); });
    event->accept();
}
