// Frame2, the settings panel. The controls sit at the positions of the
// window's layout (given in twips, 15 to a pixel) and write straight into the
// ThumbSettings record on every edit; nothing is applied later. The frame's
// caption and its three decorative rectangles are painted by the panel itself.
#include "SettingsPanel.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QValidator>
#include <algorithm>
#include <utility>
#include <vector>

#include "MessageBox.h"
#include "NameRules.h"
#include "SettingsFile.h"

namespace miniskop {

namespace {

constexpr int kTwipsPerPixel = 15;

int px(int twips) { return twips / kTwipsPerPixel; }

QRect twipRect(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}

// The names of what a run writes stay inside the picture folder: a "/" is
// never typed in, and "." or ".." (a folder or page name) stands in the box
// while typing but does not reach the record.
class NameValidator : public QValidator {
public:
    NameValidator(bool (*accepted)(const QString&), QObject* parent)
        : QValidator(parent), accepted_(accepted) {}
    State validate(QString& input, int&) const override {
        if (!isAcceptedAffix(input)) return Invalid;
        return accepted_(input) ? Acceptable : Intermediate;
    }

private:
    bool (*accepted_)(const QString&);
};

const QColor kOlive(192, 192, 0);
const QColor kCaptionColour(Qt::white);

const QString kCaption = QStringLiteral("Ausehen der HTML-Seite");
const QString kTipAnfang =
    QStringLiteral("Fügt den Zusatz an den Anfang des Dateinamens hinzu: t_sample.jpg");
const QString kTipEnde =
    QStringLiteral("Fügt den Zusatz an das Ende des Dateinamens hinzu: sample_t.jpg");

// The decorative rectangles Shape1 (whole panel), Shape2 (heading) and Shape3
// (button row).
const QRect kShapes[] = {twipRect(60, 60, 5415, 4095), twipRect(240, 180, 5055, 315),
                         twipRect(300, 3480, 4935, 495)};

QString readout(int value) { return QString::number(value) + QStringLiteral(" %"); }

// A control's accessible name is the text of the label beside it, without the
// trailing colon.
QString nameFromLabel(const QString& text) {
    QString name = text.trimmed();
    if (name.endsWith(QLatin1Char(':'))) name.chop(1);
    return name;
}

QFont panelFont(int pixelSize) {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Arial"),
                      QStringLiteral("Helvetica"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    return font;
}

// The application's palette with every colour set explicitly, so that the
// input controls do not take the panel's black and olive yellow.
QPalette ownPalette() {
    QPalette palette = QApplication::palette();
    for (int group = 0; group < QPalette::NColorGroups; ++group) {
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto g = static_cast<QPalette::ColorGroup>(group);
            const auto r = static_cast<QPalette::ColorRole>(role);
            palette.setBrush(g, r, palette.brush(g, r));
        }
    }
    return palette;
}

}  // namespace

SettingsPanel::SettingsPanel(ThumbSettings& settings, QString settingsFilePath, QWidget* parent)
    : QFrame(parent), settings_(settings), settingsFilePath_(std::move(settingsFilePath)) {
    setObjectName(QStringLiteral("Frame2"));
    setFixedSize(px(5535), px(4215));
    setFont(panelFont(11));
    setAccessibleName(kCaption);

    // Black panel, olive yellow label texts; the input controls keep the
    // application's normal look.
    QPalette panelPalette = palette();
    panelPalette.setColor(QPalette::Window, Qt::black);
    panelPalette.setColor(QPalette::WindowText, kOlive);
    setPalette(panelPalette);
    setAutoFillBackground(true);
    const QPalette inputPalette = ownPalette();

    // A label may reach to `rightLimit` (twips, the control beside it), so
    // that its text is not cut in a font wider than the layout's.
    std::vector<std::pair<QLabel*, int>> labels;
    auto makeLabel = [this, &labels](const char* name, const QString& text, QRect geometry,
                                     int rightLimit) {
        auto* label = new QLabel(text, this);
        label->setObjectName(QLatin1String(name));
        label->setGeometry(geometry);
        const int limit = px(rightLimit) - 4;
        if (limit > geometry.right()) label->resize(limit - geometry.left(), geometry.height());
        labels.emplace_back(label, limit);
        return label;
    };
    auto place = [this, &inputPalette](QWidget* widget, const char* name, QRect geometry,
                                       const QString& accessibleName) {
        widget->setObjectName(QLatin1String(name));
        widget->setGeometry(geometry);
        widget->setPalette(inputPalette);
        widget->setAccessibleName(accessibleName);
    };

    // The heading is centred in its rectangle; its bold font is wider than
    // the layout's label.
    auto* label12 = new QLabel(QStringLiteral("ThumbNail Einstellungen"), this);
    label12->setObjectName(QStringLiteral("Label12"));
    label12->setGeometry(kShapes[1].left() + 1, px(220), kShapes[1].width() - 2, px(240));
    QFont headingFont = panelFont(13);  // 9.75 points at 96 dots per inch
    headingFont.setWeight(QFont::DemiBold);
    label12->setFont(headingFont);
    label12->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);

