// pagrim-mkstore [--examples] [path]: makes a task store (both tables) at path,
// or Pagrim.mdb in the current folder; with --examples it holds the example
// tasks on the example site at its default port. It never touches a file that
// exists.
#include "demosite/examples.h"
#include "demosite/site.h"
#include "platform/errors.h"
#include "store/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool examples = args.removeAll(QStringLiteral("--examples")) > 0;
    if (args.size() > 1 || (args.size() == 1 && args[0].startsWith(QLatin1Char('-')))) {
        std::fprintf(stderr, "usage: pagrim-mkstore [--examples] [path]\n");
        return 2;
    }
    const QString path =
        QDir::current().absoluteFilePath(args.isEmpty() ? QStringLiteral("Pagrim.mdb") : args[0]);
    try {
        if (examples)
            pagrim::store::createStore(path, [](pagrim::store::Database& db) {
                pagrim::demosite::addExampleTasks(
                    db, pagrim::demosite::siteAddress(pagrim::demosite::DefaultPort));
            });
        else
            pagrim::store::createStore(path);
    } catch (const pagrim::Error& e) {
        std::fprintf(stderr, "pagrim-mkstore: %s\n", e.message().toLocal8Bit().constData());
        return 1;
    }
    std::printf("pagrim-mkstore: made %s%s\n", path.toLocal8Bit().constData(),
                examples ? " with the example tasks" : "");
    return 0;
}
