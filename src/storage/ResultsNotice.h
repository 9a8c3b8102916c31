#pragma once
// The one notice that stored results changed: a download stored rows, a record was corrected or
// deleted, the lab outbox moved on. Whoever changes results calls Notify once the change is
// committed; each view subscribes and re-reads what it shows. Nobody names a particular view.
//
// Threads: Notify runs the listeners at once on the calling thread; call it on the thread the
// listeners live on (the window's, or the command line's main thread).

#include <functional>
#include <utility>
#include <vector>

enum class ResultsChange { Stored, Corrected, Deleted, LabStatus };

class CResultsNotice {
public:
    using Listener = std::function<void(ResultsChange change, int rows)>;

    // Returns a token for Unsubscribe.
    int Subscribe(Listener listener) {
        listeners_.emplace_back(++lastToken_, std::move(listener));
        return lastToken_;
    }
    void Unsubscribe(int token) {
        for (auto it = listeners_.begin(); it != listeners_.end(); ++it)
            if (it->first == token) {
                listeners_.erase(it);
                return;
            }
    }
    // rows: how many results the change touched (0 when not known).
    void Notify(ResultsChange change, int rows = 0) {
        // A listener may subscribe or unsubscribe while being told: tell a copy.
        const auto listeners = listeners_;
        for (const auto& l : listeners)
            l.second(change, rows);
    }

private:
    std::vector<std::pair<int, Listener>> listeners_;
    int lastToken_ = 0;
};
