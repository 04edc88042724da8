#include "harvest/ufrmProcess.h"
#include "ui_ufrmProcess.h"

#include "extract/core/fieldset.h"
#include "extract/ufrmTest.h"
#include "harvest/browserdriver.h"
#include "harvest/core/pagelist.h"
#include "harvest/core/pagesaver.h"
#include "harvest/core/taskfolder.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/settings.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "ui/appwindows.h"
#include "ui/buttonkeys.h"
#include "ui/dbcheckdelegate.h"
#include "ui/disabledwhile.h"
#include "ui/gridlayout.h"
#include "ui/guard.h"
#include "ui/messagebox.h"
#include "ui/paintthrottle.h"
#include "ui/shell.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QShowEvent>

using pagrim::store::DataSet;
namespace harvest = pagrim::harvest;
namespace ui_ = pagrim::ui;

namespace {
const QString OwnerName = QStringLiteral("frmProcess");
const QString Ready = QStringLiteral(" 就绪 ");
constexpr int ListItemHeight = 12;
constexpr int GaugeWidth = 154;
constexpr int StatusBar1Height = 21;
constexpr int StatusBar2Height = 19;
// About 30 repaints a second at most: more would cost a run more than it reads.
constexpr qint64 StatusIntervalMs = 33;
// The harvesting status line, texts and gauge, is painted at most this often:
// it sits on the tab page, which is painted with it every time.
constexpr int StatusPaintIntervalMs = 100;
// A hundred passes of the event pump a second keep the window as lively as one
// after every page, at a fraction of the cost.
constexpr qint64 PumpIntervalMs = 10;
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

    m_run = std::make_unique<harvest::HarvestRun>(&ui_::RestoreApplication);

    m_aqryDesc = std::make_unique<DataSet>(m_conn);
    m_aqryDesc->setObjectName(QStringLiteral("aqryDesc"));
    m_aqryDesc->setCommandText(QStringLiteral("select * from descs where taskid=:taskid"));
    m_aqryDesc->setMasterSource(&m_taskQuery);
    m_aqryDesc->setAfterInsert([this](DataSet& ds) { aqryDescAfterInsert(ds); });

    ui->dbGrid1->bind(*m_aqryDesc,
                      {{QStringLiteral("DescNeed"), QStringLiteral("选中"), Qt::AlignCenter},
                       {QStringLiteral("DescName"), QStringLiteral("提取字段名称")}});
    ui->dbGrid1->setItemDelegateForColumn(0, new ui_::DBCheckDelegate(ui->dbGrid1));
    ui->DBEdit1->bindField(*m_aqryDesc, QStringLiteral("DescName"));
    ui->DBMemo2->bindField(*m_aqryDesc, QStringLiteral("DescStart"));
    ui->DBMemo3->bindField(*m_aqryDesc, QStringLiteral("DescEnd"));
    ui->DBNavigator1->bind(*m_aqryDesc);

