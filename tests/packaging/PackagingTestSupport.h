// Helpers of the packaging tests: running a program and reading a text file.
#pragma once

#include <QString>
#include <QStringList>

namespace miniskop::testing {

struct ProgramResult {
    bool started = false;
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs `program` with `arguments` to its end (no time limit: ctest's own
// timeout guards a hang). `environment` entries ("NAME=value") are added to
// the inherited environment.
ProgramResult runProgram(const QString& program, const QStringList& arguments,
                         const QStringList& environment = {});

// The whole file as UTF-8 text; empty when it cannot be read.
QString readText(const QString& path);

}  // namespace miniskop::testing
