#include "harvest/ufrmProcess.h"
#include "ui_ufrmProcess.h"

#include "extract/core/markers.h"
#include "harvest/browserdriver.h"
#include "harvest/core/loginlost.h"
#include "harvest/core/pagelist.h"
#include "harvest/core/pagequeue.h"
#include "harvest/core/pagesaver.h"
#include "harvest/core/pageupdate.h"
#include "harvest/directengine.h"
#include "harvest/taskcontent.h"
#include "harvest/ufrmLogin.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/settings.h"
#include "platform/taskfolder.h"
#include "platform/tasklock.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "ui/appwindows.h"
#include "ui/buttonkeys.h"
#include "ui/disabledwhile.h"
#include "ui/guard.h"
#include "ui/messagebox.h"
#include "ui/paintthrottle.h"
#include "ui/shell.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QMenu>
#include <QShowEvent>

using pagrim::store::DataSet;
namespace harvest = pagrim::harvest;
namespace ui_ = pagrim::ui;

namespace {
const QString Ready = QStringLiteral(" 就绪 ");
constexpr int ListItemHeight = 12;
constexpr int GaugeWidth = 154;
constexpr int StatusBar1Height = 21;
// The harvesting status line, texts and gauge, is painted at most this often:
// it sits on the tab page, which is painted with it every time.
constexpr int StatusPaintIntervalMs = 100;
} // namespace

TfrmProcess::TfrmProcess(DataSet& taskQuery, pagrim::store::Connection& conn,
                         pagrim::Settings& settings, QWidget* owner)
    : QDialog(owner), ui(std::make_unique<Ui::TfrmProcess>()), m_taskQuery(taskQuery), m_conn(conn),
      m_settings(settings), m_handlers([this] { close(); })
{
    ui->setupUi(this);
    m_statusPaint =
        std::make_unique<pagrim::ui::PaintThrottle>(ui->StatusBar1, StatusPaintIntervalMs);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(688, 453);
    setModal(true);

    m_run = std::make_unique<ui_::HarvestRun>(&ui_::RestoreApplication);
    ui->TabSheet2->setUp(*this, m_taskQuery, m_conn, m_settings,
                         {ui->btnCreateLst, ui->btnSaveHtml});

    ui->ListBox1->setUniformItemSizes(true);
    ui->StatusBar1->setSizeGripEnabled(false);
    QPalette gauge = ui->gHint->palette();
    gauge.setColor(QPalette::Highlight, QColor(0, 0, 128));
    ui->gHint->setPalette(gauge);
    ui->gHint->setRange(0, 100);
    ui->gHint->setValue(0);
    ui->PageControl1->tabBar()->setDrawBase(false);

    // wbGet lies beyond the page's right edge, out of sight, with the size of
    // a browser window: pages are laid out as a browser shows them. Laid out
    // in no width at all, a page of text puts every character on a line of
    // its own, which costs its renderer more than the page's load.
    m_browser = std::make_unique<harvest::BrowserDriver>(
        ui->wbGet,
        [this](const QString& text) {
            ui_::MessageBox(this, text, QStringLiteral("错误信息"), ui_::Icon::None,
                            ui_::Buttons::Ok);
        },
        [this](const QString& text) { ShowStatus(text); }, [this] { return Running(); });

    connect(ui->Button1, &QPushButton::clicked, this, handler(&TfrmProcess::Button1Click));
    connect(ui->Button2, &QPushButton::clicked, this, handler(&TfrmProcess::Button2Click));
    connect(ui->btnCreateLst, &QPushButton::clicked, this,
            handler(&TfrmProcess::btnCreateLstClick));
    connect(ui->btnSaveHtml, &QPushButton::clicked, this, handler(&TfrmProcess::btnSaveHtmlClick));
    ui->ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->ListBox1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ui_::guarded([&] { ListBox1ContextMenu(pos); }); });
    ui->TabSheet1->installEventFilter(this);
    ui->StatusBar1->installEventFilter(this);
    ui_::enterPressesFocusedButton(this);
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        m_idleHook = connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                             [this] { ApplicationEvents1Idle(); });

    FormCreate();
}

TfrmProcess::~TfrmProcess()
{
    disconnect(m_idleHook);
    // The field page goes before the task query its field set follows.
    delete ui->TabSheet2;
    // The driver lets go of wbGet before the view goes with the window.
    m_browser.reset();
}

