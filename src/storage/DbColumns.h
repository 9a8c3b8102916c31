#pragma once
// The columns a table declares, and everything that depends on a column's type in one place:
// its SQL types, the value older rows get when the column is added, and how a value travels
// between a statement, the read-ahead cache and the bound variable.

#include "TextBuf.h"

#include <string>

struct sqlite3_stmt;

enum ColumnType : unsigned {
    kColumnText = 1,
    kColumnInt = 2,
    kColumnDouble = 3,
    kColumnBinary = 4,
};

// A column value as read from a row: kept in the read-ahead cache, applied to the bound value.
struct DbCachedValue {
    std::string bytes;
    long long integer = 0;
    double real = 0.0;
    bool isNull = true;
};

struct ColumnDesc {
    unsigned type = 0;
    void* value = nullptr; // CTextBuf for text and binary, int for integer, double for double
    int resultColumn = -1; // index in the rows of SELECT *, -1 until CheckColumns maps it
    char name[100] = {};
};

// One column of the current row of a statement (col < 0: none), NULL or not.
void ReadColumnValue(sqlite3_stmt* st, int col, unsigned type, DbCachedValue& out);
// A read value into the column's bound variable (NULL clears it).
void ApplyColumnValue(ColumnDesc& c, const DbCachedValue& v);
// The bound variable cleared: "" for text, 0 for numbers, no bytes for binary.
void ClearColumnValue(ColumnDesc& c);
// The bound variable as statement parameter index (an empty text is '' and never NULL).
int BindColumnValue(sqlite3_stmt* st, int index, const ColumnDesc& c);
// SQL type in CREATE TABLE; in ALTER TABLE ADD COLUMN; what existing rows get (null: nothing).
const char* ColumnCreateType(unsigned type);
const char* ColumnAddType(unsigned type);
const char* ColumnFillValue(unsigned type);
