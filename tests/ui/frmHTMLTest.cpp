// The internal browser window: the file URL built from awkward page paths, one
// window at a time that a page write replaces and "Übersicht" brings back, the
// view fitted to the window, and a page that runs no script, reaches no
// remote address and still opens its picture links.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPointer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "OverviewPictureWindow.h"
#include "OverviewWebPage.h"
#include "UiEvents.h"
#include "frmHTML.h"

namespace miniskop {
namespace {

// The engine reads its environment when it first starts, which is after the
// test main has made the QApplication; the shared-context attribute must be
// set before that, as the program's main does it.
const bool environmentPrepared = [] {
    prepareWebEngineEnvironment();
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS")) {
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    }
    return true;
}();

constexpr int kLoadWaitMs = 60000;  // generous: only a hung engine reaches it

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray page(const char* title, const QByteArray& body = {}) {
    return QByteArray("<HTML><HEAD><TITLE>") + title + "</TITLE></HEAD><Body bgcolor='#000000'>" +
           body + "</Body></HTML>";
}

// Waits for the view's current load to end; true when it ended well.
bool waitForLoad(QWebEngineView* view) {
    bool ok = false;
    return testing::waitFor(view, &QWebEngineView::loadFinished, kLoadWaitMs,
                            [&](bool finishedOk) { ok = finishedOk; }) &&
           ok;
}

// Receives what QDesktopServices::openUrl hands to the default browser.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) {
        urls.append(url);
        emit opened();
    }
signals:
    void opened();
};

// Reaches the page's navigation policy.
struct PolicyProbe : OverviewWebPage {
    using OverviewWebPage::acceptNavigationRequest;
    using OverviewWebPage::createWindow;
};

class FrmHTMLTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(environmentPrepared);
        ASSERT_TRUE(tmp.isValid());
        // A folder with blanks, umlauts and an apostrophe in its name.
        folder = tmp.filePath(QStringLiteral("Bilder vom Süden/Peter's Übersicht"));
        ASSERT_TRUE(QDir().mkpath(folder));
        pagePath = folder + QStringLiteral("/ThumbIndex.html");
        ASSERT_TRUE(writeFile(pagePath, page("Eins")));
    }
    void TearDown() override {
        if (frmHTML* open = frmHTML::instance()) open->close();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QTemporaryDir tmp;
    UrlRecorder recorder;  // unregistered in TearDown, before it goes
    QString folder;
    QString pagePath;
};

TEST(FrmHTMLUrl, AwkwardPathsBecomeProperFileUrls) {
    const QString path = QStringLiteral("/home/anna/Bilder vom Süden/Peter's 100%#1/Index.html");
    const QUrl url = frmHTML::pageUrl(path);
    EXPECT_TRUE(url.isLocalFile());
    EXPECT_EQ(url.toLocalFile(), path);  // nothing is lost to a fragment or an escape
    EXPECT_TRUE(url.fragment().isEmpty());
    EXPECT_EQ(url.toString(QUrl::FullyEncoded),
              QStringLiteral("file:///home/anna/Bilder%20vom%20S%C3%BCden/Peter's%20100%25%231/"
                             "Index.html"));

    // A relative path is taken from the current folder.
    const QUrl relative = frmHTML::pageUrl(QStringLiteral("sub/Index.html"));
    EXPECT_EQ(relative.toLocalFile(), QDir::current().absoluteFilePath("sub/Index.html"));
    EXPECT_TRUE(frmHTML::pageUrl(QString()).isEmpty());
}

TEST(FrmHTMLEnvironment, SandboxIsSwitchedOffOnlyForRoot) {
    if (geteuid() == 0) {
        EXPECT_FALSE(qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"));
    }
    EXPECT_TRUE(QCoreApplication::testAttribute(Qt::AA_ShareOpenGLContexts));

    // The variable as the engine found it is put back afterwards.
    const bool wasSet = qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX");
    const QByteArray was = qgetenv("QTWEBENGINE_DISABLE_SANDBOX");
    qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    prepareWebEngineEnvironment(false);
    EXPECT_FALSE(qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) << "not for a user";
    prepareWebEngineEnvironment(true);
    EXPECT_EQ(qgetenv("QTWEBENGINE_DISABLE_SANDBOX"), "1");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "0");
    prepareWebEngineEnvironment(true);
    EXPECT_EQ(qgetenv("QTWEBENGINE_DISABLE_SANDBOX"), "0") << "the caller's own choice stays";
    if (wasSet) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", was);
    } else {
        qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    }
}

