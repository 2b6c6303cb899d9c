// What the thumbnail run reads and shows, as an interface: the main window
// implements it with its controls, the batch tool with a terminal, tests with a
// recording host. The run itself is written once, against this.
#pragma once

#include <QString>
#include <QStringList>

#include "Expected.h"
#include "ProgressSurface.h"
#include "RunTexts.h"
#include "ThumbSettings.h"

namespace miniskop {

enum class MessageIcon { Plain, Information, Critical };
enum class MousePointer { Default, Arrow, Hourglass };

class RunHost {
public:
    virtual ~RunHost() = default;

    // The file list File1, read afresh at each use.
    virtual QString fileListPath() const = 0;
    virtual int fileListCount() const = 0;
    virtual QString fileListEntry(int i) const = 0;  // empty text past the end

    // The settings record and the enlarge check box Check1, read at each use.
    virtual const ThumbSettings& settings() const = 0;
    virtual bool enlargeChecked() const = 0;

    // What the run shows.
    virtual void setCommand1Caption(const QString& caption) = 0;
    virtual void setViewButtonsEnabled(bool enabled) = 0;  // Command5 and Command2
    virtual void setLabel4(const QString& text) = 0;
    virtual void setLabel15(const QString& text) = 0;
    virtual ProgressSurface& picProgress() = 0;
    // Called after each UpdateProgress so the surface can be shown.
    virtual void progressChanged() {}
    virtual void setMousePointer(MousePointer pointer) = 0;
    // A modal message box with an OK button; returns when it is closed.
    virtual void MsgBox(const QString& text, MessageIcon icon, const QString& title) = 0;

    // Lets pending events through (a cancel click arrives here).
    virtual void DoEvents() = 0;

    // The page writer's results: the current page path (tag of Command2) is
    // set before the page is written; pageWritten reopens the internal browser.
    virtual void setCurrentPagePath(const QString& path) = 0;
    virtual void pageWritten(const QString& path) = 0;

    // The pictures a following run takes up once this list is done (the batch
    // tool's next folders), at most `count` full paths in order, so the
    // workers can start on them ahead. None by default.
    virtual QStringList picturesAfterList(int count) const {
        Q_UNUSED(count);
        return {};
    }

    // The text of the message a start click with an empty list shows; `text`
    // is the run's own. A host that knows why the list is empty may say so.
    virtual QString emptyListMessage(const QString& text) const { return text; }

    // The thumbnail folder could not be made or used (the run ends there);
    // `reason` names the folder and why. The run's message box by default.
    virtual void thumbnailFolderFailed(const QString& reason) {
        Q_UNUSED(reason);
        MsgBox(runtext::kFolderFailed, MessageIcon::Critical, runtext::kErrorTitle);
    }

    // Another run is working in the thumbnail `folder`; this one waits,
    // letting events through, until that run is done or this one is cancelled.
    virtual void waitingForFolder(const QString& folder) { Q_UNUSED(folder); }

    // The reason given for a picture refused because decoding it would take
    // more memory than allowed; `failure` carries both amounts. The run's
    // own words ("zu groß: braucht 1.5 GB, erlaubt sind 1 GB") by default.
    virtual QString tooLargeReason(const Failure& failure) const { return failure.message; }

    // A picture whose thumbnail could not be made (it still gets its entry).
    virtual void pictureFailed(const QString& path, const QString& reason) {
        Q_UNUSED(path);
        Q_UNUSED(reason);
    }
};

}  // namespace miniskop
