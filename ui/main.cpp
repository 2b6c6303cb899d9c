// The desktop program: loads the main window, whose load is the start-up and
// whose close ends the program.
#include <QApplication>
#include <QIcon>

#include "frmAnzeiger.h"
#include "frmHTML.h"

int main(int argc, char** argv) {
    miniskop::prepareWebEngineEnvironment();
    QApplication app(argc, argv);
    // The name picks the user's settings folder (~/.config/Miniskop), shared
    // with miniskop-batch.
    QApplication::setApplicationName(QStringLiteral("Miniskop"));
    QGuiApplication::setDesktopFileName(QStringLiteral("de.miniskop.Miniskop"));
    // No application display name: the window system would append it to every
    // window's caption, and the captions are fixed texts.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/miniskop/app.svg")));
    // The main window is the program: the other windows do not keep it alive.
    QApplication::setQuitOnLastWindowClosed(false);

    miniskop::frmAnzeiger window;
    window.show();
    return QApplication::exec();
}
