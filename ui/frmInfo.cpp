// frmInfo: layout, text and the single-instance lifecycle of the info dialog.
#include "frmInfo.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

namespace miniskop {

namespace {

QPointer<frmInfo>& openDialog() {
    static QPointer<frmInfo> dialog;
    return dialog;
}

const QColor kPaleYellow(253, 255, 230);
const QColor kDarkBlue(0, 0, 192);
constexpr QSize kClientSize(496, 268);

}  // namespace

frmInfo* frmInfo::instance() { return openDialog().data(); }

frmInfo* frmInfo::showInfo() {
    QPointer<frmInfo>& dialog = openDialog();
    if (!dialog) {
        dialog = new frmInfo();
        dialog->Form_Load();
        dialog->show();
    } else {
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    }
    return dialog.data();
}

QString frmInfo::infoText() {
    const QString crlf = QStringLiteral("\r\n");
    return QStringLiteral("Das Programm erzeugt Thumbnails von allen Bilddateien eines Ordners. ") +
           QStringLiteral(
               "Die Thumbnail-Bilddateien werden in der gewünschten ThumbNailGrösse "
               "erstellt und ") +
           QStringLiteral("im JPG-Format gespeichert.") + crlf +
           QStringLiteral("Die JPG-Qualität der Thumbnails kann eingestellt werden. ") + crlf +
           QStringLiteral(
               "Beim Speichern der Thumbnails wird gleichzeitig eine HTML-Seite "
               "erzeugt. Die erzeugte HTML-Seite trägt den DefaultNamen ") +
           QLatin1Char('"') + QStringLiteral("ThumbIndex.html") + QLatin1Char('"') +
           QStringLiteral(". Der Name der HTML-Seite kann aber auch geändert werden. ") + crlf +
           QStringLiteral(
               "Am Ende der Thumbnail-Erzeugung wird diese HTML-Seite mit einem "
               "internen Browser angezeigt. Die einzelnen Thumbnails werden auf dieser "
               "HTML-Seite als Übersicht angezeigt. Die HTML-Seite steht auch nach dem "
               "Beenden des Programms im ThumbNailOrdner zur Verfügung ") +
           QStringLiteral("und kann mit einem WebBrowser angezeigt werden.") + crlf + crlf;
}

frmInfo::frmInfo()
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("ThumbNails - Info"));
    setWindowIcon(QIcon(QStringLiteral(":/miniskop/info.svg")));
    setFixedSize(kClientSize);

    Label2 = new QLabel(this);
    Label2->setGeometry(16, 8, 465, 233);
    Label2->setAutoFillBackground(true);
    QPalette backdrop = Label2->palette();
    backdrop.setColor(QPalette::Window, kPaleYellow);
    Label2->setPalette(backdrop);
    Label2->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    Text1 = new QPlainTextEdit(this);
    Text1->setGeometry(24, 16, 449, 217);
    QFont courier(QStringLiteral("Courier New"));
    courier.setStyleHint(QFont::TypeWriter);
    courier.setPointSizeF(8.25);
    courier.setWeight(QFont::Normal);
    Text1->setFont(courier);
    Text1->setFrameStyle(QFrame::NoFrame);
    Text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Text1->setWordWrapMode(QTextOption::WordWrap);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette text = Text1->palette();
    text.setColor(QPalette::Base, kPaleYellow);
    text.setColor(QPalette::Text, kDarkBlue);
    Text1->setPalette(text);
    Text1->setAccessibleName(QStringLiteral("ThumbNails - Info"));

    Command1 = new QPushButton(QStringLiteral("<<"), this);
    Command1->setGeometry(16, 248, 49, 17);
    connect(Command1, &QPushButton::clicked, this, &QWidget::close);
}

void frmInfo::Form_Load() {
    // Centred on the screen, each time the dialog is created.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    // The box shows line feeds; the text's line breaks are CR LF.
    QString shown = infoText();
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Text1->setPlainText(shown);
}

}  // namespace miniskop
