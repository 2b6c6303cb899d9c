// Reading and saving the settings file. See SettingsFile.h.
#include "SettingsFile.h"

#include <QDir>
#include <QFileInfo>
#include <optional>

#include "IniDocument.h"
#include "IniFile.h"
#include "NameRules.h"
#include "NumberScan.h"
#include "SafeFileWriter.h"

namespace miniskop {
namespace {

struct StoredKey {
    const char* section;
    const char* key;
};

// The six stored settings, in the order they are read and written.
constexpr StoredKey kGroesseMin{"Groesse_der_Miniaturbilder", "groesseMin"};
constexpr StoredKey kAnzTabelle{"Anzahl_der_Miniaturbilder", "anzTabelle"};
constexpr StoredKey kNameHTML{"Name_der_Html_Seite", "nameHTML"};
constexpr StoredKey kNameOrdner{"Name_des_ThumbnailOrdners", "nameOrdner"};
constexpr StoredKey kQJPG{"JPG-Qualitaet", "qJPG"};
constexpr StoredKey kOptE{"Erweiterung", "optE"};

QString joinPath(const QString& dir, const QString& name) {
    if (dir.isEmpty() || dir.endsWith(QLatin1Char('/'))) return dir + name;
    return dir + QLatin1Char('/') + name;
}

// The quality as stored: one decimal number with optional blanks around it, a
// fraction rounded half to even, within 16 bits.
std::optional<qint16> qualityFromText(const QString& text) {
    const auto number = strictNumber(text);
    if (!number) return std::nullopt;
    return roundToInt16(*number);
}

// A truth value as stored: True or False in any letter case, or a number
// (0 is false, anything else true).
std::optional<bool> truthFromText(const QString& text) {
    const QString word = text.trimmed();
    if (word.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
    if (word.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
    const auto number = strictNumber(text);
    if (!number) return std::nullopt;
    return *number != 0.0;
}

// Folders the system's package manager owns. A program installed there keeps
// its settings in the user's folder even when it runs as root (root may write
// anywhere; a file left in /usr/bin would outlive the package).
bool isSystemProgramFolder(const QString& programDir) {
    const QString dir = QDir::cleanPath(QFileInfo(programDir).absoluteFilePath());
    for (const char* system : {"/usr", "/bin", "/sbin", "/lib"}) {
        const QString root = QLatin1String(system);
        if (dir == root || dir.startsWith(root + QLatin1Char('/'))) return true;
    }
    return false;
}

}  // namespace

QString settingsFilePath(const QString& programDir, const QString& userConfigDir) {
    const QString besideProgram = joinPath(programDir, QLatin1String(kSettingsFileName));
    const QFileInfo program(programDir);
    const bool portableFolder =
        program.isDir() && program.isWritable() && !isSystemProgramFolder(programDir);
    if (QFileInfo::exists(besideProgram) || portableFolder || userConfigDir.isEmpty()) {
        return besideProgram;
    }
    return joinPath(userConfigDir, QLatin1String(kSettingsFileName));
}

Status Ini_Lesen(ThumbSettings& settings, const QString& iniPath, DefaultsWrite write) {
    // The text of the read done last decides, after the last step that ran,
    // whether the defaults come back.
    QString lastRead;
    const auto read = [&](const StoredKey& k) {
        lastRead = IniFile::GetPrivateProfileString(QLatin1String(k.section), QLatin1String(k.key),
                                                    QString(), kProfileBufferSize, iniPath);
        return lastRead;
    };

    settings.groesseMin = read(kGroesseMin);
    settings.anzTabelle = read(kAnzTabelle);
    settings.nameHTML = read(kNameHTML);
    settings.nameOrdner = read(kNameOrdner);
    // A name that would lead out of the picture folder is not taken; that
    // setting keeps its default.
    if (!isAcceptedPageName(settings.nameHTML)) settings.nameHTML = ThumbSettings{}.nameHTML;
    if (!isAcceptedFolderName(settings.nameOrdner)) {
        settings.nameOrdner = ThumbSettings{}.nameOrdner;
    }

    // Steps 6 and 7: a failure skips what follows, straight to the check.
    const auto quality = qualityFromText(read(kQJPG));
    if (quality && settings.setQJPG(*quality)) {
        if (const auto truth = truthFromText(read(kOptE))) settings.optE = *truth;
    }

    if (!lastRead.isEmpty()) return Status::success();
    settings.restoreDefaults();
    if (write == DefaultsWrite::Never) return Status::success();
    return Speichern(settings, iniPath);
}

Status Speichern(const ThumbSettings& settings, const QString& iniPath) {
    auto doc = IniDocument::load(iniPath);
    if (!doc) return unexpected(doc.error());

    const std::pair<StoredKey, QString> values[] = {
        {kGroesseMin, settings.groesseMin},
        {kAnzTabelle, settings.anzTabelle},
        {kNameHTML, settings.nameHTML.trimmed()},
        {kNameOrdner, settings.nameOrdner.trimmed()},
        {kQJPG, QString::number(settings.qJPG())},
        {kOptE, settings.optE ? QStringLiteral("True") : QStringLiteral("False")},
    };
    // All six go into one replacement of the file: the same bytes six single
    // writes would leave, but never a file with only some of them.
    for (const auto& [k, value] : values) {
        Status set = doc->setValue(QLatin1String(k.section), QLatin1String(k.key), value);
        if (!set) return set;
    }

    const QString folder = QFileInfo(iniPath).absolutePath();
    if (!QDir().mkpath(folder)) {
        return fail(QStringLiteral("%1: Ordner kann nicht angelegt werden").arg(folder));
    }
    // What an earlier save that died half-way left beside the file goes first.
    removeStaleTemporaries(folder);
    return writeFileAtomically(iniPath, doc->toBytes(), SyncMode::Durable);
}

}  // namespace miniskop
