// Worker threads and the hand-over of finished picture work. See
// PictureWorkQueue.h. One mutex guards the queue, the slots and every slot's
// fields; the pixel work itself runs outside it on data only its worker sees.
#include "PictureWorkQueue.h"

#include <algorithm>
#include <system_error>

namespace miniskop {

PictureWorkQueue::PictureWorkQueue(int threads, qint64 decodeBudget) : budget_(decodeBudget) {
    const int count = std::max(1, threads);
    for (int i = 0; i < count; ++i) {
        try {
            workers_.emplace_back([this] { workerLoop(); });
        } catch (const std::system_error&) {
            break;  // fewer threads than asked for; none: take() works inline
        }
    }
}

PictureWorkQueue::~PictureWorkQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (const auto& [position, slot] : slots_) slot->dropped = true;
        queue_.clear();
        slots_.clear();
    }
    workQueued_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void PictureWorkQueue::workerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        workQueued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        SlotPtr slot = std::move(queue_.front());
        queue_.pop_front();
        slot->started = true;
        const PictureKey key = slot->key;
        lock.unlock();

        PictureWork work = makePictureWork(key, &budget_);

        lock.lock();
        if (!slot->dropped) slot->work = std::move(work);
        slot->done = true;
        slot.reset();
        workDone_.notify_all();
        // A dropped result goes with `work` here; releasing pixels under the
        // lock is short and keeps the order simple.
    }
}

void PictureWorkQueue::dropLocked(const SlotPtr& slot) {
    slot->dropped = true;
    slot->work = PictureWork{};
    const auto queued = std::find(queue_.begin(), queue_.end(), slot);
    if (queued != queue_.end()) queue_.erase(queued);
}

PictureWorkQueue::SlotPtr PictureWorkQueue::queueLocked(int position, const PictureKey& key,
                                                        bool urgent) {
    auto slot = std::make_shared<Slot>();
    slot->key = key;
    if (const auto held = slots_.find(position); held != slots_.end()) dropLocked(held->second);
    slots_[position] = slot;
    if (urgent) {
        queue_.push_front(slot);
    } else {
        queue_.push_back(slot);
    }
    workQueued_.notify_one();
    return slot;
}

void PictureWorkQueue::prefetch(int position, const PictureKey& key) {
    if (workers_.empty()) return;
    std::lock_guard lock(mutex_);
    const auto held = slots_.find(position);
    if (held != slots_.end() && held->second->key == key) return;
    queueLocked(position, key, false);
}

PictureWork PictureWorkQueue::take(int position, const PictureKey& key,
                                   const std::function<void()>& pump) {
    if (workers_.empty()) return makePictureWork(key, &budget_);

    std::unique_lock lock(mutex_);
    // Work for positions already passed is of no use any more.
    for (auto it = slots_.begin(); it != slots_.end() && it->first < position;) {
        dropLocked(it->second);
        it = slots_.erase(it);
    }

    SlotPtr slot;
    if (const auto held = slots_.find(position); held != slots_.end() && held->second->key == key) {
        slot = held->second;
        // Still queued: the picture in hand goes before the ones ahead.
        const auto queued = std::find(queue_.begin(), queue_.end(), slot);
        if (queued != queue_.end() && queued != queue_.begin()) {
            queue_.erase(queued);
            queue_.push_front(slot);
        }
    } else {
        slot = queueLocked(position, key, true);
    }

    auto slice = kFirstSlice;
    for (;;) {
        // Something the pump ran dropped this work (queued, or its result
        // thrown away while a worker had it): it is queued again, first. The
        // calling thread never does the pixel work itself.
        if (slot->dropped) slot = queueLocked(position, key, true);
        if (workDone_.wait_for(lock, slice, [&] { return slot->done || slot->dropped; })) {
            if (slot->done && !slot->dropped) break;
            continue;
        }
        slice = kSlice;
        lock.unlock();
        if (pump) pump();
        lock.lock();
    }

    PictureWork work = std::move(slot->work);
    if (const auto held = slots_.find(position); held != slots_.end() && held->second == slot)
        slots_.erase(held);
    return work;
}

void PictureWorkQueue::discardAll() {
    std::lock_guard lock(mutex_);
    for (const auto& [position, slot] : slots_) dropLocked(slot);
    slots_.clear();
    queue_.clear();
}

void PictureWorkQueue::discardBefore(int position) {
    std::lock_guard lock(mutex_);
    for (auto it = slots_.begin(); it != slots_.end() && it->first < position;) {
        dropLocked(it->second);
        it = slots_.erase(it);
    }
}

int PictureWorkQueue::held() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(slots_.size());
}

}  // namespace miniskop
