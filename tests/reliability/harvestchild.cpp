// A run of the harvest or of the extraction in a process of its own, for tests
// that kill it: the real browser on a task of a store, with a work folder.
//
//   pagrim-harvestchild list|update|save|parallel|extract <store> <work folder> <profile folder>
//
// update adds the site's new pages to the list; parallel saves the pages four
// at once.
//   pagrim-harvestchild hold <store>
//
// It writes "ready" on its output once the store is open (and the browser is
// up), "writing" before the extraction writes its files, and "done" at the end.
// An error goes to the error output and ends it with 2. "hold" takes the
// store's write lock, writes "locked", and keeps it until its input ends.
#include "extract/core/extraction.h"
#include "harvest/browserdriver.h"
#include "harvest/browserpool.h"
#include "harvest/browserprofile.h"
#include "harvest/core/pagelist.h"
#include "harvest/core/pagequeue.h"
#include "harvest/core/pagesaver.h"
#include "harvest/core/pageupdate.h"
#include "harvest/directengine.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/taskfolder.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "support/standins.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QWebEngineView>
#include <cstdio>
#include <memory>

using namespace pagrim;

namespace {

// The harvest's host lets events run, as the window does.
class ChildHost : public test::StandInHost, public extract::ExtractHost
{
public:
    ChildHost(store::DataSet& task, const QString& workFolder) : StandInHost(task, workFolder)
    {
        onEvents = [] { QCoreApplication::processEvents(); };
    }
    void ShowExtractStatus(const QString&) override {}
    bool TestMode() const override { return false; }
    int TestValue() const override { return 0; }
    void ProcessPendingEvents() override {}
};

void say(const char* line)
{
    std::fputs(line, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int hold(const QString& storePath)
{
    store::Connection conn;
    conn.setConnectionString(QStringLiteral("Data Source=") + storePath);
    conn.open();
    conn.beginTransaction();
    say("locked");
    while (std::fgetc(stdin) != EOF) {
    }
    conn.rollback();
    return 0;
}

int run(const QString& kind, const QString& storePath, const QString& workFolder)
{
    store::Connection conn;
    conn.setConnectionString(QStringLiteral("Data Source=") + storePath);
    conn.open();
    store::DataSet task(conn);
    task.setCommandText(QStringLiteral("select * from Tasks where TaskID = 1"));
    task.open();
    ChildHost host(task, workFolder);
    const TaskFolder taskFolder(workFolder, task.field(QStringLiteral("TaskName")).asString());

    if (kind == QLatin1String("extract")) {
        store::DataSet fields(conn);
        fields.setCommandText(QStringLiteral("select * from Descs where TaskID = 1"));
        fields.open();
        say("ready");
        const int codePage = codepage::current();
        QList<QByteArray> lines;
        extract::ResultTable table;
        extract::RunExtraction(host, fields, taskFolder, ",", lines, codePage, &table);
        say("writing");
        extract::WriteResultFiles(taskFolder, lines, ",", codePage, table,
                                  task.field(QStringLiteral("TaskName")).asString());
        say("done");
        return 0;
    }

    const std::unique_ptr<QWebEngineView> view(harvest::createSharedProfileView());
    harvest::BrowserDriver browser(
        view.get(), nullptr, [](const QString&) {}, [] { return true; });
    if (kind == QLatin1String("list")) {
        say("ready");
        harvest::BuildPageList(host, browser);
    } else if (kind == QLatin1String("update")) {
        say("ready");
        harvest::UpdatePageList(host, browser, harvest::pageFetchers(), harvest::SaveLimits{});
    } else {
        harvest::PageSaver saver(host, browser);
        if (saver.prepare() != harvest::PageSaver::Refusal::None)
            throw Error(QStringLiteral("nothing to save"));
        say("ready");
        if (kind == QLatin1String("parallel")) {
            harvest::BrowserPool pool(4);
            saver.run(pool, harvest::SaveLimits{4});
        } else {
            saver.run();
        }
    }
    say("done");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args[1] == QLatin1String("hold")) {
        try {
            return hold(args[2]);
        } catch (const Error& e) {
            std::fprintf(stderr, "error: %s\n", qPrintable(e.message()));
            return 2;
        }
    }
    if (args.size() != 5) {
        std::fputs("usage: pagrim-harvestchild list|update|save|parallel|extract <store> "
                   "<work folder> <profile folder> | hold <store>\n",
                   stderr);
        return 1;
    }
    harvest::setBrowserProfileFolderForTesting(args[4]);
    // Nobody answers a box here: its text goes to the error output.
    ui::setMessageBoxHandler([](const ui::MessageRecord& box) {
        std::fprintf(stderr, "box: %s\n", qPrintable(box.text));
        return box.defaultButton;
    });
    ui::setBeepHandler([] {});
    try {
        return run(args[1], args[2], args[3]);
    } catch (const Error& e) {
        std::fprintf(stderr, "error: %s\n", qPrintable(e.message()));
        return 2;
    }
}
