// "Miniskop.ini": where it is, the reading steps with their early stop and the
// defaults fallback, and saving the six keys.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDateTime>
#include <QFileInfo>
#include <QTemporaryDir>

#include "IniFile.h"
#include "SettingsFile.h"
#include "TestFiles.h"
#include "Unprivileged.h"

namespace miniskop {
namespace {

using testing::readBytes;
using testing::temporaryLeftovers;
using testing::writeBytes;

const QByteArray kDefaultFile =
    "[Groesse_der_Miniaturbilder]\r\ngroesseMin=120\r\n"
    "[Anzahl_der_Miniaturbilder]\r\nanzTabelle=6\r\n"
    "[Name_der_Html_Seite]\r\nnameHTML=ThumbIndex.html\r\n"
    "[Name_des_ThumbnailOrdners]\r\nnameOrdner=Thumbnails\r\n"
    "[JPG-Qualitaet]\r\nqJPG=90\r\n"
    "[Erweiterung]\r\noptE=True\r\n";

// A file with the six keys; `qJPG` and `optE` as given, nullptr leaves the key out.
QByteArray settingsText(const char* qJPG, const char* optE) {
    QByteArray text =
        "[Groesse_der_Miniaturbilder]\r\ngroesseMin=80px\r\n"
        "[Anzahl_der_Miniaturbilder]\r\nanzTabelle=4\r\n"
        "[Name_der_Html_Seite]\r\nnameHTML=index.htm\r\n"
        "[Name_des_ThumbnailOrdners]\r\nnameOrdner=Mini\r\n";
    if (qJPG) text += QByteArray("[JPG-Qualitaet]\r\nqJPG=") + qJPG + "\r\n";
    if (optE) text += QByteArray("[Erweiterung]\r\noptE=") + optE + "\r\n";
    return text;
}

class SettingsFileTest : public ::testing::Test {
protected:
    QString path() const { return dir.filePath(QStringLiteral("Miniskop.ini")); }

    // Writes `bytes` and dates the file back, so that any rewrite shows.
    void writeOld(const QByteArray& bytes) {
        ASSERT_TRUE(writeBytes(path(), bytes));
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(oldTime, QFileDevice::FileModificationTime));
    }
    bool untouched(const QByteArray& bytes) const {
        return readBytes(path()) == bytes && QFileInfo(path()).lastModified().toUTC() == oldTime;
    }

