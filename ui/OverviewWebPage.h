// The web page behind the internal browser window: the overview page needs no
// script and only local files, so scripts are off, the view refuses every
// address that is not a local file, and requests to other schemes are blocked.
// Links that ask for a new window (Target='_blank', the links to the original
// pictures) open outside the view, and never do nothing.
#pragma once

#include <QUrl>
#include <QWebEnginePage>

class QWidget;

namespace miniskop {

class OverviewWebPage : public QWebEnginePage {
    Q_OBJECT
public:
    explicit OverviewWebPage(QObject* parent = nullptr);

    // Whether the view may show `url`: local files only.
    static bool isAllowedUrl(const QUrl& url);

    // Opens a link's target outside the page and returns the window of our own
    // it opened, if any:
    //  - a picture the program reads: a picture window (OverviewPictureWindow),
    //    so it shows whether or not the desktop has a viewer for its type;
    //  - another existing file: the system's default handler, and, where none
    //    is registered, a plain viewer window;
    //  - a missing file: a viewer window, which shows the engine's notice.
    // Addresses other than local files are refused and give nullptr.
    static QWidget* openLink(const QUrl& url);

signals:
    // A new-window link of this page was opened; `window` as openLink gives it.
    void linkOpened(const QUrl& url, QWidget* window);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
};

}  // namespace miniskop
