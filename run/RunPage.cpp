// The overview page at the end of a run. See RunPage.h.
#include "RunPage.h"

#include <optional>

#include "FileNames.h"
#include "NumericValue.h"
#include "OverviewPage.h"
#include "RunTexts.h"
#include "ThumbnailNaming.h"
#include "Trimming.h"

namespace miniskop {

PageOutcome html(RunHost& host, const QStringList& ThumbEntries, qint16 anzProZeile,
                 ListedPictures& listed, RunFolders& folders) {
    PageOutcome outcome;
    host.setMousePointer(MousePointer::Hourglass);
    const ThumbSettings& settings = host.settings();

    // Thumbnail size for the page. Skipped (no page) when it does not fit in
    // 16 bits.
    const std::optional<qint16> sizeS = numericValueInt16(settings.groesseMin);
    if (!sizeS) {
        outcome.error = QStringLiteral("Thumbnail-Größe ungültig: %1").arg(settings.groesseMin);
        host.setMousePointer(MousePointer::Arrow);
        return outcome;
    }
    const QString pictureFolder = withClosingSeparator(host.fileListPath());

    // A page name of blanks only would name the thumbnail folder itself; it is
    // treated like an empty one.
    const QString pageName = trimSpaces(settings.nameHTML);
    if (pageName.isEmpty()) {
        outcome.error = runtext::kNoPageName;
        host.MsgBox(runtext::kNoPageName, MessageIcon::Information, runtext::kInfoTitle);
        host.setMousePointer(MousePointer::Arrow);
        return outcome;
    }

    const QString folderName = trimSpaces(settings.nameOrdner);
    const QString pagePath =
        inThumbnailFolder(thumbnailFolder(pictureFolder, folderName), pageName);
    const auto refuse = [&](const QString& why) {
        outcome.error = why;
        host.setMousePointer(MousePointer::Arrow);
        return outcome;
    };
    // The page never replaces one of the list's pictures either, nor any
    // other file but a page this program wrote.
    if (const QString picture = listed.pictureAt(pagePath, host); !picture.isEmpty()) {
        return refuse(QStringLiteral("the page would overwrite the picture %1").arg(picture));
    }
    const Expected<const ThumbnailFolder*> folder = folders.at(pictureFolder, folderName);
    if (!folder) return refuse(folder.error().message);
    const ThumbnailFolder::Occupant seen = (*folder)->pageAt(pageName);
    if (seen == ThumbnailFolder::Occupant::Foreign) {
        return refuse(
            QStringLiteral("%1 was not made by Miniskop and is left as it is").arg(pagePath));
    }
    host.setCurrentPagePath(pagePath);

    OverviewPageInput input;
    input.folder = pictureFolder;
    input.sizeS = *sizeS;
    input.perRow = anzProZeile;
    input.entries = ThumbEntries;

    // Writing replaces an older page (read-only included) only once the new
    // one is complete. Skipped on failure: no view buttons, no browser.
    const Status written = (*folder)->write(pageName, overviewPageBytes(input), seen);
    if (!written) {
        outcome.error = written.error().message;
        host.setMousePointer(MousePointer::Arrow);
        return outcome;
    }

    outcome.written = true;
    outcome.path = pagePath;
    host.setViewButtonsEnabled(true);
    host.pageWritten(pagePath);
    host.setMousePointer(MousePointer::Arrow);
    return outcome;
}

}  // namespace miniskop
