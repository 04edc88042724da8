#include "extract/core/markers.h"
#include "extract/core/pagetext.h"
#include "extract/ufrmPickField.h"
#include "harvest/browserprofile.h"
#include "platform/codepage.h"
#include "support/taskwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

using namespace pagrim;
using test::child;

namespace {

// Saved page n of the task, in the code page (pinned to GBK here): the price
// "1n.50 元" in a table cell, in bold on even pages only.
QByteArray savedPage(int n)
{
    const QString price = QStringLiteral("1%1.50</b> 元").arg(n);
    return codepage::fromUnicode(
        QStringLiteral("<html><head><title>商品 %1</title></head><body>\n<h1>商品 %1</h1>\n"
                       "<table><tr><td>价格</td><td class=\"price\">%2</td></tr></table>\n"
                       "<p>说明 &amp; 备注</p></body></html>\n")
            .arg(n)
            .arg((n % 2 ? QStringLiteral("<b class=\"x\">") : QStringLiteral("<b>")) + price),
        codepage::Gbk);
}

QString shownPrice(int n)
{
    return QStringLiteral("1%1.50 元").arg(n);
}

} // namespace

class TstPickField : public QObject
{
    Q_OBJECT

    QTemporaryDir profileDir;
    std::unique_ptr<test::TaskWindow> m_w;

