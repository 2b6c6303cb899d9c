// One budget of bytes for the pictures being decoded at once by several
// threads. A decode asks for the bytes it will hold and waits while they
// would take the pictures in flight past the budget. A picture that needs
// more than half the budget runs alone: it waits until nothing else is in
// flight, and nothing else starts while it runs. Requests are served in the
// order they came, so a large picture is never passed over for ever by small
// ones, and since every grant ends when its decode does, the threads never
// wait on each other in a circle, however large all the pictures are. So
// eight threads on a folder of huge pictures hold about the budget, not
// eight times the largest picture. (A picture needing more than the whole
// budget is refused before it asks: see DecodeLimit.h.)
#pragma once

#include <QtGlobal>
#include <condition_variable>
#include <mutex>

#include "DecodeLimit.h"

namespace miniskop {

class DecodeBudget {
public:
    // By default the decoding limit in force: as much as one picture may take.
    explicit DecodeBudget(qint64 bytes = decodeLimit()) : budget_(bytes) {}
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

    // Waits for the requests before it, then until `bytes` fit (more than
    // half the budget: until nothing else is in flight), then holds them.
    Grant acquire(qint64 bytes);

    qint64 budget() const { return budget_; }
    qint64 inFlight() const;
    qint64 peak() const;  // the most ever held at once
    int waiting() const;  // requests not granted yet

private:
    void give(qint64 bytes);
    bool fitsLocked(qint64 bytes) const;

    const qint64 budget_;
    mutable std::mutex mutex_;
    std::condition_variable freed_;
    qint64 inFlight_ = 0;
    qint64 peak_ = 0;
    bool alone_ = false;      // a picture of more than half the budget is in flight
    quint64 nextTicket_ = 0;  // handed to the next request
    quint64 serving_ = 0;     // the request whose turn it is
};

}  // namespace miniskop
