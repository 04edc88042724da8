#include "platform/errors.h"
#include "platform/settings.h"
#include "support/coresupport.h"
#include "ui/gridlayout.h"
#include "ui/roles.h"

#include <QFile>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace pagrim;

namespace {

const QStringList TaskFields{QStringLiteral("OrdNO"), QStringLiteral("TaskName"),
                             QStringLiteral("TaskDesc"), QStringLiteral("TaskDate")};

// A grid named like the main window's, showing the given fields.
struct Grid
{
    explicit Grid(const QStringList& fields)
    {
        model.setColumnCount(int(fields.size()));
        for (int c = 0; c < fields.size(); ++c)
            model.setHeaderData(c, Qt::Horizontal, fields.at(c), ui::FieldNameRole);
        view.setObjectName(QStringLiteral("DBGrid1"));
        view.setModel(&model);
    }
    QList<int> widths() const
    {
        QList<int> w;
        for (int c = 0; c < model.columnCount(); ++c)
            w << view.columnWidth(c);
        return w;
    }
    QStandardItemModel model;
    QTableView view;
};

using test::contents;
using test::put;

const QString Owner = QStringLiteral("frmMain");

} // namespace

class TestGridLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_path = m_dir->filePath(QStringLiteral("Pagrim.ini"));
    }
    void cleanup()
    {
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        m_dir.reset();
    }

    void firstStartGivesDefaultsAndCentredTitles()
    {
        Settings settings(m_path);
        Grid grid(TaskFields);
        grid.view.setColumnWidth(1, 250);
        LoadGridLayout(settings, &grid.view, Owner);
        QCOMPARE(grid.widths(), (QList<int>{100, 100, 100, 100}));
        QCOMPARE(grid.view.horizontalHeader()->defaultAlignment(), Qt::AlignCenter);
        QVERIFY(!QFile::exists(m_path));
    }

    void savedWidthsComeBack()
    {
        Settings settings(m_path);
        {
            Grid grid(TaskFields);
            LoadGridLayout(settings, &grid.view, Owner);
            grid.view.setColumnWidth(2, 230);
            SaveGridLayout(settings, &grid.view, Owner);
        }
        QCOMPARE(contents(m_path), QByteArray("[frmMain-DBGrid1]\r\nOrdNO=100\r\nTaskName=100\r\n"
                                              "TaskDesc=230\r\nTaskDate=100\r\n"));
        Grid again(TaskFields);
        LoadGridLayout(settings, &again.view, Owner);
        QCOMPARE(again.widths(), (QList<int>{100, 100, 230, 100}));
    }

    void storedWidths_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("width");
        QTest::newRow("decimal") << QByteArray("140") << 140;
        QTest::newRow("hex") << QByteArray("0x50") << 80;
        QTest::newRow("not a number") << QByteArray("wide") << 100;
        QTest::newRow("empty") << QByteArray("") << 100;
        QTest::newRow("zero") << QByteArray("0") << -1;
        QTest::newRow("negative") << QByteArray("-40") << -1;
    }
    void storedWidths()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, width);
        put(m_path, "[FRMMAIN-dbgrid1]\r\ntaskname=" + stored + "\r\n");
        Settings settings(m_path);
        Grid grid(TaskFields);
        LoadGridLayout(settings, &grid.view, Owner);
        // -1: the narrowest the header lets a user drag to, so the column stays in sight.
        if (width < 0)
            width = grid.view.horizontalHeader()->minimumSectionSize();
        QCOMPARE(grid.view.columnWidth(1), width);
        QCOMPARE(grid.view.columnWidth(0), 100);
    }

    void gridWithoutColumnsLeftAlone()
    {
        put(m_path, "[frmMain-DBGrid1]\r\nOrdNO=150\r\n");
        Settings settings(m_path);
        Grid grid({});
        const Qt::Alignment before = grid.view.horizontalHeader()->defaultAlignment();
        LoadGridLayout(settings, &grid.view, Owner);
        SaveGridLayout(settings, &grid.view, Owner);
        QCOMPARE(grid.view.horizontalHeader()->defaultAlignment(), before);
        QTableView noModel;
        LoadGridLayout(settings, &noModel, Owner);
        SaveGridLayout(settings, &noModel, Owner);
        QCOMPARE(contents(m_path), QByteArray("[frmMain-DBGrid1]\r\nOrdNO=150\r\n"));
    }

    void sectionNamesOwnerThenGrid()
    {
        Settings settings(m_path);
        Grid grid({QStringLiteral("DescNeed"), QStringLiteral("DescName")});
        grid.view.setObjectName(QStringLiteral("dbGrid1"));
        SaveGridLayout(settings, &grid.view, QStringLiteral("frmProcess"));
        QVERIFY(contents(m_path).startsWith("[frmProcess-dbGrid1]\r\nDescNeed="));
    }

    void readOnlyFileRefusesSave()
    {
        put(m_path, "[frmMain-DBGrid1]\r\nOrdNO=150\r\n");
        QVERIFY(QFile::setPermissions(m_path, QFileDevice::ReadOwner));
        Settings settings(m_path);
        Grid grid(TaskFields);
        LoadGridLayout(settings, &grid.view, Owner);
        QCOMPARE(grid.view.columnWidth(0), 150);
        QVERIFY_THROWS_EXCEPTION(Error, SaveGridLayout(settings, &grid.view, Owner));
        QCOMPARE(contents(m_path), QByteArray("[frmMain-DBGrid1]\r\nOrdNO=150\r\n"));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

QTEST_MAIN(TestGridLayout)
#include "tst_gridlayout.moc"
