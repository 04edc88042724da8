#pragma once

#include "extract/core/pagetext.h"
#include "extract/core/resulttable.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <vector>

namespace pagrim {
class TaskFolder;
}
namespace pagrim::store {
class DataSet;
}

// The extraction run: the selected fields of a task cut out of every page file
// of its pages folder, one result line per page, and the three output files.
namespace pagrim::extract {

// What the run needs of the window it runs in.
class ExtractHost
{
public:
    virtual ~ExtractHost() = default;

    // The field page's status line. Set for every page; the host may repaint it
    // less often, but the last text set is the one left showing.
    virtual void ShowExtractStatus(const QString& text) = 0;
    // A page file is being read: shows its PageStatus.
    virtual void PageExtracting(const QString& path);
    // Whether test mode ("测试") is on at this moment.
    virtual bool TestMode() const = 0;
    // The test limit as the settings file holds it now.
    virtual int TestValue() const = 0;
    // Lets the pending events run, without waiting; called after every entry
    // of a folder. The host may skip a call that comes a moment after the last.
    virtual void ProcessPendingEvents() = 0;
};

// A selected field of the run: its name and markers in the program code page,
// and whether its value is the text the cut shows (ShownValue) rather than
// the cut itself.
struct ExtractField
{
    QByteArray name;
    QByteArray start;
    QByteArray end;
    bool shownText = false;
};

// The selected field rows in the order of the field query, with their options. A pending row is
// stored first; the bound controls stay still during the walk and are brought
// up to date at its end, also on failure; the last row is current afterwards.
std::vector<ExtractField> SelectedFields(store::DataSet& fields, int codePage);

// "序号" followed by separator + name for every selected field.
QByteArray HeaderLine(const std::vector<ExtractField>& fields, const QByteArray& separator,
                      int codePage);

// The status text of the page at path.
QString PageStatus(const QString& path);

// Orders names as people count: runs of digits compare as numbers ("2.Htm"
// before "10.Htm"), the rest character by character; names equal that way
// (as "01" and "1") by their plain order.
bool NaturalLess(const QString& a, const QString& b);

// One run over the pages: appends a numbered line per page on which a selected
// field is found to lines (which hold the header line as line 0), and, when a
// table is given, the line's values to it as a row.
class Extraction
{
public:
    Extraction(ExtractHost& host, std::vector<ExtractField> fields, QByteArray separator,
               QList<QByteArray>& lines, int codePage, ResultTable* table = nullptr);

    // Every file of the folder and its subfolders, in natural order of the
    // names, a subfolder walked at its place. In test mode a folder ends after
    // TestValue + 2 of its files (checked after each, so one is always read).
    // A page that cannot be read ends the walk with its file error.
    void ExtractFolder(const QString& folder);
    // One page file: the status text, then its line when a field is found.
    void ExtractPage(const QString& path);
    // The line of a page text without its number: separator + value for every
    // selected field (an empty value where a field is not found), CR LF removed
    // where a character begins. Empty when no field is found.
    QByteArray PageLine(QByteArrayView pageText) const;

private:
    // The value of every field; shown holds those made of the cut's shown text.
    void cutFields(QByteArrayView pageText, std::vector<Cut>& cuts,
                   std::vector<QByteArray>& shown) const;
    QByteArray lineOf(const std::vector<Cut>& cuts) const;

    ExtractHost& m_host;
    std::vector<ExtractField> m_fields;
    QByteArray m_separator;
    QList<QByteArray>& m_lines;
    int m_codePage;
    ResultTable* m_table;
    QByteArray m_pageText; // its storage serves every page
    std::vector<Cut> m_cuts;
    std::vector<QByteArray> m_shown;
};

// The run of the extraction button up to its output: empties lines, puts the
// header line, makes sure the task's pages folder exists and walks it. A table
// given is emptied for the selected fields and receives every line's values.
void RunExtraction(ExtractHost& host, store::DataSet& fields, const TaskFolder& taskFolder,
                   const QByteArray& separator, QList<QByteArray>& lines, int codePage,
                   ResultTable* table = nullptr);

// The text of Infos.xls: the lines with TAB for the separator where a
// character begins, and a blank for a TAB of a value's own (from the table,
// where it holds every line).
QByteArray SheetText(const QList<QByteArray>& lines, const ResultTable& table,
                     const QByteArray& separator, int codePage);

// Finishes the result files that a run killed while it replaced them left
// half replaced, before anyone reads them.
void FinishResultFiles(const TaskFolder& taskFolder);

// Infos.txt (the lines, each ended by CR LF), Infos.xls (the same text with
// TAB for the separator, see SheetText) and Infos.xlsx (the workbook
// of table, its sheet named after the task) in the task folder, written whole
// as a set (writeFilesOrThrow): a refused Infos.txt changes no file, a refused
// Infos.xls leaves the new Infos.txt, a refused Infos.xlsx (also one that could
// not be made) the new Infos.txt and Infos.xls.
void WriteResultFiles(const TaskFolder& taskFolder, const QList<QByteArray>& lines,
                      const QByteArray& separator, int codePage, const ResultTable& table,
                      const QString& taskName);

} // namespace pagrim::extract