TEST(FrmHTMLPolicy, OnlyLocalFilesAreShown) {
    EXPECT_TRUE(OverviewWebPage::isAllowedUrl(QUrl::fromLocalFile("/a b/ThumbIndex.html")));
    EXPECT_TRUE(OverviewWebPage::isAllowedUrl(QUrl("about:blank")));
    for (const char* refused :
         {"http://example.com/", "https://example.com/x.jpg", "ftp://example.com/",
          "data:text/html,<b>x</b>", "javascript:alert(1)", "about:config"}) {
        EXPECT_FALSE(OverviewWebPage::isAllowedUrl(QUrl(refused))) << refused;
    }

    PolicyProbe probe;
    EXPECT_FALSE(probe.acceptNavigationRequest(QUrl("https://example.com/"),
                                               QWebEnginePage::NavigationTypeLinkClicked, true));
    EXPECT_TRUE(probe.acceptNavigationRequest(QUrl::fromLocalFile("/tmp/b.jpg"),
                                              QWebEnginePage::NavigationTypeLinkClicked, true));
    EXPECT_EQ(probe.createWindow(QWebEnginePage::WebBrowserTab), nullptr);
    EXPECT_FALSE(probe.settings()->testAttribute(QWebEngineSettings::JavascriptEnabled));
    EXPECT_FALSE(
        probe.settings()->testAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls));
}

TEST_F(FrmHTMLTest, ReopenShowsTheWindowMaximisedOnThePage) {
    frmHTML* window = frmHTML::reopen(pagePath);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(frmHTML::instance(), window);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Thumbnail-Übersicht"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(window->pagePath(), pagePath);
    EXPECT_EQ(window->WebBrowser1->pos(), QPoint(0, 0));

    ASSERT_TRUE(waitForLoad(window->WebBrowser1));
    EXPECT_EQ(window->WebBrowser1->url(), frmHTML::pageUrl(pagePath));
    EXPECT_EQ(window->WebBrowser1->title(), "Eins");
}

TEST_F(FrmHTMLTest, ASecondPageWriteReplacesTheWindow) {
    QPointer<frmHTML> first = frmHTML::reopen(pagePath);
    ASSERT_TRUE(waitForLoad(first->WebBrowser1));

    ASSERT_TRUE(writeFile(pagePath, page("Zwei")));
    frmHTML* second = frmHTML::reopen(pagePath);
    EXPECT_NE(second, first.data());
    EXPECT_EQ(frmHTML::instance(), second);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());  // the old window is gone, not navigated

    ASSERT_TRUE(waitForLoad(second->WebBrowser1));
    EXPECT_EQ(second->WebBrowser1->title(), "Zwei");
    EXPECT_TRUE(second->windowState() & Qt::WindowMaximized);
}

TEST_F(FrmHTMLTest, UebersichtRaisesTheOpenWindowWithoutReloading) {
    frmHTML* window = frmHTML::reopen(pagePath);
    ASSERT_TRUE(waitForLoad(window->WebBrowser1));
    window->setWindowState(Qt::WindowMinimized);

    ASSERT_TRUE(writeFile(pagePath, page("Neu auf der Platte")));
    int started = 0;
    const auto counting = QObject::connect(window->WebBrowser1, &QWebEngineView::loadStarted,
                                           window, [&] { ++started; });
    EXPECT_EQ(frmHTML::showOverview(pagePath), window);
    QCoreApplication::processEvents();

    EXPECT_EQ(frmHTML::instance(), window);
    EXPECT_TRUE(window->windowState() & Qt::WindowMaximized);
    EXPECT_FALSE(window->windowState() & Qt::WindowMinimized);
    EXPECT_EQ(started, 0);
    QObject::disconnect(counting);
    EXPECT_EQ(window->WebBrowser1->title(), "Eins");
}

