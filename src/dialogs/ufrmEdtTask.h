#pragma once

#include "store/taskoptions.h"

#include <QDialog>
#include <memory>

namespace pagrim::store {
class DataSet;
}
namespace Ui {
class TfrmEdtTask;
}
class QLineEdit;

// The task editor: edits the current row of the task query in place. The caller
// has appended the row or put it into editing; the dialog posts or cancels it.
// The task's options are shown on a page of their own and posted with the row.
class TfrmEdtTask : public QDialog
{
    Q_OBJECT
public:
    TfrmEdtTask(pagrim::store::DataSet& dsEdt, QWidget* parent = nullptr);
    ~TfrmEdtTask() override;

    void ShowPageKind(bool ordinal);
    bool ValidateInput();
    // Shows these options instead of the row's stored ones (a copy shows its
    // source's); they are saved with the row.
    void ShowTaskOptions(const pagrim::store::TaskOptions& options);

    // Esc: the same as the cancel button.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void rbOrdLstClick();
    void btnOKClick();
    void btnCancelClick();
    // The options as the page shows them.
    pagrim::store::TaskOptions taskOptions() const;
    // Hint when the box is empty once blanks and control characters are removed.
    bool requireText(QLineEdit* box, const QString& message);

    std::unique_ptr<Ui::TfrmEdtTask> ui;
    pagrim::store::DataSet& m_ds;
    bool m_optionsShown = false;
};
