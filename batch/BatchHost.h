// The run's host on a terminal: the file list is one folder listed once, the
// settings come from the file and the options, message boxes and failed
// pictures go to stderr, the progress bar is drawn in character cells and
// shown on stderr when that is a terminal. A Ctrl-C seen in DoEvents becomes
// the cancel click.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdio>
#include <functional>

#include "RunHost.h"
#include "TerminalProgressSurface.h"
#include "ThumbSettings.h"

namespace miniskop {

class ThumbnailRun;

struct BatchHostOptions {
    bool enlarge = false;
    bool showProgress = false;  // stderr is a terminal and not --quiet
    bool terminal = false;      // stderr is a terminal
    bool colour = false;        // the terminal takes colour escapes
    int barColumns = 40;
};

class BatchHost : public RunHost {
public:
    BatchHost(QString folder, QStringList entries, ThumbSettings settings, BatchHostOptions options,
              std::FILE* err);

    // The run whose Command1_Click a Ctrl-C calls.
    void setRun(ThumbnailRun* run) { run_ = run; }

    // Where the pictures after this folder's list come from (the next
    // folders of the call), for the run's look-ahead.
    void setPicturesAfter(std::function<QStringList(int)> after) { after_ = std::move(after); }
    QStringList picturesAfterList(int count) const override {
        return after_ ? after_(count) : QStringList();
    }

    // With several folders: a line naming the folder in hand, its number and
    // how many pictures it holds, shown above the bar (terminal only).
    void announceFolder(int number, int folders);

    QString fileListPath() const override { return folder_; }
    int fileListCount() const override { return static_cast<int>(entries_.size()); }
    QString fileListEntry(int i) const override;

    const ThumbSettings& settings() const override { return settings_; }
    bool enlargeChecked() const override { return options_.enlarge; }

    void setCommand1Caption(const QString&) override {}
    void setViewButtonsEnabled(bool) override {}
    void setLabel4(const QString& text) override { label4_ = text; }
    void setLabel15(const QString& text) override { label15_ = text; }
    ProgressSurface& picProgress() override { return surface_; }
    void progressChanged() override;
    void setMousePointer(MousePointer) override {}
    void MsgBox(const QString& text, MessageIcon icon, const QString& title) override;
    void DoEvents() override;
    void setCurrentPagePath(const QString&) override {}
    void pageWritten(const QString&) override {}
    void pictureFailed(const QString& path, const QString& reason) override;
    // The message box's line, followed by the folder and the system's reason.
    void thumbnailFolderFailed(const QString& reason) override;
    // Said on a terminal only: elsewhere nobody is watching the wait.
    void waitingForFolder(const QString& folder) override;
    // In the tool's English: "too large: needs 1.5 GB, allowed 1 GB".
    QString tooLargeReason(const Failure& failure) const override;

    // Ends an open progress line so that what follows starts on a new line.
    void finishProgress();

    const QString& label4() const { return label4_; }
    const QString& label15() const { return label15_; }
    bool cancelled() const { return cancelled_; }

private:
    void writeError(const QString& line);

    QString folder_;
    QStringList entries_;
    ThumbSettings settings_;
    BatchHostOptions options_;
    std::FILE* err_;
    TerminalProgressSurface surface_;
    ThumbnailRun* run_ = nullptr;
    std::function<QStringList(int)> after_;
    QString label4_;
    QString label15_;
    bool progressLineOpen_ = false;
    bool cancelled_ = false;
};

}  // namespace miniskop
