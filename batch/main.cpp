// miniskop-batch: makes the thumbnails and the overview page of one folder
// without a window, through the same run as the desktop program.
#include <unistd.h>

#include <QCoreApplication>
#include <QStandardPaths>
#include <cstdio>

#include "BatchApp.h"
#include "FileNameBytes.h"
#include "TerminalProgressSurface.h"

int main(int argc, char** argv) {
    // What libraries print on their own through stdio (libjxl's error traces
    // on a broken file, Qt's warnings) goes nowhere: the tool names every
    // failed picture once, with its reason, on the stderr it keeps for
    // itself. Sanitizer and crash reports write to the descriptor directly
    // and still appear.
    std::FILE* const terminal = stderr;
    if (std::FILE* quiet = std::fopen("/dev/null", "w")) stderr = quiet;

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Miniskop"));
    QCoreApplication::setOrganizationName(QString());

    miniskop::BatchEnvironment env;
    env.err = terminal;
    // The arguments as bytes: a folder named in Latin-1 is still that folder.
    for (int i = 1; i < argc; ++i) env.arguments.append(miniskop::nameFromBytes(argv[i]));
    env.programDir = QCoreApplication::applicationDirPath();
    env.userConfigDir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    env.stderrIsTerminal = isatty(STDERR_FILENO) == 1;
    if (env.stderrIsTerminal) {
        env.terminalColumns = miniskop::terminalColumns(STDERR_FILENO);
        const QByteArray term = qgetenv("TERM");
        env.colour = qEnvironmentVariableIsEmpty("NO_COLOR") && !term.isEmpty() && term != "dumb";
    }
    return miniskop::runBatch(env);
}
