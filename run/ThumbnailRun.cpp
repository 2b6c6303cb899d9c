// The thumbnail run. A click on Command1 starts a run (or, while one is going,
// asks it to stop); Anzeige walks the file list, writes one JPEG thumbnail per
// picture straight from the scaled image in memory, records one entry per
// picture and finally writes the overview page.
//
// Unless the run works inline (the batch tool's one job), each picture's
// loading, scaling and encoding is done by worker threads, ahead of its turn,
// keyed by what it read (path, the file's size and time, size bound, enlarge
// option, quality). At the
// picture's own turn the run reads the settings and the list as always and
// uses the work only if the key still matches, else it has it redone; naming,
// the file write and the entry stay here, in list order. Waiting for pixels
// lets events through, so a cancel is seen.
//
// The run is forgiving: once the thumbnail folder exists, a step that fails for
// one picture is skipped and the run goes on with the next step. Every step
// that can fail says so where it stands below.
#include "ThumbnailRun.h"

#include <QDir>
#include <QThread>
#include <algorithm>
#include <cmath>

#include "FileNames.h"
#include "JpegWriter.h"
#include "NumericValue.h"
#include "PictureWork.h"
#include "PictureWorkQueue.h"
#include "Rounding.h"
#include "RunPage.h"
#include "RunTexts.h"
#include "SafeFileWriter.h"
#include "ThumbEntry.h"
#include "ThumbnailRecord.h"
#include "Trimming.h"
#include "UpdateProgress.h"

