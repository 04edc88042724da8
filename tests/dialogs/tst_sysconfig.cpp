#include "dialogs/ufrmSysConfig.h"
#include "platform/settings.h"
#include "support/filesizelimit.h"
#include "support/testsupport.h"
#include "ui/shell.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyleOptionSpinBox>
#include <QTemporaryDir>
#include <QTest>

using namespace pagrim;

namespace {

using test::contents;
using test::put;

// Clicks the up or down arrow of a spin box.
void clickArrow(QSpinBox* box, bool up)
{
    QStyleOptionSpinBox option;
    option.initFrom(box);
    option.subControls = QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown;
    option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
    const QRect r = box->style()->subControlRect(
        QStyle::CC_SpinBox, &option, up ? QStyle::SC_SpinBoxUp : QStyle::SC_SpinBoxDown, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, r.center());
}

} // namespace

class TestSysConfig : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_home = qgetenv("HOME");
        m_configHome = qgetenv("XDG_CONFIG_HOME");
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_path = m_dir->filePath(QStringLiteral("Pagrim.ini"));
        m_settings = std::make_unique<Settings>(m_path);
        m_messages = std::make_unique<test::MessageRecorder>();
    }
    void cleanup()
    {
        ui::setSelectFolderHandler({});
        test::cancelModalWatches();
        restoreEnv("HOME", m_home);
        restoreEnv("XDG_CONFIG_HOME", m_configHome);
        m_messages.reset();
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        m_dir.reset();
    }

    void firstStartShowsDefaults()
    {
        TfrmSysConfig dlg(*m_settings);
        QCOMPARE(edit(dlg, "edtWorkPath")->text(), Settings::programFolder());
        QVERIFY(Settings::programFolder().endsWith(QLatin1Char('/')));
        QCOMPARE(edit(dlg, "eTestValue")->text(), QStringLiteral("10"));
        QCOMPARE(edit(dlg, "edtSeparator")->text(), QStringLiteral("*"));
        QVERIFY(!QFile::exists(m_path));
    }

    void showsStoredValues()
    {
        put(m_path, "[SysConfig]\r\nWorkPath=/data/\r\nTestValue=0x14\r\nSeparator=\r\n");
        TfrmSysConfig dlg(*m_settings);
        QCOMPARE(edit(dlg, "edtWorkPath")->text(), QStringLiteral("/data/"));
        QCOMPARE(edit(dlg, "eTestValue")->text(), QStringLiteral("20"));
        QCOMPARE(edit(dlg, "edtSeparator")->text(), QString());
    }

    void restoreThenCancelWritesNothing_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("cancel button") << false;
        QTest::newRow("Esc") << true;
    }
    void restoreThenCancelWritesNothing()
    {
        QFETCH(bool, escape);
        const QByteArray before(
            "[SysConfig]\r\nWorkPath=/data/\r\nTestValue=50\r\nSeparator=|\r\n");
        put(m_path, before);
        TfrmSysConfig dlg(*m_settings);
        dlg.show();
        QTest::mouseClick(button(dlg, "Button2"), Qt::LeftButton);
        QCOMPARE(edit(dlg, "edtWorkPath")->text(), Settings::programFolder());
        QCOMPARE(edit(dlg, "eTestValue")->text(), QStringLiteral("10"));
        QCOMPARE(edit(dlg, "edtSeparator")->text(), QStringLiteral("*"));
        QCOMPARE(contents(m_path), before);
        if (escape)
            QTest::keyClick(&dlg, Qt::Key_Escape);
        else
            QTest::mouseClick(button(dlg, "btnCancel"), Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(!dlg.isVisible());
        QCOMPARE(contents(m_path), before);
    }

    void okRewritesAllThreeKeys_data()
    {
        QTest::addColumn<bool>("enter");
        QTest::newRow("OK button") << false;
        QTest::newRow("Enter") << true;
    }
    void okRewritesAllThreeKeys()
    {
        QFETCH(bool, enter);
        put(m_path, "[frmMain-DBGrid1]\r\nOrdNO=80\r\n");
        TfrmSysConfig dlg(*m_settings);
        dlg.show();
        if (enter) {
            edit(dlg, "edtSeparator")->setFocus();
            QTest::keyClick(edit(dlg, "edtSeparator"), Qt::Key_Return);
        } else {
            QTest::mouseClick(button(dlg, "btnOK"), Qt::LeftButton);
        }
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(contents(m_path), "[frmMain-DBGrid1]\r\nOrdNO=80\r\n[SysConfig]\r\nWorkPath=" +
                                       Settings::programFolder().toUtf8() +
                                       "\r\nTestValue=10\r\nSeparator=*\r\n");
    }

    void emptySeparatorStaysEmpty()
    {
        TfrmSysConfig dlg(*m_settings);
        dlg.show();
        edit(dlg, "edtSeparator")->clear();
        QTest::mouseClick(button(dlg, "btnOK"), Qt::LeftButton);
        TfrmSysConfig again(*m_settings);
        QCOMPARE(edit(again, "edtSeparator")->text(), QString());
    }

    void pageSavingSettingsWrittenOnlyWhenChanged()
    {
        put(m_path, "[SysConfig]\r\nParallelPages=99\r\nHostDelay=-5\r\n");
        TfrmSysConfig dlg(*m_settings);
        dlg.show();
        // Out of range reads as the nearest end of the range.
        QCOMPARE(spin(dlg, "udParallelPages")->value(), 16);
        QCOMPARE(spin(dlg, "udHostDelay")->value(), 0);
        spin(dlg, "udParallelPages")->setValue(4);
        spin(dlg, "udPageTimeout")->setValue(60);
        QTest::mouseClick(button(dlg, "btnOK"), Qt::LeftButton);
        QCOMPARE(m_settings->ParallelPages(), 4);
        QCOMPARE(m_settings->PageTimeout(), 60);
        // The pause was left as read: its key stays as the file had it.
        QVERIFY(contents(m_path).contains("HostDelay=-5"));
    }

    void upDownStepsWithinRange()
    {
        TfrmSysConfig dlg(*m_settings);
        dlg.show();
        auto* ud = dlg.findChild<QSpinBox*>(QStringLiteral("udTest"));
        QLineEdit* shown = edit(dlg, "eTestValue");
        clickArrow(ud, false);
        QCOMPARE(shown->text(), QStringLiteral("10"));
        clickArrow(ud, true);
        QCOMPARE(shown->text(), QStringLiteral("20"));
        for (int i = 0; i < 12; ++i)
            clickArrow(ud, true);
        QCOMPARE(shown->text(), QStringLiteral("100"));
        // The arrow keys in the shown count step it too.
        shown->setFocus();
        QTest::keyClick(shown, Qt::Key_Down);
        QCOMPARE(shown->text(), QStringLiteral("90"));
        QTest::keyClick(shown, Qt::Key_Up);
        QTest::keyClick(shown, Qt::Key_Up);
        QCOMPARE(shown->text(), QStringLiteral("100"));
        for (int i = 0; i < 12; ++i)
            QTest::keyClick(shown, Qt::Key_Down);
        QCOMPARE(shown->text(), QStringLiteral("10"));
    }

    void testCountCannotBeTyped()
    {
        TfrmSysConfig dlg(*m_settings);
        dlg.show();
        auto* ud = dlg.findChild<QSpinBox*>(QStringLiteral("udTest"));
        QLineEdit* shown = edit(dlg, "eTestValue");
        QTest::keyClicks(shown, QStringLiteral("55"));
        QTest::keyClick(ud, Qt::Key_End);
        QTest::keyClick(ud, Qt::Key_Backspace);
        QTest::keyClick(ud, Qt::Key_Backspace);
        QTest::keyClicks(ud, QStringLiteral("50"));
        QCOMPARE(shown->text(), QStringLiteral("10"));
        QCOMPARE(ud->value(), 10);
        QTest::mouseClick(button(dlg, "btnOK"), Qt::LeftButton);
        QCOMPARE(
            m_settings->ReadInteger(QStringLiteral("SysConfig"), QStringLiteral("TestValue"), 0),
            10);
    }

    void browse_data()
    {
        QTest::addColumn<std::optional<QString>>("chosen");
        QTest::addColumn<QString>("shown");
        QTest::newRow("folder") << std::optional(QStringLiteral("/data/数据"))
                                << QStringLiteral("/data/数据/");
        QTest::newRow("with separator")
            << std::optional(QStringLiteral("/data/")) << QStringLiteral("/data/");
        QTest::newRow("root") << std::optional(QStringLiteral("/")) << QStringLiteral("/");
        QTest::newRow("cancelled") << std::optional<QString>() << QStringLiteral("/old/");
    }
    void browse()
    {
        QFETCH(std::optional<QString>, chosen);
        QFETCH(QString, shown);
        put(m_path, "[SysConfig]\r\nWorkPath=/old/\r\n");
        const QByteArray before = contents(m_path);
        QStringList prompts;
        ui::setSelectFolderHandler([&](const QString& prompt) {
            prompts << prompt;
            return chosen;
        });
        TfrmSysConfig dlg(*m_settings);
        dlg.show();
        QTest::mouseClick(button(dlg, "Button1"), Qt::LeftButton);
        QCOMPARE(prompts, QStringList{QStringLiteral("请选择一个目录：")});
        QCOMPARE(edit(dlg, "edtWorkPath")->text(), shown);
        QCOMPARE(contents(m_path), before);
    }

    void enterKeys_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<bool>("open");
        QTest::addColumn<QByteArray>("written");
        const QByteArray before("[SysConfig]\r\nWorkPath=/old/\r\nTestValue=30\r\nSeparator=#\r\n");
        QTest::newRow("恢复默认设置 clicked") << "Button2" << true << before;
        QTest::newRow("取消") << "btnCancel" << false << before;
        QTest::newRow("in the separator box")
            << "edtSeparator" << false
            << QByteArray("[SysConfig]\r\nWorkPath=/old/\r\nTestValue=30\r\nSeparator=#|\r\n");
    }
    void enterKeys()
    {
        QFETCH(QString, focus);
        QFETCH(bool, open);
        QFETCH(QByteArray, written);
        put(m_path, "[SysConfig]\r\nWorkPath=/old/\r\nTestValue=30\r\nSeparator=#\r\n");
        TfrmSysConfig dlg(*m_settings);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg, 5000));
        if (focus == QLatin1String("Button2")) {
            // Not a tab stop: it takes the focus from the mouse click.
            QTest::mouseClick(button(dlg, "Button2"), Qt::LeftButton);
            QCOMPARE(dlg.focusWidget(), button(dlg, "Button2"));
            QCOMPARE(edit(dlg, "eTestValue")->text(), QStringLiteral("10"));
            // Changed again, so that pressing the button once more shows.
            edit(dlg, "edtSeparator")->setText(QStringLiteral("&"));
        } else if (focus == QLatin1String("edtSeparator")) {
            edit(dlg, "edtSeparator")->setFocus();
            edit(dlg, "edtSeparator")->end(false);
            QTest::keyClicks(edit(dlg, "edtSeparator"), QStringLiteral("|"));
        } else {
            button(dlg, "btnCancel")->setFocus(Qt::TabFocusReason);
        }
        QTest::keyClick(dlg.focusWidget(), Qt::Key_Return);
        QCOMPARE(dlg.isVisible(), open);
        QCOMPARE(contents(m_path), written);
        if (open)
            QCOMPARE(edit(dlg, "edtSeparator")->text(), QStringLiteral("*"));
        QCOMPARE(m_messages->count(), 0);
    }

    void chooserStartsAtDesktop_data()
    {
        QTest::addColumn<bool>("desktopExists");
        QTest::newRow("desktop folder") << true;
        QTest::newRow("no desktop folder: home") << false;
    }
    void chooserStartsAtDesktop()
    {
        QFETCH(bool, desktopExists);
        const QString home = m_dir->filePath(QStringLiteral("home"));
        const QString desktop = home + QStringLiteral("/桌面");
        QVERIFY(QDir().mkpath(home + QStringLiteral("/.config")));
        put(home + QStringLiteral("/.config/user-dirs.dirs"),
            "XDG_DESKTOP_DIR=\"$HOME/\xe6\xa1\x8c\xe9\x9d\xa2\"\n");
        if (desktopExists)
            QVERIFY(QDir().mkpath(desktop));
        qputenv("HOME", QFile::encodeName(home));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
        put(m_path, "[SysConfig]\r\nWorkPath=/old/\r\n");
        TfrmSysConfig dlg(*m_settings);
        dlg.show();
        QString shown;
        auto ran = test::onNextModal("QFileDialog", [&](QWidget* chooser) {
            shown = static_cast<QFileDialog*>(chooser)->directory().absolutePath();
            static_cast<QFileDialog*>(chooser)->reject();
        });
        QTest::mouseClick(button(dlg, "Button1"), Qt::LeftButton);
        QVERIFY(*ran);
        QCOMPARE(shown, desktopExists ? desktop : home);
        QCOMPARE(edit(dlg, "edtWorkPath")->text(), QStringLiteral("/old/"));
    }

    void readOnlyFileShowsError()
    {
        const QByteArray before("[SysConfig]\r\nWorkPath=/data/\r\n");
        put(m_path, before);
        QVERIFY(QFile::setPermissions(m_path, QFileDevice::ReadOwner));
        TfrmSysConfig dlg(*m_settings);
        dlg.show();
        QTest::mouseClick(button(dlg, "btnOK"), Qt::LeftButton);
        QCOMPARE(m_messages->count(), 1);
        QCOMPARE(m_messages->last().text, QStringLiteral("Unable to write to %1.").arg(m_path));
        QCOMPARE(m_messages->last().caption, QStringLiteral("Pagrim"));
        QCOMPARE(m_messages->last().icon, ui::Icon::Error);
        QVERIFY(dlg.isVisible());
        QCOMPARE(contents(m_path), before);
    }

    void failedWriteKeepsEarlierWrites()
    {
        // Room for WorkPath, none for TestValue after it.
        const QByteArray afterFirst = "[SysConfig]\r\nWorkPath=/data/\r\n";
        TfrmSysConfig dlg(*m_settings);
        dlg.show();
        edit(dlg, "edtWorkPath")->setText(QStringLiteral("/data/"));
        {
            test::FileSizeLimit limit(rlim_t(afterFirst.size() + 4));
            QTest::mouseClick(button(dlg, "btnOK"), Qt::LeftButton);
        }
        QCOMPARE(m_messages->count(), 1);
        QCOMPARE(m_messages->last().text, QStringLiteral("Unable to write to %1.").arg(m_path));
        QVERIFY(dlg.isVisible());
        QCOMPARE(contents(m_path), afterFirst);
        // Once the file can grow again, OK goes through.
        QTest::mouseClick(button(dlg, "btnOK"), Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(contents(m_path), afterFirst + "TestValue=10\r\nSeparator=*\r\n");
    }

    // A picture of the dialog, made by make docs only.
    void grab()
    {
        if (test::pictureFolder().isEmpty())
            QSKIP("makes pictures only: PAGRIM_DOCS names their folder");
        TfrmSysConfig dlg(*m_settings);
        dlg.show();
        QVERIFY(test::savePicture(&dlg, QStringLiteral("sysconfig")));
    }

private:
    static QLineEdit* edit(QWidget& w, const char* name)
    {
        return w.findChild<QLineEdit*>(QLatin1String(name));
    }
    static QSpinBox* spin(QWidget& w, const char* name)
    {
        return w.findChild<QSpinBox*>(QLatin1String(name));
    }
    static QPushButton* button(QWidget& w, const char* name)
    {
        return w.findChild<QPushButton*>(QLatin1String(name));
    }

    static void restoreEnv(const char* name, const QByteArray& value)
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }

    QByteArray m_home;
    QByteArray m_configHome;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<test::MessageRecorder> m_messages;
};

QTEST_MAIN(TestSysConfig)
#include "tst_sysconfig.moc"
