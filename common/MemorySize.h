// Amounts of memory as people write them: "1.5 GB" in messages, "512M" or
// "4G" on the command line. A gigabyte here is 1024 megabytes and a
// megabyte 1024 × 1024 bytes, as memory is counted.
#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace miniskop {

// `bytes` in gigabytes with one decimal from 1 GB up ("1 GB", "1.5 GB"),
// else in whole megabytes ("512 MB", at least "1 MB"). `upward` rounds up
// (what a picture needs), otherwise down (what is allowed), so that a need
// above the allowance never reads as the same amount.
QString memorySizeText(qint64 bytes, bool upward);

// A size like "4G", "1.5G", "512M", "512MB", "4GiB" or "2T": a number with an
// optional fraction, then K, M, G or T (any case, optionally followed by "B"
// or "iB"). A plain number or anything else gives std::nullopt.
std::optional<qint64> parseMemorySize(const QString& text);

}  // namespace miniskop
