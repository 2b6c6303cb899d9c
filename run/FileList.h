// The file list of one folder: the files whose names match a pattern, sorted by
// name. Filled synchronously, so ListCount is right the moment Path or Pattern
// is written. The batch tool uses it as it is; the window reads folders off
// its own thread with readFolder and hands the result to a FileList with
// assign.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <atomic>
#include <map>

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

    // Takes a listing made elsewhere (readFolder on another thread): folder,
    // pattern and entries change together.
    void assign(const QString& folder, const QString& pattern, QStringList entries);

    int ListCount() const { return static_cast<int>(entries_.size()); }
    // Entry i (a file name without folder); the empty text past the end.
    QString List(int i) const;
    const QStringList& entries() const { return entries_; }

    // Whether `name` matches `pattern` (the rules of setPattern; no validation).
    static bool matches(const QString& pattern, const QString& name);
    // Whether setPattern would accept `pattern`.
    static bool isValidPattern(const QString& pattern);
    // The folder as setPath keeps it: absolute, without "." or "..".
    static QString normalisedFolder(const QString& folder);

private:
    QString path_;
    QString pattern_ = QStringLiteral("*.*");
    QStringList entries_;
};

// Lists regular files (and links to them) of `folder` whose names match
// `pattern`; never folders, FIFOs, sockets or devices; hidden files left out;
// sorted by name without regard to case (ties broken by exact comparison).
Expected<QStringList> listFolder(const QString& folder, const QString& pattern);

// What one reading of a folder is asked for besides the matching files.
struct FolderReadRequest {
    QString pattern = QStringLiteral("*.*");
    bool files = true;        // the files (matching, and the others asked for)
    bool subfolders = false;  // also the sub-folders
    // Also the regular files the pattern leaves out whose extension (lower
    // case, without the dot) is one of these.
    QSet<QString> otherExtensions;
    // When set (from another thread), the reading stops and fails.
    const std::atomic<bool>* stop = nullptr;
};

struct FolderReading {
    QStringList entries;     // as listFolder gives them
    QStringList subfolders;  // folders and links to them, hidden ones left out, sorted alike
    // Extension -> the names, sorted alike, of the files the pattern leaves out.
    std::map<QString, QStringList> unlisted;
};

// One pass over `folder` for everything `request` asks; listFolder is the
// plain case.
Expected<FolderReading> readFolder(const QString& folder, const FolderReadRequest& request);

}  // namespace miniskop
