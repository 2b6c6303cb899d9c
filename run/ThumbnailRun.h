// The thumbnail run: the Command1 click that starts a run or asks the running
// one to stop, and Anzeige, which walks the file list picture by picture,
// writes one thumbnail each, records the entries and ends with the page.
// Owned by the main window (or the batch tool); runs on the UI thread.
//
// With more than one job the pixel work of the next pictures is done ahead on
// worker threads (PictureWorkQueue); everything the user sees, the entries and
// the files stay with the run's thread and come out as with one job.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <memory>
#include <optional>

#include "RunHost.h"
#include "ThumbnailCanvas.h"

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
        int finished = 0;  // pictures the run went through
        int failed = 0;    // of those, pictures not loaded, scaled or written
        QString pagePath;
        QString pageError;  // why the page was not written (empty when it was)
    };

    // `jobs`: pictures worked on at once; 1 is the plain run on the calling
    // thread alone.
    explicit ThumbnailRun(RunHost& host, int jobs = defaultJobs());
    ~ThumbnailRun();
    ThumbnailRun(const ThumbnailRun&) = delete;
    ThumbnailRun& operator=(const ThumbnailRun&) = delete;

    // One job per core.
    static int defaultJobs();
    // Takes effect at the next start (values below 1 count as 1).
    void setJobs(int jobs);
    int jobs() const { return jobs_; }

    // Start (Idle), cancel (Running); a click while Stopping is ignored.
    void Command1_Click();

    State state() const { return state_; }
    bool abbruch() const { return abbruch_; }
    const QStringList& ThumbEntries() const { return ThumbEntries_; }
    qint16 anzProZeile() const { return anzProZeile_; }
    const Outcome& lastOutcome() const { return outcome_; }
    ThumbnailCanvas& canvas() { return canvas_; }

    static QString startCaption();   // "Thumbnails erzeugen"
    static QString cancelCaption();  // "Abbrechen"

private:
    void start();
    void cancel();
    void Anzeige();
    void html();
    void closingDisplay();
    // Shows progress for list position i and writes its thumbnail; returns the
    // thumbnail's path.
    QString processPicture(int i, const QString& pictureFolder, const QString& tag);
    // The pixel work of picture i: on the canvas here (one job), or taken from
    // the work done ahead, which is topped up first.
    Status scalePicture(int i, const PictureKey& key, std::optional<QByteArray>& jpeg);
    void prefetchAfter(int i, const PictureKey& current);
    void drawProgress(qint32 value, qint32 minimum, qint32 maximum);

    RunHost& host_;
    int jobs_ = 1;
    std::unique_ptr<PictureWorkQueue> queue_;  // only with more than one job
    int upperBound_ = 0;
    ThumbnailCanvas canvas_;
    State state_ = State::Idle;
    bool abbruch_ = false;
    QString aktuelleDatei_;
    QStringList ThumbEntries_;
    qint16 anzProZeile_ = 1;
    int lastFinished_ = -1;
    Outcome outcome_;
};

}  // namespace miniskop
