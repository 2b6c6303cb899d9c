// A run host for tests: the file list comes from a real folder, the settings are
// a plain record, and everything the run shows is recorded in order. DoEvents
// can run a scripted action at its k-th call (a click on Command1, a settings
// change), the way the window's event loop would.
#pragma once

#include <QImage>
#include <QPainter>
#include <QStringList>
#include <functional>
#include <map>
#include <vector>

#include "FileList.h"
#include "ProgressSurface.h"
#include "RunHost.h"
#include "ThumbSettings.h"

namespace miniskop::testing {

// The progress box of the tests: 200 by 20 units, text 7 units a character
// and 12 high. It counts the clears, i.e. the progress redraws, and paints the
// bars into an image, so a test can look at the bar the run left.
class CountingSurface : public ProgressSurface {
public:
    CountingSurface() : image_(200, 20, QImage::Format_RGB32) { image_.fill(Qt::white); }
    double ScaleWidth() const override { return image_.width(); }
    double ScaleHeight() const override { return image_.height(); }
    double TextWidth(const QString& text) const override { return 7.0 * text.size(); }
    double TextHeight(const QString&) const override { return 12; }
    void Cls() override {
        ++clears;
        image_.fill(Qt::white);
    }
    void LineFilled(double x1, double y1, double x2, double y2, QColor color) override {
        QPainter(&image_).fillRect(QRectF(QPointF(x1, y1), QPointF(x2, y2)).normalized(), color);
    }
    void Print(const QString&) override {}
    const QImage& image() const { return image_; }
    int clears = 0;

private:
    QImage image_;
};

struct RecordedMessage {
    QString text;
    MessageIcon icon;
    QString title;
};

class RecordingHost : public RunHost {
public:
    FileList list;
    ThumbSettings record;
    bool enlarge = false;
    CountingSurface surface;

    QString caption = QStringLiteral("Thumbnails erzeugen");
    bool viewButtons = true;
    QStringList label4History;
    QStringList label15History;
    std::vector<MousePointer> pointers;
    std::vector<RecordedMessage> messages;
    QStringList pagePathsSet;
    QStringList pagesWritten;
    QStringList failedPictures;
    QStringList waitedFor;  // thumbnail folders another run held
    // Label15 at every progress redraw: " " + path of the picture in hand.
    QStringList progressAt;
    int doEventsCalls = 0;
    // Action to run at the k-th DoEvents call (counted from 1).
    std::map<int, std::function<void()>> onDoEvents;
    // Events recorded in order, for checks on sequence.
    QStringList trace;

    QString label4() const { return label4History.isEmpty() ? QString() : label4History.last(); }
    QString label15() const { return label15History.isEmpty() ? QString() : label15History.last(); }

    QString fileListPath() const override { return list.path(); }
    int fileListCount() const override { return list.ListCount(); }
    QString fileListEntry(int i) const override { return list.List(i); }
    const ThumbSettings& settings() const override { return record; }
    bool enlargeChecked() const override { return enlarge; }

    void setCommand1Caption(const QString& c) override { caption = c; }
    void setViewButtonsEnabled(bool enabled) override {
        viewButtons = enabled;
        trace.append(enabled ? QStringLiteral("buttons:on") : QStringLiteral("buttons:off"));
    }
    void setLabel4(const QString& text) override { label4History.append(text); }
    void setLabel15(const QString& text) override { label15History.append(text); }
    ProgressSurface& picProgress() override { return surface; }
    void progressChanged() override { progressAt.append(label15()); }
    void setMousePointer(MousePointer pointer) override { pointers.push_back(pointer); }
    void MsgBox(const QString& text, MessageIcon icon, const QString& title) override {
        messages.push_back({text, icon, title});
        trace.append(QStringLiteral("msg"));
    }
    void DoEvents() override {
        ++doEventsCalls;
        const auto it = onDoEvents.find(doEventsCalls);
        if (it != onDoEvents.end()) it->second();
    }
    void setCurrentPagePath(const QString& path) override {
        pagePathsSet.append(path);
        trace.append(QStringLiteral("pagePath"));
    }
    void pageWritten(const QString& path) override {
        pagesWritten.append(path);
        trace.append(QStringLiteral("pageWritten"));
    }
    void waitingForFolder(const QString& folder) override { waitedFor.append(folder); }
    void pictureFailed(const QString& path, const QString& reason) override {
        failedPictures.append(path);
        trace.append(QStringLiteral("failed:") + reason);
    }
};

}  // namespace miniskop::testing