namespace miniskop {
namespace {

// How often the bar is redrawn: every step-th position, the step growing with
// the list (a hundredth of its length, at least 1).
qint64 progressStep(int count) {
    double step = count / 100.0;
    if (step < 1) step = 1;
    return qMax<qint64>(1, static_cast<qint64>(roundHalfEven(step)));
}

// A picture that failed before any picture of the run gave picThumb a size
// gets a blank of the size bound's square (at least one pixel, at most what
// a decoded picture may take), so its cell and file are never empty.
void giveBlankSizeIfNone(PictureBox& box, float sizeBound) {
    if (box.width > 0 && box.height > 0) return;
    constexpr float kLargestSide = 16384.0f;
    const float side = std::isfinite(sizeBound) ? std::clamp(sizeBound, 1.0f, kLargestSide) : 1.0f;
    box.width = box.height = int(std::lround(side));
}

}  // namespace

ThumbnailRun::ThumbnailRun(RunHost& host) : ThumbnailRun(host, defaultJobs(), PixelWork::Workers) {}

ThumbnailRun::ThumbnailRun(RunHost& host, int jobs, PixelWork where)
    : host_(host), jobs_(std::max(1, jobs)), where_(where) {}

ThumbnailRun::~ThumbnailRun() = default;

void ThumbnailRun::shareWorkers(std::shared_ptr<PictureWorkQueue> queue, int firstPosition) {
    queue_ = std::move(queue);
    sharedQueue_ = queue_ != nullptr;
    positionBase_ = sharedQueue_ ? firstPosition : 0;
}

int ThumbnailRun::defaultJobs() { return std::max(1, QThread::idealThreadCount()); }

QString ThumbnailRun::startCaption() { return QStringLiteral("Thumbnails erzeugen"); }
QString ThumbnailRun::cancelCaption() { return QStringLiteral("Abbrechen"); }

void ThumbnailRun::Command1_Click() {
    switch (state_) {
        case State::Idle:
            start();
            return;
        case State::Running:
            cancel();
            return;
        case State::Stopping:
            // The stopping run still finishes its picture and writes its page;
            // a new run must not start inside it.
            return;
    }
}

void ThumbnailRun::start() {
    host_.setLabel4(QStringLiteral("0"));
    abbruch_ = false;
    host_.setCommand1Caption(cancelCaption());
    state_ = State::Running;
    host_.setViewButtonsEnabled(false);
    drawProgress(0, 0, 100);  // clears the bar

    // A list of nothing but thumbnails this program made holds no picture.
    if (host_.fileListCount() == 0 || !listHoldsPictures()) {
        outcome_ = Outcome{};
        host_.MsgBox(host_.emptyListMessage(runtext::kEmptyList), MessageIcon::Information,
                     runtext::kInfoTitle);
        host_.setCommand1Caption(startCaption());
        abbruch_ = false;
        host_.setMousePointer(MousePointer::Arrow);
        state_ = State::Idle;
        return;
    }

    host_.setMousePointer(MousePointer::Hourglass);
    host_.setLabel4(QString());
    Anzeige();
    closingDisplay();
    state_ = State::Idle;
}

bool ThumbnailRun::listHoldsPictures() const {
    // Usually the first entry already is a picture.
    const QString folder = withClosingSeparator(host_.fileListPath());
    for (int i = 0; i < host_.fileListCount(); ++i) {
        if (!isOurThumbnail(folder + host_.fileListEntry(i))) return true;
    }
    return false;
}

void ThumbnailRun::cancel() {
    // Runs inside the loop's DoEvents: the picture in hand is finished, the
    // flag is seen before the next one.
    host_.setCommand1Caption(startCaption());
    abbruch_ = true;
    state_ = State::Stopping;
    closingDisplay();
}

void ThumbnailRun::closingDisplay() {
    host_.setCommand1Caption(startCaption());
    // The thumbnails the pictures finished so far have (made now or kept as
    // current); a picture that failed has none.
    host_.setLabel4(runtext::kCount +
                    QString::number(lastFinished_ + 1 - outcome_.failed - outcome_.ourThumbnails));
    host_.setLabel15(runtext::kFinished);
    host_.setMousePointer(MousePointer::Default);
}

void ThumbnailRun::drawProgress(qint32 value, qint32 minimum, qint32 maximum) {
    UpdateProgress(host_.picProgress(), value, minimum, maximum, true);
    host_.progressChanged();
}

void ThumbnailRun::Anzeige() {
    ThumbEntries_.clear();
    namer_.restart();
    listed_.clear();
    outcome_ = Outcome{};
    outcome_.started = true;
    lastFinished_ = -1;
    canvas_.picThumb.image = QImage();  // an empty picture; the box keeps its size

    // The thumbnail folder must exist before anything else happens; if it
    // cannot be made, or is a link, the run ends here, without a page. It is
    // opened once; everything the run writes goes through that opening.
    const QString folderPath = withClosingSeparator(host_.fileListPath());
    Expected<ThumbnailFolder> folder =
        ThumbnailFolder::open(folderPath, trimSpaces(host_.settings().nameOrdner), true);
    if (!folder) {
        outcome_.folderFailed = true;
        outcome_.folderError = folder.error().message;
        host_.thumbnailFolderFailed(folder.error().message);
        return;
    }
    // One run at a time per thumbnail folder, so that the page shows the
    // thumbnails it names. A cancel while waiting ends the run, without a page.
    const bool locked = folder->lock([&] { host_.waitingForFolder(folder->path()); },
                                     [&] {
                                         if (!abbruch_) host_.DoEvents();
                                         return !abbruch_;
                                     });
    if (!locked) {
        outcome_.pageError =
            QStringLiteral("cancelled while another run was working in %1").arg(folder->path());
        return;
    }

    // Temporary files that earlier runs, killed while writing, left in the
    // thumbnail folder go (never one another run is still writing).
    folder->removeStaleTemporaries();
    folders_.restart(std::move(*folder));

    // Per-row count. Skipped when the text does not fit in 16 bits: the count
    // stays what it was.
    if (const std::optional<qint16> perRow = numericValueInt16(host_.settings().anzTabelle)) {
        anzProZeile_ = qMax<qint16>(*perRow, 1);
    }

    // Workers for this run's look-ahead (kept between runs while the job
    // count stays; shared ones belong to whoever shared them).
    if (worksInline()) {
        queue_.reset();
    } else if (!sharedQueue_ && (!queue_ || queue_->threads() != jobs_)) {
        queue_.reset();
        queue_ = std::make_shared<PictureWorkQueue>(jobs_);
    }
    lookAhead_.restart(keepCurrent_);

    const int upperBound = host_.fileListCount();
    for (int i = 0; i <= upperBound; ++i) {
        const QString entry = host_.fileListEntry(i);
        if (entry.isEmpty() || abbruch_) break;

        const QString tag = namer_.versionTagOf(entry);
        const QString pictureFolder = withClosingSeparator(host_.fileListPath());
        const QString aktuelleDatei = pictureFolder + entry;

        // A thumbnail this program made, listed because thumbnails are
        // written into the picture folder (or the list is one of a
        // thumbnail folder), is no picture: no thumbnail of it, no entry.
        if (isOurThumbnail(aktuelleDatei)) {
            ++outcome_.ourThumbnails;
            lastFinished_ = i;
            outcome_.finished = i + 1;
            continue;
        }

        // Failures inside are skipped there; the picture gets its entry anyway.
        const QString shownThumbnail = processPicture(i, aktuelleDatei, pictureFolder, tag);

        // Entries in list order, one per picture.
        ThumbEntries_.append(joinThumbEntry(Dateiname_mit_Extension(aktuelleDatei), shownThumbnail,
                                            canvas_.picThumb.width, canvas_.picThumb.height));
        namer_.setPrevious(host_.fileListEntry(i));
        host_.setLabel4(QString::number(i));
        lastFinished_ = i;
        outcome_.finished = i + 1;
    }

    // Cancelled or done: work started ahead for this list is thrown away
    // unwritten; work for the runs that follow stays unless this was a cancel.
    if (queue_) {
        if (sharedQueue_ && !abbruch_) {
            queue_->discardBefore(positionBase_ + upperBound);
        } else {
            queue_->discardAll();
        }
    }

    drawProgress(100, 1, 100);
    // Failures of the page are skipped inside html; the run ends either way.
    const PageOutcome page = html(host_, ThumbEntries_, anzProZeile_, listed_, folders_);
    outcome_.pageWritten = page.written;
    outcome_.pagePath = page.path;
    outcome_.pageError = page.error;
    // The lock goes with the folders.
    folders_.clear();
}

QString ThumbnailRun::processPicture(int i, const QString& aktuelleDatei,
                                     const QString& pictureFolder, const QString& tag) {
    host_.DoEvents();
    host_.setLabel15(QLatin1Char(' ') + aktuelleDatei);

    const int count = host_.fileListCount();
    if (i % progressStep(count) == 0) {
        host_.DoEvents();
        drawProgress(i, 1, count);
    }

    // Names: settings and the list entry are read afresh, since both may have
    // changed while events were let through. No two pictures of the run get
    // the same thumbnail.
    const ThumbSettings& settings = host_.settings();
    const QString thumbFolder = thumbnailFolder(pictureFolder, settings);
    const QString jpegPath = namer_.assign(thumbFolder, host_.fileListEntry(i), tag, settings);

    // Everything the pixel work reads is read now, at this picture's turn.
    const PictureKey key{aktuelleDatei,
                         static_cast<float>(numericValue(settings.groesseMin)),
                         host_.enlargeChecked(),
                         settings.qJPG(),
                         pictureStateOf(aktuelleDatei),
                         keepCurrent_ ? jpegPath : QString()};

    QStringList reasons;

    // Scaling. On failure picThumb holds no picture and keeps its last size
    // (the bound's square when no picture gave it one yet); skipped, the
    // picture then gets a neutral blank of that size. A current thumbnail
    // kept with --update gives picThumb its size, and nothing is decoded.
    const Scaled scaled = scalePicture(i, key);
    if (!scaled.status) {
        ++outcome_.unreadable;
        const Failure& why = scaled.status.error();
        reasons.append(why.tooLarge() ? host_.tooLargeReason(why) : why.message);
        giveBlankSizeIfNone(canvas_.picThumb, key.sizeBound);
    }

    // A thumbnail path that is one of the list's own pictures (an empty
    // affix, an empty folder name, a picture named like a thumbnail) is
    // never written, unless that file is a thumbnail this program made; nor
    // is any other file there that this program did not make. The picture
    // then counts as failed and its cell shows the picture itself.
    QString shownThumbnail = Dateiname_mit_Extension(jpegPath);
    const QString jpegName = jpegPath.mid(withClosingSeparator(thumbFolder).size());
    const QString picture = listed_.pictureAt(jpegPath, host_);
    const Expected<const ThumbnailFolder*> folder =
        folders_.at(pictureFolder, trimSpaces(settings.nameOrdner));
    const auto showPicture = [&] {
        shownThumbnail = QDir(thumbFolder).relativeFilePath(aktuelleDatei);
    };
    if (!picture.isEmpty() && !isOurThumbnail(jpegPath)) {
        reasons.append(picture == aktuelleDatei
                           ? QStringLiteral("the thumbnail would overwrite the picture itself")
                           : QStringLiteral("the thumbnail %1 would overwrite the picture %2")
                                 .arg(jpegPath, picture));
        showPicture();
    } else if (scaled.kept) {
        ++outcome_.kept;
        namer_.recordWritten(jpegPath);
    } else if (!folder) {
        reasons.append(QStringLiteral("Speichern fehlgeschlagen: ") + folder.error().message);
    } else if (const auto seen = (*folder)->thumbnailAt(jpegName);
               seen == ThumbnailFolder::Occupant::Foreign) {
        reasons.append(
            QStringLiteral("%1 was not made by Miniskop and is left as it is").arg(jpegPath));
        showPicture();
    } else if (const Status written = writeThumbnail(**folder, jpegName, seen, scaled, key);
               !written) {
        reasons.append(written.error().message);
    } else {
        namer_.recordWritten(jpegPath);
    }

    if (!reasons.isEmpty()) {
        ++outcome_.failed;
        host_.pictureFailed(aktuelleDatei, reasons.join(QStringLiteral("; ")));
    }
    return shownThumbnail;
}

Status ThumbnailRun::writeThumbnail(const ThumbnailFolder& folder, const QString& name,
                                    ThumbnailFolder::Occupant seen, const Scaled& scaled,
                                    const PictureKey& key) {
    // Straight from the drawn image (or the bytes encoded from it ahead): the
    // scaled picture, or the neutral blank of a picture that failed. The new
    // file replaces an older one of the same name only once it is complete.
    const QImage drawn = canvas_.picThumb.drawnImage();
    if (drawn.isNull()) return fail(QStringLiteral("Kein Bild zum Speichern"));
    const auto save = [&](const QByteArray& jpeg) -> Status {
        const Status written = folder.write(name, jpeg, seen);
        if (written) return {};
        return fail(QStringLiteral("Speichern fehlgeschlagen: ") + written.error().message);
    };
    if (scaled.jpeg) return save(*scaled.jpeg);
    Expected<QByteArray, JpegError> bytes = encodeThumbJpeg(drawn, key.quality);
    // The encoder would not take it: the writer's own terms.
    if (!bytes) return fail(bytes.error().description);
    // A blank stands in for a picture that failed: it carries no record, so
    // an --update run tries the picture again.
    if (scaled.status) *bytes = withThumbnailRecord(*bytes, key);
    // Whole or nothing: an older thumbnail of this name stays as it was.
    return save(*bytes);
}

ThumbnailRun::Scaled ThumbnailRun::scalePicture(int i, const PictureKey& key) {
    if (!queue_) {
        if (!key.keepIfCurrent.isEmpty()) {
            if (const std::optional<QSize> size = currentThumbnail(key.keepIfCurrent, key)) {
                canvas_.picThumb.width = size->width();
                canvas_.picThumb.height = size->height();
                return Scaled{Status(), std::nullopt, true};
            }
        }
        return Scaled{canvas_.resize(key.path, key.sizeBound, key.enlarge), std::nullopt, false};
    }

    // The picture in hand is queued before the ones ahead, so that a single
    // worker takes it first.
    const int position = positionBase_ + i;
    queue_->prefetch(position, key);
    prefetchAfter(i, key);
    // Waiting lets events through: a cancel click arriving here finishes this
    // picture all the same.
    PictureWork work = queue_->take(position, key, [this] { host_.DoEvents(); });
    applyPictureWork(work, canvas_);
    return Scaled{work.scaled, std::move(work.jpeg), work.kept.has_value()};
}

void ThumbnailRun::prefetchAfter(int i, const PictureKey& current) {
    // A bounded look-ahead: twice as many pictures as there are workers, with
    // the settings as they are now. Whatever changes before a picture's turn
    // makes its key differ there, and the work is redone.
    for (const auto& [j, key] : lookAhead_.keysAfter(i, 2 * queue_->threads(), current, host_))
        queue_->prefetch(positionBase_ + j, key);
}

}  // namespace miniskop
