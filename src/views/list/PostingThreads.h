#pragma once
// The threads of a window object that read on their own and post their result back to it:
// each is joined when its result arrives (its last step is the post), or all at once when the
// object waits for them or goes away.

#include <algorithm>
#include <thread>
#include <utility>
#include <vector>

class CPostingThreads {
public:
    CPostingThreads() = default;
    CPostingThreads(const CPostingThreads&) = delete;
    CPostingThreads& operator=(const CPostingThreads&) = delete;
    ~CPostingThreads() { JoinAll(); }

    template <class Work> void Start(Work&& work) {
        threads_.emplace_back(std::forward<Work>(work));
    }
    // The thread that posted a result: it has nothing left to do.
    void Join(std::thread::id id) {
        const auto found = std::find_if(threads_.begin(), threads_.end(),
                                        [id](const std::thread& t) { return t.get_id() == id; });
        if (found != threads_.end()) {
            found->join();
            threads_.erase(found);
        }
    }
    // Every thread; false when none was running.
    bool JoinAll() {
        if (threads_.empty())
            return false;
        for (std::thread& t : threads_)
            if (t.joinable())
                t.join();
        threads_.clear();
        return true;
    }

private:
    std::vector<std::thread> threads_;
};
