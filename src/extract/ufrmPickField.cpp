#include "extract/ufrmPickField.h"
#include "ui_ufrmPickField.h"

#include "extract/core/fieldset.h"
#include "extract/core/savedpages.h"
#include "extract/core/shown.h"
#include "extract/pagescheme.h"
#include "platform/codepage.h"
#include "platform/filewrite.h"
#include "store/dataset.h"
#include "store/descoptions.h"
#include "ui/guard.h"

#include <QSignalBlocker>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <algorithm>

using namespace pagrim::extract;
using pagrim::store::readDescOptions;
namespace ui_ = pagrim::ui;

namespace {

constexpr int SampleSize = 50;
constexpr int ShownRows = 20;
// Typing goes on for a moment; the proposal follows once it rests.
constexpr int RecomputeDelayMs = 300;

// The saved page comes from the program's own scheme (which serves that page
// only); every request the page makes of its own (pictures, style sheets,
// frames, links) is refused, so nothing is fetched and no site learns that the
// page was looked at.
class OnlyThePage : public QWebEngineUrlRequestInterceptor
{
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        if (info.requestUrl().scheme() != QLatin1String(SavedPageScheme::Name))
            info.block(true);
    }
};

// A page that stays where it was put: a click on a link selects, it does not
// navigate.
class StillPage : public QWebEnginePage
{
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl&, NavigationType type, bool) override
    {
        return type != NavigationTypeLinkClicked && type != NavigationTypeFormSubmitted;
    }
};

// Text shown with its line ends visible: "↵" for each (the page text ends
// lines with CR LF), followed by a real line break where lines are shown; "→"
// for a TAB.
QString visibleBreaks(const QString& text, bool multiLine)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    out.replace(QLatin1Char('\n'), multiLine ? QStringLiteral("↵\n") : QStringLiteral("↵"));
    out.replace(QLatin1Char('\t'), QStringLiteral("→"));
    return out;
}

QTableWidgetItem* cell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setToolTip(text);
    return item;
}

} // namespace

TfrmPickField::TfrmPickField(QWidget* owner, const pagrim::TaskFolder& folder,
                             std::vector<int> pages, pagrim::store::DataSet& fields)
    : QWidget(owner, Qt::Window), ui(std::make_unique<Ui::TfrmPickField>()), m_folder(folder),
      m_pages(std::move(pages)), m_fields(&fields), m_codePage(pagrim::codepage::current()),
      m_profile(new QWebEngineProfile(this)), // no name: off the record
      m_scheme(new SavedPageScheme(m_profile)), m_recompute(new QTimer(this))
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);
    setWindowTitle(windowTitle() + QStringLiteral(" - ") +
                   fields.field(QStringLiteral("DescName")).asString());
    ui->Splitter1->setSizes({560, 440});
    ui->gridSample->setColumnWidth(0, 60);

    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setUrlRequestInterceptor(new OnlyThePage(m_profile));
    m_profile->installUrlSchemeHandler(SavedPageScheme::Name, m_scheme);
    auto* page = new StillPage(m_profile, ui->webPage);
    QWebEngineSettings* settings = page->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    ui->webPage->setPage(page);

    m_recompute->setObjectName(QStringLiteral("tmRecompute"));
    m_recompute->setSingleShot(true);
    m_recompute->setInterval(RecomputeDelayMs);
    connect(m_recompute, &QTimer::timeout, this, ui_::guard(this, &TfrmPickField::Recompute));
    connect(ui->edValue, &QLineEdit::textChanged, m_recompute, qOverload<>(&QTimer::start));
    connect(page, &QWebEnginePage::selectionChanged, this,
            ui_::guard(this, &TfrmPickField::webPageSelectionChange));
    connect(ui->btnAddExample, &QPushButton::clicked, this,
            ui_::guard(this, &TfrmPickField::btnAddExampleClick));
    connect(ui->btnUse, &QPushButton::clicked, this, ui_::guard(this, &TfrmPickField::btnUseClick));
    connect(ui->btnCancel, &QPushButton::clicked, this, &QWidget::close);
    ui->cbShownText->setChecked(
        readDescOptions(fields.connection(), fields.field(QStringLiteral("DescID")).asInteger())
            .shownText);
    connect(ui->cbShownText, &QCheckBox::clicked, this, [this] { m_shownTextChosen = true; });
    connect(ui->cbShownText, &QCheckBox::toggled, this,
            ui_::guard(this, &TfrmPickField::showValues));

    ui->sePage->setRange(m_pages.front(), m_pages.back());
    ui->sePage->setValue(m_pages.front());
    connect(ui->sePage, &QSpinBox::valueChanged, this,
            ui_::guard(this, &TfrmPickField::sePageChange));
    m_shown = m_pages.front();
    showPage(m_shown);
    showSuggestion(0);
}

TfrmPickField::~TfrmPickField()
{
    // The view and its page go before the profile they use.
    delete ui->webPage;
}

void TfrmPickField::showPage(int number)
{
    const QByteArray bytes = pagrim::readFileOrThrow(m_folder.pageFile(number));
    // Relative addresses lead to the scheme, which refuses them.
    ui->webPage->setUrl(m_scheme->serve(pagrim::codepage::toUnicode(bytes, m_codePage)));
}

