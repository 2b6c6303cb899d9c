// The command line of miniskop-batch: which options there are, how they are
// read, how they change the settings record, and the usage text. Reading the
// arguments is separate from applying them so that every usage error is found
// before any file is touched.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "Expected.h"
#include "ThumbSettings.h"

namespace miniskop {

// The file pattern the window starts with.
inline constexpr char kDefaultBatchPattern[] = "*.bmp;*.jpg;*.jpeg;*.gif;*.wmf";

// The most pictures --jobs lets the tool work on at once.
inline constexpr int kMaxBatchJobs = 256;

// The least memory --memory accepts for decoding: below it hardly a
// photograph could be made.
inline constexpr qint64 kMinBatchMemory = qint64(16) << 20;

struct BatchOptions {
    QString pattern = QString::fromLatin1(kDefaultBatchPattern);
    std::optional<QString> size;        // groesseMin
    std::optional<QString> perRow;      // anzTabelle
    std::optional<QString> pageName;    // nameHTML
    std::optional<QString> folderName;  // nameOrdner
    std::optional<int> quality;         // qJPG, already known to lie in 1 to 100
    std::optional<QString> prefix;      // prefix mode with this affix
    std::optional<QString> suffix;      // suffix mode with this affix
    std::optional<int> jobs;            // pictures worked on at once, 1 to kMaxBatchJobs
    std::optional<qint64> memory;       // bytes for decoding, kMinBatchMemory or more
    bool enlarge = false;
    bool quiet = false;
    bool recursive = false;    // every folder of the trees below the folders given
    bool followLinks = false;  // with recursive: also enter links to folders
    bool update = false;       // keep thumbnails that are current
    bool help = false;
    bool version = false;
    QStringList folders;  // as given, in order
};

// Reads the arguments (without the program name). Options take their value
// as the next argument or after "=" (--size=80); "--" ends the options. A
// failure is a usage error; its message says what was wrong.
Expected<BatchOptions> parseBatchArguments(const QStringList& arguments);

// Overrides the fields of `settings` that the options name.
void applyBatchOptions(const BatchOptions& options, ThumbSettings& settings);

// The usage text, ending with a line break.
QString batchUsageText();

}  // namespace miniskop
