#include "DbColumns.h"

#include <sqlite3.h>

namespace {

// SQLITE_STATIC spelled without the old-style cast of the sqlite3.h macro: the bound buffers
// outlive every step.
const sqlite3_destructor_type kStatic = nullptr;

// Everything that depends on a column's type, in one place: its SQL types, the value older
// rows get when the column is added, and how a value travels between a statement, the
// read-ahead cache and the bound variable.
struct ColumnKind {
    const char* createType; // in CREATE TABLE
    const char* addType;    // in ALTER TABLE ADD COLUMN, for a table of an older layout
    const char* fillValue;  // what the existing rows get then (null: nothing)
    void (*clear)(void* value);
    void (*read)(sqlite3_stmt* st, int col, DbCachedValue& out);
    void (*apply)(const DbCachedValue& v, void* value);
    int (*bind)(sqlite3_stmt* st, int index, const void* value);
};

CTextBuf& Text(void* v) {
    return *static_cast<CTextBuf*>(v);
}
const CTextBuf& Text(const void* v) {
    return *static_cast<const CTextBuf*>(v);
}

const ColumnKind kTextKind = {
    "TEXT",
    "TEXT",
    "''",
    [](void* v) { Text(v).Assign(""); },
    [](sqlite3_stmt* st, int col, DbCachedValue& out) {
        const unsigned char* t = sqlite3_column_text(st, col);
        out.bytes.assign(t ? reinterpret_cast<const char*>(t) : "");
    },
    [](const DbCachedValue& v, void* value) {
        Text(value).SetBytes(v.bytes.c_str(), static_cast<int>(v.bytes.size()) + 1);
    },
    [](sqlite3_stmt* st, int i, const void* value) {
        // An empty or cleared text is stored as '' and never as NULL: searches and the
        // duplicate test compare with '' and would not find a NULL.
        const CTextBuf& t = Text(value);
        return sqlite3_bind_text(st, i, t.c_str(), t.Size() < 2 ? 0 : t.Size() - 1, kStatic);
    }};

const ColumnKind kIntKind = {"INT",
                             "Integer",
                             "0",
                             [](void* v) { *static_cast<int*>(v) = 0; },
                             [](sqlite3_stmt* st, int col, DbCachedValue& out) {
                                 out.integer = sqlite3_column_int(st, col);
                             },
                             [](const DbCachedValue& v, void* value) {
                                 *static_cast<int*>(value) = static_cast<int>(v.integer);
                             },
                             [](sqlite3_stmt* st, int i, const void* value) {
                                 return sqlite3_bind_int(st, i, *static_cast<const int*>(value));
                             }};

const ColumnKind kDoubleKind = {
    "DOUBLE",
    "Double",
    "0.0",
    [](void* v) { *static_cast<double*>(v) = 0.0; },
    [](sqlite3_stmt* st, int col, DbCachedValue& out) {
        out.real = sqlite3_column_double(st, col);
    },
    [](const DbCachedValue& v, void* value) { *static_cast<double*>(value) = v.real; },
    [](sqlite3_stmt* st, int i, const void* value) {
        return sqlite3_bind_double(st, i, *static_cast<const double*>(value));
    }};

const ColumnKind kBinaryKind = {"LongBinary",
                                "LongBinary",
                                nullptr,
                                [](void* v) { Text(v).Clear(); },
                                [](sqlite3_stmt* st, int col, DbCachedValue& out) {
                                    const void* blob = sqlite3_column_blob(st, col);
                                    const int bytes = sqlite3_column_bytes(st, col);
                                    out.bytes.assign(blob ? static_cast<const char*>(blob) : "",
                                                     blob ? static_cast<size_t>(bytes) : 0);
                                },
                                [](const DbCachedValue& v, void* value) {
                                    if (v.bytes.empty())
                                        Text(value).Clear();
                                    else
                                        Text(value).SetBytes(v.bytes.data(),
                                                             static_cast<int>(v.bytes.size()));
                                },
                                [](sqlite3_stmt* st, int i, const void* value) {
                                    const CTextBuf& b = Text(value);
                                    return sqlite3_bind_blob(st, i, b.Data(), b.Size(), kStatic);
                                }};

const ColumnKind& KindOf(unsigned type) {
    switch (type) {
    case kColumnText:
        return kTextKind;
    case kColumnInt:
        return kIntKind;
    case kColumnDouble:
        return kDoubleKind;
    default:
        return kBinaryKind;
    }
}

} // namespace

void ReadColumnValue(sqlite3_stmt* st, int col, unsigned type, DbCachedValue& out) {
    out.isNull =
        col < 0 || col >= sqlite3_column_count(st) || sqlite3_column_type(st, col) == SQLITE_NULL;
    if (!out.isNull)
        KindOf(type).read(st, col, out);
}

void ApplyColumnValue(ColumnDesc& c, const DbCachedValue& v) {
    if (v.isNull)
        ClearColumnValue(c);
    else
        KindOf(c.type).apply(v, c.value);
}

void ClearColumnValue(ColumnDesc& c) {
    KindOf(c.type).clear(c.value);
}

int BindColumnValue(sqlite3_stmt* st, int index, const ColumnDesc& c) {
    return c.value ? KindOf(c.type).bind(st, index, c.value) : sqlite3_bind_null(st, index);
}

const char* ColumnCreateType(unsigned type) {
    return KindOf(type).createType;
}
const char* ColumnAddType(unsigned type) {
    return KindOf(type).addType;
}
const char* ColumnFillValue(unsigned type) {
    return KindOf(type).fillValue;
}
