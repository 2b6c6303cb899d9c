// frmAnzeiger: building the window and its controls, start-up and shut-down.
// The selection and button handlers and the keyboard are in
// frmAnzeigerHandlers.cpp, the run's host in frmAnzeigerHost.cpp.
#include "frmAnzeiger.h"

#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <cstdlib>

#include "DriveList.h"
#include "FileListBox.h"
#include "FileNameBytes.h"
#include "FolderList.h"
#include "IconButton.h"
#include "MessageBox.h"
#include "ProgressBox.h"
#include "SettingsFile.h"
#include "SettingsPanel.h"
#include "Trimming.h"
#include "frmHTML.h"

// The icons and the banner are compiled into the ui library; a static
// library needs its resources registered by hand.
static void registerResources() { Q_INIT_RESOURCE(miniskop); }

namespace miniskop {

namespace {

constexpr QSize kClientSize(578, 324);     // 8670 x 4860 twips
constexpr QSize kSettingsPanel(369, 281);  // 5535 x 4215 twips
const QString kInitialPattern = QStringLiteral("*.bmp;*.jpg;*.jpeg;*.gif;*.wmf");
const QString kInfoTitle = QStringLiteral("Thumbnail-Info");
const QString kNoSuchFolderText = QStringLiteral("Den Ordner „%1“ gibt es nicht.");
const QString kCannotOpenText = QStringLiteral("Der Ordner „%1“ kann nicht geöffnet werden.");

// Position from the top of the type column, by index: jpg, jpeg, wmf, bmp, gif
// stand 1st, 2nd, 5th, 4th, 3rd.
constexpr int kCheck3Row[5] = {0, 1, 4, 3, 2};
const char* const kCheck3Caption[5] = {"jpg", "jpeg", "wmf", "bmp", "gif"};

IconButton* makeButton(QWidget* parent, const QString& caption, const QString& icon,
                       const QString& toolTip, const QRect& geometry) {
    auto* button = new IconButton(caption, QIcon(QStringLiteral(":/miniskop/") + icon), parent);
    button->setToolTip(toolTip);
    button->setGeometry(geometry);
    return button;
}

void endProgramDefault(bool midRun, QWidget* mainWindow) {
    if (midRun) {
        // Every file the run writes is complete the moment its call returns,
        // and the run only hands control back between such calls: ending the
        // process here leaves finished thumbnails and nothing half-written.
        std::_Exit(0);
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != mainWindow && window->isVisible()) window->close();
    }
    QCoreApplication::quit();
}

}  // namespace

frmAnzeiger::frmAnzeiger(Environment environment) : env_(std::move(environment)), run_(*this) {
    // A thumbnail that carries the record of its picture as it is now and of
    // the settings is exactly what a new encoding would give: it is kept.
    run_.setKeepCurrentThumbnails(true);
    if (env_.programDir.isEmpty()) env_.programDir = QCoreApplication::applicationDirPath();
    if (env_.userConfigDir.isEmpty()) {
        env_.userConfigDir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    }
    if (env_.startFolder.isEmpty()) env_.startFolder = currentFolder();
    if (!env_.reopenOverview) env_.reopenOverview = [](const QString& p) { frmHTML::reopen(p); };
    if (!env_.showOverview) env_.showOverview = [](const QString& p) { frmHTML::showOverview(p); };
    if (!env_.openDefaultBrowser) {
        env_.openDefaultBrowser = [](const QString& p) {
            // Silently: a missing or failing browser is not reported.
            (void)QDesktopServices::openUrl(fileUrlOf(p));
        };
    }
    if (!env_.endProgram)
        env_.endProgram = [this](bool midRun) { endProgramDefault(midRun, this); };
    registerResources();
    settingsPath_ = miniskop::settingsFilePath(env_.programDir, env_.userConfigDir);

    setWindowTitle(QStringLiteral("Thumbnails"));
    setWindowIcon(QIcon(QStringLiteral(":/miniskop/app.svg")));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    auto* client = new QWidget(this);
    QFont compact = client->font();
    compact.setPointSize(8);
    client->setFont(compact);
    setCentralWidget(client);
    setFixedSize(kClientSize);

    buildBanner(client);
    buildFolderSelection(client);
    buildButtons(client);
    buildRunStatus(client);

    Frame2 = new SettingsPanel(settings_, settingsPath_, client);
    Frame2->resize(kSettingsPanel);
    Frame2->hide();

    setScreenTabOrder();
    connectHandlers();
    Form_Load();
}

