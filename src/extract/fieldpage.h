#pragma once

#include "extract/core/extraction.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QWidget>
#include <functional>
#include <memory>

namespace pagrim {
class Settings;
}
namespace pagrim::store {
class Connection;
class DataSet;
} // namespace pagrim::store
namespace Ui {
class TFieldPage;
}

// What the field page needs of the window it sits on.
class FieldPageHost
{
public:
    virtual ~FieldPageHost() = default;
    // The task record; an error when the window has none.
    virtual pagrim::store::DataSet& TaskRecord() = 0;
    // The work folder, ending with "/".
    virtual QString WorkFolder() const = 0;
    // Runs body as one of the window's handlers: inside the default error
    // display, holding back a close asked for meanwhile.
    virtual void runHandler(const std::function<void()>& body) = 0;
    // Whether the window has the task to itself rather than another program;
    // makeFolder lets a task without a folder yet be taken (its folder made).
    virtual bool TakeTask(bool makeFolder) = 0;
};

// The execution window's second page: the task's extraction fields (aqryDesc,
// following the task query), the test switch and the extraction run with its
// working lists and status line.
class TFieldPage : public QWidget, public pagrim::extract::ExtractHost
{
    Q_OBJECT
public:
    explicit TFieldPage(QWidget* parent = nullptr);
    ~TFieldPage() override;

    // Binds the page to the task query of the window; harvestButtons are held
    // disabled while an extraction runs.
    void setUp(FieldPageHost& host, pagrim::store::DataSet& taskQuery,
               pagrim::store::Connection& conn, pagrim::Settings& settings,
               const QList<QWidget*>& harvestButtons);
    // The window's create, show and close steps for this page.
    void FormCreate();
    void FormShow();
    void FormClose();

    QWidget* extractButton() const;
    QString fieldStatus() const;
    void ShowFieldStatus(const QString& text);

    pagrim::store::DataSet& aqryDesc() const { return *m_aqryDesc; }
    const QString& FieldSeparator() const { return m_fieldSeparator; }
    QList<QByteArray>* ResultLines() const { return m_resultLines.get(); }
    // The values of the result lines as cut, of which the workbook is made.
    pagrim::extract::ResultTable* ResultValues() const { return m_resultValues.get(); }

    // The run's status line and event pump, each at most every few milliseconds.
    void ShowExtractStatus(const QString& text) override;
    bool TestMode() const override;
    int TestValue() const override;
    void ProcessPendingEvents() override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    template <class F> auto handler(F method)
    {
        return [this, method] { m_host->runHandler([this, method] { (this->*method)(); }); };
    }
    QString taskName() const;
    pagrim::TaskFolder taskFolder() const;
    void aqryDescAfterInsert(pagrim::store::DataSet& ds);
    void SpeedButton1Click();
    void SpeedButton2Click();
    void dbGrid1DblClick();
    // The field list's menu: "只取文字", checked for the current field.
    void dbGrid1ContextMenu(const QPoint& pos);
    void Button3Click();
    void Button5Click();
    void Button4Click();
    void btnPickFieldClick();
    // btnPickField is for a field row of a task with a saved page.
    void updatePickButton();

    std::unique_ptr<Ui::TFieldPage> ui;
    FieldPageHost* m_host = nullptr;
    pagrim::store::Connection* m_conn = nullptr;
    pagrim::Settings* m_settings = nullptr;
    QList<QWidget*> m_harvestButtons;
    std::unique_ptr<pagrim::store::DataSet> m_aqryDesc;
    QString m_fieldSeparator;
    std::unique_ptr<QList<QByteArray>> m_resultLines;
    std::unique_ptr<pagrim::extract::ResultTable> m_resultValues;
    QString m_extractStatus;
    QElapsedTimer m_extractStatusShown;
    QElapsedTimer m_extractEventsRun;
};
