#include "extract/fieldpage.h"
#include "ui_fieldpage.h"

#include "extract/core/fieldset.h"
#include "extract/core/savedpages.h"
#include "extract/ufrmPickField.h"
#include "extract/ufrmTest.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/settings.h"
#include "platform/taskfolder.h"
#include "store/dataset.h"
#include "store/descoptions.h"
#include "ui/appwindows.h"
#include "ui/dbcheckdelegate.h"
#include "ui/disabledwhile.h"
#include "ui/gridlayout.h"
#include "ui/guard.h"
#include "ui/shell.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMenu>
#include <QScopeGuard>

using pagrim::store::DataSet;
namespace ui_ = pagrim::ui;

namespace {
const QString OwnerName = QStringLiteral("frmProcess");
constexpr int StatusBar2Height = 19;
// About 30 repaints a second at most: more would cost a run more than it reads.
constexpr qint64 StatusIntervalMs = 33;
// A hundred passes of the event pump a second keep the window as lively as one
// after every page, at a fraction of the cost.
constexpr qint64 PumpIntervalMs = 10;
} // namespace

TFieldPage::TFieldPage(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TFieldPage>())
{
    ui->setupUi(this);
    ui->StatusBar2->setSizeGripEnabled(false);
}

TFieldPage::~TFieldPage()
{
    // The bound widgets go before the field set they show.
    qDeleteAll(findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly));
}

void TFieldPage::setUp(FieldPageHost& host, DataSet& taskQuery, pagrim::store::Connection& conn,
                       pagrim::Settings& settings, const QList<QWidget*>& harvestButtons)
{
    m_host = &host;
    m_conn = &conn;
    m_settings = &settings;
    m_harvestButtons = harvestButtons;
    m_aqryDesc = std::make_unique<DataSet>(conn);
    m_aqryDesc->setObjectName(QStringLiteral("aqryDesc"));
    m_aqryDesc->setCommandText(QStringLiteral("select * from descs where taskid=:taskid"));
    m_aqryDesc->setMasterSource(&taskQuery);
    m_aqryDesc->setAfterInsert([this](DataSet& ds) { aqryDescAfterInsert(ds); });

    ui->dbGrid1->bind(*m_aqryDesc,
                      {{QStringLiteral("DescNeed"), QStringLiteral("选中"), Qt::AlignCenter},
                       {QStringLiteral("DescName"), QStringLiteral("提取字段名称")}});
    ui->dbGrid1->setItemDelegateForColumn(0, new ui_::DBCheckDelegate(ui->dbGrid1));
    ui->DBEdit1->bindField(*m_aqryDesc, QStringLiteral("DescName"));
    ui->DBMemo2->bindField(*m_aqryDesc, QStringLiteral("DescStart"));
    ui->DBMemo3->bindField(*m_aqryDesc, QStringLiteral("DescEnd"));
    ui->DBNavigator1->bind(*m_aqryDesc);

    connect(ui->SpeedButton1, &QToolButton::clicked, this, handler(&TFieldPage::SpeedButton1Click));
    connect(ui->SpeedButton2, &QToolButton::clicked, this, handler(&TFieldPage::SpeedButton2Click));
    connect(ui->dbGrid1, &ui_::DBGrid::doubleClickedAnywhere, this,
            handler(&TFieldPage::dbGrid1DblClick));
    ui->dbGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->dbGrid1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { m_host->runHandler([&] { dbGrid1ContextMenu(pos); }); });
    connect(ui->Button3, &QPushButton::clicked, this, handler(&TFieldPage::Button3Click));
    connect(ui->Button5, &QPushButton::clicked, this, handler(&TFieldPage::Button5Click));
    connect(ui->Button4, &QPushButton::clicked, this, handler(&TFieldPage::Button4Click));
    connect(ui->btnPickField, &QPushButton::clicked, this, handler(&TFieldPage::btnPickFieldClick));
    connect(m_aqryDesc.get(), &DataSet::layoutReset, this, &TFieldPage::updatePickButton);
}

void TFieldPage::FormCreate()
{
    m_aqryDesc->close();
    m_aqryDesc->open();
    pagrim::LoadGridLayout(*m_settings, ui->dbGrid1, OwnerName);
}

void TFieldPage::FormShow()
{
    // The working lists and the separator first: a page list that cannot be read
    // must not leave them unset for the runs that follow.
    m_resultLines = std::make_unique<QList<QByteArray>>();
    m_resultValues = std::make_unique<pagrim::extract::ResultTable>();
    m_fieldSeparator = m_settings->Separator();
    if (m_host->TakeTask(false))
        pagrim::extract::FinishResultFiles(taskFolder());
}

void TFieldPage::FormClose()
{
    // A settings file that refuses the write is reported; the window closes anyway.
    ui_::guarded([this] { pagrim::SaveGridLayout(*m_settings, ui->dbGrid1, OwnerName); });
    m_resultLines.reset();
    m_resultValues.reset();
}

QWidget* TFieldPage::extractButton() const
{
    return ui->Button3;
}

QString TFieldPage::fieldStatus() const
{
    return ui->StatusBar2->currentMessage();
}

void TFieldPage::ShowFieldStatus(const QString& text)
{
    ui->StatusBar2->showMessage(text);
    ui->StatusBar2->repaint();
}

void TFieldPage::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    ui->StatusBar2->setGeometry(0, height() - StatusBar2Height, width(), StatusBar2Height);
}

void TFieldPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Pages may have been saved while another page of the window was shown.
    updatePickButton();
}

