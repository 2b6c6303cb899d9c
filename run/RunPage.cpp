// The overview page at the end of a run. See RunPage.h.
#include "RunPage.h"

#include <optional>

#include "FileNames.h"
#include "NumericValue.h"
#include "OverviewPage.h"
#include "RunTexts.h"
#include "SafeFileWriter.h"
#include "ThumbnailNaming.h"
#include "Trimming.h"

namespace miniskop {

PageOutcome html(RunHost& host, const QStringList& ThumbEntries, qint16 anzProZeile,
                 ListedPictures& listed) {
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

    const QString pagePath = inThumbnailFolder(thumbnailFolder(pictureFolder, settings), pageName);
    // The page never replaces one of the list's pictures either.
    if (const QString picture = listed.pictureAt(pagePath, host); !picture.isEmpty()) {
        outcome.error = QStringLiteral("the page would overwrite the picture %1").arg(picture);
        host.setMousePointer(MousePointer::Arrow);
        return outcome;
    }
    host.setCurrentPagePath(pagePath);

    OverviewPageInput input;
    input.folder = pictureFolder;
    input.sizeS = *sizeS;
    input.perRow = anzProZeile;
    input.entries = ThumbEntries;

    // Writing replaces an older page (read-only included) only once the new
    // one is complete. Skipped on failure: no view buttons, no browser.
    const Status written = writeFileAtomically(pagePath, overviewPageBytes(input));
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
