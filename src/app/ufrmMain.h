#pragma once

#include "store/connection.h"
#include "store/dataset.h"
#include "store/taskoptions.h"

#include <QMainWindow>
#include <memory>
#include <optional>

class QMenu;
namespace pagrim {
class Settings;
}
namespace Ui {
class TfrmMain;
}

// The main window: owns the task store's connection adoConn, the task query
// aqryTask (its current row is the current task of every other window) and the
// program's settings object on the settings file it is given, for the whole run.
class TfrmMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit TfrmMain(QString settingsPath, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The creation step: opens the store and fills the task list. False (after
    // the connection error has been shown) when the store cannot be opened.
    bool FormCreate();

    pagrim::store::Connection& adoConn() { return m_conn; }
    pagrim::store::DataSet& aqryTask() { return *m_aqryTask; }
    pagrim::Settings* settings() const { return m_settings.get(); }
    std::unique_ptr<pagrim::store::DataSet> CreateScratchQuery();

    enum class EditorMode
    {
        New,
        Edit
    };

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void aqryTaskAfterInsert(pagrim::store::DataSet& ds);
    QString aqryTaskOrdNOGetText(int row) const;
    // The editor shows the row's stored options unless given others.
    void OpenTaskEditor(EditorMode mode,
                        const std::optional<pagrim::store::TaskOptions>& options = {});
    void actNewTaskExecute();
    void actEditTaskExecute();
    void actCopyTaskExecute();
    void actDeleTaskExecute();
    void actStartProcessExecute();
    void actSysConfigExecute();
    void actCloseExecute();
    void spSysClick();
    void SpeedButton1Click();
    void DBGrid1DblClick();
    void FormClose();
    void showPopupMenu(const QPoint& pos);

    std::unique_ptr<Ui::TfrmMain> ui;
    pagrim::store::Connection m_conn;
    std::unique_ptr<pagrim::store::DataSet> m_aqryTask;
    QString m_settingsPath;
    std::unique_ptr<pagrim::Settings> m_settings;
    QMenu* PopupMenu1 = nullptr;
};
