// The programs read a Miniskop.ini beside themselves first, and the build
// tree may hold one (the desktop program saves its settings there when run
// from it). Suites that start a built program start a copy of it in a folder
// of its own instead, so such a file never changes what they see.
#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

namespace miniskop::testing {

// Path of the copy of the program at `built`, made on the first call.
inline QString programCopy(const QString& built) {
    static QTemporaryDir folder;
    static const QString copy = [&built] {
        const QString path = folder.filePath(QFileInfo(built).fileName());
        if (!QFile::copy(built, path))
            ADD_FAILURE() << "cannot copy " << built.toStdString() << " to " << path.toStdString();
        return path;
    }();
    return copy;
}

}  // namespace miniskop::testing