QString frmAnzeiger::chooseStartFolder(QString& notice) const {
    if (env_.requestedFolder.isEmpty()) return env_.startFolder;
    const QString requested = absoluteCleanPath(env_.requestedFolder);
    struct stat st {};
    const bool exists = ::stat(nameToBytes(requested).constData(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return requested;
    if (exists && S_ISREG(st.st_mode)) {  // "open with" on a picture
        const qsizetype slash = requested.lastIndexOf(QLatin1Char('/'));
        return slash <= 0 ? QStringLiteral("/") : requested.left(slash);
    }
    notice = exists ? kCannotOpenText.arg(shownName(env_.requestedFolder))
                    : kNoSuchFolderText.arg(shownName(env_.requestedFolder));
    return env_.startFolder;
}

frmAnzeiger::~frmAnzeiger() = default;

void frmAnzeiger::buildBanner(QWidget* client) {
    Picture1 = new QLabel(client);
    Picture1->setGeometry(0, 0, kClientSize.width(), 65);
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Picture1->setAutoFillBackground(true);
    QPalette banner = Picture1->palette();
    banner.setColor(QPalette::Window, QColor(0x8a, 0x6f, 0x37));
    Picture1->setPalette(banner);
    Picture1->setPixmap(QIcon(QStringLiteral(":/miniskop/banner.svg")).pixmap(QSize(600, 63)));

    Label14 = new QLabel(QStringLiteral(".:: mirvak::."), Picture1);
    Label14->setGeometry(16, 45, 140, 14);
    QPalette white = Label14->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    Label14->setPalette(white);

    Command1 = makeButton(Picture1, ThumbnailRun::startCaption(), QStringLiteral("run.svg"),
                          QString(), QRect(444, 4, 130, 57));
}

void frmAnzeiger::buildFolderSelection(QWidget* client) {
    Frame1 = new QGroupBox(QStringLiteral("Einen Ordner mit Grafikdateien auswählen"), client);
    Frame1->setGeometry(4, 66, 438, 204);

    Drive1 = new DriveList(Frame1);
    Drive1->setGeometry(8, 18, 156, 21);
    Drive1->setAccessibleName(QStringLiteral("Laufwerk"));
    Dir1 = new FolderList(Frame1);
    Dir1->setGeometry(8, 42, 156, 116);
    Dir1->setAccessibleName(QStringLiteral("Ordner"));

    Label6 = new QLabel(QStringLiteral("Dateiliste:"), Frame1);
    Label6->setGeometry(172, 18, 58, 16);
    Label5 = new QLabel(QStringLiteral("0"), Frame1);
    Label5->setGeometry(232, 18, 96, 16);
    File1 = new FileListBox(Frame1);
    File1->setGeometry(172, 36, 156, 122);
    Label6->setBuddy(File1);
    File1->setAccessibleName(Label6->text());

    for (int i = 0; i < 5; ++i) {
        Check3[i] = new QCheckBox(QString::fromLatin1(kCheck3Caption[i]), Frame1);
        Check3[i]->setGeometry(340, 36 + 18 * kCheck3Row[i], 86, 17);
        Check3[i]->setChecked(true);
    }

    Label3 = new QLabel(QStringLiteral("FilePattern:"), Frame1);
    Label3->setGeometry(8, 162, 62, 21);
    Text1 = new QLineEdit(kInitialPattern, Frame1);
    Text1->setGeometry(72, 162, 256, 21);
    Text1->setToolTip(
        QStringLiteral("Dateiformate wählen, die mit dem vorhandenen Browser anzeigbar sind."));
    Label3->setBuddy(Text1);
    Text1->setAccessibleName(Label3->text());

    Check1 = new QCheckBox(
        QStringLiteral("Grafiken kleiner als Thumbnailgrösse auf Thumbnailgrösse vergrössern?"),
        Frame1);
    Check1->setGeometry(8, 184, 426, 17);

    // The lists start at the folder named on the command line, else at the
    // process's current folder. Why a folder named is not shown is said once,
    // when the window is up.
    QString notice;
    const QString start = chooseStartFolder(notice);
    bool shown = Dir1->setPath(start).ok();
    if (!shown && start != env_.startFolder) {
        notice = kCannotOpenText.arg(env_.requestedFolder);
        shown = Dir1->setPath(env_.startFolder).ok();
    }
    if (shown) {
        Drive1->selectDriveOf(Dir1->Path());
        (void)File1->setPath(Dir1->Path());
    }
    if (!notice.isEmpty()) {
        QTimer::singleShot(0, this, [this, notice] {
            ::miniskop::MsgBox(this, notice, MessageIcon::Critical, kInfoTitle);
        });
    }
}

void frmAnzeiger::buildButtons(QWidget* client) {
    Command5 = makeButton(
        client, QStringLiteral("Übersicht"), QStringLiteral("overview.svg"),
        QStringLiteral(
            "Zeigt die erzeugten Thumbnails auf einer Html-Seite mit dem internen Browser."),
        QRect(446, 72, 62, 62));
    Command2 = makeButton(client, QStringLiteral(" Browser"), QStringLiteral("browser.svg"),
                          QStringLiteral("Zeigt die erzeugten Thumbnails auf einer Html-Seite "
                                         "mit dem Standard-Webbrowser an."),
                          QRect(512, 72, 62, 62));
    Command5->setEnabled(false);
    Command2->setEnabled(false);
    Command8 = makeButton(client, QStringLiteral("Settings"), QStringLiteral("settings.svg"),
                          QStringLiteral("Einstellungen für die ThumbnailErzeugung"),
                          QRect(446, 138, 62, 62));
    Command4 = makeButton(client, QStringLiteral("Info"), QStringLiteral("info.svg"),
                          QStringLiteral("Info"), QRect(512, 138, 62, 62));
    Command3 = makeButton(client, QStringLiteral("Beenden"), QStringLiteral("exit.svg"), QString(),
                          QRect(446, 204, 128, 64));
}

void frmAnzeiger::buildRunStatus(QWidget* client) {
    Label1 = new QLabel(QStringLiteral("Thumbnail von dieser Datei wird erzeugt:"), client);
    Label1->setGeometry(6, 272, 300, 16);
    Label4 = new QLabel(QStringLiteral("Anzahl=0"), client);
    Label4->setGeometry(306, 272, 266, 16);
    Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label15 = new QLabel(client);
    Label15->setGeometry(6, 289, 566, 16);
    // At the right end of Label15's line, which holds the short closing text
    // whenever this shows.
    failuresLabel = new QLabel(client);
    failuresLabel->setGeometry(306, 289, 266, 16);
    failuresLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette red = failuresLabel->palette();
    red.setColor(QPalette::WindowText, QColor(0xb0, 0x10, 0x10));
    failuresLabel->setPalette(red);
    failuresLabel->hide();
    picProgressBox = new ProgressBox(client);
    picProgressBox->setGeometry(-1, 307, 580, 17);  // 8700 x 255 twips, a little wider
}

// Start-up: centre the window and the settings panel, then the guarded block,
// then the library deployment in every case.
void frmAnzeiger::Form_Load() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    Frame2->move((kClientSize.width() - Frame2->width()) / 2,
                 (kClientSize.height() - Frame2->height()) / 2);

    // A failure inside the block skips its remaining steps without a message.
    (void)startupBlock();

    dumpResFile();
}

Status frmAnzeiger::startupBlock() {
    QString programDir = env_.programDir;
    if (!programDir.endsWith(QLatin1Char('/'))) programDir += QLatin1Char('/');
    const QFileInfo ini(settingsPath_);
    if (ini.exists() && ini.isFile() && !ini.isHidden()) {
        (void)Ini_Lesen(settings_, settingsPath_);
        Frame2->showSettings();
    }
    Label4->setText(QString());
    Status applied = File1->setPattern(trimSpaces(Text1->text()));
    if (!applied) return applied;
    requestFileCount();
    return {};
}

// With the encoder linked into the program there is no library file to write
// next to it at start or to remove at the end; both steps stay as named points
// of the lifecycle.
void frmAnzeiger::dumpResFile() {}
void frmAnzeiger::killResFile() {}

void frmAnzeiger::closeEvent(QCloseEvent* event) {
    // The close cannot be refused: every way of closing ends the program.
    event->accept();
    Form_Unload();
}

void frmAnzeiger::Form_Unload() {
    if (unloading_) return;
    unloading_ = true;
    killResFile();
    env_.endProgram(run_.state() != ThumbnailRun::State::Idle);
}

}  // namespace miniskop
