#pragma once

#include "connection.h"
#include "dataset.h"

#include <QMainWindow>
#include <memory>

// The main window: owns the task store's connection and the task query for the
// whole run.
class TfrmMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Opens the store and fills the task list; false (after the connection
    // error has been shown) when the store cannot be opened.
    bool FormCreate();

    pagrim::store::Connection& adoConn() { return m_conn; }
    pagrim::store::DataSet& aqryTask() { return *m_aqryTask; }

private:
    pagrim::store::Connection m_conn;
    std::unique_ptr<pagrim::store::DataSet> m_aqryTask;
};