    // Thumbnail size.
    QLabel* label9 = makeLabel("Label9", QStringLiteral("Grösse derThumbnails in Pixel:"),
                               twipRect(1860, 600, 2160, 195), 4260);
    Combo3 = new QComboBox(this);
    place(Combo3, "Combo3", twipRect(4260, 540, 975, 315), nameFromLabel(label9->text()));
    Combo3->setEditable(true);
    Combo3->setInsertPolicy(QComboBox::NoInsert);
    for (int size = 10; size <= 200; size += 10) Combo3->addItem(QString::number(size));
    label9->setBuddy(Combo3);

    // Thumbnails per row.
    QLabel* label8 =
        makeLabel("Label8", QStringLiteral("Anzahl der Thumbnails pro Zeile (auf der Html-Seite):"),
                  twipRect(240, 1035, 3705, 195), 4260);
    Combo2 = new QComboBox(this);
    place(Combo2, "Combo2", twipRect(4260, 960, 975, 315), nameFromLabel(label8->text()));
    Combo2->setEditable(true);
    Combo2->setInsertPolicy(QComboBox::NoInsert);
    for (int count = 3; count <= 20; ++count) Combo2->addItem(QString::number(count));
    label8->setBuddy(Combo2);

    // Page name.
    QLabel* label2 = makeLabel("Label2", QStringLiteral("Name der erzeugten HTML-Übersichtsseite:"),
                               twipRect(300, 1425, 3105, 195), 3540);
    Text2 = new QLineEdit(this);
    place(Text2, "Text2", twipRect(3540, 1380, 1695, 285), nameFromLabel(label2->text()));
    label2->setBuddy(Text2);

    // Affix position and the two affixes.
    QLabel* label13 = makeLabel("Label13", QStringLiteral("Zusatz zum Dateinamen an"),
                                twipRect(300, 1980, 2055, 195), 2520);
    Option1[0] = new QRadioButton(QStringLiteral("den Anfang"), this);
    Option1[1] = new QRadioButton(QStringLiteral("das Ende"), this);
    Option1[0]->setObjectName(QStringLiteral("Option1_0"));
    Option1[1]->setObjectName(QStringLiteral("Option1_1"));
    Option1[0]->setGeometry(twipRect(2520, 1800, 1275, 255));
    Option1[1]->setGeometry(twipRect(2520, 2220, 1275, 255));
    Option1[0]->setToolTip(kTipAnfang);
    Option1[1]->setToolTip(kTipEnde);
    // Option buttons carry their captions as accessible names, like every
    // captioned control; the label before them describes the pair.
    for (QRadioButton* option : Option1) {
        option->setAccessibleName(option->text());
        option->setAccessibleDescription(label13->text());
    }
    auto* optionGroup = new QButtonGroup(this);
    optionGroup->setExclusive(true);
    optionGroup->addButton(Option1[0], 0);
    optionGroup->addButton(Option1[1], 1);
    Option1[0]->setChecked(true);

