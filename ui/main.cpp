// The desktop program: loads the main window, whose load is the start-up and
// whose close ends the program. `miniskop FOLDER` (a file manager's "open
// with") starts with that folder shown; --help and --version answer without
// a display.
#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstring>

#include "FileNameBytes.h"
#include "frmAnzeiger.h"
#include "frmHTML.h"

namespace {

const char kUsage[] =
    "Aufruf: miniskop [ORDNER]\n"
    "JPEG-Thumbnails aller Bilder eines Ordners und eine HTML-Übersichtsseite.\n"
    "\n"
    "  ORDNER         der Ordner, der beim Start ausgewählt ist (eine Datei: ihr Ordner)\n"
    "  -h, --help     diese Hilfe\n"
    "  -v, --version  die Version\n";

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) break;
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "-v") == 0 || std::strcmp(argv[i], "--version") == 0) {
            std::fputs("miniskop " MINISKOP_VERSION "\n", stdout);
            return 0;
        }
    }

    miniskop::prepareWebEngineEnvironment();
    QApplication app(argc, argv);

    // What is left once Qt has taken its own options out of argv: at most one
    // folder, taken as bytes (a folder named in Latin-1 is still that folder).
    QStringList folders;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const QString argument = miniskop::nameFromBytes(argv[i]);
        if (!optionsEnd && argument == QLatin1String("--")) {
            optionsEnd = true;
        } else if (!optionsEnd && argument.startsWith(QLatin1Char('-'))) {
            std::fprintf(stderr, "miniskop: unbekannte Option: %s\n%s", qPrintable(argument),
                         kUsage);
            return 2;
        } else {
            folders.append(argument);
        }
    }
    if (folders.size() > 1) {
        std::fprintf(stderr, "miniskop: nur ein Ordner\n%s", kUsage);
        return 2;
    }

    // The name picks the user's settings folder (~/.config/Miniskop), shared
    // with miniskop-batch.
    QApplication::setApplicationName(QStringLiteral("Miniskop"));
    QGuiApplication::setDesktopFileName(QStringLiteral("de.miniskop.Miniskop"));
    // No application display name: the window system would append it to every
    // window's caption, and the captions are fixed texts.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/miniskop/app.svg")));
    // The main window is the program: the other windows do not keep it alive.
    QApplication::setQuitOnLastWindowClosed(false);

    miniskop::frmAnzeiger::Environment environment;
    environment.requestedFolder = folders.value(0);
    miniskop::frmAnzeiger window(std::move(environment));
    window.show();
    return QApplication::exec();
}