void TfrmProcess::runHandler(const std::function<void()>& body)
{
    m_handlers.run([&] { ui_::guarded(body); });
}

void TfrmProcess::FormCreate()
{
    fieldPage().FormCreate();
    m_browser->Navigate(QStringLiteral("about:blank"));
    ui->PageControl1->setCurrentIndex(0);
    // The gauge lives at the right end of the first status bar.
    ui->gHint->setParent(ui->StatusBar1);
    arrangePage();
    ui->gHint->show();
    m_workFolder =
        pagrim::workFolderFor(m_settings.WorkPath(QString()), pagrim::Settings::programFolder());
}

void TfrmProcess::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    ui_::centreOnScreen(this);
    ui->PageControl1->setFocus();
    runHandler([this] { FormShow(); });
}

void TfrmProcess::FormShow()
{
    // The field page first: a page list that cannot be read must not leave its
    // working lists unset for the runs that follow.
    if (m_task) {
        fieldPage().FormShow();
        // Its show has taken the task (or said who holds it).
        if (!m_taskBusy)
            rereadTask();
    }
    QList<QByteArray> lines;
    LoadPageList(lines);
    QStringList texts;
    texts.reserve(lines.size());
    for (const QByteArray& line : std::as_const(lines))
        texts.append(pagrim::codepage::toUnicode(line));
    showPageList(texts);
}

void TfrmProcess::showPageList(const QStringList& lines)
{
    ui->ListBox1->clear();
    if (!lines.isEmpty()) {
        // The items are of one size: the view takes the first one's for all.
        auto* first = new QListWidgetItem(lines.first());
        first->setSizeHint(QSize(0, ListItemHeight));
        ui->ListBox1->addItem(first);
        ui->ListBox1->addItems(lines.mid(1));
    }
    if (ui->ListBox1->count() > 0)
        ui->ListBox1->setCurrentRow(ui->ListBox1->count() - 1);
}

void TfrmProcess::done(int result)
{
    if (m_handlers.deferClose())
        return;
    FormClose();
    QDialog::done(result);
}

void TfrmProcess::FormClose()
{
    fieldPage().FormClose();
    m_taskLock.reset();
}

bool TfrmProcess::TakeTask(bool makeFolder)
{
    if (!m_task || (m_taskLock && m_taskLock->held()))
        return true;
    if (!m_taskBusy) {
        // Opening makes no folder; without one no other program runs the task.
        const pagrim::TaskFolder folder = taskFolder();
        if (!makeFolder && !QFileInfo(folder.path()).isDir())
            return true;
        m_taskLock = std::make_unique<pagrim::TaskLock>(folder);
        try {
            if (m_taskLock->take())
                return true;
        } catch (const pagrim::Error&) {
            // A folder that cannot be made: the run meets it where it always has.
            m_taskLock.reset();
            return true;
        }
        m_taskBusy = true;
    }
    ui_::MessageBox(this, pagrim::TaskLock::busyText(), QStringLiteral("提示信息"),
                    ui_::Icon::Information, ui_::Buttons::Ok);
    return false;
}

void TfrmProcess::rereadTask()
{
    DataSet& task = *m_task;
    const int id = task.field(QStringLiteral("TaskID")).asInteger();
    task.close();
    task.open();
    while (!task.eof() && task.field(QStringLiteral("TaskID")).asInteger() != id)
        task.next();
}

void TfrmProcess::ApplicationEvents1Idle()
{
    // A run that dispatches events itself is not idleness.
    if (m_handlers.busy() || !isVisible())
        return;
    if (ui->StatusBar1->currentMessage() != Ready)
        ShowStatus(Ready);
    if (fieldPage().fieldStatus() != Ready)
        fieldPage().ShowFieldStatus(Ready);
}

void TfrmProcess::ShowStatus(const QString& text)
{
    // The status bar repaints its message itself, unless the line is held.
    m_statusPaint->aboutToChange();
    ui->StatusBar1->showMessage(text);
}

TFieldPage& TfrmProcess::fieldPage() const
{
    return *ui->TabSheet2;
}

pagrim::harvest::ContentRule TfrmProcess::PageContent()
{
    return pagrim::harvest::taskContentRule(TaskRecord());
}

DataSet& TfrmProcess::TaskRecord()
{
    if (!m_task)
        throw pagrim::Error(QStringLiteral("没有当前任务"));
    return *m_task;
}

void TfrmProcess::ProcessEvents()
{
    QCoreApplication::processEvents();
}

