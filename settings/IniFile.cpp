// The two INI calls the settings file is built on, over IniDocument. Reading
// never fails (a missing or unreadable file gives the default); writing
// replaces the file whole, so a crash never leaves half a settings file.
#include "IniFile.h"

#include "IniDocument.h"
#include "SafeFileWriter.h"

namespace miniskop {

QString IniFile::GetPrivateProfileString(const QString& section, const QString& key,
                                         const QString& defaultValue, int bufferSize,
                                         const QString& path) {
    QString text = defaultValue;
    if (const auto doc = IniDocument::load(path)) {
        if (auto found = doc->value(section, key)) text = std::move(*found);
    }
    // The caller's buffer holds bufferSize - 1 characters and the closing NUL;
    // a value holding a NUL character ends there as well.
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0) text.truncate(nul);
    const qsizetype room = bufferSize > 0 ? bufferSize - 1 : 0;
    if (text.size() > room) text.truncate(room);
    return text;
}

Status IniFile::WritePrivateProfileString(const QString& section, const QString& key,
                                          const QString& value, const QString& path) {
    auto doc = IniDocument::load(path);
    if (!doc) return unexpected(doc.error());
    if (Status set = doc->setValue(section, key, value); !set) return set;
    return writeFileAtomically(path, doc->toBytes(), SyncMode::Durable);
}

}  // namespace miniskop
