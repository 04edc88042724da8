#pragma once

#include "extract/core/extraction.h"
#include "harvest/core/runhost.h"
#include "harvest/runstate.h"

#include <QByteArray>
#include <QDialog>
#include <QElapsedTimer>
#include <QList>
#include <QMetaObject>
#include <memory>

namespace pagrim {
class Settings;
}
namespace pagrim::store {
class Connection;
class DataSet;
} // namespace pagrim::store
namespace pagrim::harvest {
class BrowserDriver;
}
namespace pagrim::ui {
class PaintThrottle;
}
namespace Ui {
class TfrmProcess;
}
class QAbstractButton;
class QProgressBar;

// The window in which one task is executed: its first page harvests a site
// (page list, saved pages) with the hidden browser wbGet, its second edits the
// task's extraction fields and runs the extraction. It holds the task record (the main window's
// task query), the field query aqryDesc following that query, the work folder, the run state of the
// harvesting buttons and the working lists of the extraction. A close asked for while one of its
// handlers runs waits until it has returned.
class TfrmProcess : public QDialog,
                    public pagrim::harvest::RunHost,
                    public pagrim::extract::ExtractHost
{
    Q_OBJECT
public:
    TfrmProcess(pagrim::store::DataSet& taskQuery, pagrim::store::Connection& conn,
                pagrim::Settings& settings, QWidget* owner = nullptr);
    ~TfrmProcess() override;

    void setTaskRecord(pagrim::store::DataSet* taskRecord) { m_task = taskRecord; }
    pagrim::store::DataSet* taskRecord() const { return m_task; }

    // The operations the runs of the window use.
    void ShowStatus(const QString& text) override;
    void ShowFieldStatus(const QString& text);
    // Fills lines from the task's page list file and sets the gauge; false (and
    // nothing changed) when there is no such file.
    bool LoadPageList(QList<QByteArray>& lines) override;
    // The gauge of page saving: its maximum and its position (kept in range).
    void SetGauge(int maximum, int position) override;
    QString WorkFolder() const override { return m_workFolder; }
    // The task record; an error when the window has none.
    pagrim::store::DataSet& TaskRecord() override;
    void ProcessEvents() override;
    // The extraction run's status line: repainted at most about 30 times a
    // second; the run's end shows the last text.
    void ShowExtractStatus(const QString& text) override;
    bool TestMode() const override;
    // The event pump of the extraction run: at most every few milliseconds, so
    // the window keeps up without the pump costing the run more than its pages.
    void ProcessPendingEvents() override;
    int TestValue() const override;
    // WorkFolder followed by the task's name, without a trailing separator.
    QString taskFolder() const;
    QString taskName() const;
    pagrim::harvest::HarvestRun& run() { return *m_run; }
    bool Running() const override;
    pagrim::harvest::BrowserDriver& browser() const { return *m_browser; }
    pagrim::store::DataSet& aqryDesc() const { return *m_aqryDesc; }
    const QString& FieldSeparator() const { return m_fieldSeparator; }
    QList<QByteArray>* ResultLines() const { return m_resultLines.get(); }
    QList<QByteArray>* ScratchLines() const { return m_scratchLines.get(); }

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
    void Button4Click();
    void btnCreateLstClick();
    // The second page: the field set.
    void aqryDescAfterInsert(pagrim::store::DataSet& ds);
    void SpeedButton1Click();
    void SpeedButton2Click();
    void dbGrid1DblClick();
    void Button3Click();
    void Button5Click();
    void btnSaveHtmlClick();
    void arrangePage(QWidget* page);
    // Puts the lines into ListBox1 in place of what it showed and selects the last.
    void showPageList(const QStringList& lines);

    // A slot running the method as one of the window's handlers: inside the
    // default error display, and holding back a close asked for meanwhile.
    template <class F> auto handler(F method)
    {
        return [this, method] { runHandler([this, method] { (this->*method)(); }); };
    }
    void runHandler(const std::function<void()>& body);

    std::unique_ptr<Ui::TfrmProcess> ui;
    pagrim::store::DataSet& m_taskQuery;
    pagrim::store::Connection& m_conn;
    pagrim::Settings& m_settings;
    pagrim::store::DataSet* m_task = nullptr;
    std::unique_ptr<pagrim::store::DataSet> m_aqryDesc;
    std::unique_ptr<pagrim::harvest::BrowserDriver> m_browser;
    std::unique_ptr<pagrim::harvest::HarvestRun> m_run;
    pagrim::harvest::HandlerTracker m_handlers;
    QString m_workFolder;
    QString m_fieldSeparator;
    std::unique_ptr<QList<QByteArray>> m_resultLines;
    std::unique_ptr<QList<QByteArray>> m_scratchLines;
    QMetaObject::Connection m_idleHook;
    bool m_shown = false;
    QString m_extractStatus;
    QElapsedTimer m_extractStatusShown;
    // Goes with the window's members, before the widgets it paints.
    std::unique_ptr<pagrim::ui::PaintThrottle> m_statusPaint;
    QElapsedTimer m_extractEventsRun;
};
