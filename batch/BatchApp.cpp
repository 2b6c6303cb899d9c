// One invocation of miniskop-batch. See BatchApp.h.
#include "BatchApp.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <map>
#include <memory>

#include "BatchHost.h"
#include "BatchOptions.h"
#include "DecodeLimit.h"
#include "FileList.h"
#include "FileNameBytes.h"
#include "FileNames.h"
#include "FolderWalk.h"
#include "InterruptFlag.h"
#include "PictureWorkQueue.h"
#include "SettingsFile.h"
#include "TerminalText.h"
#include "ThumbnailRun.h"
#include "Trimming.h"

#ifndef MINISKOP_VERSION
#define MINISKOP_VERSION "unknown"
#endif

namespace miniskop {

namespace {

// Names go out as the bytes the file system holds, as find prints them; on
// a terminal without their control characters.
void put(std::FILE* stream, const QString& text) {
    const bool terminal = ::isatty(::fileno(stream)) == 1;
    std::fputs(nameToBytes(terminal ? printableOnTerminal(text) : text).constData(), stream);
    std::fflush(stream);
}

// Messages name files for the eye, wherever standard error goes.
void complain(std::FILE* err, const QString& message) {
    put(err, QStringLiteral("miniskop-batch: ") + printableOnTerminal(message) + QLatin1Char('\n'));
}

}  // namespace

QString batchSettingsFile(const QString& programDir, const QString& userConfigDir) {
    const QString primary = settingsFilePath(programDir, userConfigDir);
    if (QFileInfo(primary).isFile()) return primary;
    if (!userConfigDir.isEmpty()) {
        const QString user = QDir(userConfigDir).filePath(QString::fromLatin1(kSettingsFileName));
        if (QFileInfo(user).isFile()) return user;
    }
    return {};
}

namespace {

// The folders of the call, listed when their turn comes (or a little ahead,
// for the workers' look-ahead across a folder's end), so that a tree of many
// folders is never held listed all at once.
class FolderLists {
public:
    FolderLists(QStringList folders, QString pattern)
        : folders_(std::move(folders)), pattern_(std::move(pattern)) {}

    int count() const { return int(folders_.size()); }
    const QString& folder(int k) const { return folders_[k]; }

    // The list of folder k; the listing is used once and then forgotten.
    Expected<QStringList> take(int k) {
        Expected<QStringList> listed = list(k);
        lists_.erase(k);
        return listed;
    }

    // Full paths of up to `count` pictures of the folders after k.
    QStringList picturesAfter(int k, int count) {
        QStringList paths;
        for (int next = k + 1; next < this->count() && paths.size() < count; ++next) {
            const Expected<QStringList> listed = list(next);
            if (!listed) continue;
            const QString folder = withClosingSeparator(folders_[next]);
            for (const QString& entry : *listed) {
                if (paths.size() >= count) break;
                paths.append(folder + entry);
            }
        }
        return paths;
    }

private:
    Expected<QStringList> list(int k) {
        auto it = lists_.find(k);
        if (it == lists_.end()) it = lists_.emplace(k, listFolder(folders_[k], pattern_)).first;
        return it->second;
    }

