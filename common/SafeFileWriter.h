// Writes a file so that it appears whole or not at all: the bytes go to a
// temporary file in the target's folder, are flushed, and the temporary file is
// renamed over the target. A failure removes the temporary file and leaves an
// existing target untouched. A read-only target is replaced as well: renaming
// only needs the folder to be writable.
//
// A writer holds an advisory lock (flock) on its temporary file from creating
// it until it is renamed, so a temporary file nobody holds a lock on was left
// by a writer that died (a crash, a kill, a power cut) and can go.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>

#include "Expected.h"

namespace miniskop {

enum class SyncMode {
    Fast,     // flush to the kernel only (thumbnails, pages)
    Durable,  // also fsync the file before renaming (settings)
};

// Writes `bytes` to `path` atomically. The error message names the path and
// the system's reason.
Status writeFileAtomically(const QString& path, QByteArrayView bytes,
                           SyncMode mode = SyncMode::Fast);

// Test seam for fault injection: when set, it is asked before each write with
// the target path and the number of bytes; returning a non-zero errno makes that
// write fail as if the system had reported it (ENOSPC, EIO, ...). Production
// code never sets it.
using WriteFaultHook = std::function<int(const QString& path, qsizetype bytes)>;
void setWriteFaultHookForTesting(WriteFaultHook hook);

// The prefix every temporary file of ours starts with, so tests and clean-ups
// can recognise leftovers. The rest of the name is 1 to 13 characters of
// [0-9a-z].
inline constexpr char kTemporaryPrefix[] = ".miniskop-tmp-";

// True for a file name of our temporary-name pattern.
bool isTemporaryName(const QString& fileName);

// Removes the temporary files in `folder` that no writer holds any more:
// regular files of our temporary-name pattern only, never one a writer
// (of this process or another) is still writing. Returns how many went.
int removeStaleTemporaries(const QString& folder);

}  // namespace miniskop