    Text4 = new QLineEdit(this);
    place(Text4, "Text4", twipRect(3960, 1800, 1275, 285),
          QStringLiteral("Zusatz am Anfang des Dateinamens"));
    Text4->setToolTip(kTipAnfang);
    Text5 = new QLineEdit(this);
    place(Text5, "Text5", twipRect(3960, 2160, 1275, 315),
          QStringLiteral("Zusatz am Ende des Dateinamens"));
    Text5->setToolTip(kTipEnde);

    // Thumbnail folder.
    QLabel* label7 = makeLabel("Label7", QStringLiteral("Name des Thumbnail-Unter-Ordners:"),
                               twipRect(900, 2700, 2580, 195), 3540);
    Text3 = new QLineEdit(this);
    place(Text3, "Text3", twipRect(3540, 2640, 1695, 285), nameFromLabel(label7->text()));
    Text3->setToolTip(
        QStringLiteral("Dieser Ordner wird als Unterordner im ausgewählten Bildordner erzeugt"));
    label7->setBuddy(Text3);

    // JPEG quality.
    QLabel* label10 = makeLabel("Label10", QStringLiteral("JPG-Qualität der erzeugten Thumbnails:"),
                                twipRect(600, 3120, 2805, 195), 3540);
    Label11 = makeLabel("Label11", QStringLiteral("100 %"), twipRect(3540, 3120, 345, 195), 4080);
    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    place(HScroll1, "HScroll1", twipRect(4020, 3120, 1155, 195), nameFromLabel(label10->text()));
    HScroll1->setRange(1, 100);
    HScroll1->setSingleStep(1);
    HScroll1->setPageStep(5);
    HScroll1->setValue(ThumbSettings::kDefaultQuality);
    label10->setBuddy(HScroll1);

    // Button row.
    Command7 = new QPushButton(QStringLiteral("<<"), this);
    place(Command7, "Command7", twipRect(420, 3600, 735, 290), QStringLiteral("<<"));
    Command7->setToolTip(QStringLiteral("Werte nur für diese diese Sitzung übernehmen."));
    Command10 = new QPushButton(QStringLiteral("Speichern"), this);
    place(Command10, "Command10", twipRect(1560, 3600, 1515, 290), QStringLiteral("Speichern"));
    Command10->setToolTip(QStringLiteral(
        "Nach dem Speichern stehen die Werte auch beim nächsten Programmstart zur Verfügung"));
    Command9 = new QPushButton(QStringLiteral("Standardwerte"), this);
    place(Command9, "Command9", twipRect(3420, 3600, 1695, 290), QStringLiteral("Standardwerte"));
    Command9->setToolTip(QStringLiteral("Defaultwerte wiederherstellen."));
    // Enter on a focused button presses it.
    for (QPushButton* button : {Command7, Command10, Command9}) button->setAutoDefault(true);

    // The largest font in which every label's text fits its room.
    for (int pixelSize : {11, 10, 9}) {
        setFont(panelFont(pixelSize));
        const bool fits = std::all_of(labels.begin(), labels.end(), [](const auto& entry) {
            const QLabel* label = entry.first;
            return label->x() + label->fontMetrics().horizontalAdvance(label->text()) <=
                   entry.second;
        });
        if (fits) break;
    }

