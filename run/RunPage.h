// The run's last step, html: the overview page of the run's entries, written
// into the thumbnail folder of the list's folder as the settings are now. The
// host learns the page's path before it is written and is told once it is
// there (the view buttons come on, the internal browser opens it).
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "OverwriteGuard.h"
#include "RunHost.h"
#include "ThumbnailFolder.h"

namespace miniskop {

struct PageOutcome {
    bool written = false;
    QString path;   // where the page was written
    QString error;  // why it was not (empty when it was)
};

// Writes the page of `ThumbEntries` with `anzProZeile` cells a row into the
// thumbnail folder of `folders` it belongs in. A failing step ends the page
// there (no page, no view buttons) and says why; the page never replaces one
// of the list's pictures (`listed`), nor any file but a page of ours.
PageOutcome html(RunHost& host, const QStringList& ThumbEntries, qint16 anzProZeile,
                 ListedPictures& listed, RunFolders& folders);

}  // namespace miniskop
