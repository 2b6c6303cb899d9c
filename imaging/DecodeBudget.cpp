// The shared budget of decoding memory. See DecodeBudget.h.
#include "DecodeBudget.h"

#include <algorithm>

namespace miniskop {

DecodeBudget::Grant& DecodeBudget::Grant::operator=(Grant&& other) noexcept {
    if (this != &other) {
        release();
        owner_ = other.owner_;
        bytes_ = other.bytes_;
        other.owner_ = nullptr;
    }
    return *this;
}

void DecodeBudget::Grant::release() {
    if (owner_ != nullptr) owner_->give(bytes_);
    owner_ = nullptr;
}

bool DecodeBudget::fitsLocked(qint64 bytes) const {
    if (alone_) return false;
    if (bytes > budget_ / 2) return inFlight_ == 0;
    return inFlight_ + bytes <= budget_;
}

DecodeBudget::Grant DecodeBudget::acquire(qint64 bytes) {
    bytes = std::max<qint64>(bytes, 0);
    std::unique_lock lock(mutex_);
    const quint64 ticket = nextTicket_++;
    freed_.wait(lock, [&] { return ticket == serving_ && fitsLocked(bytes); });
    ++serving_;
    inFlight_ += bytes;
    alone_ = bytes > budget_ / 2;
    peak_ = std::max(peak_, inFlight_);
    lock.unlock();
    // The next request may fit beside this one.
    freed_.notify_all();
    return Grant(this, bytes);
}

void DecodeBudget::give(qint64 bytes) {
    {
        std::lock_guard lock(mutex_);
        inFlight_ -= bytes;
        if (inFlight_ == 0) alone_ = false;
    }
    freed_.notify_all();
}

qint64 DecodeBudget::inFlight() const {
    std::lock_guard lock(mutex_);
    return inFlight_;
}

qint64 DecodeBudget::peak() const {
    std::lock_guard lock(mutex_);
    return peak_;
}

int DecodeBudget::waiting() const {
    std::lock_guard lock(mutex_);
    return int(nextTicket_ - serving_);
}

}  // namespace miniskop
