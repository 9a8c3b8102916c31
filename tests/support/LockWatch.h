#pragma once
// Tells a test when a connection was refused a database lock (SQLITE_BUSY from the file's
// lock call): the moment a store starts to wait for a lock another program holds. An SQLite VFS
// over the default one whose files keep the default's methods, except that the lock call is
// counted. Installed as the default: every connection opened afterwards goes through it.

#include <sqlite3.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

class LockWatch {
public:
    static void Install() {
        static bool done = false;
        if (done)
            return;
        done = true;
        static sqlite3_vfs vfs = *sqlite3_vfs_find(nullptr);
        Base() = vfs;
        vfs.zName = "lockwatch";
        vfs.xOpen = &Open;
        sqlite3_vfs_register(&vfs, 1);
    }
    // Waits until more than `seen` refusals were counted, at most limitMs (a bound for a broken
    // test, not a timing). Returns the count.
    static int WaitForRefusalAfter(int seen, int limitMs) {
        std::unique_lock<std::mutex> lock(State().mutex);
        State().cv.wait_for(lock, std::chrono::milliseconds(limitMs),
                            [&]() { return State().refusals > seen; });
        return State().refusals;
    }
    static int Refusals() {
        std::lock_guard<std::mutex> lock(State().mutex);
        return State().refusals;
    }

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable cv;
        int refusals = 0;
        sqlite3_io_methods methods{};
        int (*lock)(sqlite3_file*, int) = nullptr;
    };
    static Shared& State() {
        static Shared s;
        return s;
    }
    static sqlite3_vfs& Base() {
        static sqlite3_vfs base;
        return base;
    }
    static int Lock(sqlite3_file* f, int level) {
        const int rc = State().lock(f, level);
        if (rc == SQLITE_BUSY) {
            {
                std::lock_guard<std::mutex> lock(State().mutex);
                ++State().refusals;
            }
            State().cv.notify_all();
        }
        return rc;
    }
    static int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* out) {
        sqlite3_vfs& base = Base();
        const int rc = base.xOpen(&base, name, f, flags, out);
        if (rc != SQLITE_OK || !f->pMethods)
            return rc;
        // Every file of the default VFS has the same methods: take them once, lock counted.
        std::lock_guard<std::mutex> lock(State().mutex);
        if (!State().lock) {
            State().methods = *f->pMethods;
            State().lock = f->pMethods->xLock;
            State().methods.xLock = &Lock;
        }
        if (f->pMethods->xLock == State().lock)
            f->pMethods = &State().methods;
        return rc;
    }
};
