// The internal browser's page: no script, local files only, and new-window
// links opened in a picture window of our own (or, for files that are not
// pictures, by the default handler or a plain viewer window), so that a click
// on a picture's name never does nothing.
#include "OverviewWebPage.h"

#include <sys/stat.h>

#include <QDesktopServices>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include "FileNameBytes.h"
#include "OverviewPictureWindow.h"

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
            [this](QWebEngineNewWindowRequest& request) {
                const QUrl url = request.requestedUrl();
                emit linkOpened(url, openLink(url));
            });
}

bool OverviewWebPage::isAllowedUrl(const QUrl& url) {
    if (url.isLocalFile()) return true;
    return url.scheme() == QLatin1String("about") && url.path() == QLatin1String("blank");
}

QWidget* OverviewWebPage::openLink(const QUrl& url) {
    if (!url.isLocalFile()) return nullptr;
    // The link's escapes are the bytes of the name: a name that is not UTF-8
    // still opens its own file.
    const QString path = localPathOf(url);
    // The desktop's default handler may exist and still not open the file
    // (no viewer for BMPs or metafiles, a browser that refuses to run as
    // root), and it does not say so: pictures are shown here instead.
    if (OverviewPictureWindow* picture = OverviewPictureWindow::open(path)) {
        // A large picture is read after its window shows; should its data
        // turn out damaged, the window closes and the desktop gets the file.
        connect(picture, &OverviewPictureWindow::unreadable, picture,
                [url] { QDesktopServices::openUrl(url); });
        return picture;
    }
    struct stat st {};
    if (::stat(nameToBytes(path).constData(), &st) == 0 && QDesktopServices::openUrl(url))
        return nullptr;

    // No handler, or no such file: show the target in a plain window of our
    // own, which at least shows the engine's notice.
    auto* viewer = new QWebEngineView;
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->setPage(new OverviewWebPage(viewer));
    viewer->setWindowTitle(shownName(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1)));
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
