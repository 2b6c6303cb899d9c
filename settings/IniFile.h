// A small INI layer with the read and write behaviour the settings file needs:
// section and key names compared without regard to case, values unquoted,
// text in Windows-1252. Writing keeps every other line of the file as it was.
#pragma once

#include <QString>

#include "Expected.h"

namespace miniskop {

class IniFile {
public:
    // The value of [section] key=, or `defaultValue` when the file, the section
    // or the key is missing, cut to `bufferSize` - 1 characters (the buffer
    // holds a terminating NUL). Blanks around the value are dropped; nothing
    // else is interpreted.
    static QString GetPrivateProfileString(const QString& section, const QString& key,
                                           const QString& defaultValue, int bufferSize,
                                           const QString& path);

    // Sets [section] key=value, adding the section and the key where missing
    // and creating the file when it does not exist. Other lines stay as they
    // were. The file is replaced whole (temporary file, rename).
    static Status WritePrivateProfileString(const QString& section, const QString& key,
                                            const QString& value, const QString& path);
};

}  // namespace miniskop
