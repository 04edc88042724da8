// The program: opens the task store in the current folder and shows the main
// window; it takes no arguments. The settings file sits beside the program.
#include "app/ufrmMain.h"
#include "harvest/browserprofile.h"
#include "platform/settings.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <unistd.h>

int main(int argc, char** argv)
{
    // Chromium refuses to run as root inside its sandbox.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    pagrim::harvest::addBrowserFlags();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);

    QTranslator qtbase;
    if (qtbase.load(QStringLiteral("qtbase_zh_CN"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtbase);

    TfrmMain frmMain(pagrim::Settings::programPath());
    if (!frmMain.FormCreate())
        return 0;
    frmMain.show();
    return QApplication::exec();
}
