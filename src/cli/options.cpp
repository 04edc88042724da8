#include "cli/options.h"

#include "platform/settings.h"

#include <QCommandLineParser>

namespace pagrim::cli {

bool parseCommandLine(const QStringList& arguments, RunOptions& options, QString& error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "不开窗口执行一个任务：生成列表、保存网页、进行提取，与程序的窗口用同一任务库、同一设置"
        "和同样的文件，窗口中停下的任务可在这里接着做，反之亦然。不指定步骤时依次执行这三步。\n"
        "退出码：0 各步完成或无事可做，1 失败，2 命令行有误或没有该任务，130 被中断。"));
    const QCommandLineOption list(QStringLiteral("list"), QStringLiteral("生成列表"));
    const QCommandLineOption save(QStringLiteral("save"), QStringLiteral("保存网页"));
    const QCommandLineOption extract(
        QStringLiteral("extract"),
        QStringLiteral("进行提取，写入 Infos.txt、Infos.xls 和 Infos.xlsx"));
    const QCommandLineOption test(QStringLiteral("test"),
                                  QStringLiteral("测试提取：只读前几页，结果以表格输出，不写文件"));
    const QCommandLineOption login(QStringLiteral("login"),
                                   QStringLiteral("先打开登录窗口（需要图形界面）"));
    const QCommandLineOption store(QStringLiteral("store"),
                                   QStringLiteral("任务库文件（默认：当前文件夹的 Pagrim.mdb）"),
                                   QStringLiteral("PATH"));
    const QCommandLineOption settings(QStringLiteral("settings"),
                                      QStringLiteral("设置文件（默认：程序旁的 pagrim.ini）"),
                                      QStringLiteral("PATH"));
    const QCommandLineOption quiet(QStringLiteral("quiet"), QStringLiteral("只输出错误"));
    const QCommandLineOption parallel(QStringLiteral("parallel"),
                                      QStringLiteral("同时打开网页数（1 到 16，默认按设置文件）"),
                                      QStringLiteral("N"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOptions({list, save, extract, test, login, store, settings, quiet, parallel});
    parser.addPositionalArgument(QStringLiteral("TASK"),
                                 QStringLiteral("任务名称；不是任务名称的数字为任务编号"));

    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();
    if (parser.positionalArguments().size() != 1) {
        error = QStringLiteral("请指定一个任务（TASK）。用 --help 查看用法。");
        return false;
    }
    options.task = parser.positionalArguments().constFirst();
    options.list = parser.isSet(list);
    options.save = parser.isSet(save);
    options.extract = parser.isSet(extract);
    options.test = parser.isSet(test);
    options.login = parser.isSet(login);
    options.quiet = parser.isSet(quiet);
    options.storePath = parser.value(store);
    options.settingsPath = parser.value(settings);
    if (parser.isSet(parallel)) {
        bool number = false;
        options.parallel = parser.value(parallel).toInt(&number);
        if (!number || options.parallel < Settings::ParallelPagesRange.least ||
            options.parallel > Settings::ParallelPagesRange.most) {
            error = QStringLiteral("--parallel 须为 1 到 16 之间的整数。");
            return false;
        }
    }
    return true;
}

} // namespace pagrim::cli