    // The picker as the field page's button opens it for the field row.
    TfrmPickField* openPicker()
    {
        TfrmProcess& w = m_w->open();
        child<QTabWidget>(&w, "PageControl1")->setCurrentIndex(1);
        QTest::mouseClick(child<QPushButton>(&w, "btnPickField"), Qt::LeftButton);
        return w.findChild<TfrmPickField*>();
    }
    QStringList storedMarkers() const
    {
        const QVariantList row =
            test::rowsOf(m_w->world.storePath(), QStringLiteral("select DescStart, DescEnd from "
                                                                "Descs where DescID = 1"))
                .value(0);
        return {row.value(0).toString(), row.value(1).toString()};
    }
    // Types value into the picker and waits for the proposal.
    void propose(TfrmPickField* pick, const QString& value)
    {
        auto* edit = child<QLineEdit>(pick, "edValue");
        edit->setFocus();
        edit->selectAll();
        test::commitText(edit, value);
        QTRY_VERIFY_WITH_TIMEOUT(
            !pick->findChild<QTimer*>(QStringLiteral("tmRecompute"))->isActive(), 5000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(profileDir.isValid());
        harvest::setBrowserProfileFolderForTesting(profileDir.path());
        codepage::setCurrentForTesting(codepage::Gbk);
    }
    void cleanupTestCase() { codepage::setCurrentForTesting(0); }
    void init()
    {
        m_w = std::make_unique<test::TaskWindow>();
        test::addTask(m_w->world.storePath(), 1, test::TaskWindow::Task);
        test::execOn(m_w->world.storePath(),
                     QStringLiteral("insert into Descs (DescID, TaskID, DescName, DescNeed, "
                                    "DescStart, DescEnd) values (1, 1, '价格', 1, '<b>', '</b>')"));
        QVERIFY(QDir().mkpath(m_w->taskFolder() + QStringLiteral("/HTML")));
        for (int n = 1; n <= 4; ++n)
            test::put(m_w->pageFile(n), savedPage(n));
    }
    void cleanup() { m_w.reset(); }

    void useTheMarkers()
    {
        QPointer<TfrmPickField> pick = openPicker();
        QVERIFY(pick);
        // The shown page gives its text to the value box when selected.
        QWebEnginePage* page = child<QWebEngineView>(pick, "webPage")->page();
        auto* edit = child<QLineEdit>(pick, "edValue");
        QApplication::setActiveWindow(pick);
        child<QWebEngineView>(pick, "webPage")->setFocus();
        QTRY_VERIFY_WITH_TIMEOUT(
            (page->triggerAction(QWebEnginePage::SelectAll), edit->text().contains(u"说明 & 备注")),
            10000);

        propose(pick, QStringLiteral("不在网页中"));
        QVERIFY(!child<QLabel>(pick, "lblProblem")->text().isEmpty());
        QVERIFY(!child<QPushButton>(pick, "btnUse")->isEnabled());

        propose(pick, shownPrice(1));
        QCOMPARE(child<QLabel>(pick, "lblCount")->text(), QStringLiteral("在 4 个网页中找到 4 个"));
        auto* grid = child<QTableWidget>(pick, "gridSample");
        QCOMPARE(grid->rowCount(), 4);
        // The values hold "</b>": the box is ticked, and they show as written.
        QVERIFY(child<QCheckBox>(pick, "cbShownText")->isChecked());
        QCOMPARE(grid->item(1, 1)->text(), shownPrice(2));
        QVERIFY(test::savePicture(pick, QStringLiteral("pickfield")));
        QTest::mouseClick(child<QPushButton>(pick, "btnUse"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!pick, 5000);
        QCOMPARE(test::rowsOf(m_w->world.storePath(),
                              QStringLiteral("select DescID, ShownText from DescOptions")),
                 (QList<QVariantList>{{qint64(1), qint64(1)}}));

        // The row now holds markers that cut every page's price.
        const QStringList markers = storedMarkers();
        QCOMPARE(markers.value(0).isEmpty() || markers.value(1).isEmpty(), false);
        for (int n = 1; n <= 4; ++n) {
            const QByteArray text = extract::PageText(savedPage(n));
            const extract::Cut cut = extract::CutBetweenMarkers(
                text, codepage::fromUnicode(markers[0]), codepage::fromUnicode(markers[1]));
            QVERIFY(cut.found);
            QCOMPARE(extract::ShownText(cut.value, codepage::Gbk), shownPrice(n));
        }
    }

    void largePageShown()
    {
        // Past the 2 MB a page handed over as text may hold; its last words
        // show, decoded from the code page.
        QString body = QStringLiteral("<html><body>");
        while (body.size() < 2700 * 1024)
            body +=
                QStringLiteral("<p>%1</p>\n").arg(QStringLiteral("说明文字 filler ").repeated(200));
        test::put(m_w->pageFile(5),
                  codepage::fromUnicode(body + QStringLiteral("<p>页尾</p></body></html>"),
                                        codepage::Gbk));
        QVERIFY(QFileInfo(m_w->pageFile(5)).size() > 3 * 1024 * 1024);
        QPointer<TfrmPickField> pick = openPicker();
        QVERIFY(pick);
        QWebEnginePage* page = child<QWebEngineView>(pick, "webPage")->page();
        QSignalSpy loaded(page, &QWebEnginePage::loadFinished);
        child<QSpinBox>(pick, "sePage")->setValue(5);
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 30000);
        QVERIFY(loaded.first().first().toBool());
        auto shown = std::make_shared<QString>();
        page->toPlainText([shown](const QString& t) { *shown = t; });
        QTRY_VERIFY_WITH_TIMEOUT(!shown->isEmpty(), 30000);
        QVERIFY(shown->endsWith(QStringLiteral("页尾")));
    }

    void cancelChangesNothing()
    {
        QPointer<TfrmPickField> pick = openPicker();
        QVERIFY(pick);
        propose(pick, shownPrice(1));
        // Unticked by the user, the box stays so for the next proposal.
        auto* box = child<QCheckBox>(pick, "cbShownText");
        box->click();
        QCOMPARE(child<QTableWidget>(pick, "gridSample")->item(1, 1)->text(),
                 QStringLiteral("<b>12.50</b> 元"));
        propose(pick, shownPrice(3));
        QVERIFY(!box->isChecked());
        QTest::mouseClick(child<QPushButton>(pick, "btnCancel"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!pick, 5000);
        QCOMPARE(storedMarkers(), QStringList({QStringLiteral("<b>"), QStringLiteral("</b>")}));
        QCOMPARE(test::rowsOf(m_w->world.storePath(), QStringLiteral("select * from DescOptions")),
                 QList<QVariantList>());
    }
};

QTEST_MAIN(TstPickField)
#include "tst_pickfield.moc"
