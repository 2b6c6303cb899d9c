// Small file helpers for the settings tests.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include "SafeFileWriter.h"

namespace miniskop::testing {

inline QByteArray readBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

inline bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(bytes) == bytes.size();
}

// Names in `dir` left behind by an interrupted atomic write.
inline QStringList temporaryLeftovers(const QString& dir) {
    return QDir(dir).entryList({QLatin1String(kTemporaryPrefix) + QLatin1Char('*')},
                               QDir::Files | QDir::Hidden);
}

}  // namespace miniskop::testing
