// CDbTable's list of rows and its writes: the requery that fixes the matching ROWIDs,
// navigation by position, and adding, updating and deleting rows. Opening, the schema and the
// transaction are in DbTable.cpp.

#include "DbTable.h"

#include <sqlite3.h>

#include <cstdlib>
#include <cstring>

namespace {

// Room for this many more ROWIDs whenever the list grows.
constexpr int kRowIdSpare = 5000;

} // namespace

int CDbTable::CountRows() {
    if (!IsOpen())
        return 0;
    std::string sql = "SELECT COUNT (*) FROM ";
    sql += QuotedName();
    if (filter_.IsNonEmpty()) {
        sql += " WHERE ";
        sql += filter_.c_str();
    }
    sqlite3_stmt* st = nullptr;
    int count = 0;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && st) {
        if (sqlite3_step(st) == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(st, 0);
            count = text ? std::atoi(reinterpret_cast<const char*>(text)) : 0;
        } else {
            NoteError("cannot count the rows");
        }
    } else {
        NoteError("cannot count the rows");
    }
    sqlite3_finalize(st);
    return count;
}

bool CDbTable::Requery() {
    if (!IsOpen())
        return false;
    loaded_ = 0;
    readAhead_.Invalidate();
    if (!columnsChecked_ && !CheckColumns())
        return false;
    // The count only sizes the list: the list is what the one SELECT returns, so that another
    // program's store between the two statements is in the list whole or not at all.
    const int expected = CountRows();
    position_ = 1;
    rowIds_.assign(static_cast<size_t>(expected) + kRowIdSpare, 0);
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db_, BuildSelect(true, true, true).c_str(), -1, &st, nullptr);
    if (rc == SQLITE_OK && st) {
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            if (static_cast<size_t>(loaded_) + 1 >= rowIds_.size())
                rowIds_.resize(rowIds_.size() + kRowIdSpare, 0);
            rowIds_[static_cast<size_t>(loaded_++)] = sqlite3_column_int(st, 0);
        }
    }
    const bool listed = rc == SQLITE_DONE;
    if (!listed) {
        NoteError("cannot list the rows");
        ++readFailures_;
    }
    sqlite3_finalize(st);
    rowCount_ = loaded_;
    if (rowCount_ > 0)
        MoveTo(1);
    return listed;
}

void CDbTable::ForgetRows() {
    loaded_ = 0;
    rowCount_ = 0;
    position_ = 1;
    rowIds_.clear();
    rowIds_.shrink_to_fit();
    readAhead_.Invalidate();
}

bool CDbTable::CheckReadable() {
    if (!IsOpen())
        return false;
    if (!columnsChecked_ && !CheckColumns())
        return false;
    sqlite3_stmt* st = nullptr;
    const std::string sql = "SELECT ROWID FROM " + QuotedName() + " LIMIT 1";
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr);
    if (rc == SQLITE_OK && st)
        rc = sqlite3_step(st);
    const bool readable = rc == SQLITE_ROW || rc == SQLITE_DONE;
    if (!readable) {
        NoteError("cannot list the rows");
        ++readFailures_;
    }
    sqlite3_finalize(st);
    return readable;
}

bool CDbTable::RequeryHasRows() {
    return Requery() && rowCount_ > 0;
}

bool CDbTable::DeleteWhere() {
    if (!IsOpen())
        return false;
    if (!columnsChecked_)
        CheckColumns();
    std::string sql = "DELETE FROM ";
    sql += QuotedName();
    if (filter_.IsNonEmpty()) {
        sql += " WHERE ";
        sql += filter_.c_str();
    }
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr);
    if (rc == SQLITE_OK && st)
        rc = sqlite3_step(st);
    if (rc != SQLITE_DONE)
        NoteError("cannot delete");
    sqlite3_finalize(st);
    position_ = 1;
    return rc == SQLITE_DONE;
}

int CDbTable::RowIdAt(int n) const {
    if (n < 1 || n > rowCount_ || static_cast<size_t>(n) > rowIds_.size())
        return 0;
    return rowIds_[static_cast<size_t>(n - 1)];
}

bool CDbTable::MoveTo(int n) {
    if (!IsOpen() || rowIds_.empty() || adding_ || n < 1)
        return false;
    if (rowCount_ == 0)
        return true;
    if (n <= rowCount_) {
        const int rowid = rowIds_[static_cast<size_t>(n - 1)];
        if (!readAhead_.Load(db_, rowid, columns_)) {
            if (!readAhead_.Fill(db_, QuotedName(), columns_, rowIds_, rowCount_, n))
                NoteError("cannot read a row");
            if (!readAhead_.Load(db_, rowid, columns_)) {
                ClearFields(); // the row is gone, or the read failed
                ++readFailures_;
            }
        }
        adding_ = false;
    }
    position_ = n;
    return true;
}

bool CDbTable::MoveFirst() {
    MoveTo(1);
    return IsOpen();
}

bool CDbTable::MoveNext() {
    if (position_ <= rowCount_) {
        ++position_;
        MoveTo(position_);
        return true;
    }
    return false;
}

bool CDbTable::IsEOF() const {
    return rowCount_ == 0 || position_ > rowCount_;
}

