// Reads folders off the window's thread, so that a slow folder (a network
// share, a camera on USB) never stops the window from repainting or reacting.
// Each reader has at most one reading that counts: a new one supersedes the
// reading in progress, which is told to stop and whose result is dropped. The
// result arrives on the reader's own thread, as a queued call.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>

#include "Expected.h"
#include "FileList.h"

namespace miniskop {

class FolderReader : public QObject {
    Q_OBJECT
public:
    // The reading itself, run on a thread of its own; it should end soon once
    // `stop` is set.
    using Work = std::function<Expected<FolderReading>(const std::atomic<bool>& stop)>;
    using Done = std::function<void(Expected<FolderReading>)>;

    explicit FolderReader(QObject* parent = nullptr);
    ~FolderReader() override;
    FolderReader(const FolderReader&) = delete;
    FolderReader& operator=(const FolderReader&) = delete;

    // Starts `work`; `done` gets its result on this object's thread, unless
    // another start, a cancel or the reader's end comes first.
    void start(Work work, Done done);
    // Drops the reading in progress (its result is never delivered).
    void cancel();
    // True from start until `done` has been called or the reading dropped.
    bool busy() const { return busy_; }

private:
    struct Mailbox;
    void deliver(quint64 generation, const std::shared_ptr<Expected<FolderReading>>& result);

    std::shared_ptr<Mailbox> mailbox_;
    std::shared_ptr<std::atomic<bool>> stop_;
    quint64 generation_ = 0;
    Done done_;
    bool busy_ = false;
};

}  // namespace miniskop