    const QDateTime oldTime = QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
    QTemporaryDir dir;
    ThumbSettings settings;
};

TEST_F(SettingsFileTest, AllSixValidAreAppliedAndTheFileIsNotRewritten) {
    const QByteArray text = settingsText("75", "False");
    writeOld(text);
    EXPECT_TRUE(Ini_Lesen(settings, path()));
    EXPECT_EQ(settings.groesseMin, QStringLiteral("80px"));
    EXPECT_EQ(settings.anzTabelle, QStringLiteral("4"));
    EXPECT_EQ(settings.nameHTML, QStringLiteral("index.htm"));
    EXPECT_EQ(settings.nameOrdner, QStringLiteral("Mini"));
    EXPECT_EQ(settings.qJPG(), 75);
    EXPECT_FALSE(settings.optE);
    EXPECT_TRUE(untouched(text));
}

TEST_F(SettingsFileTest, EmptyFileGetsTheDefaultsWithTheCurrentOptE) {
    writeOld(QByteArray());
    settings.optE = false;
    settings.zusatzAnfang = QStringLiteral("pre_");
    EXPECT_TRUE(Ini_Lesen(settings, path()));
    EXPECT_EQ(settings.groesseMin, QStringLiteral("120"));
    EXPECT_EQ(settings.nameOrdner, QStringLiteral("Thumbnails"));
    EXPECT_EQ(settings.zusatzAnfang, QStringLiteral("t_"));
    EXPECT_FALSE(settings.optE);
    QByteArray expected = kDefaultFile;
    expected.replace("optE=True", "optE=False");
    EXPECT_EQ(readBytes(path()), expected);
}

TEST_F(SettingsFileTest, EmptyFileWithoutWritingRestoresDefaultsOnlyInMemory) {
    writeOld(QByteArray());
    settings.groesseMin = QStringLiteral("33");
    EXPECT_TRUE(Ini_Lesen(settings, path(), DefaultsWrite::Never));
    EXPECT_EQ(settings.groesseMin, QStringLiteral("120"));
    EXPECT_TRUE(untouched(QByteArray()));
}

TEST_F(SettingsFileTest, MissingOptEReplacesEverythingByTheDefaults) {
    writeOld(settingsText("75", nullptr));
    EXPECT_TRUE(Ini_Lesen(settings, path()));
    EXPECT_EQ(settings.groesseMin, QStringLiteral("120"));
    EXPECT_EQ(settings.anzTabelle, QStringLiteral("6"));
    EXPECT_EQ(settings.qJPG(), 90);
    EXPECT_TRUE(settings.optE);
    // The existing sections are updated in place; optE is added at the end.
    EXPECT_EQ(readBytes(path()), kDefaultFile);
}

TEST_F(SettingsFileTest, QualityOutOfRangeStopsReadingWithoutRewrite) {
    const QByteArray text = settingsText("150", "False");
    writeOld(text);
    EXPECT_TRUE(Ini_Lesen(settings, path()));
    EXPECT_EQ(settings.nameOrdner, QStringLiteral("Mini"));  // read before the stop
    EXPECT_EQ(settings.qJPG(), 90);
    EXPECT_TRUE(settings.optE);  // not read
    EXPECT_TRUE(untouched(text));
}

TEST_F(SettingsFileTest, EmptyQualityRestoresAndSavesDefaultsWithoutReadingOptE) {
    writeOld(settingsText("", "False"));
    EXPECT_TRUE(Ini_Lesen(settings, path()));
    EXPECT_EQ(settings.nameOrdner, QStringLiteral("Thumbnails"));
    EXPECT_TRUE(settings.optE);  // "False" was never read
    EXPECT_EQ(readBytes(path()), kDefaultFile);
}

TEST_F(SettingsFileTest, MissingSizeKeyGivesEmptyTextButNoDefaults) {
    QByteArray text = settingsText("75", "True");
    text.replace("groesseMin=80px\r\n", "");
    writeOld(text);
    EXPECT_TRUE(Ini_Lesen(settings, path()));
    EXPECT_EQ(settings.groesseMin, QString());
    EXPECT_EQ(settings.nameOrdner, QStringLiteral("Mini"));
    EXPECT_EQ(settings.qJPG(), 75);
    EXPECT_TRUE(untouched(text));
}

TEST_F(SettingsFileTest, NamesThatLeadOutOfThePictureFolderKeepTheirDefaults) {
    struct Case {
        const char* page;
        const char* folder;
        const char* pageRead;
        const char* folderRead;
    };
    const Case cases[] = {
        {"../../../escape.html", "../../esc", "ThumbIndex.html", "Thumbnails"},
        {"..", "/tmp/x", "ThumbIndex.html", "Thumbnails"},
        {" .. ", " . ", "ThumbIndex.html", "Thumbnails"},
        {"", "", "", ""},  // empty names stay: the run deals with them
        {"...html", ".Vorschau", "...html", ".Vorschau"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        QByteArray text = settingsText("75", "False");
        text.replace("nameHTML=index.htm", QByteArray("nameHTML=") + c.page);
        text.replace("nameOrdner=Mini", QByteArray("nameOrdner=") + c.folder);
        writeOld(text);
        EXPECT_TRUE(Ini_Lesen(settings, path()));
        EXPECT_EQ(settings.nameHTML, QString::fromUtf8(c.pageRead));
        EXPECT_EQ(settings.nameOrdner, QString::fromUtf8(c.folderRead));
        EXPECT_EQ(settings.qJPG(), 75);  // the other values are read as ever
        EXPECT_TRUE(untouched(text));
    }
}

TEST_F(SettingsFileTest, QualityTextIsOneNumberRoundedHalfToEven) {
    struct Case {
        const char* text;
        std::optional<int> expected;  // nothing: refused
    };
    const Case cases[] = {{"1", 1},       {"100", 100},  {" 42 ", 42}, {"90.5", 90}, {"91.5", 92},
                          {"100.5", 100}, {"1e2", 100},  {"0", {}},    {"101", {}},  {"-5", {}},
                          {"0.5", {}},    {"70000", {}}, {"9x", {}},   {"abc", {}}};
    for (const auto& c : cases) {
        const QByteArray text = settingsText(c.text, "False");
        writeOld(text);
        ThumbSettings fresh;
        EXPECT_TRUE(Ini_Lesen(fresh, path()));
        EXPECT_EQ(fresh.qJPG(), c.expected.value_or(90)) << c.text;
        // optE is read only after a valid quality; a refused one stops there.
        EXPECT_EQ(fresh.optE, !c.expected) << c.text;
        EXPECT_TRUE(untouched(text)) << c.text;
    }
}

TEST_F(SettingsFileTest, TruthValueIsAWordInAnyCaseOrANumber) {
    struct Case {
        const char* text;
        std::optional<bool> expected;  // nothing: refused, optE keeps its value
    };
    const Case cases[] = {
        {"True", true},        {"false", false},       {"TRUE", true}, {"fAlSe", false},
        {"-1", true},          {"0", false},           {"2", true},    {"0.0", false},
        {"yes", std::nullopt}, {"Truex", std::nullopt}};
    for (const auto& c : cases) {
        for (const bool start : {true, false}) {
            const QByteArray text = settingsText("75", c.text);
            writeOld(text);
            ThumbSettings fresh;
            fresh.optE = start;
            EXPECT_TRUE(Ini_Lesen(fresh, path()));
            EXPECT_EQ(fresh.optE, c.expected.value_or(start)) << c.text;
            EXPECT_TRUE(untouched(text)) << c.text;
        }
    }
}

TEST_F(SettingsFileTest, LongValueIsReadAsItsFirst254Characters) {
    QByteArray text = settingsText("75", "True");
    text.replace("nameOrdner=Mini", "nameOrdner=" + QByteArray(300, 'n'));
    writeOld(text);
    EXPECT_TRUE(Ini_Lesen(settings, path()));
    EXPECT_EQ(settings.nameOrdner, QString(254, QLatin1Char('n')));
}

TEST_F(SettingsFileTest, SavingIntoAnEmptyFolderWritesTheSixSectionsInOrder) {
    EXPECT_TRUE(Speichern(settings, path()));
    EXPECT_EQ(readBytes(path()), kDefaultFile);
    EXPECT_TRUE(temporaryLeftovers(dir.path()).isEmpty());
}

TEST_F(SettingsFileTest, SavingTrimsTheNamesButNotTheRecord) {
    settings.nameOrdner = QStringLiteral("  Mini Bilder  ");
    settings.nameHTML = QStringLiteral(" seite.html ");
    settings.groesseMin = QStringLiteral("90");
    settings.optE = false;
    ASSERT_TRUE(settings.setQJPG(7));
    EXPECT_TRUE(Speichern(settings, path()));
    EXPECT_EQ(settings.nameOrdner, QStringLiteral("  Mini Bilder  "));
    const QByteArray bytes = readBytes(path());
    EXPECT_TRUE(bytes.contains("\r\nnameOrdner=Mini Bilder\r\n")) << bytes.constData();
    EXPECT_TRUE(bytes.contains("\r\nnameHTML=seite.html\r\n"));
    EXPECT_TRUE(bytes.contains("\r\ngroesseMin=90\r\n"));
    EXPECT_TRUE(bytes.contains("\r\nqJPG=7\r\n"));
    EXPECT_TRUE(bytes.contains("\r\noptE=False\r\n"));
}

TEST_F(SettingsFileTest, SavedUmlautIsOneWindows1252ByteAndReadsBack) {
    settings.nameOrdner = QStringLiteral("Gr\u00FCn");
    EXPECT_TRUE(Speichern(settings, path()));
    EXPECT_TRUE(readBytes(path()).contains("nameOrdner=Gr\xFCn\r\n"));
    ThumbSettings back;
    EXPECT_TRUE(Ini_Lesen(back, path()));
    EXPECT_EQ(back.nameOrdner, QStringLiteral("Gr\u00FCn"));
}

TEST_F(SettingsFileTest, SavingKeepsCommentsAndForeignSectionsLikeSixSingleWrites) {
    const QByteArray before =
        "; my settings\r\n[Fremd]\r\nx = 1\r\n\r\n[erweiterung]\r\nOPTE=0\r\n; end\r\n";
    writeOld(before);
    settings.optE = false;
    EXPECT_TRUE(Speichern(settings, path()));
    const QByteArray saved = readBytes(path());
    EXPECT_TRUE(
        saved.startsWith("; my settings\r\n[Fremd]\r\nx = 1\r\n\r\n[erweiterung]\r\n"
                         "optE=False\r\n; end\r\n[Groesse_der_Miniaturbilder]\r\n"))
        << saved.constData();

    // The same result as six single writes in the saving order.
    const QString other = dir.filePath(QStringLiteral("single.ini"));
    ASSERT_TRUE(writeBytes(other, before));
    const std::pair<const char*, const char*> keys[] = {
        {"Groesse_der_Miniaturbilder", "groesseMin"},
        {"Anzahl_der_Miniaturbilder", "anzTabelle"},
        {"Name_der_Html_Seite", "nameHTML"},
        {"Name_des_ThumbnailOrdners", "nameOrdner"},
        {"JPG-Qualitaet", "qJPG"},
        {"Erweiterung", "optE"}};
    const QString values[] = {
        QStringLiteral("120"),        QStringLiteral("6"),  QStringLiteral("ThumbIndex.html"),
        QStringLiteral("Thumbnails"), QStringLiteral("90"), QStringLiteral("False")};
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(IniFile::WritePrivateProfileString(
            QString::fromUtf8(keys[i].first), QString::fromUtf8(keys[i].second), values[i], other));
    }
    EXPECT_EQ(saved, readBytes(other));
}

TEST_F(SettingsFileTest, FailedSaveKeepsTheOldFileAndLeavesNoTemporaryFile) {
    writeOld(settingsText("75", "True"));
    setWriteFaultHookForTesting([](const QString&, qsizetype) { return ENOSPC; });
    const Status status = Speichern(settings, path());
    setWriteFaultHookForTesting({});
    EXPECT_FALSE(status);
    EXPECT_TRUE(untouched(settingsText("75", "True")));
    EXPECT_TRUE(temporaryLeftovers(dir.path()).isEmpty());
}

TEST_F(SettingsFileTest, SavingRemovesWhatADeadSaveLeftBeside) {
    writeOld(settingsText("75", "True"));
    QFile stale(dir.filePath(QLatin1String(kTemporaryPrefix) + "abc123"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("[Gr");
    stale.close();
    ASSERT_TRUE(Speichern(settings, path()));
    EXPECT_TRUE(temporaryLeftovers(dir.path()).isEmpty());
}

TEST_F(SettingsFileTest, SavingIntoAReadOnlyFolderFails) {
    if (rerunAsUnprivilegedUser()) return;
    const QString folder = dir.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    const Status status = Speichern(settings, folder + QStringLiteral("/Miniskop.ini"));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_FALSE(status);
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(SettingsFileTest, SavingCreatesAMissingConfigurationFolder) {
    const QString nested = dir.filePath(QStringLiteral("config/miniskop/Miniskop.ini"));
    EXPECT_TRUE(Speichern(settings, nested));
    EXPECT_EQ(readBytes(nested), kDefaultFile);
}

TEST(SettingsFilePath, BesideTheProgramWhenPresentOrWritableElseInTheUserFolder) {
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("bin"));
    const QString config = dir.filePath(QStringLiteral("config"));
    ASSERT_TRUE(QDir().mkpath(program));
    EXPECT_EQ(settingsFilePath(program, config), program + QStringLiteral("/Miniskop.ini"));
    EXPECT_EQ(settingsFilePath(program + QLatin1Char('/'), config),
              program + QStringLiteral("/Miniskop.ini"));

    // An installed program run as root: /usr/bin is writable, but the file
    // goes to the user's folder unless one is already beside the program.
    EXPECT_EQ(settingsFilePath(QStringLiteral("/usr/bin"), config),
              config + QStringLiteral("/Miniskop.ini"));
    EXPECT_EQ(settingsFilePath(QStringLiteral("/usr/local/bin/"), config),
              config + QStringLiteral("/Miniskop.ini"));
    EXPECT_EQ(settingsFilePath(QStringLiteral("/usr"), config),
              config + QStringLiteral("/Miniskop.ini"));

    // A program folder that is not there cannot take the file.
    const QString gone = dir.filePath(QStringLiteral("gone"));
    EXPECT_EQ(settingsFilePath(gone, config), config + QStringLiteral("/Miniskop.ini"));

    if (rerunAsUnprivilegedUser()) return;  // the permission cases below do not bind root
    ASSERT_TRUE(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
    EXPECT_EQ(settingsFilePath(program, config), config + QStringLiteral("/Miniskop.ini"));
    ASSERT_TRUE(
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    ASSERT_TRUE(writeBytes(program + QStringLiteral("/Miniskop.ini"), "[x]\r\n"));
    ASSERT_TRUE(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
    EXPECT_EQ(settingsFilePath(program, config), program + QStringLiteral("/Miniskop.ini"));
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace
}  // namespace miniskop