bool TfrmProcess::Running() const
{
    return m_run->running();
}

bool TfrmProcess::PageShows(const QByteArray& document, const QString& text) const
{
    return pagrim::extract::LocateShown(document, text, 1, pagrim::codepage::current()).begin >= 0;
}

bool TfrmProcess::LoadPageList(QList<QByteArray>& lines)
{
    // Without a task record there is no task folder and so no page list.
    return m_task && RunHost::LoadPageList(lines);
}

void TfrmProcess::SetGauge(int maximum, int position)
{
    // The gauge repaints itself too when what it shows changes.
    m_statusPaint->aboutToChange();
    // A range of nothing would show the busy bar; an empty list reads 0 %.
    if (maximum <= 0) {
        ui->gHint->setRange(0, 1);
        ui->gHint->setValue(0);
        return;
    }
    ui->gHint->setRange(0, maximum);
    ui->gHint->setValue(qBound(0, position, maximum));
}

void TfrmProcess::runHarvest(QAbstractButton& button, const QString& idleCaption,
                             QAbstractButton& otherButton, const std::function<bool()>& prepare,
                             const std::function<void()>& body)
{
    // Counted as a handler of its own too, so a close asked for during the run
    // waits for it wherever the run was started from.
    // No extraction starts under a harvesting run.
    m_handlers.run([&] {
        const ui_::DisabledWhile noExtraction({fieldPage().extractButton()});
        m_run->click(button, idleCaption, otherButton, prepare, body);
        m_statusPaint->flush();
    });
}

void TfrmProcess::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    // Minimising this window takes the whole program down with it.
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        ui_::minimizeApplication();
}

bool TfrmProcess::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && (watched == ui->TabSheet1 || watched == ui->StatusBar1))
        arrangePage();
    return QDialog::eventFilter(watched, event);
}

// The controls that hang on the first page's edges: the list box at the left
// above the status bar, the status bar along the bottom, the gauge at its right.
void TfrmProcess::arrangePage()
{
    const int w = ui->TabSheet1->width();
    const int h = ui->TabSheet1->height();
    ui->StatusBar1->setGeometry(0, h - StatusBar1Height, w, StatusBar1Height);
    ui->ListBox1->setGeometry(0, 0, 521, h - StatusBar1Height);
    if (ui->gHint->parentWidget() == ui->StatusBar1)
        ui->gHint->move(ui->StatusBar1->width() - GaugeWidth - 3, 4);
}

void TfrmProcess::Button1Click()
{
    ui_::ShellExecute(this, QStringLiteral("ExPlore"), taskFolder().path());
}

void TfrmProcess::Button2Click()
{
    close();
}

void TfrmProcess::btnCreateLstClick()
{
    if (!TakeTask(true))
        return;
    runHarvest(
        *ui->btnCreateLst, QStringLiteral("生成列表"), *ui->btnSaveHtml,
        [this] {
            DataSet& task = TaskRecord();
            if (task.field(QStringLiteral("ResCurrent")).asInteger() <
                task.field(QStringLiteral("ResEnd")).asInteger())
                return true;
            ui_::MessageBox(this,
                            QStringLiteral("已经生成了所有列表。要重新处理，请修改任务参数。"),
                            QStringLiteral("提示信息"), ui_::Icon::Information, ui_::Buttons::Ok);
            return false;
        },
        [this] {
            runLoggedIn([this] {
                withListBrowser([this](harvest::Browser& browser) {
                    showPageList(harvest::BuildPageList(*this, browser));
                });
            });
        });
}

void TfrmProcess::withListBrowser(const std::function<void(harvest::Browser&)>& work)
{
    harvest::withListBrowser(
        TaskRecord(), *m_browser, [this](const QString& text) { ShowStatus(text); },
        [this] { return Running(); }, work);
}

void TfrmProcess::updatePageList()
{
    if (!TakeTask(true))
        return;
    runHarvest(
        *ui->btnCreateLst, QStringLiteral("生成列表"), *ui->btnSaveHtml, [] { return true; },
        [this] {
            runLoggedIn([this] {
                withListBrowser([this](harvest::Browser& browser) {
                    const harvest::PageUpdate update = harvest::UpdatePageList(
                        *this, browser,
                        harvest::pageFetchers(harvest::usesDirectEngine(TaskRecord())),
                        harvest::SaveLimits::of(m_settings));
                    showPageList(update.lines);
                    const harvest::GaugeSetting gauge = harvest::pageListGauge(
                        int(update.lines.size()),
                        TaskRecord().field(QStringLiteral("SaveCurrent")).asInteger());
                    SetGauge(gauge.maximum, gauge.position);
                });
            });
        });
}

