#pragma once

#include "store/fieldvalue.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace pagrim::store {

class Connection;
class DataSet;
class RowWriter;

// One field of the current row, read and written by type. NULL reads as 0, ""
// or false.
class Field
{
public:
    Field(DataSet& ds, int index) : m_ds(&ds), m_index(index) {}
    const QString& name() const;
    int index() const { return m_index; }
    QVariant value() const;
    bool isNull() const;
    int asInteger() const;
    QString asString() const;
    bool asBoolean() const;
    QDateTime asDateTime() const;
    void setValue(const QVariant& value) const;
    // Converts text to the field's type; ConversionError when it cannot.
    void setAsString(const QString& text) const;

private:
    DataSet* m_ds;
    int m_index;
};

// A query over the connection that holds its whole result (a static cursor) in
// which its own appends, edits and deletions show at once. Bound widgets follow
// it through its signals. Errors carry the engine's message.
class DataSet : public QObject
{
    Q_OBJECT
public:
    enum class State
    {
        Inactive,
        Browse,
        Edit,
        Insert
    };

    explicit DataSet(Connection& connection, QObject* parent = nullptr);
    ~DataSet() override;

    Connection& connection() const { return m_conn; }

    // Setting the statement closes the query.
    void setCommandText(const QString& sql);
    const QString& commandText() const { return m_sql; }
    void setParameter(const QString& name, const QVariant& value);
    QVariant parameter(const QString& name) const;

    // A field computed for display only, after the result's columns.
    void addCalculatedField(const QString& name, std::function<QString(int row)> getText);
    // Runs after every append, to fill the new row.
    void setAfterInsert(std::function<void(DataSet&)> handler)
    {
        m_afterInsert = std::move(handler);
    }

    // The master's current row fills the parameters named like its fields, and a
    // change of those values re-runs this query.
    void setMasterSource(DataSet* master);

    void open();
    void close();
    bool isActive() const { return m_state != State::Inactive; }
    State state() const { return m_state; }
    bool isEditing() const { return m_state == State::Edit || m_state == State::Insert; }

    // Fields.
    int fieldCount() const { return int(m_fields.size()); }
    const FieldDef& fieldDef(int index) const { return m_fields.at(size_t(index)); }
    int fieldIndex(const QString& name) const; // -1 when absent; any letter case
    Field field(const QString& name);          // throws when absent
    Field field(int index);
    QVariant valueAt(int row, int column) const;
    QString displayText(int row, int column) const;

    // Rows.
    int recordCount() const { return int(m_rows.size()); }
    bool isEmpty() const { return m_rows.empty(); }
    int currentRow() const { return m_row; } // 0-based, -1 when empty
    int recNo() const { return m_row + 1; }  // 1-based, 0 when empty
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    void first();
    void next();
    void prior();
    void last();
    void moveTo(int row);

    // Changes. Moving off a pending row posts it.
    void append();
    void edit();
    void post();
    // post, with the write to the store handed to runStore, which calls it
    // once (on another thread, say, while events run here) and lets its error
    // out. Nothing may use this data set until runStore returns.
    using StoreRunner = std::function<void(const std::function<void()>& write)>;
    void post(const StoreRunner& runStore);
    void cancel();
    void deleteRecord();
    // Brings the current row's pending text of the bound editors into its fields.
    void updateRecord();
    using Flusher = std::function<void()>;
    int addFlusher(Flusher flusher);
    void removeFlusher(int id);

    // Change notices to bound widgets, suspended while disabled.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disabled > 0; }

Q_SIGNALS:
    void layoutReset();       // opened, closed, re-run, rows added or removed
    void rowChanged(int row); // values of a row
    void currentChanged(int row);
    void stateChanged();

private:
    friend class Field;
    void setValueAt(int column, const QVariant& value);
    void checkBrowseMode();
    void checkActive() const;
    void requireCurrent() const;
    void setState(State state);
    void runQuery();
    std::optional<QVariant> masterValue(const QString& name) const;
    void takeMasterParameters(const QStringList& names);
    void refillFromMaster();
    void notifyReset();
    void notifyRow(int row);
    void notifyCurrent();
    RowWriter& writer();

    Connection& m_conn;
    QString m_sql;
    std::vector<std::pair<QString, QVariant>> m_params;
    std::vector<FieldDef> m_fields;
    std::vector<std::function<QString(int)>> m_getText; // per field, calculated only
    std::vector<std::pair<QString, std::function<QString(int)>>> m_calculated;
    std::vector<std::vector<QVariant>> m_rows;
    std::vector<QVariant> m_backup; // the row before edit
    int m_row = -1;
    int m_rowBeforeInsert = -1; // the current row when the pending insert began
    bool m_eof = true;
    bool m_bof = true;
    State m_state = State::Inactive;
    int m_disabled = 0;
    bool m_pendingReset = false;
    std::set<int> m_pendingRows;
    bool m_pendingCurrent = false;
    std::function<void(DataSet&)> m_afterInsert;
    QPointer<DataSet> m_master;
    QMetaObject::Connection m_masterCurrent, m_masterRow, m_masterReset;
    std::vector<std::pair<int, Flusher>> m_flushers;
    int m_nextFlusher = 1;
    std::unique_ptr<RowWriter> m_writer; // made at the first write of a result
};

// Holds the bound controls of a data set still for a scope (a walk over its
// rows) and brings them up to date at its end, also when the walk fails.
class ControlsDisabled
{
public:
    explicit ControlsDisabled(DataSet& ds) : m_ds(ds) { m_ds.disableControls(); }
    ~ControlsDisabled() { m_ds.enableControls(); }
    ControlsDisabled(const ControlsDisabled&) = delete;
    ControlsDisabled& operator=(const ControlsDisabled&) = delete;

private:
    DataSet& m_ds;
};

// A short-lived query on the connection for one step; the caller owns it.
std::unique_ptr<DataSet> CreateScratchQuery(Connection& connection);

// The next key: the first column of maxStatement ("select max(TaskID) from
// Tasks ") as integer, NULL read as 0, plus 1.
int allocateKey(Connection& connection, const QString& maxStatement);

} // namespace pagrim::store
