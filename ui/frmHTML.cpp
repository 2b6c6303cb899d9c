// frmHTML, the internal browser window: a black window, always shown
// maximised, holding one web view at its top left corner that shows the
// overview page from a file URL. There is at most one such window; closing it
// deletes it, and the next "Übersicht" or page write makes a new one. Escape
// closes it, also while the page has the keyboard.
#include "frmHTML.h"

#include <unistd.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QResizeEvent>
#include <QShortcut>
#include <QWebEngineView>
#include <algorithm>

#include "FileNameBytes.h"
#include "OverviewWebPage.h"

namespace miniskop {

namespace {

// The open window; cleared as soon as it is closed.
QPointer<frmHTML> openWindow;

// Design client size 7440 x 7605 twips, the size the window has before it
// is maximised.
constexpr int kDesignWidth = 7440 / 15;
constexpr int kDesignHeight = 7605 / 15;

void showMaximised(frmHTML* window) {
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace

frmHTML* frmHTML::instance() { return openWindow.data(); }

frmHTML* frmHTML::showOverview(const QString& pagePath) {
    frmHTML* window = instance();
    if (window == nullptr) window = new frmHTML(pagePath);
    showMaximised(window);
    return window;
}

frmHTML* frmHTML::reopen(const QString& pagePath) {
    if (frmHTML* old = instance()) {
        old->close();
        openWindow.clear();  // even if the close was refused, the new window takes over
    }
    auto* window = new frmHTML(pagePath);
    showMaximised(window);
    return window;
}

QUrl frmHTML::pageUrl(const QString& pagePath) {
    if (pagePath.isEmpty()) return {};
    // Blanks, umlauts and the like percent-encoded as a URL needs, bytes that
    // are not UTF-8 as they are; a relative path is taken from the current
    // folder.
    return fileUrlOf(pagePath);
}

frmHTML::frmHTML(const QString& pagePath) : pagePath_(pagePath) {
    openWindow = this;
    setObjectName(QStringLiteral("frmHTML"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Thumbnail-Übersicht"));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    resize(kDesignWidth, kDesignHeight);

    WebBrowser1 = new QWebEngineView(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setAccessibleName(QStringLiteral("Thumbnail-Übersicht"));
    WebBrowser1->setPage(new OverviewWebPage(WebBrowser1));
    WebBrowser1->move(0, 0);
    WebBrowser1->resize(std::max(0, width() - 2), std::max(0, height() - 10));

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    // Loading the window navigates to the page.
    const QUrl url = pageUrl(pagePath_);
    if (!url.isEmpty()) WebBrowser1->setUrl(url);
}

void frmHTML::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (windowState() & Qt::WindowMinimized) return;
    // The view keeps its place at 0, 0 and leaves a small margin; a window
    // smaller than the margin gives the view no room rather than a negative
    // size.
    WebBrowser1->resize(std::max(0, width() - 2), std::max(0, height() - 10));
}

void frmHTML::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted() && openWindow == this) openWindow.clear();
}

void prepareWebEngineEnvironment() { prepareWebEngineEnvironment(geteuid() == 0); }

void prepareWebEngineEnvironment(bool runningAsRoot) {
    if (runningAsRoot && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    // The attribute only counts before the application object exists.
    if (QCoreApplication::instance() == nullptr) {
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    }
}

}  // namespace miniskop
