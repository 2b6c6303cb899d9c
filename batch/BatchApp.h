// One invocation of miniskop-batch from arguments to exit status: read the
// options, start from the settings file, list the folder, run, report.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdio>

namespace miniskop {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // a picture failed or the run could not happen
inline constexpr int kExitUsage = 2;

struct BatchEnvironment {
    QStringList arguments;  // without the program name
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    QString programDir;     // folder of the executable
    QString userConfigDir;  // the per-user settings folder
    bool stderrIsTerminal = false;
    bool colour = false;
    int terminalColumns = 0;  // 0 when unknown
};

// The settings file the desktop program would read, if there is one: the one
// settingsFilePath names, otherwise one in the user's settings folder. Empty
// when neither exists. Only ever read.
QString batchSettingsFile(const QString& programDir, const QString& userConfigDir);

int runBatch(const BatchEnvironment& env);

}  // namespace miniskop
