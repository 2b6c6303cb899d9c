// The web page behind the internal browser window: the overview page needs no
// script and only local files, so scripts are off, the view refuses every
// address that is not a local file, and requests to other schemes are blocked.
// Links that ask for a new window (Target='_blank', the links to the original
// pictures) open outside the view.
#pragma once

#include <QUrl>
#include <QWebEnginePage>

class QWidget;

namespace miniskop {

class OverviewWebPage : public QWebEnginePage {
public:
    explicit OverviewWebPage(QObject* parent = nullptr);

    // Whether the view may show `url`: local files only.
    static bool isAllowedUrl(const QUrl& url);

    // Opens a link's target in the system's default browser; when no handler
    // is registered, in a new internal viewer window instead, which is
    // returned (nullptr otherwise). Addresses other than local files are
    // refused and give nullptr as well.
    static QWidget* openLink(const QUrl& url);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
};

}  // namespace miniskop
