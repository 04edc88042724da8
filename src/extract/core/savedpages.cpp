#include "extract/core/savedpages.h"

#include "extract/core/pagetext.h"
#include "platform/filewrite.h"
#include "platform/taskfolder.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <algorithm>

namespace pagrim::extract {

namespace {

// The page number a file name stands for; -1 for any other name. The saver
// writes "<n>.Htm"; a name with a leading zero is not one of its pages.
int pageNumber(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^([1-9][0-9]{0,8})\\.Htm$"));
    const QRegularExpressionMatch m = pattern.match(name);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

template <class F> void forEachPage(const TaskFolder& folder, F&& page)
{
    QDirIterator it(folder.pages(), {QStringLiteral("*.Htm")}, QDir::Files);
    while (it.hasNext()) {
        const int n = pageNumber(it.nextFileInfo().fileName());
        if (n > 0 && !page(n))
            return;
    }
}

} // namespace

std::vector<int> SavedPageNumbers(const TaskFolder& folder)
{
    std::vector<int> numbers;
    forEachPage(folder, [&numbers](int n) {
        numbers.push_back(n);
        return true;
    });
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

bool HasSavedPage(const TaskFolder& folder)
{
    bool any = false;
    forEachPage(folder, [&any](int) {
        any = true;
        return false;
    });
    return any;
}

std::vector<SamplePage> LoadSample(const TaskFolder& folder, const std::vector<int>& numbers)
{
    std::vector<SamplePage> sample;
    sample.reserve(numbers.size());
    for (int n : numbers)
        sample.push_back({n, PageText(readFileOrThrow(folder.pageFile(n)))});
    return sample;
}

} // namespace pagrim::extract
