// The desktop program: loads the main window, whose load is the start-up and
// whose close ends the program. `miniskop FOLDER` (a file manager's "open
// with") starts with that folder shown.
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include "frmAnzeiger.h"
#include "frmHTML.h"

int main(int argc, char** argv) {
    miniskop::prepareWebEngineEnvironment();
    QApplication app(argc, argv);
    // The name picks the user's settings folder (~/.config/Miniskop), shared
    // with miniskop-batch.
    QApplication::setApplicationName(QStringLiteral("Miniskop"));
    QApplication::setApplicationVersion(QStringLiteral(MINISKOP_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("de.miniskop.Miniskop"));
    // No application display name: the window system would append it to every
    // window's caption, and the captions are fixed texts.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/miniskop/app.svg")));
    // The main window is the program: the other windows do not keep it alive.
    QApplication::setQuitOnLastWindowClosed(false);

    // An unknown option ends the program with a message; a folder that does
    // not exist is the window's to report.
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("JPEG-Thumbnails aller Bilder eines Ordners und eine HTML-Übersichtsseite"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("ordner"),
                                 QStringLiteral("Ordner, der beim Start ausgewählt ist"),
                                 QStringLiteral("[ordner]"));
    parser.process(app);

    miniskop::frmAnzeiger::Environment environment;
    if (!parser.positionalArguments().isEmpty()) {
        environment.requestedFolder = parser.positionalArguments().first();
    }
    miniskop::frmAnzeiger window(std::move(environment));
    window.show();
    return QApplication::exec();
}
