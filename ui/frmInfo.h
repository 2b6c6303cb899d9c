// frmInfo, the info dialog: a small modeless window with a fixed German text
// that describes what the program does. There is one at most; it is created
// (and centred on the screen) when first shown and destroyed when closed.
#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace miniskop {

class frmInfo : public QWidget {
    Q_OBJECT
public:
    // Command4 of the main window: creates and shows the dialog, or brings the
    // open one to the front.
    static frmInfo* showInfo();
    // The open dialog, or nullptr.
    static frmInfo* instance();

    // The info text, lines broken by carriage return + line feed.
    static QString infoText();

    QLabel* Label2 = nullptr;         // pale yellow backdrop
    QPlainTextEdit* Text1 = nullptr;  // the text
    QPushButton* Command1 = nullptr;  // "<<"

private:
    frmInfo();
    void Form_Load();
};

}  // namespace miniskop
