// The main window from the keyboard: Tab goes through the controls in the
// order they stand on the screen, stays inside the settings panel while it
// covers the window, Escape closes the panel and hands the keyboard back, and
// Enter presses the focused button.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "DriveList.h"
#include "MainWindowTestSupport.h"
#include "SettingsPanel.h"
#include "UiEvents.h"
#include "frmInfo.h"

namespace miniskop {
namespace {

using testing::WindowFixture;

// The window shown and active, so that it takes the keyboard.
frmAnzeiger& activeWindow(WindowFixture& f) {
    frmAnzeiger& w = f.open();
    w.show();
    w.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
    return w;
}

// The controls Tab reaches from `from`, `steps` times (Backtab with !next).
QList<QWidget*> tabbing(QWidget* from, int steps, bool next = true) {
    from->setFocus(Qt::OtherFocusReason);
    QList<QWidget*> reached;
    for (int i = 0; i < steps; ++i) {
        QTest::keyClick(QApplication::focusWidget(), next ? Qt::Key_Tab : Qt::Key_Backtab,
                        next ? Qt::NoModifier : Qt::ShiftModifier);
        QWidget* focus = QApplication::focusWidget();
        // An editable combo box takes the keyboard through its line edit.
        if (focus && focus->parentWidget() && qobject_cast<QComboBox*>(focus->parentWidget()))
            focus = focus->parentWidget();
        reached.append(focus);
    }
    return reached;
}

TEST(Keyboard, TabFollowsTheScreen) {
    WindowFixture f;
    frmAnzeiger& w = activeWindow(f);
    // Command5 and Command2 wait for the first page, disabled.
    const QList<QWidget*> expected = {
        w.Drive1,    w.Dir1,  w.File1,  w.Check3[0], w.Check3[1], w.Check3[4], w.Check3[3],
        w.Check3[2], w.Text1, w.Check1, w.Command8,  w.Command4,  w.Command3,  w.Command1};
    EXPECT_EQ(tabbing(w.Command1, expected.size()), expected);
}

TEST(Keyboard, TheSettingsPanelKeepsTheKeyboardUntilEscape) {
    WindowFixture f;
    frmAnzeiger& w = activeWindow(f);
    QTest::keyClick(w.Command8, Qt::Key_Return);
    ASSERT_TRUE(w.Frame2->isVisible());
    EXPECT_TRUE(w.Frame2->Combo3->hasFocus());

    // Round the panel and back to its start; Backtab from there to its end.
    QList<QWidget*> round = w.Frame2->focusOrder().mid(1);
    round.append(w.Frame2->Combo3);
    EXPECT_EQ(tabbing(w.Frame2->Combo3, round.size()), round);
    EXPECT_EQ(tabbing(w.Frame2->Combo3, 1, false), QList<QWidget*>{w.Frame2->Command9});

    // Escape from inside the panel, and again with a control of the window
    // under the panel's edge focused by the mouse.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(w.Frame2->isVisible());
    EXPECT_TRUE(w.Command8->hasFocus());
    w.Command8->click();
    w.Dir1->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(w.Dir1, Qt::Key_Escape);
    EXPECT_FALSE(w.Frame2->isVisible());
    // With the panel closed, Escape closes nothing.
    QTest::keyClick(w.Command8, Qt::Key_Escape);
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(f.recorded.endRequests.isEmpty());
}

TEST(Keyboard, EnterPressesTheFocusedButton) {
    WindowFixture f;
    frmAnzeiger& w = activeWindow(f);
    w.Command8->click();
    w.Frame2->Text3->setText(QStringLiteral("Anders"));
    struct Row {
        const char* what;
        QPushButton* button;
        std::function<bool()> pressed;
    };
    const Row rows[] = {
        {"Standardwerte", w.Frame2->Command9,
         [&] { return w.Frame2->Text3->text() == QStringLiteral("Thumbnails"); }},
        {"<<", w.Frame2->Command7, [&] { return !w.Frame2->isVisible(); }},
        {"Settings", w.Command8, [&] { return w.Frame2->isVisible(); }},
        {"Info", w.Command4, [&] { return frmInfo::instance() != nullptr; }},
        {"Beenden", w.Command3, [&] { return f.recorded.endRequests.size() == 1; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        row.button->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(row.button->hasFocus());
        QTest::keyClick(row.button, Qt::Key_Return);
        EXPECT_TRUE(row.pressed());
    }
    if (frmInfo::instance()) frmInfo::instance()->close();
}

}  // namespace
}  // namespace miniskop