void CDbTable::ClearFields() {
    for (ColumnDesc& c : columns_)
        if (c.value)
            ClearColumnValue(c);
}

void CDbTable::LoadRow(sqlite3_stmt* statement) {
    ClearFields();
    DbCachedValue v;
    for (ColumnDesc& c : columns_) {
        if (!c.value || !statement)
            continue;
        ReadColumnValue(statement, c.resultColumn, c.type, v);
        ApplyColumnValue(c, v);
    }
    adding_ = false;
}

bool CDbTable::AddNew() {
    if (columns_.empty() || adding_)
        return false;
    ClearFields();
    adding_ = true;
    return true;
}

bool CDbTable::Edit() {
    if (columns_.empty())
        return false;
    adding_ = false;
    return true;
}

bool CDbTable::BindColumns(sqlite3_stmt* statement) {
    int i = 1;
    for (const ColumnDesc& c : columns_) {
        const int rc = BindColumnValue(statement, i, c);
        if (rc != SQLITE_OK)
            return false;
        ++i;
    }
    return true;
}

bool CDbTable::UpdateWhere(const char* where) {
    if (!IsOpen() || columns_.empty() || adding_ || !where)
        return false;
    std::string sql = "UPDATE " + QuotedName() + " SET ";
    for (size_t i = 0; i < columns_.size(); ++i) {
        sql += i == 0 ? ' ' : ',';
        sql += QuoteIdentifier(columns_[i].name);
        sql += " = ?";
    }
    sql += " WHERE ";
    sql += where;
    sqlite3_stmt* st = nullptr;
    bool written = false;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && st &&
        BindColumns(st)) {
        written = sqlite3_step(st) == SQLITE_DONE && sqlite3_changes(db_) > 0;
        if (!written)
            NoteError("nothing was updated");
        sqlite3_reset(st);
    } else {
        NoteError("cannot update");
    }
    sqlite3_finalize(st);
    adding_ = false;
    return written;
}

bool CDbTable::AppendRowId(long long rowid) {
    if (static_cast<size_t>(rowCount_) + 1 >= rowIds_.size())
        rowIds_.resize(rowIds_.size() + kRowIdSpare, 0);
    // ROWIDs are kept as 32-bit values, as the lists always have.
    rowIds_[static_cast<size_t>(rowCount_)] = static_cast<int>(rowid & 0xffffffffLL);
    ++rowCount_;
    position_ = rowCount_;
    return true;
}

bool CDbTable::Update() {
    // Whether or not the table has more columns than are declared, the insert names its
    // columns, so one path serves both.
    return InsertWithColumnList();
}

bool CDbTable::InsertWithColumnList() {
    // Every insert names its columns and binds its values: the row lands in the right columns
    // whatever order or extra columns an older table has, and no value is ever part of the
    // SQL text (a quote in a patient ID cannot break or change the statement).
    if (!IsOpen() || columns_.empty() || !adding_)
        return false;
    if (!insertStatement_) {
        const std::string sql = InsertSql(QuotedName());
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &insertStatement_, nullptr) != SQLITE_OK) {
            NoteError("cannot insert");
            sqlite3_finalize(insertStatement_);
            insertStatement_ = nullptr;
        }
    }
    bool stored = false;
    if (insertStatement_) {
        stored = BindColumns(insertStatement_) && sqlite3_step(insertStatement_) == SQLITE_DONE;
        if (!stored)
            NoteError("cannot insert");
        sqlite3_reset(insertStatement_);
        sqlite3_clear_bindings(insertStatement_);
    }
    // Leave the adding state either way, so that a caller that ignores a failure can go on
    // with the next row.
    adding_ = false;
    if (!stored)
        return false;
    return AppendRowId(sqlite3_last_insert_rowid(db_));
}

std::string CDbTable::InsertSql(const std::string& qualifiedName) const {
    std::string sql = "INSERT INTO " + qualifiedName + " (";
    std::string values;
    for (size_t i = 0; i < columns_.size(); ++i) {
        sql += i == 0 ? ' ' : ',';
        sql += QuoteIdentifier(columns_[i].name);
        values += i == 0 ? "?" : ",?";
    }
    return sql + ") VALUES(" + values + ") ";
}

bool CDbTable::InsertInto(const std::string& qualifiedName) {
    if (!IsOpen() || columns_.empty())
        return false;
    // Prepared once per target: a block inserts thousands of rows into the same table.
    if (!otherInsert_ || otherInsertTarget_ != qualifiedName) {
        sqlite3_finalize(otherInsert_);
        otherInsert_ = nullptr;
        otherInsertTarget_ = qualifiedName;
        if (sqlite3_prepare_v2(db_, InsertSql(qualifiedName).c_str(), -1, &otherInsert_, nullptr) !=
            SQLITE_OK) {
            NoteError("cannot insert");
            sqlite3_finalize(otherInsert_);
            otherInsert_ = nullptr;
            return false;
        }
    }
    const bool stored = BindColumns(otherInsert_) && sqlite3_step(otherInsert_) == SQLITE_DONE;
    if (!stored)
        NoteError("cannot insert");
    sqlite3_reset(otherInsert_);
    sqlite3_clear_bindings(otherInsert_);
    adding_ = false;
    return stored;
}
