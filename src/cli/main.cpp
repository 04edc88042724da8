// pagrim-run: a task's steps (page list, page saving, extraction) from the
// command line, with the browser off screen, on the program's store, settings
// and browser profile. See parseCommandLine for the options.
#include "cli/environment.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "cli/stopsignal.h"
#include "cli/taskrun.h"
#include "cli/terminal.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QThread>
#include <QTranslator>

using namespace pagrim;
using namespace pagrim::cli;

namespace {

QtMessageHandler g_qtMessages = nullptr;
Progress* g_progress = nullptr;
bool g_verbose = false;

// The toolkit's and the browser engine's messages stay out of the run's
// output unless --verbose asks for them (a fatal one ends the run, and is
// told). Then their warnings count as hints and their errors as errors, which
// go through the progress (keeping its line whole) when they come from its
// thread.
void filterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QString text = message.trimmed();
    if (type != QtFatalMsg && (!g_verbose || type == QtDebugMsg || type == QtInfoMsg))
        return;
    if (text.isEmpty())
        return;
    if (!g_progress || type == QtFatalMsg || QThread::currentThread() != qApp->thread())
        g_qtMessages(type, context, text);
    else if (type == QtWarningMsg)
        g_progress->info(text);
    else
        g_progress->error(text);
}

} // namespace

int main(int argc, char** argv)
{
    if (!prepareEnvironment(argc, argv))
        return Misused;
    g_verbose = hasOption(argc, argv, "--verbose");
    if (!g_verbose)
        quietStandardError();
    g_qtMessages = qInstallMessageHandler(filterMessages);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(PAGRIM_VERSION));
    QTranslator qtbase;
    if (qtbase.load(QStringLiteral("qtbase_zh_CN"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtbase);

    RunOptions options;
    QString error;
    if (!parseCommandLine(QCoreApplication::arguments(), options, error)) {
        write(stderr, error + QLatin1Char('\n'));
        return Misused;
    }
    // The browser profile's folder is named after the application: the program's.
    QCoreApplication::setApplicationName(QStringLiteral("Pagrim"));

    StopSignal stop;
    Progress progress(options.quiet        ? Progress::Mode::Quiet
                      : isTerminal(stderr) ? Progress::Mode::Terminal
                                           : Progress::Mode::Lines);
    // Nobody answers a message box here (the login window's, say). What a
    // stop breaks is no failure.
    ui::setMessageBoxHandler([&progress](const ui::MessageRecord& box) {
        if (!StopSignal::requested())
            progress.failure(box.text.trimmed());
        return box.defaultButton;
    });
    ui::setBeepHandler([] {});
    g_progress = &progress;
    const int status = TaskRun(options, progress, stop).exec();
    g_progress = nullptr;
    return status;
}
