// frmAnzeiger, the main window: the folder and file selection, the start
// button with the run's status displays, the buttons that open the overview
// page, the settings panel, the info button and the end button. Its load is
// the program's start-up and its close the program's end. It is the host of
// the thumbnail run: the run reads the file list and the settings through it
// and shows its progress in its controls. Its run keeps every thumbnail that
// is current for its picture and the settings, so a run over an unchanged
// folder decodes nothing.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <functional>

#include "RunHost.h"
#include "ThumbSettings.h"
#include "ThumbnailRun.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QGroupBox;

namespace miniskop {

class DriveList;
class FileListBox;
class IconButton;
class FolderList;
class ProgressBox;
class SettingsPanel;

class frmAnzeiger : public QMainWindow, public RunHost {
    Q_OBJECT
public:
    // Where the window looks for things and what it calls outside itself;
    // empty members take the program's own (see the constructor).
    struct Environment {
        QString programDir;     // folder of the executable
        QString userConfigDir;  // settings folder when the program's is not writable
        QString startFolder;    // folder the lists show at start (the current folder)
        // Folder named on the command line (a file stands for its folder);
        // the lists start there instead. Empty: none was named.
        QString requestedFolder;
        std::function<void(const QString&)> reopenOverview;      // after a page write
        std::function<void(const QString&)> showOverview;        // "Übersicht"
        std::function<void(const QString&)> openDefaultBrowser;  // " Browser"
        // Ends the program; `midRun` when a run is in progress.
        std::function<void(bool midRun)> endProgram;
    };

    explicit frmAnzeiger(Environment environment = {});
    ~frmAnzeiger() override;

    // Banner
    QLabel* Picture1 = nullptr;
    QLabel* Label14 = nullptr;
    IconButton* Command1 = nullptr;

    // Folder selection
    QGroupBox* Frame1 = nullptr;
    DriveList* Drive1 = nullptr;
    FolderList* Dir1 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label5 = nullptr;
    FileListBox* File1 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Text1 = nullptr;
    QCheckBox* Check3[5] = {};
    QCheckBox* Check1 = nullptr;

    // Buttons
    IconButton* Command5 = nullptr;
    IconButton* Command2 = nullptr;
    IconButton* Command8 = nullptr;
    IconButton* Command4 = nullptr;
    IconButton* Command3 = nullptr;

    // Run status
    QLabel* Label1 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label15 = nullptr;
    // After a run: how many pictures got no thumbnail; their names and the
    // reasons in the tooltip. Hidden when there were none.
    QLabel* failuresLabel = nullptr;
    ProgressBox* picProgressBox = nullptr;

    SettingsPanel* Frame2 = nullptr;

    ThumbSettings& thumbSettings() { return settings_; }
    ThumbnailRun& run() { return run_; }
    QString settingsFilePath() const { return settingsPath_; }
    // Tag of Command2: the page written last.
    QString currentPagePath() const { return currentPagePath_; }

    // Event handlers, callable as the user's action would call them.
    void Drive1_Change();
    void Dir1_Change();
    void Text1_Change();
    void Check3_Click(int Index);
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command8_Click();

    // RunHost
    QString fileListPath() const override;
    int fileListCount() const override;
    QString fileListEntry(int i) const override;
    const ThumbSettings& settings() const override { return settings_; }
    bool enlargeChecked() const override;
    void setCommand1Caption(const QString& caption) override;
    void setViewButtonsEnabled(bool enabled) override;
    void setLabel4(const QString& text) override;
    void setLabel15(const QString& text) override;
    ProgressSurface& picProgress() override;
    void progressChanged() override;
    void setMousePointer(MousePointer pointer) override;
    void MsgBox(const QString& text, MessageIcon icon, const QString& title) override;
    void DoEvents() override;
    void setCurrentPagePath(const QString& path) override;
    void pageWritten(const QString& path) override;
    QString emptyListMessage(const QString& text) const override;
    void pictureFailed(const QString& path, const QString& reason) override;
    void waitingForFolder(const QString& folder) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Escape closes the settings panel.
    void keyPressEvent(QKeyEvent* event) override;
    // While the settings panel is shown, Tab and Backtab stay inside it: it
    // covers the controls behind it.
    bool focusNextPrevChild(bool next) override;

private:
    void buildBanner(QWidget* client);
    void buildFolderSelection(QWidget* client);
    void buildButtons(QWidget* client);
    void buildRunStatus(QWidget* client);
    void connectHandlers();
    void setScreenTabOrder();
    QString chooseStartFolder(QString& notice) const;

    void Form_Load();
    Status startupBlock();
    void Form_Unload();
    void showFileCount();
    // Label5 shows the count now, or once the reading in progress is in.
    void requestFileCount();
    void fileListRead(bool ok, bool patternOnly);
    void hideSettingsPanel();
    void showFailures();

    void dumpResFile();
    void killResFile();

    Environment env_;
    ThumbSettings settings_;
    QString settingsPath_;
    QString currentPagePath_;
    ThumbnailRun run_;
    bool unloading_ = false;
    bool countWanted_ = false;  // Label5 waits for the reading in progress
    bool startWanted_ = false;  // a start click waits for the reading in progress
    QStringList failures_;      // "name: reason" of the run's pictures that failed
};

}  // namespace miniskop
