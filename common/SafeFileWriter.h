// Writes a file so that it appears whole or not at all: the bytes go to a
// temporary file in the target's folder, are flushed, and the temporary file is
// renamed over the target. A failure removes the temporary file and leaves an
// existing target untouched. A read-only target is replaced as well: renaming
// only needs the folder to be writable.
//
// A writer holds an advisory lock (flock) on its temporary file from creating
// it until it is renamed, so a temporary file nobody holds a lock on was left
// by a writer that died (a crash, a kill, a power cut) and can go.
//
// The descriptor-relative forms work inside a folder opened once: the
// temporary file, the rename and the clean-up all go through that folder's
// descriptor, so a link swapped in for the folder meanwhile redirects nothing.
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

// What may stand at the target's name when the new file is put there.
enum class Existing {
    Replace,  // whatever is there is replaced
    Refuse,   // nothing may be there: a file that appeared meanwhile stays and the write fails
};

// Writes `bytes` to `path` atomically (the folder of `path` is opened once,
// links followed). The error message names the path and the system's reason.
Status writeFileAtomically(const QString& path, QByteArrayView bytes,
                           SyncMode mode = SyncMode::Fast);

// Writes `bytes` as `name` in the folder open at `folderFd`. `name` must be a
// single name (no "/", not "." or ".."); `shownPath` names the file in
// messages and for the fault hook.
Status writeFileAtomicallyAt(int folderFd, const QString& name, const QString& shownPath,
                             QByteArrayView bytes, SyncMode mode = SyncMode::Fast,
                             Existing existing = Existing::Replace);

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
// The same in the folder open at `folderFd`.
int removeStaleTemporariesAt(int folderFd);

}  // namespace miniskop
