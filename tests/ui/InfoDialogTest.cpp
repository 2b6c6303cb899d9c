// The info dialog: its fixed text, look, and the one-instance lifecycle.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "frmInfo.h"

namespace miniskop {
namespace {

void processDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

TEST(InfoDialog, TextIsTheFixedDescription) {
    const QString expected = QString::fromUtf8(
        "Das Programm erzeugt Thumbnails von allen Bilddateien eines Ordners. Die "
        "Thumbnail-Bilddateien werden in der gewünschten ThumbNailGrösse erstellt und im "
        "JPG-Format gespeichert.\r\n"
        "Die JPG-Qualität der Thumbnails kann eingestellt werden. \r\n"
        "Beim Speichern der Thumbnails wird gleichzeitig eine HTML-Seite erzeugt. Die erzeugte "
        "HTML-Seite trägt den DefaultNamen \"ThumbIndex.html\". Der Name der HTML-Seite kann "
        "aber auch geändert werden. \r\n"
        "Am Ende der Thumbnail-Erzeugung wird diese HTML-Seite mit einem internen Browser "
        "angezeigt. Die einzelnen Thumbnails werden auf dieser HTML-Seite als Übersicht "
        "angezeigt. Die HTML-Seite steht auch nach dem Beenden des Programms im "
        "ThumbNailOrdner zur Verfügung und kann mit einem WebBrowser angezeigt werden.\r\n\r\n");
    EXPECT_EQ(frmInfo::infoText(), expected);
}

TEST(InfoDialog, LookAndControls) {
    frmInfo* dialog = frmInfo::showInfo();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "ThumbNails - Info");
    EXPECT_EQ(dialog->minimumSize(), QSize(496, 268));
    EXPECT_EQ(dialog->maximumSize(), QSize(496, 268));
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(dialog->parentWidget(), nullptr);
    EXPECT_FALSE(dialog->isModal());

    EXPECT_EQ(dialog->Text1->geometry(), QRect(24, 16, 449, 217));
    EXPECT_EQ(dialog->Label2->geometry(), QRect(16, 8, 465, 233));
    EXPECT_EQ(dialog->Command1->geometry(), QRect(16, 248, 49, 17));
    EXPECT_EQ(dialog->Command1->text(), "<<");
    EXPECT_DOUBLE_EQ(dialog->Text1->font().pointSizeF(), 8.25);
    EXPECT_EQ(dialog->Text1->font().family(), "Courier New");
    EXPECT_EQ(dialog->Text1->palette().color(QPalette::Text), QColor(0, 0, 192));
    EXPECT_EQ(dialog->Text1->palette().color(QPalette::Base), QColor(253, 255, 230));
    EXPECT_EQ(dialog->Label2->palette().color(QPalette::Window), QColor(253, 255, 230));
    EXPECT_FALSE(dialog->Text1->isReadOnly());
    EXPECT_EQ(dialog->Text1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(dialog->Text1->lineWrapMode(), QPlainTextEdit::WidgetWidth);

    QString shown = frmInfo::infoText();
    shown.replace("\r\n", "\n");
    EXPECT_EQ(dialog->Text1->toPlainText(), shown);

    dialog->Command1->click();
    processDeletes();
    EXPECT_EQ(frmInfo::instance(), nullptr);
}

TEST(InfoDialog, OneInstanceCentredWhenCreated) {
    frmInfo* first = frmInfo::showInfo();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint centred(screen.x() + (screen.width() - 496) / 2,
                         screen.y() + (screen.height() - 268) / 2);
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
