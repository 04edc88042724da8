// pagrim-mkstore [path]: makes an empty task store (both tables) at path, or
// Pagrim.mdb in the current folder. It never touches a file that exists.
#include "platform/errors.h"
#include "store/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() > 2) {
        std::fprintf(stderr, "usage: pagrim-mkstore [path]\n");
        return 2;
    }
    const QString path =
        QDir::current().absoluteFilePath(args.size() == 2 ? args[1] : QStringLiteral("Pagrim.mdb"));
    try {
        pagrim::store::createStore(path);
    } catch (const pagrim::Error& e) {
        std::fprintf(stderr, "pagrim-mkstore: %s\n", e.message().toLocal8Bit().constData());
        return 1;
    }
    std::printf("pagrim-mkstore: made %s\n", path.toLocal8Bit().constData());
    return 0;
}