    ui->ListBox1->setUniformItemSizes(true);
    ui->StatusBar1->setSizeGripEnabled(false);
    ui->StatusBar2->setSizeGripEnabled(false);
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
        ui->wbGet, this, [this](const QString& text) { ShowStatus(text); },
        [this] { return Running(); });

    connect(ui->Button1, &QPushButton::clicked, this, handler(&TfrmProcess::Button1Click));
    connect(ui->Button2, &QPushButton::clicked, this, handler(&TfrmProcess::Button2Click));
    connect(ui->Button4, &QPushButton::clicked, this, handler(&TfrmProcess::Button4Click));
    connect(ui->btnCreateLst, &QPushButton::clicked, this,
            handler(&TfrmProcess::btnCreateLstClick));
    connect(ui->SpeedButton1, &QToolButton::clicked, this,
            handler(&TfrmProcess::SpeedButton1Click));
    connect(ui->SpeedButton2, &QToolButton::clicked, this,
            handler(&TfrmProcess::SpeedButton2Click));
    connect(ui->dbGrid1, &ui_::DBGrid::doubleClickedAnywhere, this,
            handler(&TfrmProcess::dbGrid1DblClick));
    connect(ui->Button3, &QPushButton::clicked, this, handler(&TfrmProcess::Button3Click));
    connect(ui->Button5, &QPushButton::clicked, this, handler(&TfrmProcess::Button5Click));
    connect(ui->btnSaveHtml, &QPushButton::clicked, this, handler(&TfrmProcess::btnSaveHtmlClick));
    ui->TabSheet1->installEventFilter(this);
    ui->TabSheet2->installEventFilter(this);
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
    // The bound widgets go before the field set they show.
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
    m_aqryDesc->close();
    m_aqryDesc->open();
    pagrim::LoadGridLayout(m_settings, ui->dbGrid1, OwnerName);
    m_browser->Navigate(QStringLiteral("about:blank"));
    ui->PageControl1->setCurrentIndex(0);
    // The gauge lives at the right end of the first status bar.
    ui->gHint->setParent(ui->StatusBar1);
    arrangePage(ui->TabSheet1);
    ui->gHint->show();
    m_workFolder =
        harvest::workFolderFor(m_settings.WorkPath(QString()), pagrim::Settings::programFolder());
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
    // The working lists and the separator first: a page list that cannot be read
    // must not leave them unset for the runs that follow.
    m_resultLines = std::make_unique<QList<QByteArray>>();
    m_scratchLines = std::make_unique<QList<QByteArray>>();
    m_fieldSeparator = m_settings.Separator();
    pagrim::extract::FinishResultFiles(taskFolder());
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
    // A settings file that refuses the write is reported; the window closes anyway.
    ui_::guarded([this] { pagrim::SaveGridLayout(m_settings, ui->dbGrid1, OwnerName); });
    m_resultLines.reset();
    m_scratchLines.reset();
}

void TfrmProcess::ApplicationEvents1Idle()
{
    // A run that dispatches events itself is not idleness.
    if (m_handlers.busy() || !isVisible())
        return;
    if (ui->StatusBar1->currentMessage() != Ready)
        ShowStatus(Ready);
    if (ui->StatusBar2->currentMessage() != Ready)
        ShowFieldStatus(Ready);
}

void TfrmProcess::ShowStatus(const QString& text)
{
    // The status bar repaints its message itself, unless the line is held.
    m_statusPaint->aboutToChange();
    ui->StatusBar1->showMessage(text);
}

void TfrmProcess::ShowFieldStatus(const QString& text)
{
    ui->StatusBar2->showMessage(text);
    ui->StatusBar2->repaint();
}

QString TfrmProcess::taskName() const
{
    return m_task ? m_task->field(QStringLiteral("TaskName")).asString() : QString();
}

QString TfrmProcess::taskFolder() const
{
    return harvest::taskFolderFor(m_workFolder, taskName());
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
        const ui_::DisabledWhile noExtraction({ui->Button3});
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
    if (event->type() == QEvent::Resize) {
        if (watched == ui->TabSheet1 || watched == ui->TabSheet2 || watched == ui->StatusBar1)
            arrangePage(watched == ui->TabSheet2 ? ui->TabSheet2 : ui->TabSheet1);
    }
    return QDialog::eventFilter(watched, event);
}

// The controls that hang on a page's edges: the list box at the left above the
// status bar, the status bars along the bottom, the gauge at the bar's right.
void TfrmProcess::arrangePage(QWidget* page)
{
    const int w = page->width();
    const int h = page->height();
    if (page == ui->TabSheet1) {
        ui->StatusBar1->setGeometry(0, h - StatusBar1Height, w, StatusBar1Height);
        ui->ListBox1->setGeometry(0, 0, 521, h - StatusBar1Height);
        if (ui->gHint->parentWidget() == ui->StatusBar1)
            ui->gHint->move(ui->StatusBar1->width() - GaugeWidth - 3, 4);
    } else {
        ui->StatusBar2->setGeometry(0, h - StatusBar2Height, w, StatusBar2Height);
    }
}

void TfrmProcess::Button1Click()
{
    ui_::ShellExecute(this, QStringLiteral("ExPlore"), taskFolder());
}

