#pragma once
// Where a stored result came from: the values the analyzer's download stored for it, found by
// following its corrections back through the audit trail. An export that names a result by
// these values names it the same way before and after a correction, so a receiver updates the
// result it has instead of taking the corrected one for a new result.

#include "ResultQuery.h"

#include <string>
#include <vector>

// The five values that tell one stored result from another.
struct ResultIdentity {
    std::string DATE, TIME, HbA1c_VALUE, PID, OPID;
    bool operator==(const ResultIdentity& o) const {
        return DATE == o.DATE && TIME == o.TIME && HbA1c_VALUE == o.HbA1c_VALUE && PID == o.PID &&
               OPID == o.OPID;
    }
};
ResultIdentity IdentityOf(const ListRowKey& key);

struct ResultOrigin {
    ResultIdentity original; // as the download stored it; the row's own values if never changed
    bool corrected = false;  // the audit trail holds a correction that led to the row
};

// One origin per row, in the rows' order. A row is taken to come from the newest correction
// whose values after the change are the row's five values; that correction's values before
// are followed back the same way, each step only to older corrections, so a change and its
// undoing cannot loop. No audit trail yet: every row is its own origin. False when the trail
// cannot be read.
bool ReadResultOrigins(CResultTable& table, const std::vector<ResultRow>& rows,
                       std::vector<ResultOrigin>& out, std::string* error);
