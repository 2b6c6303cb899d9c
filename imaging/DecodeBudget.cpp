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

DecodeBudget::Grant DecodeBudget::acquire(qint64 bytes) {
    bytes = std::max<qint64>(bytes, 0);
    std::unique_lock lock(mutex_);
    freed_.wait(lock, [&] { return inFlight_ == 0 || inFlight_ + bytes <= budget_; });
    inFlight_ += bytes;
    peak_ = std::max(peak_, inFlight_);
    return Grant(this, bytes);
}

void DecodeBudget::give(qint64 bytes) {
    {
        std::lock_guard lock(mutex_);
        inFlight_ -= bytes;
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

}  // namespace miniskop
