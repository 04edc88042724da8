#pragma once

#include "extract/core/markers.h"
#include "platform/taskfolder.h"

#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>
#include <vector>

namespace pagrim::store {
class DataSet;
}
namespace Ui {
class TfrmPickField;
}
class QTimer;
class SavedPageScheme;
class QWebEngineProfile;

// Markers for the current field row found from example values: a saved page
// shown as a browser shows it (scripts off, nothing fetched), the value the
// user selects or types there, and the proposed markers with what they cut
// from a sample of the saved pages. "使用此标记" stores them in the row with
// the option "只取文字" and posts it; "取消" changes nothing. A window of its own, modal to the
// application and deleted when closed.
class TfrmPickField : public QWidget
{
    Q_OBJECT
public:
    // pages: the saved page numbers of folder, ascending, at least one.
    TfrmPickField(QWidget* owner, const pagrim::TaskFolder& folder, std::vector<int> pages,
                  pagrim::store::DataSet& fields);
    ~TfrmPickField() override;

private:
    void sePageChange(int number);
    void webPageSelectionChange();
    void btnAddExampleClick();
    void btnUseClick();
    void Recompute();
    void showPage(int number);
    void showSuggestion(int sampled);
    // The proposal's values in the table, as they will be written.
    void showValues();
    void showExamples();
    std::vector<pagrim::extract::MarkerExample> examples() const;
    std::vector<pagrim::extract::SamplePage> sampleOf(const std::vector<int>& numbers);

    std::unique_ptr<Ui::TfrmPickField> ui;
    pagrim::TaskFolder m_folder;
    std::vector<int> m_pages;
    int m_shown = 0; // the page number shown
    QPointer<pagrim::store::DataSet> m_fields;
    int m_codePage;
    QWebEngineProfile* m_profile;
    SavedPageScheme* m_scheme; // the profile's: serves the page shown
    // Added with "加入示例", one a page.
    std::vector<pagrim::extract::MarkerExample> m_examples;
    // Page texts read so far, by page number: each file is read once.
    std::map<int, QByteArray> m_pageTexts;
    pagrim::extract::MarkerSuggestion m_suggestion;
    std::vector<int> m_sampled;
    // The user set "只取文字"; until then each proposal sets it.
    bool m_shownTextChosen = false;
    QTimer* m_recompute; // runs from the last change of the value until the proposal
};
