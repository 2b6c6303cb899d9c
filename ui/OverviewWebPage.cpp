// The internal browser's page: no script, local files only, and new-window
// links handed to the default browser (or, without one, to a viewer window of
// our own, so that a click on a picture's name never does nothing).
#include "OverviewWebPage.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

namespace miniskop {

namespace {

// Blocks every request the page makes for anything but local files and
// inline data, so a local page cannot reach the network.
class LocalOnlyInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QUrl url = info.requestUrl();
        const bool local = url.isLocalFile() || url.scheme() == QLatin1String("data") ||
                           OverviewWebPage::isAllowedUrl(url);
        if (!local) info.block(true);
    }
};

void restrict(QWebEnginePage& page) {
    QWebEngineSettings* settings = page.settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    page.setUrlRequestInterceptor(new LocalOnlyInterceptor(&page));
}

}  // namespace

OverviewWebPage::OverviewWebPage(QObject* parent) : QWebEnginePage(parent) {
    restrict(*this);
    setBackgroundColor(Qt::black);
    // Leaving the request unhandled makes the engine ask createWindow next,
    // which declines: the link has been opened elsewhere by then.
    connect(this, &QWebEnginePage::newWindowRequested, this,
            [](QWebEngineNewWindowRequest& request) { openLink(request.requestedUrl()); });
}

bool OverviewWebPage::isAllowedUrl(const QUrl& url) {
    if (url.isLocalFile()) return true;
    return url.scheme() == QLatin1String("about") && url.path() == QLatin1String("blank");
}

QWidget* OverviewWebPage::openLink(const QUrl& url) {
    if (!url.isLocalFile()) return nullptr;
    if (QDesktopServices::openUrl(url)) return nullptr;

    // No default handler: show the target in a plain window of our own.
    auto* viewer = new QWebEngineView;
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->setPage(new OverviewWebPage(viewer));
    viewer->setWindowTitle(QFileInfo(url.toLocalFile()).fileName());
    viewer->resize(800, 600);
    viewer->setUrl(url);
    viewer->show();
    return viewer;
}

bool OverviewWebPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool) {
    return isAllowedUrl(url);
}

QWebEnginePage* OverviewWebPage::createWindow(WebWindowType) { return nullptr; }

}  // namespace miniskop
