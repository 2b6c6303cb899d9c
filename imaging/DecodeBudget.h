// One budget of bytes for the pictures being decoded at once by several
// threads. A decode asks for the bytes it will hold and waits while they
// would take the pictures in flight past the budget; a picture larger than
// the whole budget waits until nothing else is in flight and then runs alone.
// So eight threads on a folder of huge pictures hold about the budget, not
// eight times the largest picture.
#pragma once

#include <QtGlobal>
#include <condition_variable>
#include <mutex>

#include "DecodeLimit.h"

namespace miniskop {

// The default: as much as one picture may take.
inline constexpr qint64 kDefaultDecodeBudget = kMaxDecodedBytes;

class DecodeBudget {
public:
    explicit DecodeBudget(qint64 bytes = kDefaultDecodeBudget) : budget_(bytes) {}
    DecodeBudget(const DecodeBudget&) = delete;
    DecodeBudget& operator=(const DecodeBudget&) = delete;

    // Bytes held from acquire() until the grant ends.
    class Grant {
    public:
        Grant() = default;
        Grant(Grant&& other) noexcept : owner_(other.owner_), bytes_(other.bytes_) {
            other.owner_ = nullptr;
        }
        Grant& operator=(Grant&& other) noexcept;
        Grant(const Grant&) = delete;
        Grant& operator=(const Grant&) = delete;
        ~Grant() { release(); }
        void release();

    private:
        friend class DecodeBudget;
        Grant(DecodeBudget* owner, qint64 bytes) : owner_(owner), bytes_(bytes) {}
        DecodeBudget* owner_ = nullptr;
        qint64 bytes_ = 0;
    };

    // Waits until `bytes` fit (or nothing else is in flight), then holds them.
    Grant acquire(qint64 bytes);

    qint64 budget() const { return budget_; }
    qint64 inFlight() const;
    qint64 peak() const;  // the most ever held at once

private:
    void give(qint64 bytes);

    const qint64 budget_;
    mutable std::mutex mutex_;
    std::condition_variable freed_;
    qint64 inFlight_ = 0;
    qint64 peak_ = 0;
};

}  // namespace miniskop
