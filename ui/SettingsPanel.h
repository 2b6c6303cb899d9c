// Frame2, the settings panel inside the main window: every control shows one
// field of ThumbSettings and changes it as the user edits, so an edit is in
// effect at once. "Speichern" writes the settings file, "Standardwerte"
// restores the defaults, "<<" hides the panel.
#pragma once

#include <QFrame>
#include <QList>
#include <QString>

#include "ThumbSettings.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace miniskop {

class SettingsPanel : public QFrame {
    Q_OBJECT
public:
    // `settings` is the main window's record and outlives the panel;
    // `settingsFilePath` is where "Speichern" writes.
    SettingsPanel(ThumbSettings& settings, QString settingsFilePath, QWidget* parent = nullptr);

    // Shows the record's current values in the controls (after Ini_Lesen).
    void showSettings();

    // Controls, named as in the window's inventory.
    QLabel* Label11 = nullptr;         // quality read-out
    QComboBox* Combo3 = nullptr;       // groesseMin
    QComboBox* Combo2 = nullptr;       // anzTabelle
    QLineEdit* Text2 = nullptr;        // nameHTML
    QLineEdit* Text3 = nullptr;        // nameOrdner
    QLineEdit* Text4 = nullptr;        // zusatzAnfang
    QLineEdit* Text5 = nullptr;        // zusatzEnde
    QRadioButton* Option1[2] = {};     // 0 "den Anfang", 1 "das Ende"
    QScrollBar* HScroll1 = nullptr;    // qJPG
    QPushButton* Command7 = nullptr;   // "<<"
    QPushButton* Command10 = nullptr;  // "Speichern"
    QPushButton* Command9 = nullptr;   // "Standardwerte"

    void Command7_Click();
    void Command10_Click();
    void Command9_Click();

    // The panel's controls in keyboard order: top to bottom, left to right.
    QList<QWidget*> focusOrder() const;

protected:
    // Draws the caption and the three decorative rectangles.
    void paintEvent(QPaintEvent* event) override;
    // When shown, the panel lies above the window's other controls.
    void showEvent(QShowEvent* event) override;

private:
    ThumbSettings& settings_;
    QString settingsFilePath_;
    bool showing_ = false;  // true while showSettings writes the controls
};

}  // namespace miniskop
