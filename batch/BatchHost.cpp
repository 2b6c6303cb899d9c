// Terminal implementation of the run's host.
#include "BatchHost.h"

#include <QCoreApplication>

#include "FileNameBytes.h"
#include "InterruptFlag.h"
#include "MemorySize.h"
#include "TerminalText.h"
#include "ThumbnailRun.h"

namespace miniskop {

BatchHost::BatchHost(QString folder, QStringList entries, ThumbSettings settings,
                     BatchHostOptions options, std::FILE* err)
    : folder_(std::move(folder)),
      entries_(std::move(entries)),
      settings_(std::move(settings)),
      options_(options),
      err_(err),
      surface_(options.barColumns) {}

QString BatchHost::fileListEntry(int i) const {
    if (i < 0 || i >= entries_.size()) return {};
    return entries_[i];
}

void BatchHost::progressChanged() {
    if (!options_.showProgress) return;
    // The cleared bar at the start is not worth a line of its own.
    if (surface_.isBlank() && !progressLineOpen_) return;
    const QString line = options_.colour ? surface_.colouredLine() : surface_.plainLine();
    std::fputs(nameToBytes(QLatin1Char('\r') + line).constData(), err_);
    std::fflush(err_);
    progressLineOpen_ = true;
}

void BatchHost::MsgBox(const QString& text, MessageIcon icon, const QString& title) {
    Q_UNUSED(icon);
    writeError(title.isEmpty() ? text : title + QStringLiteral(": ") + text);
}

void BatchHost::DoEvents() {
    QCoreApplication::processEvents();
    // A Ctrl-C is the cancel click; it only means something while the run is
    // walking the list (a click when idle would start a new run).
    if (!cancelled_ && InterruptFlag::raised() && run_ != nullptr &&
        run_->state() == ThumbnailRun::State::Running) {
        cancelled_ = true;
        run_->Command1_Click();
    }
}

void BatchHost::announceFolder(int number, int folders) {
    if (!options_.showProgress) return;
    const QString line = QStringLiteral("folder %1/%2 (%3 pictures): %4\n")
                             .arg(number)
                             .arg(folders)
                             .arg(entries_.size())
                             .arg(printableOnTerminal(folder_));
    std::fputs(nameToBytes(line).constData(), err_);
    std::fflush(err_);
}

void BatchHost::pictureFailed(const QString& path, const QString& reason) {
    writeError(reason.isEmpty() ? path : path + QStringLiteral(": ") + reason);
}

void BatchHost::thumbnailFolderFailed(const QString& reason) {
    writeError(runtext::kErrorTitle + QStringLiteral(": ") + runtext::kFolderFailed +
               QStringLiteral(" (") + reason + QLatin1Char(')'));
}

void BatchHost::waitingForFolder(const QString& folder) {
    if (!options_.terminal) return;
    writeError(QStringLiteral("miniskop-batch: waiting for another run working in ") + folder);
}

QString BatchHost::tooLargeReason(const Failure& failure) const {
    return QStringLiteral("too large: needs %1, allowed %2")
        .arg(memorySizeText(failure.neededBytes, true),
             memorySizeText(failure.allowedBytes, false));
}

void BatchHost::finishProgress() {
    if (!progressLineOpen_) return;
    std::fputs("\n", err_);
    std::fflush(err_);
    progressLineOpen_ = false;
}

void BatchHost::writeError(const QString& line) {
    const bool barShown = progressLineOpen_;
    if (barShown) {
        // Wipe the bar, write the message in its place, draw the bar again below.
        const QString blank(surface_.columns() + 2, QLatin1Char(' '));
        std::fputs(nameToBytes(QLatin1Char('\r') + blank + QLatin1Char('\r')).constData(), err_);
        progressLineOpen_ = false;
    }
    std::fputs(nameToBytes(printableOnTerminal(line) + QLatin1Char('\n')).constData(), err_);
    std::fflush(err_);
    if (barShown) progressChanged();
}

}  // namespace miniskop
