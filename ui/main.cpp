// The desktop program: loads the main window, whose load is the start-up and
// whose close ends the program.
#include <QApplication>
#include <QIcon>

#include "frmAnzeiger.h"
#include "frmHTML.h"

int main(int argc, char** argv) {
    miniskop::prepareWebEngineEnvironment();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("miniskop"));
    // No application display name: the window system would append it to every
    // window's caption, and the captions are fixed texts.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/miniskop/app.svg")));
    // The main window is the program: the other windows do not keep it alive.
    QApplication::setQuitOnLastWindowClosed(false);

    miniskop::frmAnzeiger window;
    window.show();
    return QApplication::exec();
}
