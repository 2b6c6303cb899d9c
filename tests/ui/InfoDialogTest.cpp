// The info dialog: its fixed text, look, and the one-instance lifecycle.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>

#include "frmInfo.h"

namespace miniskop {
namespace {

void processDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

TEST(InfoDialog, TextIsTheFixedDescription) {
    frmInfo* dialog = frmInfo::showInfo();
    ASSERT_NE(dialog, nullptr);
    // The box shows four paragraphs and an empty line: what the program
    // does, first of all, and the page's default name in quotes.
    const QString shown = dialog->Text1->toPlainText();
    const QStringList paragraphs = shown.split('\n');
    ASSERT_EQ(paragraphs.size(), 6);
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(paragraphs[i].trimmed().isEmpty()) << i;
    EXPECT_TRUE(paragraphs[4].isEmpty() && paragraphs[5].isEmpty());
    EXPECT_TRUE(shown.startsWith(
        QString::fromUtf8("Das Programm erzeugt Thumbnails von allen Bilddateien eines Ordners.")));
    EXPECT_EQ(shown.count("\"ThumbIndex.html\""), 1);
    // Its lines end in carriage return and line feed, the box's in line feeds.
    QString info = frmInfo::infoText();
    EXPECT_FALSE(info.contains(QRegularExpression("[^\r]\n|\r[^\n]")));
    EXPECT_EQ(info.replace("\r\n", "\n"), shown);

    dialog->close();
    processDeletes();
}

TEST(InfoDialog, LookAndControls) {
    frmInfo* dialog = frmInfo::showInfo();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "ThumbNails - Info");
    EXPECT_EQ(dialog->minimumSize(), dialog->size());
    EXPECT_EQ(dialog->maximumSize(), dialog->size());
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(dialog->parentWidget(), nullptr);
    EXPECT_FALSE(dialog->isModal());

    // The text lies on the backdrop, which shows an equal margin all round;
    // the button sits below them at the backdrop's left edge; all inside.
    const QRect text = dialog->Text1->geometry();
    const QRect backdrop = dialog->Label2->geometry();
    const QRect button = dialog->Command1->geometry();
    const int margin = text.left() - backdrop.left();
    EXPECT_GT(margin, 0);
    EXPECT_EQ(backdrop, text.adjusted(-margin, -margin, margin, margin));
    EXPECT_EQ(button.left(), backdrop.left());
    EXPECT_GT(button.top(), backdrop.bottom());
    for (const QRect& r : {text, backdrop, button}) EXPECT_TRUE(dialog->rect().contains(r));
    EXPECT_EQ(dialog->Command1->text(), "<<");
    EXPECT_DOUBLE_EQ(dialog->Text1->font().pointSizeF(), 8.25);
    EXPECT_EQ(dialog->Text1->font().family(), "Courier New");
    EXPECT_EQ(dialog->Text1->palette().color(QPalette::Text), QColor(0, 0, 192));
    EXPECT_EQ(dialog->Text1->palette().color(QPalette::Base), QColor(253, 255, 230));
    EXPECT_EQ(dialog->Label2->palette().color(QPalette::Window), QColor(253, 255, 230));
    EXPECT_FALSE(dialog->Text1->isReadOnly());
    EXPECT_EQ(dialog->Text1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(dialog->Text1->lineWrapMode(), QPlainTextEdit::WidgetWidth);

    dialog->Command1->click();
    processDeletes();
    EXPECT_EQ(frmInfo::instance(), nullptr);
}

TEST(InfoDialog, OneInstanceCentredWhenCreated) {
    frmInfo* first = frmInfo::showInfo();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint centred(screen.x() + (screen.width() - first->width()) / 2,
                         screen.y() + (screen.height() - first->height()) / 2);
    EXPECT_EQ(first->pos(), centred);

    // The user moves it and types into it; a second click keeps both.
    first->move(10, 20);
    first->Text1->setPlainText("getippt");
    EXPECT_EQ(frmInfo::showInfo(), first);
    EXPECT_EQ(first->pos(), QPoint(10, 20));
    EXPECT_EQ(first->Text1->toPlainText(), "getippt");

    // Closed (close box) and opened again: a new dialog, centred, fixed text.
    first->close();
    processDeletes();
    ASSERT_EQ(frmInfo::instance(), nullptr);
    frmInfo* second = frmInfo::showInfo();
    EXPECT_EQ(second->pos(), centred);
    EXPECT_TRUE(second->Text1->toPlainText().startsWith("Das Programm erzeugt"));
    second->close();
    processDeletes();
}

}  // namespace
}  // namespace miniskop
