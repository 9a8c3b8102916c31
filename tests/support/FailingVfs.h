#pragma once
// A disk that fills up on request: an SQLite VFS over the default one on which database files
// (names ending in ".sqlite", not their journals) cannot grow while FailWrites is on, so a
// transaction that adds pages fails when its commit writes them. Installed as the default:
// every connection opened afterwards goes through it.

#include <sqlite3.h>

#include <atomic>
#include <cstring>

class FailingVfs {
public:
    static void FailWrites(bool on) { Failing() = on; }
    static void Install() {
        static bool done = false;
        if (done)
            return;
        done = true;
        sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
        static sqlite3_vfs vfs = *base;
        Base() = base;
        vfs.zName = "failing";
        vfs.szOsFile = static_cast<int>(sizeof(File)) + base->szOsFile;
        vfs.xOpen = &Open;
        sqlite3_vfs_register(&vfs, 1);
    }

private:
    struct File {
        sqlite3_file base; // our methods
        bool failing;      // a file the fault applies to
        sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
    };
    static sqlite3_vfs*& Base() {
        static sqlite3_vfs* base = nullptr;
        return base;
    }
    static std::atomic<bool>& Failing() {
        static std::atomic<bool> f{false};
        return f;
    }
    static File* Of(sqlite3_file* f) { return reinterpret_cast<File*>(f); }

    static int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* out) {
        File* file = Of(f);
        file->failing = false;
        const int rc = Base()->xOpen(Base(), name, file->real(), flags, out);
        if (rc != SQLITE_OK || !file->real()->pMethods) {
            file->base.pMethods = nullptr;
            return rc;
        }
        static sqlite3_io_methods methods;
        methods = *file->real()->pMethods;
        methods.xClose = [](sqlite3_file* x) {
            return Of(x)->real()->pMethods->xClose(Of(x)->real());
        };
        methods.xRead = [](sqlite3_file* x, void* b, int n, sqlite3_int64 o) {
            return Of(x)->real()->pMethods->xRead(Of(x)->real(), b, n, o);
        };
        methods.xWrite = [](sqlite3_file* x, const void* b, int n, sqlite3_int64 o) {
            // As on a full disk: what overwrites the file's pages works, growing it fails.
            sqlite3_int64 size = 0;
            if (Of(x)->failing && Failing() &&
                Of(x)->real()->pMethods->xFileSize(Of(x)->real(), &size) == SQLITE_OK &&
                o + n > size)
                return SQLITE_FULL;
            return Of(x)->real()->pMethods->xWrite(Of(x)->real(), b, n, o);
        };
        methods.xTruncate = [](sqlite3_file* x, sqlite3_int64 s) {
            return Of(x)->real()->pMethods->xTruncate(Of(x)->real(), s);
        };
        methods.xSync = [](sqlite3_file* x, int fl) {
            return Of(x)->real()->pMethods->xSync(Of(x)->real(), fl);
        };
        methods.xFileSize = [](sqlite3_file* x, sqlite3_int64* s) {
            return Of(x)->real()->pMethods->xFileSize(Of(x)->real(), s);
        };
        methods.xLock = [](sqlite3_file* x, int l) {
            return Of(x)->real()->pMethods->xLock(Of(x)->real(), l);
        };
        methods.xUnlock = [](sqlite3_file* x, int l) {
            return Of(x)->real()->pMethods->xUnlock(Of(x)->real(), l);
        };
        methods.xCheckReservedLock = [](sqlite3_file* x, int* r) {
            return Of(x)->real()->pMethods->xCheckReservedLock(Of(x)->real(), r);
        };
        methods.xFileControl = [](sqlite3_file* x, int op, void* a) {
            return Of(x)->real()->pMethods->xFileControl(Of(x)->real(), op, a);
        };
        methods.xSectorSize = [](sqlite3_file* x) {
            return Of(x)->real()->pMethods->xSectorSize(Of(x)->real());
        };
        methods.xDeviceCharacteristics = [](sqlite3_file* x) {
            return Of(x)->real()->pMethods->xDeviceCharacteristics(Of(x)->real());
        };
        // No shared memory or memory mapping: the files use the rollback journal.
        methods.iVersion = 1;
        file->base.pMethods = &methods;
        const size_t n = name ? std::strlen(name) : 0;
        file->failing = n >= 7 && std::strcmp(name + n - 7, ".sqlite") == 0;
        return SQLITE_OK;
    }
};
