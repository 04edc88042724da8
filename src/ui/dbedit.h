#pragma once

#include "store/dataset.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>

namespace pagrim::ui {

// The link of one editor to one field of a data set's current record: loads the
// value when the record changes, puts the record into editing when the user
// types, and writes the typed text into the field when the editor is left, when
// the record is posted, or at once for text fields.
class FieldLink
{
public:
    virtual ~FieldLink();
    void bindField(store::DataSet& dataSet, const QString& fieldName);
    store::DataSet* dataSet() const { return m_ds; }
    const QString& fieldName() const { return m_field; }
    // Writes a pending text into the field; throws ConversionError when it cannot.
    void flush();
    bool modified() const { return m_modified; }

protected:
    virtual QString editorText() const = 0;
    virtual void setEditorText(const QString& text) = 0;
    virtual void fieldBound() {}
    // The user changed the text.
    void typed();
    // The editor is being left: write, and on a conversion error show it and
    // keep the focus in the editor.
    void leaving(QWidget* editor);
    void reload();
    bool isTextField() const;

private:
    QPointer<store::DataSet> m_ds;
    QString m_field;
    int m_flusher = 0;
    bool m_modified = false;
    bool m_writing = false;
};

// A single-line box bound to a field; a text column's width limits its length.
class DBEdit : public QLineEdit, public FieldLink
{
    Q_OBJECT
public:
    explicit DBEdit(QWidget* parent = nullptr);

protected:
    QString editorText() const override { return text(); }
    void setEditorText(const QString& text) override;
    void fieldBound() override;
    void focusOutEvent(QFocusEvent* event) override;
};

// A multi-line box bound to a field; Enter makes a new line, stored as CR LF.
class DBMemo : public QPlainTextEdit, public FieldLink
{
    Q_OBJECT
public:
    explicit DBMemo(QWidget* parent = nullptr);

protected:
    QString editorText() const override;
    void setEditorText(const QString& text) override;
    void focusOutEvent(QFocusEvent* event) override;
};

} // namespace pagrim::ui
