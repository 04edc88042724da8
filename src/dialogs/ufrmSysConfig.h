#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TfrmSysConfig;
}
namespace pagrim {
class Settings;
}

// The default options dialog: shows the work folder, the test extraction count
// and the separator of section SysConfig, and writes them to the settings only
// on OK. Created for each use and shown modally.
class TfrmSysConfig : public QDialog
{
    Q_OBJECT
public:
    TfrmSysConfig(pagrim::Settings& settings, QWidget* parent = nullptr);
    ~TfrmSysConfig() override;

protected:
    // Up and Down in eTestValue step udTest.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void Button1Click();
    void btnOKClick();
    void btnCancelClick();
    void Button2Click();
    void udTestChanged(int position);

    std::unique_ptr<Ui::TfrmSysConfig> ui;
    pagrim::Settings& m_settings;
};
