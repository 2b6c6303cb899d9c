// Helpers of the hostile-input and fault-injection suites: running
// miniskop-batch with a time limit, checking a page with the strict parser
// script, looking for leftovers, and a recording host for in-process runs.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <ostream>

#include "ProgressSurface.h"
#include "RunHost.h"

// Readable GoogleTest output for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '{';
    for (qsizetype i = 0; i < list.size(); ++i)
        *os << (i ? ", \"" : "\"") << list[i].toStdString() << '"';
    *os << '}';
}

namespace miniskop::hostile {

struct ProcessResult {
    bool finished = false;  // ended by itself within the time limit
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs miniskop-batch with `arguments` (the user's settings kept out of it),
// killing it after `timeoutMs`.
ProcessResult runBatch(const QStringList& arguments, int timeoutMs = 120000);

struct PageCell {
    QString src;  // as the browser reads it: entities resolved, %XX undone
    QString href;
    QString caption;
};

struct PageCheck {
    bool valid = false;
    QString problem;  // why it is not
    QList<PageCell> cells;
};

// Parses the page at `path` with check_page.py (python3's html.parser, strict
// tag balance, Windows-1252).
PageCheck checkPage(const QString& path);

// Files under `root` (recursively) whose names start with the temporary prefix
// of the file writer.
QStringList temporaryLeftovers(const QString& root);

// Name -> bytes of the regular files directly in `folder`.
QMap<QString, QByteArray> snapshot(const QString& folder);

// Writes a gradient picture in the format the suffix names; returns the image.
QImage writeTestPicture(const QString& path, int width, int height);

// Mean absolute difference of two images' colours after scaling `b` to
// `a`'s size, in 0..255.
double meanDifference(const QImage& a, const QImage& b);

// Whether `bytes` are a complete JPEG that decodes.
bool isCompleteJpeg(const QByteArray& bytes);

// Descriptors open in this process (entries of /proc/self/fd) and threads.
int openDescriptorCount();
int threadCount();
// The thread count once it equals `expected`, or after about two seconds the
// count then: a joined thread may linger in /proc a moment after it ended.
int settledThreadCount(int expected);

// A surface that only remembers what was asked of it.
class NullProgressSurface : public ProgressSurface {
public:
    double ScaleWidth() const override { return 200; }
    double ScaleHeight() const override { return 20; }
    double TextWidth(const QString& text) const override { return 7.0 * text.size(); }
    double TextHeight(const QString&) const override { return 12; }
    void Cls() override {}
    void LineFilled(double, double, double, double, QColor) override {}
    void Print(const QString&) override {}
};

// A host over a fixed folder and list that records what the run shows.
class RecordingHost : public RunHost {
public:
    struct Message {
        QString text;
        MessageIcon icon;
        QString title;
    };

    QString folder;
    QStringList entries;
    ThumbSettings thumbSettings;
    bool enlarge = false;
    // Called at every DoEvents with the number of calls so far (from 1).
    std::function<void(int)> onDoEvents;
    // Called when the run shows the picture it is about to load (Label15),
    // with the picture's list position: after listing, before loading.
    std::function<void(int, const QString&)> onPictureShown;

    QString label4, label15, caption;
    bool viewButtons = false;
    QList<Message> messages;
    QStringList failedPictures;
    QStringList failureReasons;
    QString currentPage;
    QStringList pagesWritten;
    int doEventsCalls = 0;
    int picturesShown = 0;

    QString fileListPath() const override { return folder; }
    int fileListCount() const override { return int(entries.size()); }
    QString fileListEntry(int i) const override {
        return i >= 0 && i < entries.size() ? entries[i] : QString();
    }
    const ThumbSettings& settings() const override { return thumbSettings; }
    bool enlargeChecked() const override { return enlarge; }
    void setCommand1Caption(const QString& text) override { caption = text; }
    void setViewButtonsEnabled(bool enabled) override { viewButtons = enabled; }
    void setLabel4(const QString& text) override { label4 = text; }
    void setLabel15(const QString& text) override {
        label15 = text;
        if (text.startsWith(QLatin1Char(' '))) {
            if (onPictureShown) onPictureShown(picturesShown, text.mid(1));
            ++picturesShown;
        }
    }
    ProgressSurface& picProgress() override { return surface_; }
    void setMousePointer(MousePointer) override {}
    void MsgBox(const QString& text, MessageIcon icon, const QString& title) override {
        messages.append({text, icon, title});
    }
    void DoEvents() override {
        ++doEventsCalls;
        if (onDoEvents) onDoEvents(doEventsCalls);
    }
    void setCurrentPagePath(const QString& path) override { currentPage = path; }
    void pageWritten(const QString& path) override { pagesWritten.append(path); }
    void pictureFailed(const QString& path, const QString& reason) override {
        failedPictures.append(path);
        failureReasons.append(reason);
    }

private:
    NullProgressSurface surface_;
};

}  // namespace miniskop::hostile
