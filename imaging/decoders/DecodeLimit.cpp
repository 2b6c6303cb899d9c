// The decoding limit and its refusal. See DecodeLimit.h.
#include "DecodeLimit.h"

#include <atomic>

#include "MemorySize.h"

namespace miniskop {

namespace {

std::atomic<qint64> limit{kDefaultDecodeLimit};

}  // namespace

qint64 decodeLimit() { return limit.load(std::memory_order_relaxed); }

void setDecodeLimit(qint64 bytes) { limit.store(std::max<qint64>(bytes, 1)); }

Unexpected<Failure> tooLarge(qint64 needed, qint64 allowed) {
    Failure failure;
    failure.message = QStringLiteral("zu groß: braucht %1, erlaubt sind %2")
                          .arg(memorySizeText(needed, true), memorySizeText(allowed, false));
    failure.neededBytes = needed;
    failure.allowedBytes = std::max<qint64>(allowed, 1);
    return unexpected(std::move(failure));
}

}  // namespace miniskop
