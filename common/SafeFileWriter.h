// Writes a file so that it appears whole or not at all: the bytes go to a
// temporary file in the target's folder, are flushed, and the temporary file is
// renamed over the target. A failure removes the temporary file and leaves an
// existing target untouched. A read-only target is replaced as well: renaming
// only needs the folder to be writable.
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
// can recognise leftovers.
inline constexpr char kTemporaryPrefix[] = ".miniskop-tmp-";

}  // namespace miniskop
