// The folders one call of miniskop-batch works on, in the order it works on
// them: the folders given, each once however it is spelled (a given folder
// may itself be a symbolic link); with --recursive also every folder below
// them that holds pictures matching the pattern, depth first and by name.
// Links to folders below are not followed unless asked (--follow-links).
// Never entered, links or not: the thumbnail folders (the folder name
// setting, at every level), hidden folders, a folder already seen, and a
// folder that holds nothing but thumbnails and a page this program made
// (a thumbnail folder made under another folder name).
#pragma once

#include <QString>
#include <QStringList>

namespace miniskop {

struct FolderWalk {
    QStringList folders;   // absolute paths, each to get its own run
    QStringList problems;  // folders that could not be read, with the reason
};

struct FolderWalkRequest {
    QStringList given;  // the folders as typed, relative to `currentDir`
    QString currentDir;
    bool recursive = false;
    bool followLinks = false;  // with `recursive`: also enter links to folders
    QString pattern;
    QString thumbnailFolder;  // the folder name setting, blanks trimmed (empty: none)
    QString pageName;         // the page name setting, blanks trimmed
};

// Without `recursive` a given folder is run even when it holds no pictures
// (its run says so); with it, only folders that hold pictures are run.
FolderWalk walkFolders(const FolderWalkRequest& request);

}  // namespace miniskop