TEST_F(FrmHTMLTest, UebersichtAfterClosingOpensTheSamePageAgain) {
    QPointer<frmHTML> window = frmHTML::reopen(pagePath);
    ASSERT_TRUE(waitForLoad(window->WebBrowser1));
    window->close();
    EXPECT_EQ(frmHTML::instance(), nullptr);  // at once, before the deletion
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());

    frmHTML* again = frmHTML::showOverview(pagePath);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(frmHTML::instance(), again);
    EXPECT_TRUE(again->windowState() & Qt::WindowMaximized);
    ASSERT_TRUE(waitForLoad(again->WebBrowser1));
    EXPECT_EQ(again->WebBrowser1->url(), frmHTML::pageUrl(pagePath));
    EXPECT_EQ(again->WebBrowser1->title(), "Eins");
}

// Escape closes the window, also while the page has the keyboard (the key
// then goes through the window system's shortcut path, as a real one does).
TEST_F(FrmHTMLTest, EscapeClosesTheWindowWhileThePageHasTheKeyboard) {
    QPointer<frmHTML> window = frmHTML::reopen(pagePath);
    ASSERT_TRUE(waitForLoad(window->WebBrowser1));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    window->WebBrowser1->setFocus();
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    ASSERT_TRUE(window->isAncestorOf(focus));
    QTest::keyClick(focus, Qt::Key_Escape);
    EXPECT_EQ(frmHTML::instance(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

TEST_F(FrmHTMLTest, TheViewIsFittedButNeverNegativeNorWhileMinimised) {
    frmHTML* window = frmHTML::reopen(pagePath);
    window->setWindowState(Qt::WindowNoState);
    window->resize(300, 200);
    EXPECT_EQ(window->WebBrowser1->geometry(), QRect(0, 0, 298, 190));

    window->resize(1, 5);
    EXPECT_EQ(window->WebBrowser1->geometry(), QRect(0, 0, 0, 0));

    window->resize(400, 300);
    EXPECT_EQ(window->WebBrowser1->size(), QSize(398, 290));
    window->setWindowState(Qt::WindowMinimized);
    window->resize(250, 150);
    EXPECT_EQ(window->WebBrowser1->size(), QSize(398, 290));
}

TEST_F(FrmHTMLTest, ThePageRunsNoScriptAndReachesNoRemoteAddress) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const QByteArray remote = "http://127.0.0.1:" + QByteArray::number(server.serverPort());
    // Were the picture requested, the server would never answer and the load
    // would not finish.
    ASSERT_TRUE(writeFile(pagePath, page("Ohne Skript",
                                         "<script>document.title='Skript';</script>"
                                         "<img src='" +
                                             remote + "/bild.jpg'>")));

    frmHTML* window = frmHTML::reopen(pagePath);
    ASSERT_TRUE(waitForLoad(window->WebBrowser1));
    EXPECT_EQ(window->WebBrowser1->title(), "Ohne Skript");
    EXPECT_FALSE(server.hasPendingConnections());
}

TEST_F(FrmHTMLTest, APictureLinkWithTargetBlankOpensThePictureInAWindow) {
    // A BMP, for which many desktops register no viewer at all.
    const QString picture = tmp.filePath(QStringLiteral("Bilder vom Süden/Strand & Meer.bmp"));
    QImage original(120, 80, QImage::Format_RGB32);
    original.fill(QColor(200, 40, 30));
    ASSERT_TRUE(original.save(picture, "BMP"));
    // One link covering the whole page, as the overview page links its names.
    ASSERT_TRUE(
        writeFile(pagePath, page("Links",
                                 "<a href='../Strand &amp; Meer.bmp' Target='_blank' "
                                 "style='display:block;width:100%;height:2000px'>Strand</a>")));
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");

    frmHTML* window = frmHTML::reopen(pagePath);
    ASSERT_TRUE(waitForLoad(window->WebBrowser1));
    auto* overviewPage = qobject_cast<OverviewWebPage*>(window->WebBrowser1->page());
    ASSERT_NE(overviewPage, nullptr);
    QWidget* surface = window->WebBrowser1->focusProxy();
    ASSERT_NE(surface, nullptr);
    QUrl opened;
    QPointer<QWidget> shown;
    QTimer::singleShot(0, surface, [surface] { testing::click(surface, QPoint(50, 50)); });
    ASSERT_TRUE(testing::waitFor(overviewPage, &OverviewWebPage::linkOpened, kLoadWaitMs,
                                 [&](const QUrl& url, QWidget* w) {
                                     opened = url;
                                     shown = w;
                                 }));

    EXPECT_EQ(opened.toLocalFile(), picture);
    auto* pictureWindow = qobject_cast<OverviewPictureWindow*>(shown.data());
    ASSERT_NE(pictureWindow, nullptr);
    EXPECT_TRUE(pictureWindow->isVisible());
    EXPECT_EQ(pictureWindow->windowTitle(), "Strand & Meer.bmp");
    EXPECT_EQ(pictureWindow->picture().size(), QSize(120, 80));
    EXPECT_EQ(pictureWindow->picture().pixelColor(60, 40), QColor(200, 40, 30));
    EXPECT_TRUE(recorder.urls.isEmpty()) << "a picture does not depend on the desktop's viewer";
    EXPECT_EQ(window->WebBrowser1->url(), frmHTML::pageUrl(pagePath));  // the page stays
    pictureWindow->close();

    // A name that is not UTF-8 (Latin-1): the link's %FC is the byte of the
    // name, and the window's title shows the replacement mark.
    const QByteArray latin1 = QFile::encodeName(QFileInfo(picture).path()) + "/Gr\xfcn.bmp";
    ASSERT_EQ(::link(QFile::encodeName(picture).constData(), latin1.constData()), 0);
    QWidget* odd =
        OverviewWebPage::openLink(QUrl::fromEncoded("file://" + latin1.toPercentEncoding("/")));
    auto* oddWindow = qobject_cast<OverviewPictureWindow*>(odd);
    ASSERT_NE(oddWindow, nullptr);
    EXPECT_EQ(oddWindow->windowTitle(), u"Gr\uFFFDn.bmp"_qs);
    EXPECT_EQ(oddWindow->picture().size(), QSize(120, 80));
    oddWindow->close();
}

TEST_F(FrmHTMLTest, ALinkToAnotherFileGoesToTheDefaultHandler) {
    const QString text = tmp.filePath(QStringLiteral("Bilder vom Süden/Liesmich.txt"));
    ASSERT_TRUE(writeFile(text, "kein Bild"));
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");

    EXPECT_EQ(OverviewWebPage::openLink(QUrl::fromLocalFile(text)), nullptr);
    ASSERT_EQ(recorder.urls.size(), 1);
    EXPECT_EQ(recorder.urls[0].toLocalFile(), text);
}

TEST_F(FrmHTMLTest, WithoutADefaultHandlerOrFileALinkOpensAViewerWindow) {
    const QString other = tmp.filePath(QStringLiteral("Bilder vom Süden/bild.html"));
    ASSERT_TRUE(writeFile(other, page("Bild")));
    // A handler that cannot be called makes the default-handler call fail,
    // as it does when no program is registered.
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "keineSolcheMethode");

    QPointer<QWidget> viewer = OverviewWebPage::openLink(QUrl::fromLocalFile(other));
    ASSERT_NE(viewer, nullptr);
    auto* view = qobject_cast<QWebEngineView*>(viewer.data());
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isVisible());
    ASSERT_TRUE(waitForLoad(view));
    EXPECT_EQ(view->title(), "Bild");
    view->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(viewer.isNull());

    // A picture removed after the page was written: the viewer shows the
    // engine's notice rather than nothing.
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    const QUrl gone = QUrl::fromLocalFile(tmp.filePath(QStringLiteral("weg.jpg")));
    QPointer<QWidget> notice = OverviewWebPage::openLink(gone);
    auto* noticeView = qobject_cast<QWebEngineView*>(notice.data());
    ASSERT_NE(noticeView, nullptr);
    EXPECT_TRUE(noticeView->isVisible());
    EXPECT_EQ(noticeView->url(), gone);
    noticeView->close();

    // Addresses other than local files open nowhere.
    EXPECT_EQ(OverviewWebPage::openLink(QUrl("https://example.com/x.jpg")), nullptr);
    EXPECT_TRUE(recorder.urls.isEmpty());
}

}  // namespace
}  // namespace miniskop

#include "frmHTMLTest.moc"