void TFieldPage::updatePickButton()
{
    bool pages = false;
    try {
        pages = m_host && pagrim::extract::HasSavedPage(taskFolder());
    } catch (const pagrim::Error&) {
        // A window without a task record yet has no pages to pick from.
    }
    ui->btnPickField->setEnabled(pages && m_aqryDesc && !m_aqryDesc->isEmpty());
}

QString TFieldPage::taskName() const
{
    return m_host->TaskRecord().field(QStringLiteral("TaskName")).asString();
}

pagrim::TaskFolder TFieldPage::taskFolder() const
{
    return pagrim::TaskFolder(m_host->WorkFolder(), taskName());
}

void TFieldPage::aqryDescAfterInsert(DataSet& ds)
{
    pagrim::extract::FillNewField(ds, *m_conn,
                                  m_host->TaskRecord().field(QStringLiteral("TaskID")).asInteger());
}

void TFieldPage::SpeedButton1Click()
{
    pagrim::extract::SetAllDescNeed(*m_aqryDesc, true);
}

void TFieldPage::SpeedButton2Click()
{
    pagrim::extract::SetAllDescNeed(*m_aqryDesc, false);
}

void TFieldPage::dbGrid1DblClick()
{
    pagrim::extract::SwitchDescNeed(*m_aqryDesc);
}

void TFieldPage::dbGrid1ContextMenu(const QPoint& pos)
{
    // Made afresh at every opening: the check mark is the current field's.
    delete findChild<QMenu*>(QStringLiteral("mnuFields"));
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("mnuFields"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* shown = menu->addAction(QStringLiteral("只取文字"));
    shown->setObjectName(QStringLiteral("actShownText"));
    shown->setCheckable(true);
    shown->setEnabled(!m_aqryDesc->isEmpty());
    if (!m_aqryDesc->isEmpty())
        shown->setChecked(pagrim::store::readDescOptions(
                              *m_conn, m_aqryDesc->field(QStringLiteral("DescID")).asInteger())
                              .shownText);
    connect(shown, &QAction::triggered, this, [this](bool checked) {
        m_host->runHandler([&] { pagrim::extract::SetShownText(*m_aqryDesc, checked); });
    });
    menu->popup(ui->dbGrid1->viewport()->mapToGlobal(pos));
}

void TFieldPage::ShowExtractStatus(const QString& text)
{
    m_extractStatus = text;
    if (m_extractStatusShown.isValid() && m_extractStatusShown.elapsed() < StatusIntervalMs)
        return;
    m_extractStatusShown.start();
    ShowFieldStatus(text);
}

void TFieldPage::ProcessPendingEvents()
{
    if (m_extractEventsRun.isValid() && m_extractEventsRun.elapsed() < PumpIntervalMs)
        return;
    m_extractEventsRun.start();
    QCoreApplication::processEvents();
}

bool TFieldPage::TestMode() const
{
    return ui->cbTest->isChecked();
}

int TFieldPage::TestValue() const
{
    return m_settings->TestValue();
}

void TFieldPage::Button3Click()
{
    if (!m_host->TakeTask(true))
        return;
    // The run is not started again, nor are a harvest or the field rows
    // touched while it goes on; all comes back at its end, also on failure.
    const ui_::DisabledWhile hold(
        QList<QWidget*>{ui->Button3, ui->dbGrid1, ui->DBNavigator1, ui->DBEdit1, ui->DBMemo2,
                        ui->DBMemo3, ui->SpeedButton1, ui->SpeedButton2, ui->btnPickField} +
        m_harvestButtons);
    m_extractStatus.clear();
    m_extractStatusShown.invalidate();
    m_extractEventsRun.invalidate();
    // The last status text set shows however the run ends.
    const auto lastStatus = qScopeGuard([this] {
        if (!m_extractStatus.isEmpty())
            ShowFieldStatus(m_extractStatus);
    });
    const int codePage = pagrim::codepage::current();
    const QByteArray separator = pagrim::codepage::fromUnicode(m_fieldSeparator, codePage);
    QList<QByteArray>& lines = *m_resultLines;
    const pagrim::TaskFolder folder = taskFolder();
    pagrim::extract::RunExtraction(*this, *m_aqryDesc, folder, separator, lines, codePage,
                                   m_resultValues.get());
    ui_::RestoreApplication();
    if (TestMode()) {
        auto* results = new TfrmTest(window());
        results->ShowResults(lines, separator);
        results->show();
        return;
    }
    pagrim::extract::WriteResultFiles(folder, lines, separator, codePage, *m_resultValues,
                                      taskName());
}

void TFieldPage::Button5Click()
{
    const pagrim::TaskFolder folder = taskFolder();
    if (m_host->TakeTask(false))
        pagrim::extract::FinishResultFiles(folder);
    // The workbook; the text sheet where a run before it left none.
    const QString book = folder.resultBook();
    ui_::ShellExecute(window(), QStringLiteral("Open"),
                      QFileInfo::exists(book) ? book : folder.resultSheet());
}

void TFieldPage::Button4Click()
{
    window()->close();
}

void TFieldPage::btnPickFieldClick()
{
    const pagrim::TaskFolder folder = taskFolder();
    std::vector<int> pages = pagrim::extract::SavedPageNumbers(folder);
    if (m_aqryDesc->isEmpty() || pages.empty()) {
        updatePickButton();
        return;
    }
    auto* pick = new TfrmPickField(window(), folder, std::move(pages), *m_aqryDesc);
    pick->show();
}