    const QList<QWidget*> order = focusOrder();
    for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);

    showSettings();

    // Every edit goes into the record at once. While showSettings fills the
    // controls from the record, the record is left alone.
    connect(Combo3, &QComboBox::currentTextChanged, this, [this](const QString& text) {
        if (!showing_) settings_.groesseMin = text;
    });
    connect(Combo2, &QComboBox::currentTextChanged, this, [this](const QString& text) {
        if (!showing_) settings_.anzTabelle = text;
    });
    Text2->setValidator(new NameValidator(isAcceptedPageName, Text2));
    Text3->setValidator(new NameValidator(isAcceptedFolderName, Text3));
    Text4->setValidator(new NameValidator(isAcceptedAffix, Text4));
    Text5->setValidator(new NameValidator(isAcceptedAffix, Text5));
    connect(Text2, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!showing_ && isAcceptedPageName(text)) settings_.nameHTML = text;
    });
    connect(Text3, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!showing_ && isAcceptedFolderName(text)) settings_.nameOrdner = text;
    });
    connect(Text4, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!showing_) settings_.zusatzAnfang = text;
    });
    connect(Text5, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!showing_) settings_.zusatzEnde = text;
    });
    connect(Option1[0], &QRadioButton::toggled, this, [this](bool checked) {
        if (!showing_) settings_.optE = checked;
    });
    // The read-out follows every value, the program's changes included; the
    // drag is covered as well when tracking is off.
    auto qualityChanged = [this](int value) {
        if (!showing_) settings_.setQJPG(value);
        Label11->setText(readout(value));
    };
    connect(HScroll1, &QScrollBar::valueChanged, this, qualityChanged);
    connect(HScroll1, &QScrollBar::sliderMoved, this, qualityChanged);

    connect(Command7, &QPushButton::clicked, this, [this] { Command7_Click(); });
    connect(Command10, &QPushButton::clicked, this, [this] { Command10_Click(); });
    connect(Command9, &QPushButton::clicked, this, [this] { Command9_Click(); });

    hide();
}

void SettingsPanel::showSettings() {
    showing_ = true;
    Combo3->setCurrentText(settings_.groesseMin);
    Combo2->setCurrentText(settings_.anzTabelle);
    Text2->setText(settings_.nameHTML);
    Text3->setText(settings_.nameOrdner);
    Text4->setText(settings_.zusatzAnfang);
    Text5->setText(settings_.zusatzEnde);
    Option1[settings_.optE ? 0 : 1]->setChecked(true);
    HScroll1->setValue(settings_.qJPG());
    Label11->setText(readout(HScroll1->value()));
    showing_ = false;
}

QList<QWidget*> SettingsPanel::focusOrder() const {
    return {Combo3, Combo2, Text2,    Option1[0], Text4,     Option1[1],
            Text5,  Text3,  HScroll1, Command7,   Command10, Command9};
}

void SettingsPanel::Command7_Click() { hide(); }

void SettingsPanel::Command10_Click() {
    const Status saved = Speichern(settings_, settingsFilePath_);
    if (!saved) {
        MsgBox(this, QStringLiteral("Die Einstellungen konnten nicht gespeichert werden!"),
               MessageIcon::Critical, QStringLiteral("FEHLER"));
    }
}

void SettingsPanel::Command9_Click() {
    settings_.restoreDefaults();
    showSettings();
}

void SettingsPanel::showEvent(QShowEvent* event) {
    QFrame::showEvent(event);
    raise();
}

void SettingsPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QPen(kOlive, 1));
    painter.setBrush(Qt::NoBrush);
    for (const QRect& shape : kShapes) painter.drawRect(shape.adjusted(0, 0, -1, -1));

    // The caption sits on the top edge of the outer rectangle, on a black
    // ground that interrupts the line, the way a group box shows its title.
    // It ends above the heading's rectangle.
    const QFontMetrics metrics(font());
    const QRect captionRect(px(180), 0, metrics.horizontalAdvance(kCaption) + 6, kShapes[1].top());
    painter.fillRect(captionRect, Qt::black);
    painter.setPen(kCaptionColour);
    painter.drawText(captionRect, Qt::AlignCenter | Qt::TextDontClip, kCaption);
}

}  // namespace miniskop