void TfrmProcess::btnSaveHtmlClick()
{
    saveHtml(false);
}

void TfrmProcess::saveHtml(bool failedOnly)
{
    // Without a task folder there is no page list to save from.
    if (!TakeTask(false))
        return;
    harvest::PageSaver saver(*this, *m_browser);
    std::vector<int> failed;
    const auto prepare = [&] {
        if (failedOnly) {
            failed = saver.failedLines(m_pageLog.get());
            return !failed.empty();
        }
        const harvest::PageSaver::Refusal refusal = saver.prepare();
        if (refusal == harvest::PageSaver::Refusal::None)
            return true;
        ui_::MessageBox(this, harvest::PageSaver::refusalText(refusal), QStringLiteral("提示信息"),
                        ui_::Icon::Information, ui_::Buttons::Ok);
        return false;
    };
    const harvest::SaveLimits limits = harvest::SaveLimits::of(m_settings);
    runHarvest(*ui->btnSaveHtml, QStringLiteral("保存网页"), *ui->btnCreateLst, prepare, [&] {
        bool again = false;
        runLoggedIn([&] {
            // Again after a new login: the failed lines as the log has them now.
            if (failedOnly && std::exchange(again, true) && (failed = saver.failedLines()).empty())
                return;
            saver.save(limits, harvest::pageFetchers(harvest::usesDirectEngine(TaskRecord())),
                       std::exchange(failed, {}));
        });
    });
}

void TfrmProcess::runLoggedIn(const std::function<void()>& body)
{
    try {
        harvest::runLoggedIn(body,
                             [this](const harvest::LoginLost& lost) { return LogInAgain(lost); });
    } catch (const harvest::LoginLost& lost) {
        ui_::MessageBox(this, lost.notTakenText(), QStringLiteral("错误信息"), ui_::Icon::Error,
                        ui_::Buttons::Ok);
    }
}

bool TfrmProcess::LogInAgain(const harvest::LoginLost& lost)
{
    if (!Running())
        return false;
    const QString address = TaskRecord().field(QStringLiteral("LoginAddr")).asString();
    if (address.trimmed().isEmpty()) {
        ui_::MessageBox(this, lost.message(), QStringLiteral("错误信息"), ui_::Icon::Error,
                        ui_::Buttons::Ok);
        return false;
    }
    ShowStatus(QLatin1Char(' ') + lost.message() + QStringLiteral(" 请在登录窗口中重新登录 "));
    // Not modal: 停止 stays at hand, and closes it.
    TfrmLogin frmLogin(this);
    QEventLoop loop;
    connect(&frmLogin, &QDialog::finished, &loop, &QEventLoop::quit);
    connect(m_run.get(), &ui_::HarvestRun::stopped, &frmLogin, &QDialog::reject);
    frmLogin.navigate(address);
    frmLogin.show();
    loop.exec();
    return Running();
}

void TfrmProcess::ListBox1ContextMenu(const QPoint& pos)
{
    // Made afresh at every opening: the count is the log's at that moment.
    delete findChild<QMenu*>(QStringLiteral("mnuPageList"));
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("mnuPageList"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The log is read on from where the last opening left it.
    const QString log = m_task ? taskFolder().pageLog() : QString();
    if (!m_pageLog || m_pageLog->path() != log)
        m_pageLog = std::make_unique<harvest::PageLogState>(log);
    const int failed =
        m_task ? int(harvest::PageSaver(*this, *m_browser).failedLines(m_pageLog.get()).size()) : 0;
    QAction* retry = menu->addAction(QStringLiteral("重新保存失败的网页（%1）").arg(failed));
    retry->setEnabled(failed > 0 && ui->btnSaveHtml->isEnabled() && !m_run->active());
    connect(retry, &QAction::triggered, this, [this] { runHandler([this] { saveHtml(true); }); });
    QAction* update = menu->addAction(QStringLiteral("检查新网页"));
    update->setObjectName(QStringLiteral("actUpdatePageList"));
    update->setEnabled(m_task && ui->btnCreateLst->isEnabled() && !m_run->active());
    connect(update, &QAction::triggered, this, handler(&TfrmProcess::updatePageList));
    menu->popup(ui->ListBox1->viewport()->mapToGlobal(pos));
}
