#pragma once

#include <QByteArray>
#include <QList>
#include <QWidget>
#include <memory>

namespace Ui {
class TfrmTest;
}
class QPainter;

// The result of a test extraction run as a table: the header line as the
// fixed title row, one row per further line, one column per value, the
// sequence numbers as the fixed first column. It holds copies of the lines and
// only shows them. A window of its own, owned by the window that made it and
// destroyed with it; closing it only hides it.
class TfrmTest : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmTest(QWidget* owner);
    ~TfrmTest() override;

    // Fills the grid from the result lines, each split at the separator.
    void ShowResults(const QList<QByteArray>& lines, const QByteArray& separator);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void StringGrid1DrawCell(QPainter& painter, int col, int row, const QRect& rect);

    std::unique_ptr<Ui::TfrmTest> ui;
    bool m_placed = false;
};
