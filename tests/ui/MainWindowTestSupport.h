// Shared set-up for the main window's widget tests: a picture folder and a
// program folder in a temporary directory, a window whose outside calls are
// recorded instead of made, and the message boxes it shows.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QVector>
#include <memory>

#include "FileListBox.h"
#include "FolderList.h"
#include "IconButton.h"
#include "MessageBox.h"
#include "ProgressBox.h"
#include "frmAnzeiger.h"

namespace miniskop::testing {

// Lets events through until the window's folder and file readings are in;
// false when they are not in by `limitMs`, which only a hung reading reaches.
inline bool settle(frmAnzeiger& w, int limitMs = 30000) {
    QElapsedTimer waited;
    waited.start();
    auto busy = [&w] { return w.File1->isListing() || w.Dir1->isListing(); };
    while (busy() && waited.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return !busy();
}

struct Recorded {
    QStringList reopened;       // pages opened after a run
    QStringList overviewShown;  // "Übersicht"
    QStringList browserOpened;  // " Browser"
    QVector<bool> endRequests;  // endProgram(midRun)
    QVector<ShownMessage> messages;
};

class WindowFixture {
public:
    WindowFixture() {
        root.setAutoRemove(true);
        QDir(root.path()).mkpath(QStringLiteral("program"));
        QDir(root.path()).mkpath(QStringLiteral("config"));
        QDir(root.path()).mkpath(QStringLiteral("pictures"));
        setMessageInterceptor([this](const ShownMessage& m) { recorded.messages.append(m); });
    }
    ~WindowFixture() {
        window.reset();
        setMessageInterceptor({});
    }
    WindowFixture(const WindowFixture&) = delete;
    WindowFixture& operator=(const WindowFixture&) = delete;

    QString programDir() const { return root.filePath(QStringLiteral("program")); }
    QString pictures() const { return root.filePath(QStringLiteral("pictures")); }

    // A small picture; the format follows the name's extension where Qt can
    // write it, otherwise a bitmap's bytes under that name.
    static void writePicture(const QString& path, int width = 40, int height = 30) {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(QColor(40, 120, 200));
        const QString ext = QFileInfo(path).suffix().toLower();
        const char* format = (ext == QLatin1String("jpg") || ext == QLatin1String("jpeg"))
                                 ? "JPG"
                                 : (ext == QLatin1String("png") ? "PNG" : "BMP");
        ASSERT_TRUE(image.save(path, format)) << path.toStdString();
    }
    static void writeText(const QString& path) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("no picture\n");
    }

    // The window on `startFolder` (the pictures by default), its first
    // readings in; `requested` is the folder named on the command line.
    frmAnzeiger& open(const QString& startFolder = QString(), const QString& requested = {}) {
        frmAnzeiger& w = openUnsettled(startFolder, requested);
        EXPECT_TRUE(settle(w));
        return w;
    }
    // The same while its first readings may still be going on.
    frmAnzeiger& openUnsettled(const QString& startFolder = QString(),
                               const QString& requested = {}) {
        frmAnzeiger::Environment env;
        env.programDir = programDir();
        env.userConfigDir = root.filePath(QStringLiteral("config"));
        env.startFolder = startFolder.isEmpty() ? pictures() : startFolder;
        env.reopenOverview = [this](const QString& p) { recorded.reopened.append(p); };
        env.showOverview = [this](const QString& p) { recorded.overviewShown.append(p); };
        env.openDefaultBrowser = [this](const QString& p) { recorded.browserOpened.append(p); };
        env.endProgram = [this](bool midRun) { recorded.endRequests.append(midRun); };
        env.requestedFolder = requested;
        window = std::make_unique<frmAnzeiger>(env);
        return *window;
    }

    QTemporaryDir root;
    Recorded recorded;
    std::unique_ptr<frmAnzeiger> window;
};

}  // namespace miniskop::testing
