// Decoding ahead for the thumbnail run: a fixed set of worker threads does the
// pixel work (PictureWork) of list positions the run has not reached yet. The
// run stays the only owner of the canvas, the entries and the files: it asks
// for the work of the picture in hand with the key it read at that picture's
// turn, and gets work done for exactly that key. Work for another key is thrown
// away and done again. While it waits, the run's event pump keeps being called,
// so the window stays responsive even while a huge picture decodes.
//
// Memory is bounded twice: the caller asks ahead for only a few positions, and
// each result is handed over (and released with it) once taken; and the
// pictures being decoded at once share one budget of bytes (DecodeBudget).
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "PictureWork.h"

namespace miniskop {

class PictureWorkQueue {
public:
    // How long take() blocks before it first lets events through, and then
    // between two calls of the pump.
    static constexpr std::chrono::milliseconds kFirstSlice{50};
    static constexpr std::chrono::milliseconds kSlice{20};

    // Starts `threads` workers (at least one is attempted; if none can be
    // started, take() does the work on the calling thread). The pictures
    // share `decodeBudget` bytes, by default the decoding limit in force.
    explicit PictureWorkQueue(int threads, qint64 decodeBudget = decodeLimit());
    ~PictureWorkQueue();  // drops queued work, waits for the running pictures
    PictureWorkQueue(const PictureWorkQueue&) = delete;
    PictureWorkQueue& operator=(const PictureWorkQueue&) = delete;

    int threads() const { return static_cast<int>(workers_.size()); }
    const DecodeBudget& budget() const { return budget_; }

    // Queues the work of list position `position` for `key`, unless work for
    // that key is already there. Work held for another key is dropped.
    void prefetch(int position, const PictureKey& key);

    // The work of `position` for exactly `key`, queued ahead of everything
    // else if it is not there yet. Blocks, calling `pump` every slice until a
    // worker has done it; work that the pump drops meanwhile is queued again,
    // so the calling thread never does pixel work while there are workers.
    // Work held for earlier positions is dropped.
    PictureWork take(int position, const PictureKey& key, const std::function<void()>& pump);

    // Drops every result not taken and all queued work; a picture being worked
    // on is finished by its worker and thrown away.
    void discardAll();
    // The same for the positions before `position` only: work queued ahead
    // for later positions (a following run's pictures) stays.
    void discardBefore(int position);

    // Positions held (queued, running or done, not yet taken).
    int held() const;

private:
    struct Slot {
        PictureKey key;
        bool started = false;
        bool done = false;
        bool dropped = false;
        PictureWork work;
    };
    using SlotPtr = std::shared_ptr<Slot>;

    void workerLoop();
    void dropLocked(const SlotPtr& slot);
    SlotPtr queueLocked(int position, const PictureKey& key, bool urgent);

    DecodeBudget budget_;
    mutable std::mutex mutex_;
    std::condition_variable workQueued_;
    std::condition_variable workDone_;
    std::deque<SlotPtr> queue_;     // not started yet, next first
    std::map<int, SlotPtr> slots_;  // by list position
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace miniskop
