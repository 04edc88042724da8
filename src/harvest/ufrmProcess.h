#pragma once

#include "extract/fieldpage.h"
#include "harvest/core/runhost.h"
#include "ui/runstate.h"

#include <QByteArray>
#include <QDialog>
#include <QList>
#include <QMetaObject>
#include <memory>

namespace pagrim {
class Settings;
class TaskLock;
} // namespace pagrim
namespace pagrim::store {
class Connection;
class DataSet;
} // namespace pagrim::store
namespace pagrim::harvest {
class Browser;
class BrowserDriver;
class LoginLost;
} // namespace pagrim::harvest
namespace pagrim::ui {
class PaintThrottle;
}
namespace Ui {
class TfrmProcess;
}
class QAbstractButton;

// The window in which one task is executed: its first page harvests a site
// (page list, saved pages) with the hidden browser wbGet, its second is the
// field page. It holds the task record (the main window's task query), the work
// folder and the run state of the harvesting buttons. A close asked for while
// one of its handlers runs waits until it has returned.
class TfrmProcess : public QDialog, public pagrim::harvest::RunHost, public FieldPageHost
{
    Q_OBJECT
public:
    TfrmProcess(pagrim::store::DataSet& taskQuery, pagrim::store::Connection& conn,
                pagrim::Settings& settings, QWidget* owner = nullptr);
    ~TfrmProcess() override;

    void setTaskRecord(pagrim::store::DataSet* taskRecord) { m_task = taskRecord; }

    // The operations the runs of the window use.
    void ShowStatus(const QString& text) override;
    // False, and nothing changed, without a task record.
    bool LoadPageList(QList<QByteArray>& lines) override;
    void SetGauge(int maximum, int position) override;
    QString WorkFolder() const override { return m_workFolder; }
    // The task record; an error when the window has none.
    pagrim::store::DataSet& TaskRecord() override;
    pagrim::harvest::ContentRule PageContent() override;
    void ProcessEvents() override;
    bool Running() const override;
    bool PageShows(const QByteArray& document, const QString& text) const override;
    TFieldPage& fieldPage() const;
    // Runs body as one of the window's handlers: inside the default error
    // display, and holding back a close asked for meanwhile.
    void runHandler(const std::function<void()>& body) override;
    // The task's lock, taken when the window opens; a task without a folder yet
    // is taken by the first run that makes it. Once another program is found
    // holding it, the window's runs do nothing, and each asking says so: the
    // counters shown are from before that program's run, so the task is not
    // taken later either.
    bool TakeTask(bool makeFolder) override;

    // Runs a harvesting button's click under the shared stop protocol; the
    // handlers of list generation and page saving call it.
    void runHarvest(QAbstractButton& button, const QString& idleCaption,
                    QAbstractButton& otherButton, const std::function<bool()>& prepare,
                    const std::function<void()>& body);

    // A close waits for a running handler; FormClose runs before the window goes.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void ApplicationEvents1Idle();
    void Button1Click();
    void Button2Click();
    void btnCreateLstClick();
    void btnSaveHtmlClick();
    // 保存网页, or the lines whose last entry in the page log did not save the
    // page again (the page list's context menu).
    void saveHtml(bool failedOnly);
    void ListBox1ContextMenu(const QPoint& pos);
    // Runs a harvest whose pages may find the login gone: the login window
    // opens on the task's login address, and the run goes on once it closes.
    void runLoggedIn(const std::function<void()>& body);
    // False when the run is to end: stopped meanwhile, or no login address.
    bool LogInAgain(const pagrim::harvest::LoginLost& lost);
    // 检查新网页 (the page list's context menu): the pages the site has added
    // go to the end of the page list, which the list box then shows.
    void updatePageList();
    // Runs work with the browser of the task's list pages.
    void withListBrowser(const std::function<void(pagrim::harvest::Browser&)>& work);
    void arrangePage();
    // Puts the lines into ListBox1 in place of what it showed and selects the last.
    void showPageList(const QStringList& lines);
    // Reads the task's row again: another program may have moved its counters.
    void rereadTask();

    // A slot running the method as one of the window's handlers.
    template <class F> auto handler(F method)
    {
        return [this, method] { runHandler([this, method] { (this->*method)(); }); };
    }

    std::unique_ptr<Ui::TfrmProcess> ui;
    pagrim::store::DataSet& m_taskQuery;
    pagrim::store::Connection& m_conn;
    pagrim::Settings& m_settings;
    pagrim::store::DataSet* m_task = nullptr;
    std::unique_ptr<pagrim::harvest::BrowserDriver> m_browser;
    std::unique_ptr<pagrim::ui::HarvestRun> m_run;
    // The page log as the list's context menu last read it.
    std::unique_ptr<pagrim::harvest::PageLogState> m_pageLog;
    pagrim::ui::HandlerTracker m_handlers;
    QString m_workFolder;
    QMetaObject::Connection m_idleHook;
    bool m_shown = false;
    std::unique_ptr<pagrim::TaskLock> m_taskLock;
    bool m_taskBusy = false;
    // Goes with the window's members, before the widgets it paints.
    std::unique_ptr<pagrim::ui::PaintThrottle> m_statusPaint;
};
