#pragma once
// Stores results for the list tests: date, time, value, PID, OPID and note of each row.

#include "storage/Databases.h"

#include <string>
#include <vector>

struct StoredRow {
    std::string date, time, value, pid, opid, note = " ";
};

inline bool StoreRows(CResultTable& t, const std::vector<StoredRow>& rows) {
    auto lock = t.Lock();
    for (const StoredRow& r : rows) {
        t.AddNew();
        t.Record.DATE.Assign(r.date.c_str());
        t.Record.TIME.Assign(r.time.c_str());
        t.Record.HbA1c_VALUE.Assign(r.value.c_str());
        t.Record.PID.Assign(r.pid.c_str());
        t.Record.OPID.Assign(r.opid.c_str());
        t.Record.EQ_TYPE.Assign(r.note.c_str());
        t.Record.p_DOB.Assign("19000101");
        if (!t.Update())
            return false;
    }
    RequeryDefault(t);
    return true;
}