void TfrmPickField::sePageChange(int number)
{
    // The box steps over the numbers of pages not saved, in the direction it went.
    const auto next = std::lower_bound(m_pages.begin(), m_pages.end(), number);
    if (next == m_pages.end() || *next != number) {
        const bool down = number < m_shown && next != m_pages.begin();
        ui->sePage->setValue(down ? *std::prev(next) : *next);
        return;
    }
    m_shown = number;
    showPage(number);
    // What the page holds: its example, else what the markers cut from it.
    QString value;
    const auto listed = std::find_if(m_examples.begin(), m_examples.end(),
                                     [number](const MarkerExample& e) { return e.page == number; });
    if (listed != m_examples.end()) {
        value = listed->shown;
    } else if (m_suggestion.problem.isEmpty()) {
        const auto at = std::find(m_sampled.begin(), m_sampled.end(), number);
        if (at != m_sampled.end() && m_suggestion.values[size_t(at - m_sampled.begin())])
            value = ShownText(*m_suggestion.values[size_t(at - m_sampled.begin())], m_codePage);
    }
    ui->edValue->setText(value);
}

void TfrmPickField::webPageSelectionChange()
{
    // A click that only drops the selection keeps the value.
    const QString selected = ui->webPage->page()->selectedText().simplified();
    if (!selected.isEmpty())
        ui->edValue->setText(selected);
}

void TfrmPickField::btnAddExampleClick()
{
    const QString value = ui->edValue->text().simplified();
    if (value.isEmpty())
        return;
    std::erase_if(m_examples, [this](const MarkerExample& e) { return e.page == m_shown; });
    m_examples.push_back({m_shown, value});
    showExamples();
    Recompute();
}

void TfrmPickField::showExamples()
{
    ui->lbExamples->clear();
    for (const MarkerExample& e : m_examples)
        ui->lbExamples->addItem(QStringLiteral("第 %1 页：%2").arg(e.page).arg(e.shown));
}

std::vector<MarkerExample> TfrmPickField::examples() const
{
    std::vector<MarkerExample> out = m_examples;
    const QString value = ui->edValue->text().simplified();
    // The shown page's value counts until it is added, in place of its example.
    if (!value.isEmpty()) {
        std::erase_if(out, [this](const MarkerExample& e) { return e.page == m_shown; });
        out.push_back({m_shown, value});
    }
    return out;
}

std::vector<SamplePage> TfrmPickField::sampleOf(const std::vector<int>& numbers)
{
    std::vector<int> unread;
    for (int n : numbers)
        if (!m_pageTexts.contains(n))
            unread.push_back(n);
    for (SamplePage& p : LoadSample(m_folder, unread))
        m_pageTexts[p.number] = std::move(p.text);
    std::vector<SamplePage> sample;
    sample.reserve(numbers.size());
    for (int n : numbers)
        sample.push_back({n, m_pageTexts[n]});
    return sample;
}

void TfrmPickField::Recompute()
{
    m_recompute->stop();
    const std::vector<MarkerExample> given = examples();
    m_suggestion = {};
    m_sampled.clear();
    if (!given.empty()) {
        std::vector<int> required;
        for (const MarkerExample& e : given)
            required.push_back(e.page);
        m_sampled = SpreadSample(m_pages, SampleSize, required);
        m_suggestion = SuggestMarkers(sampleOf(m_sampled), given, m_codePage);
    }
    showSuggestion(int(m_sampled.size()));
}

void TfrmPickField::showSuggestion(int sampled)
{
    const bool proposed = sampled > 0 && m_suggestion.problem.isEmpty();
    ui->lblProblem->setText(m_suggestion.problem.isEmpty() ? m_suggestion.note
                                                           : m_suggestion.problem);
    ui->btnUse->setEnabled(proposed);
    ui->gridSample->setRowCount(0);
    if (!proposed) {
        ui->memoStart->clear();
        ui->memoEnd->clear();
        ui->lblCount->setText(
            sampled > 0 ? QString() : QStringLiteral("在网页中选中要提取的内容，或输入示例值"));
        return;
    }
    const auto text = [this](const QByteArray& bytes) {
        return pagrim::codepage::toUnicode(bytes, m_codePage);
    };
    ui->memoStart->setPlainText(visibleBreaks(text(m_suggestion.start), true));
    ui->memoEnd->setPlainText(visibleBreaks(text(m_suggestion.end), true));
    ui->lblCount->setText(
        QStringLiteral("在 %1 个网页中找到 %2 个").arg(sampled).arg(m_suggestion.found));
    if (!m_shownTextChosen) {
        const bool markup =
            std::any_of(m_suggestion.values.begin(), m_suggestion.values.end(),
                        [this](const auto& v) { return v && HoldsMarkup(*v, m_codePage); });
        const QSignalBlocker quiet(ui->cbShownText);
        ui->cbShownText->setChecked(markup);
    }
    showValues();
}

void TfrmPickField::showValues()
{
    ui->gridSample->setRowCount(0);
    if (!m_suggestion.problem.isEmpty())
        return;
    const bool shown = ui->cbShownText->isChecked();
    const int rows = std::min(int(m_sampled.size()), ShownRows);
    ui->gridSample->setRowCount(rows);
    for (int row = 0; row < rows; ++row) {
        const std::optional<QByteArray>& value = m_suggestion.values[size_t(row)];
        QString written = QStringLiteral("（未找到）");
        if (value)
            written = pagrim::codepage::toUnicode(shown ? ShownValue(*value, m_codePage) : *value,
                                                  m_codePage);
        ui->gridSample->setItem(row, 0, cell(QString::number(m_sampled[size_t(row)])));
        ui->gridSample->setItem(row, 1, cell(value ? visibleBreaks(written, false) : written));
    }
}

void TfrmPickField::btnUseClick()
{
    if (!m_fields || !m_suggestion.problem.isEmpty() || m_sampled.empty())
        return;
    pagrim::store::DescOptions options = readDescOptions(
        m_fields->connection(), m_fields->field(QStringLiteral("DescID")).asInteger());
    options.shownText = ui->cbShownText->isChecked();
    SetDescMarkers(*m_fields, m_suggestion.start, m_suggestion.end, m_codePage, options);
    close();
}
