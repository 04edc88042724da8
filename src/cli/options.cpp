#include "cli/options.h"

#include "platform/settings.h"

#include <QCommandLineParser>

namespace pagrim::cli {

namespace {

// The examples and the sample size of the markers command; a number that is
// not one, or a page without its value, is an error.
bool readMarkerValues(const QCommandLineParser& parser, const QCommandLineOption& page,
                      const QCommandLineOption& value, const QCommandLineOption& sample,
                      RunOptions& options, QString& error)
{
    const QStringList pages = parser.values(page);
    const QStringList values = parser.values(value);
    if (pages.isEmpty() || pages.size() != values.size()) {
        error = QStringLiteral("markers 需要成对的 --page N --value TEXT。");
        return false;
    }
    for (qsizetype i = 0; i < pages.size(); ++i) {
        bool ok = false;
        const int n = pages[i].toInt(&ok);
        if (!ok || n < 1) {
            error = QStringLiteral("--page 应为网页编号：") + pages[i];
            return false;
        }
        options.values.append({n, values[i]});
    }
    if (parser.isSet(sample)) {
        bool ok = false;
        options.sample = parser.value(sample).toInt(&ok);
        if (!ok || options.sample < 1) {
            error = QStringLiteral("--sample 应为正整数：") + parser.value(sample);
            return false;
        }
    }
    if (options.list || options.update || options.save || options.extract || options.test ||
        options.login) {
        error = QStringLiteral(
            "markers 不与 --list、--update、--save、--extract、--test、--login 同用。");
        return false;
    }
    return true;
}

// --parallel N, when given: a number of pages the settings could hold.
bool readParallel(const QCommandLineParser& parser, const QCommandLineOption& parallel,
                  RunOptions& options, QString& error)
{
    if (!parser.isSet(parallel))
        return true;
    bool number = false;
    options.parallel = parser.value(parallel).toInt(&number);
    if (number && options.parallel >= Settings::ParallelPagesRange.least &&
        options.parallel <= Settings::ParallelPagesRange.most)
        return true;
    error = QStringLiteral("--parallel 须为 1 到 16 之间的整数。");
    return false;
}

} // namespace

bool parseCommandLine(const QStringList& arguments, RunOptions& options, QString& error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "不开窗口执行一个任务：生成列表（或以 --update "
        "只加新网页）、保存网页、进行提取，与程序的窗口用同一任务库、同一设置"
        "和同样的文件，窗口中停下的任务可在这里接着做，反之亦然。不指定步骤时依次执行这三步。\n"
        "退出码：0 各步完成或无事可做，1 失败，2 命令行有误或没有该任务，130 被中断。\n\n"
        "pagrim-run markers TASK --page N --value TEXT [--page N --value TEXT]... [--sample K]\n"
        "  由示例值找出起始标记和结束标记：TEXT 是第 N 个已保存网页（HTML/N.Htm）显示的值；"
        "在分布于全部已保存网页的 K 个网页（默认 50）中检验，输出一行 JSON："
        "{\"start\": ..., \"end\": ..., \"found\": 找到值的网页数, \"sampled\": K}。"
        "找不到示例值或切不出它时退出码为 1。"));
    const QCommandLineOption list(QStringLiteral("list"), QStringLiteral("生成列表"));
    const QCommandLineOption update(
        QStringLiteral("update"),
        QStringLiteral("代替 --list：把网站新增的网页加到列表末尾（检查新网页）；"
                       "不另指定 --save 或 --extract 时随后保存网页并进行提取"));
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
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("也输出图形工具包和浏览器自己的消息"));
    const QCommandLineOption parallel(QStringLiteral("parallel"),
                                      QStringLiteral("同时打开网页数（1 到 16，默认按设置文件）"),
                                      QStringLiteral("N"));
    const QCommandLineOption page(QStringLiteral("page"),
                                  QStringLiteral("markers：示例所在的已保存网页编号"),
                                  QStringLiteral("N"));
    const QCommandLineOption value(QStringLiteral("value"),
                                   QStringLiteral("markers：该网页显示的示例值"),
                                   QStringLiteral("TEXT"));
    const QCommandLineOption sample(QStringLiteral("sample"),
                                    QStringLiteral("markers：检验的网页数（默认 50）"),
                                    QStringLiteral("K"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOptions({list, update, save, extract, test, login, store, settings, quiet, verbose,
                       parallel, page, value, sample});
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
    const QStringList positional = parser.positionalArguments();
    options.markers = positional.size() == 2 && positional.constFirst() == QLatin1String("markers");
    if (positional.size() != 1 && !options.markers) {
        error = QStringLiteral("请指定一个任务（TASK）。用 --help 查看用法。");
        return false;
    }
    options.task = positional.constLast();
    options.list = parser.isSet(list);
    options.update = parser.isSet(update);
    options.save = parser.isSet(save);
    options.extract = parser.isSet(extract);
    options.test = parser.isSet(test);
    options.login = parser.isSet(login);
    options.quiet = parser.isSet(quiet);
    options.storePath = parser.value(store);
    options.settingsPath = parser.value(settings);
    if (!readParallel(parser, parallel, options, error))
        return false;
    if (options.list && options.update) {
        error = QStringLiteral("--update 代替 --list，两者不同用。");
        return false;
    }
    if (options.markers)
        return readMarkerValues(parser, page, value, sample, options, error);
    if (parser.isSet(page) || parser.isSet(value) || parser.isSet(sample)) {
        error = QStringLiteral("--page、--value 和 --sample 只用于 markers。");
        return false;
    }
    return true;
}

} // namespace pagrim::cli
