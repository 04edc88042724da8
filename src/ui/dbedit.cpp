#include "ui/dbedit.h"

#include "store/dataset.h"
#include "ui/guard.h"

#include <QTimer>

namespace pagrim::ui {

FieldLink::~FieldLink()
{
    if (m_ds && m_flusher)
        m_ds->removeFlusher(m_flusher);
}

void FieldLink::bindField(store::DataSet& dataSet, const QString& fieldName)
{
    if (m_ds && m_flusher)
        m_ds->removeFlusher(m_flusher);
    m_ds = &dataSet;
    m_field = fieldName;
    m_flusher = dataSet.addFlusher([this] { flush(); });
    auto* self = dynamic_cast<QObject*>(this);
    QObject::connect(&dataSet, &store::DataSet::layoutReset, self,
                     [this] { guarded([this] { reload(); }); });
    QObject::connect(&dataSet, &store::DataSet::currentChanged, self,
                     [this] { guarded([this] { reload(); }); });
    QObject::connect(&dataSet, &store::DataSet::stateChanged, self, [this] {
        if (m_ds && !m_ds->isEditing())
            guarded([this] { reload(); });
    });
    // A write to any field of the row must not throw away what is typed here
    // and not written yet: that text goes into the field when the row is posted.
    QObject::connect(&dataSet, &store::DataSet::rowChanged, self, [this](int row) {
        if (m_ds && row == m_ds->currentRow() && !m_modified)
            guarded([this] { reload(); });
    });
    fieldBound();
    reload();
}

bool FieldLink::isTextField() const
{
    if (!m_ds)
        return false;
    const int i = m_ds->fieldIndex(m_field);
    if (i < 0)
        return false;
    const auto t = m_ds->fieldDef(i).type;
    return t == store::FieldType::String || t == store::FieldType::Variant;
}

void FieldLink::reload()
{
    if (m_writing || !m_ds)
        return;
    m_modified = false;
    const int i = m_ds->fieldIndex(m_field);
    if (i < 0 || m_ds->currentRow() < 0) {
        setEditorText(QString());
        return;
    }
    setEditorText(m_ds->displayText(m_ds->currentRow(), i));
}

void FieldLink::typed()
{
    if (!m_ds || !m_ds->isActive())
        return;
    guarded([&] {
        if (!m_ds->isEditing()) {
            m_writing = true;
            struct Reset
            {
                bool& flag;
                ~Reset() { flag = false; }
            } reset{m_writing};
            m_ds->edit();
        }
        m_modified = true;
        if (isTextField())
            flush();
    });
}

void FieldLink::flush()
{
    if (!m_modified || !m_ds || !m_ds->isEditing())
        return;
    m_writing = true;
    struct Reset
    {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_writing};
    m_ds->field(m_field).setAsString(editorText());
    m_modified = false;
}

void FieldLink::leaving(QWidget* editor)
{
    if (!m_modified)
        return;
    try {
        flush();
    } catch (const ConversionError& e) {
        showDefaultError(e.message());
        QPointer<QWidget> back(editor);
        QTimer::singleShot(0, editor, [back] {
            if (!back)
                return;
            back->setFocus();
            if (auto* line = qobject_cast<QLineEdit*>(back.data()))
                line->selectAll();
        });
    } catch (...) {
        guarded([] { throw; });
    }
}

DBEdit::DBEdit(QWidget* parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textEdited, this, [this] { typed(); });
}

void DBEdit::setEditorText(const QString& text)
{
    if (QLineEdit::text() != text)
        setText(text);
}

void DBEdit::fieldBound()
{
    store::DataSet* ds = dataSet();
    if (!ds)
        return;
    const int i = ds->fieldIndex(fieldName());
    if (i >= 0 && ds->fieldDef(i).size > 0)
        setMaxLength(ds->fieldDef(i).size);
}

void DBEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    leaving(this);
}

DBMemo::DBMemo(QWidget* parent) : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (hasFocus() || document()->isModified())
            typed();
    });
}

QString DBMemo::editorText() const
{
    QString text = toPlainText();
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

void DBMemo::setEditorText(const QString& text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (toPlainText() == shown)
        return;
    const QSignalBlocker block(this);
    setPlainText(shown);
    document()->setModified(false);
}

void DBMemo::focusOutEvent(QFocusEvent* event)
{
    QPlainTextEdit::focusOutEvent(event);
    leaving(this);
}

} // namespace pagrim::ui
