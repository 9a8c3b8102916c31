#pragma once
// What else happens when stored results change: told of every result a download stores and
// every correction and deletion, inside the transaction that makes the change and on its
// connection, so what it writes commits or rolls back with the change. A false return rolls the
// change back (the connection's last error says why). The lab system's outbox is one.

#include <string>

class CDbTable;

// The columns of a result that other systems are told of.
struct ResultImage {
    std::string DATE, TIME, HbA1c_VALUE, PID, OPID, EQ_TYPE, p_NAME, p_DOB, P_MEMO;
};

class IResultJournal {
public:
    virtual ~IResultJournal() = default;
    // `before` is null for a newly stored result, `after` null for a deleted one.
    virtual bool ResultChanged(CDbTable& connection, const ResultImage* before,
                               const ResultImage* after) = 0;
};