    QStringList folders_;
    QString pattern_;
    std::map<int, Expected<QStringList>> lists_;
};

struct Totals {
    int folders = 0;
    int made = 0;
    int kept = 0;
    int failed = 0;         // pictures without a thumbnail, also those of a folder that failed
    int foldersFailed = 0;  // folders not read, or whose thumbnail folder could not be used
};

// Says how one folder's run went, as a call for that folder alone would; the
// exit status it deserves.
int reportRun(const BatchEnvironment& env, const ThumbnailRun::Outcome& outcome,
              const BatchHost& host) {
    // A run that started (the list was not empty) ends with the count and the
    // closing text; an empty list ends with its message instead.
    if (outcome.started) {
        put(env.out, host.label4() + QLatin1Char('\n') + host.label15() + QLatin1Char('\n'));
    }
    if (outcome.pageWritten) put(env.out, outcome.pagePath + QLatin1Char('\n'));

    if (!outcome.started || outcome.folderFailed) return kExitFailure;
    bool success = outcome.pageWritten && outcome.failed == 0;
    if (outcome.failed > 0) {
        complain(env.err, QStringLiteral("%1 of %2 pictures failed")
                              .arg(outcome.failed)
                              .arg(outcome.finished - outcome.ourThumbnails));
    }
    if (host.cancelled()) {
        complain(env.err, QStringLiteral("cancelled after %1 of %2 pictures")
                              .arg(outcome.finished)
                              .arg(host.fileListCount()));
        success = false;
    }
    if (!outcome.pageWritten) {
        QString message = QStringLiteral("the overview page was not written");
        if (!outcome.pageError.isEmpty()) message += QStringLiteral(": ") + outcome.pageError;
        complain(env.err, message);
    }
    return success ? kExitSuccess : kExitFailure;
}

}  // namespace

int runBatch(const BatchEnvironment& env) {
    Expected<BatchOptions> parsed = parseBatchArguments(env.arguments);
    if (!parsed) {
        complain(env.err, parsed.error().message);
        put(env.err, batchUsageText());
        return kExitUsage;
    }
    const BatchOptions& options = *parsed;
    if (options.help) {
        put(env.out, batchUsageText());
        return kExitSuccess;
    }
    if (options.version) {
        put(env.out, QStringLiteral("miniskop-batch " MINISKOP_VERSION "\n"));
        return kExitSuccess;
    }

    // Settings: the desktop program's file, never written here, then the options.
    ThumbSettings settings;
    const QString iniPath = batchSettingsFile(env.programDir, env.userConfigDir);
    if (!iniPath.isEmpty()) Ini_Lesen(settings, iniPath, DefaultsWrite::Never);
    applyBatchOptions(options, settings);

    FolderWalkRequest request;
    request.given = options.folders;
    request.currentDir = currentFolder();
    request.recursive = options.recursive;
    request.followLinks = options.followLinks;
    request.pattern = options.pattern;
    request.thumbnailFolder = trimSpaces(settings.nameOrdner);
    request.pageName = trimSpaces(settings.nameHTML);
    const FolderWalk walk = walkFolders(request);
    int status = kExitSuccess;
    Totals totals;
    for (const QString& problem : walk.problems) {
        complain(env.err, problem);
        status = kExitFailure;
        ++totals.foldersFailed;
    }
    if (walk.folders.isEmpty()) {
        if (walk.problems.isEmpty()) {
            complain(env.err,
                     QStringLiteral("no pictures matching \"%1\" in %2")
                         .arg(options.pattern, options.folders.join(QStringLiteral(", "))));
        }
        return kExitFailure;
    }

    BatchHostOptions hostOptions;
    hostOptions.enlarge = options.enlarge;
    hostOptions.showProgress = env.stderrIsTerminal && !options.quiet;
    hostOptions.terminal = env.stderrIsTerminal;
    hostOptions.colour = env.colour;
    // The bar with its brackets fits the terminal, at most 50 cells wide.
    const int columns = env.terminalColumns > 0 ? env.terminalColumns : 80;
    hostOptions.barColumns = std::clamp(columns - 3, 10, 50);

    // The memory the pictures being decoded share, before any is read.
    setDecodeLimit(options.memory.value_or(kDefaultDecodeLimit));

    // One set of workers for every folder, so that the pictures of the next
    // folders are decoded while one folder ends and writes its page.
    const int jobs = options.jobs.value_or(ThumbnailRun::defaultJobs());
    const bool several = walk.folders.size() > 1;
    std::shared_ptr<PictureWorkQueue> workers;
    if (several && jobs > 1) workers = std::make_shared<PictureWorkQueue>(jobs);

    FolderLists lists(walk.folders, options.pattern);
    InterruptFlag::install();
    int position = 0;
    for (int k = 0; k < lists.count(); ++k) {
        const Expected<QStringList> entries = lists.take(k);
        if (!entries) {
            // Gone or unreadable since the walk: named, and the others go on.
            complain(
                env.err,
                QStringLiteral("cannot list %1: %2").arg(lists.folder(k), entries.error().message));
            status = kExitFailure;
            ++totals.foldersFailed;
            continue;
        }
        BatchHost host(lists.folder(k), *entries, settings, hostOptions, env.err);
        if (several) host.announceFolder(k + 1, lists.count());
        ThumbnailRun run(host, jobs);
        if (workers) {
            run.shareWorkers(workers, position);
            host.setPicturesAfter([&lists, k](int count) { return lists.picturesAfter(k, count); });
        }
        run.setKeepCurrentThumbnails(options.update);
        host.setRun(&run);
        run.Command1_Click();
        host.finishProgress();

        const ThumbnailRun::Outcome& outcome = run.lastOutcome();
        status = std::max(status, reportRun(env, outcome, host));
        position += int(entries->size());
        ++totals.folders;
        totals.kept += outcome.kept;
        totals.failed += outcome.failed;
        totals.made += outcome.finished - outcome.failed - outcome.kept - outcome.ourThumbnails;
        if (outcome.folderFailed) {
            // None of its pictures got a thumbnail.
            ++totals.foldersFailed;
            totals.failed += host.fileListCount();
        }
        if (host.cancelled()) {
            if (k + 1 < lists.count()) {
                complain(env.err, QStringLiteral("%1 of %2 folders not run")
                                      .arg(lists.count() - k - 1)
                                      .arg(lists.count()));
            }
            break;
        }
    }

    if (several || options.recursive || options.update) {
        QString summary = QStringLiteral(
                              "%1 folders: %2 thumbnails made, %3 kept as up to date, "
                              "%4 failed")
                              .arg(totals.folders)
                              .arg(totals.made)
                              .arg(totals.kept)
                              .arg(totals.failed);
        if (totals.foldersFailed > 0) {
            summary += QStringLiteral(", %1 folders failed").arg(totals.foldersFailed);
        }
        put(env.out, summary + QLatin1Char('\n'));
    }
    return status;
}

}  // namespace miniskop
