// One invocation of miniskop-batch. See BatchApp.h.
#include "BatchApp.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "BatchHost.h"
#include "BatchOptions.h"
#include "FileList.h"
#include "InterruptFlag.h"
#include "SettingsFile.h"
#include "ThumbnailRun.h"

#ifndef MINISKOP_VERSION
#define MINISKOP_VERSION "unknown"
#endif

namespace miniskop {

namespace {

void put(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

void complain(std::FILE* err, const QString& message) {
    put(err, QStringLiteral("miniskop-batch: ") + message + QLatin1Char('\n'));
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

    const QString folder = QDir::cleanPath(QDir::current().absoluteFilePath(options.folder));
    FileList list;
    if (Status s = list.setPattern(options.pattern); !s) {
        complain(env.err, s.error().message);
        put(env.err, batchUsageText());
        return kExitUsage;
    }
    if (Status s = list.setPath(folder); !s) {
        complain(env.err, QStringLiteral("cannot list %1: %2").arg(folder, s.error().message));
        return kExitFailure;
    }

    BatchHostOptions hostOptions;
    hostOptions.enlarge = options.enlarge;
    hostOptions.showProgress = env.stderrIsTerminal && !options.quiet;
    hostOptions.colour = env.colour;
    // The bar with its brackets fits the terminal, at most 50 cells wide.
    const int columns = env.terminalColumns > 0 ? env.terminalColumns : 80;
    hostOptions.barColumns = std::clamp(columns - 3, 10, 50);

    BatchHost host(list.path(), list.entries(), settings, hostOptions, env.err);
    ThumbnailRun run(host, options.jobs.value_or(ThumbnailRun::defaultJobs()));
    host.setRun(&run);
    InterruptFlag::install();
    run.Command1_Click();
    host.finishProgress();

    const ThumbnailRun::Outcome& outcome = run.lastOutcome();
    // A run that started (the list was not empty) ends with the count and the
    // closing text; an empty list ends with its message instead.
    if (outcome.started) {
        put(env.out, host.label4() + QLatin1Char('\n') + host.label15() + QLatin1Char('\n'));
    }
    if (outcome.pageWritten) put(env.out, outcome.pagePath + QLatin1Char('\n'));

    if (!outcome.started || outcome.folderFailed) return kExitFailure;
    bool success = outcome.pageWritten && outcome.failed == 0;
    if (outcome.failed > 0) {
        complain(
            env.err,
            QStringLiteral("%1 of %2 pictures failed").arg(outcome.failed).arg(outcome.finished));
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

}  // namespace miniskop
