// Fuzz body for the INI reader: any bytes as a settings file.
//  - Parsing and writing back without a change gives the bytes unchanged.
//  - Setting one key leaves every other key's value as it was, and reading
//    the written bytes again gives the value set.
//  - Reading the settings file (without writing defaults) ends with a quality
//    in 1..100, whatever the file holds.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "FuzzBodies.h"
#include "IniDocument.h"
#include "IniFile.h"
#include "SettingsFile.h"

namespace miniskop::fuzz {
namespace {

struct Key {
    const char* section;
    const char* key;
};

// The settings file's own keys plus a few spellings that differ in case and
// blanks, so lookups meet the fuzzer's sections.
const Key kKeys[] = {
    {"Groesse_der_Miniaturbilder", "groesseMin"},
    {"Anzahl_der_Miniaturbilder", "anzTabelle"},
    {"Name_der_Html_Seite", "nameHTML"},
    {"Name_des_ThumbnailOrdners", "nameOrdner"},
    {"JPG-Qualitaet", "qJPG"},
    {"Erweiterung", "optE"},
    {"a", "b"},
    {"A", "B"},
};

// The file the settings reader reads; one per process, in memory where the
// system offers it.
QString scratchFile() {
    static QTemporaryDir dir(QDir("/dev/shm").exists()
                                 ? QStringLiteral("/dev/shm/miniskop-fuzz-XXXXXX")
                                 : QDir::tempPath() + "/miniskop-fuzz-XXXXXX");
    return dir.filePath(QStringLiteral("Miniskop.ini"));
}

}  // namespace

void fuzzIni(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const IniDocument doc = IniDocument::parse(bytes);
    check(doc.toBytes() == bytes, "parse then toBytes changes the file");

    std::vector<std::optional<QString>> before;
    for (const Key& k : kKeys) before.push_back(doc.value(k.section, k.key));

    // Which key to set and a plain value for it come from the input's first byte.
    if (!bytes.isEmpty()) {
        const unsigned char pick = static_cast<unsigned char>(bytes[0]);
        const Key& target = kKeys[pick % std::size(kKeys)];
        const QString value = QStringLiteral("v%1").arg(pick);
        IniDocument changed = doc;
        const Status set = changed.setValue(target.section, target.key, value);
        check(set.ok(), "setValue refuses a plain key and value");
        const IniDocument reread = IniDocument::parse(changed.toBytes());
        check(reread.value(target.section, target.key) == value,
              "the value set does not read back");
        for (size_t i = 0; i < std::size(kKeys); ++i) {
            const bool same =
                QString(kKeys[i].section).compare(target.section, Qt::CaseInsensitive) == 0 &&
                QString(kKeys[i].key).compare(target.key, Qt::CaseInsensitive) == 0;
            if (same) continue;
            check(reread.value(kKeys[i].section, kKeys[i].key) == before[i],
                  QStringLiteral("setting [%1]%2 changes [%3]%4")
                      .arg(target.section, target.key, kKeys[i].section, kKeys[i].key));
        }
    }

    // The settings file reader over the same bytes.
    const QString path = scratchFile();
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
        file.write(bytes);
    }
    ThumbSettings settings;
    (void)Ini_Lesen(settings, path, DefaultsWrite::Never);
    check(settings.qJPG() >= 1 && settings.qJPG() <= 100, "quality outside 1..100 after reading");
    const QString value =
        IniFile::GetPrivateProfileString("JPG-Qualitaet", "qJPG", "dflt", 255, path);
    check(value.size() <= 254, "profile value longer than the buffer");
}

}  // namespace miniskop::fuzz
