// frmHTML, the internal browser window that shows the overview page: a web
// view (WebBrowser1) on a black window, always shown maximised. There is at
// most one; it is created when shown and destroyed when closed.
#pragma once

#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

class QWebEngineView;

namespace miniskop {

class frmHTML : public QWidget {
    Q_OBJECT
public:
    // The open window, or nullptr.
    static frmHTML* instance();

    // "Übersicht": shows the window (loading `pagePath` when it is created),
    // or brings the open one to the front without reloading; maximised.
    static frmHTML* showOverview(const QString& pagePath);

    // After a page write: closes an open window and opens a new one, maximised,
    // on `pagePath`.
    static frmHTML* reopen(const QString& pagePath);

    // The URL the view is given for a page path.
    static QUrl pageUrl(const QString& pagePath);

    QWebEngineView* WebBrowser1 = nullptr;
    QString pagePath() const { return pagePath_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    // A closed window is no longer the instance, even before it is deleted.
    void closeEvent(QCloseEvent* event) override;

private:
    explicit frmHTML(const QString& pagePath);
    QString pagePath_;
};

// To be called by main() before the QApplication is made: the web engine
// shares OpenGL contexts, and runs without its sandbox when the program runs
// as root (the sandbox refuses to start then).
void prepareWebEngineEnvironment();

// The same with the user given: QTWEBENGINE_DISABLE_SANDBOX=1 is set only for
// root, and a value the caller's environment already has is kept.
void prepareWebEngineEnvironment(bool runningAsRoot);

}  // namespace miniskop
