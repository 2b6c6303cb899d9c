// The folders one call of miniskop-batch works on, in the order it works on
// them: the folders given, each once however it is spelled; with --recursive
// also every folder below them that holds pictures matching the pattern,
// depth first and by name. Never entered: the thumbnail folders (the folder
// name setting, at every level), hidden folders, and a folder already seen
// (symbolic links are followed once, so a loop ends there).
#pragma once

#include <QString>
#include <QStringList>

namespace miniskop {

struct FolderWalk {
    QStringList folders;   // absolute paths, each to get its own run
    QStringList problems;  // folders that could not be read, with the reason
};

// `given`: the folders as typed, relative to `currentDir`. `thumbnailFolder`:
// the folder name setting, blanks trimmed (empty: the picture folder itself).
// Without `recursive` a given folder is run even when it holds no pictures
// (its run says so); with it, only folders that hold pictures are run.
FolderWalk walkFolders(const QStringList& given, bool recursive, const QString& pattern,
                       const QString& thumbnailFolder, const QString& currentDir);

}  // namespace miniskop
