// The file list of one folder: the files whose names match a pattern, sorted by
// name. Filled synchronously, so ListCount is right the moment Path or Pattern
// is written. Both the window's file list and the batch tool use it.
#pragma once

#include <QString>
#include <QStringList>

#include "Expected.h"

namespace miniskop {

class FileList {
public:
    // Lists `folder`; on failure (missing, not a folder, unreadable) the list
    // keeps the folder and entries it had.
    Status setPath(const QString& folder);
    QString path() const { return path_; }

    // One or more wildcard patterns separated by ";" ("*" any run of
    // characters, "?" one character), matched without regard to case. Refused
    // (the list keeps its pattern) when an item is empty or holds "/" or a
    // control character.
    Status setPattern(const QString& pattern);
    QString pattern() const { return pattern_; }

    int ListCount() const { return static_cast<int>(entries_.size()); }
    // Entry i (a file name without folder); the empty text past the end.
    QString List(int i) const;
    const QStringList& entries() const { return entries_; }

    // Whether `name` matches `pattern` (the rules of setPattern; no validation).
    static bool matches(const QString& pattern, const QString& name);
    // Whether setPattern would accept `pattern`.
    static bool isValidPattern(const QString& pattern);

private:
    QString path_;
    QString pattern_ = QStringLiteral("*.*");
    QStringList entries_;
};

// Lists regular files (and links to them) of `folder` whose names match
// `pattern`; never folders, FIFOs, sockets or devices; hidden files left out;
// sorted by name without regard to case (ties broken by exact comparison).
Expected<QStringList> listFolder(const QString& folder, const QString& pattern);

}  // namespace miniskop
