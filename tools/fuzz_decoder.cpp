// libFuzzer target over the download decoding: the input is a block of records (the first byte
// chooses the handshake kind and the ID digit settings). Whatever the bytes, a run either rejects
// the block and stores nothing, or stores some of its records; it never crashes.
// Build and run: see the README's developer section.

#include "DecoderStubs.h"
#include "storage/Databases.h"
#include "storage/DownloadDecoder.h"

#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

struct World {
    QTemporaryDir dir;
    std::unique_ptr<CResultDatabases> db;
    World() {
        db = std::make_unique<CResultDatabases>(dir.path());
        db->OpenDatabases();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static World world;
    if (size < 1)
        return 0;
    const uint8_t flags = data[0];
    DownloadBlock b;
    b.BlockText.assign(reinterpret_cast<const char*>(data + 1), size - 1);
    // Mostly the count the text holds, sometimes one more or less.
    b.BlockRecordCount = static_cast<int>(b.BlockText.size() / kReplyRecordLength) +
                         static_cast<int>(flags >> 6) - 1;
    b.HandshakeReplyU = flags & 1;
    b.AutoMode = flags & 2;
    b.PidDigit = static_cast<int>((flags >> 2) & 15) - 1;
    b.OpidDigit = 13;

    CResultTable& main = world.db->ResultTable;
    const int before = main.CountRows();
    QuietNotifier quiet;
    const int stored = ProcessDownloadBlock(b, *world.db, {world.dir.path(), QString()}, quiet);
    const int after = main.CountRows();
    if (stored < 0 ? after != before : after != before + stored)
        std::abort(); // half a block, or a count that does not match what was stored
    return 0;
}