void TfrmProcess::Button2Click()
{
    close();
}

void TfrmProcess::Button4Click()
{
    close();
}

void TfrmProcess::btnCreateLstClick()
{
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
        [this] { showPageList(harvest::BuildPageList(*this, *m_browser)); });
}

void TfrmProcess::aqryDescAfterInsert(DataSet& ds)
{
    pagrim::extract::FillNewField(ds, m_conn,
                                  TaskRecord().field(QStringLiteral("TaskID")).asInteger());
}

void TfrmProcess::SpeedButton1Click()
{
    pagrim::extract::SetAllDescNeed(*m_aqryDesc, true);
}

void TfrmProcess::SpeedButton2Click()
{
    pagrim::extract::SetAllDescNeed(*m_aqryDesc, false);
}

void TfrmProcess::dbGrid1DblClick()
{
    pagrim::extract::SwitchDescNeed(*m_aqryDesc);
}

void TfrmProcess::ShowExtractStatus(const QString& text)
{
    m_extractStatus = text;
    if (m_extractStatusShown.isValid() && m_extractStatusShown.elapsed() < StatusIntervalMs)
        return;
    m_extractStatusShown.start();
    ShowFieldStatus(text);
}

void TfrmProcess::ProcessPendingEvents()
{
    if (m_extractEventsRun.isValid() && m_extractEventsRun.elapsed() < PumpIntervalMs)
        return;
    m_extractEventsRun.start();
    ProcessEvents();
}

bool TfrmProcess::TestMode() const
{
    return ui->cbTest->isChecked();
}

int TfrmProcess::TestValue() const
{
    return m_settings.TestValue();
}

void TfrmProcess::Button3Click()
{
    // The run is not started again, nor are a harvest or the field rows
    // touched while it goes on; all comes back at its end, also on failure.
    const ui_::DisabledWhile hold({ui->Button3, ui->btnCreateLst, ui->btnSaveHtml, ui->dbGrid1,
                                   ui->DBNavigator1, ui->DBEdit1, ui->DBMemo2, ui->DBMemo3,
                                   ui->SpeedButton1, ui->SpeedButton2});
    m_extractStatus.clear();
    m_extractStatusShown.invalidate();
    m_extractEventsRun.invalidate();
    struct LastStatus
    {
        TfrmProcess& w;
        ~LastStatus()
        {
            if (!w.m_extractStatus.isEmpty())
                w.ShowFieldStatus(w.m_extractStatus);
        }
    } last{*this};
    const int codePage = pagrim::codepage::current();
    const QByteArray separator = pagrim::codepage::fromUnicode(m_fieldSeparator, codePage);
    QList<QByteArray>& lines = *m_resultLines;
    pagrim::extract::RunExtraction(*this, *m_aqryDesc, taskFolder(), separator, lines, codePage);
    ui_::RestoreApplication();
    if (TestMode()) {
        auto* results = new TfrmTest(this);
        results->ShowResults(lines, separator);
        results->show();
        return;
    }
    pagrim::extract::WriteResultFiles(taskFolder(), lines, separator, codePage);
}

void TfrmProcess::Button5Click()
{
    pagrim::extract::FinishResultFiles(taskFolder());
    ui_::ShellExecute(this, QStringLiteral("Open"), taskFolder() + QStringLiteral("/Infos.xls"));
}

void TfrmProcess::btnSaveHtmlClick()
{
    harvest::PageSaver saver(*this, *m_browser);
    const auto prepare = [this, &saver] {
        const harvest::PageSaver::Refusal refusal = saver.prepare();
        if (refusal == harvest::PageSaver::Refusal::None)
            return true;
        ui_::MessageBox(this, harvest::PageSaver::refusalText(refusal), QStringLiteral("提示信息"),
                        ui_::Icon::Information, ui_::Buttons::Ok);
        return false;
    };
    runHarvest(*ui->btnSaveHtml, QStringLiteral("保存网页"), *ui->btnCreateLst, prepare,
               [&saver] { saver.run(); });
}
