// The thumbnail run: the Command1 click that starts a run or asks the running
// one to stop, and Anzeige, which walks the file list picture by picture,
// writes one thumbnail each, records the entries and ends with the page.
// Owned by the main window (or the batch tool); runs on the UI thread.
//
// The pixel work of the picture in hand and of the next ones is done on worker
// threads (PictureWorkQueue), the run waiting for it in its event pump;
// everything the user sees, the entries and the files stay with the run's
// thread and come out as in the plain sequential run, which the batch tool
// still offers for one job.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <memory>
#include <optional>

#include "LookAhead.h"
#include "OverwriteGuard.h"
#include "RunHost.h"
#include "ThumbnailCanvas.h"
#include "ThumbnailFolder.h"
#include "ThumbnailNaming.h"

namespace miniskop {

class PictureWorkQueue;
struct PictureKey;

class ThumbnailRun {
public:
    enum class State { Idle, Running, Stopping };

    // What the last run did, for callers that report it (the batch tool).
    struct Outcome {
        bool started = false;       // the list was not empty: the run began
        bool folderFailed = false;  // the thumbnail folder could not be made
        bool pageWritten = false;
        int finished = 0;       // list positions the run went through
        int ourThumbnails = 0;  // of those, thumbnails this program made: no pictures
        int failed = 0;         // of those, pictures not loaded, scaled or written
        int kept = 0;           // of those, thumbnails kept as current (--update)
        QString pagePath;
        QString pageError;  // why the page was not written (empty when it was)
        // Of the failed, pictures that could not be loaded or scaled.
        int unreadable = 0;
        // Why the thumbnail folder could not be used (empty when it was).
        QString folderError;
    };

    // Where the pixel work of a picture is done.
    enum class PixelWork {
        // On worker threads only, even with one job: the calling thread never
        // waits on pixels outside its event pump (the window's choice).
        Workers,
        // One job: on the calling thread itself, the plain sequential run;
        // more jobs: on worker threads.
        InlineForOneJob,
    };

    // One job per core, the pixel work always on worker threads, so that the
    // window's thread keeps handling events while a picture decodes.
    explicit ThumbnailRun(RunHost& host);
    // `jobs`: pictures worked on at once; with InlineForOneJob, 1 is the
    // plain run on the calling thread alone.
    ThumbnailRun(RunHost& host, int jobs, PixelWork where = PixelWork::InlineForOneJob);
    ~ThumbnailRun();
    ThumbnailRun(const ThumbnailRun&) = delete;
    ThumbnailRun& operator=(const ThumbnailRun&) = delete;

    // One job per core.
    static int defaultJobs();
    // True when the next run does the pixel work on the calling thread.
    bool worksInline() const {
        return !sharedQueue_ && jobs_ == 1 && where_ == PixelWork::InlineForOneJob;
    }

    // Keep a thumbnail that carries the record of its picture as it is now
    // and of the current settings, without decoding the picture (--update).
    // Everything else about the run stays as it is.
    void setKeepCurrentThumbnails(bool keep) { keepCurrent_ = keep; }

    // Worker threads shared with the runs before and after this one (the
    // batch tool's folders): this run's list positions start at
    // `firstPosition` in `queue`, and its look-ahead reaches into the
    // pictures the host says follow the list. Work done ahead for those is
    // left in the queue when the run ends, unless it was cancelled.
    void shareWorkers(std::shared_ptr<PictureWorkQueue> queue, int firstPosition);

    // Start (Idle), cancel (Running); a click while Stopping is ignored.
    void Command1_Click();

    State state() const { return state_; }
    bool abbruch() const { return abbruch_; }
    const QStringList& ThumbEntries() const { return ThumbEntries_; }
    qint16 anzProZeile() const { return anzProZeile_; }
    const Outcome& lastOutcome() const { return outcome_; }

    static QString startCaption();   // "Thumbnails erzeugen"
    static QString cancelCaption();  // "Abbrechen"

private:
    void start();
    void cancel();
    void Anzeige();
    void closingDisplay();
    // Whether the list holds anything but thumbnails this program made.
    bool listHoldsPictures() const;
    // Shows progress for list position i, the picture `aktuelleDatei` of
    // `pictureFolder`, and writes its thumbnail; returns what the picture's
    // cell shows (the thumbnail's file name).
    QString processPicture(int i, const QString& aktuelleDatei, const QString& pictureFolder,
                           const QString& tag);
    // What the pixel work of a picture left besides the canvas.
    struct Scaled {
        Status status;                   // why scaling failed, if it did
        std::optional<QByteArray> jpeg;  // the thumbnail encoded ahead, if it was
        bool kept = false;               // the thumbnail was current: nothing was decoded
    };
    // The pixel work of picture i: on the canvas here (one job), or taken from
    // the work done ahead, which is topped up first.
    Scaled scalePicture(int i, const PictureKey& key);
    // Writes picThumb's drawn image (or its bytes encoded ahead); a picture
    // that scaled gets the record of `key` inside.
    Status writeThumbnail(const ThumbnailFolder& folder, const QString& name,
                          ThumbnailFolder::Occupant seen, const Scaled& scaled,
                          const PictureKey& key);
    void prefetchAfter(int i, const PictureKey& current);
    void drawProgress(qint32 value, qint32 minimum, qint32 maximum);

    RunHost& host_;
    int jobs_ = 1;
    PixelWork where_ = PixelWork::Workers;
    std::shared_ptr<PictureWorkQueue> queue_;  // only when not working inline
    bool sharedQueue_ = false;
    int positionBase_ = 0;  // this run's list position 0 in the queue
    bool keepCurrent_ = false;
    LookAhead lookAhead_;
    ThumbnailCanvas canvas_;
    State state_ = State::Idle;
    bool abbruch_ = false;
    QStringList ThumbEntries_;
    ThumbnailNamer namer_;
    ListedPictures listed_;
    RunFolders folders_;
    qint16 anzProZeile_ = 1;
    int lastFinished_ = -1;
    Outcome outcome_;
};

}  // namespace miniskop
