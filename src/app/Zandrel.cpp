#include "app/Zandrel.h"

#include "app/Artwork.h"
#include "app/FittedCheckBox.h"
#include "app/PictureButton.h"
#include "app/StatusLabel.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace zandrel {

namespace {

constexpr int kTwipsPerPixel = 15;

QRect twips(int left, int top, int width, int height)
{
    return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
                 height / kTwipsPerPixel);
}

template <typename W>
W* place(QWidget* parent, const char* name, QRect geometry)
{
    auto* widget = new W(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

// An 8 pt sans-serif of the classic dialog widths, so that the captions fit the
// fixed label widths; the system's sans-serif stands in where it is missing.
QFont dialogFont()
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

QFont statusFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(13.5);
    return font;
}

QLabel* label(QWidget* parent, const char* name, const QString& caption, QRect geometry)
{
    auto* widget = place<QLabel>(parent, name, geometry);
    widget->setText(caption);
    widget->setFocusPolicy(Qt::NoFocus);
    return widget;
}

QLabel* statusLabel(QWidget* parent, const char* name, const QString& caption, QRect geometry)
{
    auto* widget = place<StatusLabel>(parent, name, geometry);
    widget->setText(caption);
    widget->setFocusPolicy(Qt::NoFocus);
    widget->setFont(statusFont());
    widget->setAlignment(Qt::AlignCenter);
    return widget;
}

QLineEdit* textBox(QWidget* parent, const char* name, QRect geometry)
{
    auto* widget = place<QLineEdit>(parent, name, geometry);
    widget->setText(QString::fromLatin1(name));
    return widget;
}

// Only the box itself shows; the label beside it tells what it is for, also to a
// screen reader.
QCheckBox* checkBox(QWidget* parent, const char* name, bool ticked, const QString& meaning, QRect geometry)
{
    auto* widget = place<QCheckBox>(parent, name, geometry);
    widget->setText(QString::fromLatin1(name));
    widget->setChecked(ticked);
    widget->setAccessibleName(meaning);
    fitIndicator(widget);
    return widget;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, QRect geometry)
{
    auto* widget = place<QPushButton>(parent, name, geometry);
    widget->setText(caption);
    widget->setAutoDefault(true);  // Enter presses the button that has the focus
    return widget;
}

}  // namespace

Zandrel::Zandrel(Platform platform, QWidget* parent) : QWidget(parent), platform_(std::move(platform))
{
    setObjectName(QStringLiteral("Zandrel"));
    setWindowTitle(QStringLiteral("Zandrel"));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(zandrelIcon());
    setFont(dialogFont());
    setFixedSize(8625 / kTwipsPerPixel, 5370 / kTwipsPerPixel);
    createControls();
    connectEvents();
    linkCaptions();
}

Zandrel::~Zandrel() = default;

void Zandrel::createControls()
{
    Camerpath = Label(label(this, "Camerpath", QStringLiteral("Camera folder"), twips(240, 3960, 1215, 255)));
    Cpath = TextBox(textBox(this, "Cpath", twips(1320, 3960, 6255, 285)));
    Fpath = TextBox(textBox(this, "Fpath", twips(1320, 4320, 6255, 285)));
    // A screen reader names each folder box after the caption to its left.
    Cpath.widget()->setAccessibleName(QStringLiteral("Camera folder"));
    Fpath.widget()->setAccessibleName(QStringLiteral("Foto folder"));
    SETcamera = CommandButton(button(this, "SETcamera", QStringLiteral("Save"), twips(7680, 3960, 735, 675)));
    SETcamera.setEnabled(false);
    SETcamera.setVisible(false);
    MB = Label(label(this, "MB", QStringLiteral("Aantal MB's"), twips(240, 600, 975, 255)));
    Refresh1 = CommandButton(button(this, "Refresh1", QStringLiteral("Refresh"), twips(1920, 240, 1695, 975)));
    Message = Label(statusLabel(this, "Message", QStringLiteral("Message"), twips(600, 4920, 7425, 345)));
    Stoplicht = Label(label(this, "Stoplicht", QString(), twips(8055, 4920, 255, 255)));
    Stoplicht.widget()->setAutoFillBackground(true);
    Stoplicht.widget()->setAccessibleName(QStringLiteral("Stoplicht"));
    Stoplicht.widget()->setProperty("zandrelLamp", true);  // tells its colour in words, see Controls.cpp
    sDel = CheckBox(checkBox(this, "sDel", true, QStringLiteral("Na kopieren camera legen"), twips(3840, 240, 255, 195)));
    sAutodatum = CheckBox(checkBox(this, "sAutodatum", true, QStringLiteral("Datum als subfoldernaam"), twips(3840, 960, 255, 195)));
    Label1 = Label(label(this, "Label1", QStringLiteral("Na kopieren camera legen"), twips(4200, 240, 2655, 255)));
    Label2 = Label(label(this, "Label2", QStringLiteral("Datum als subfoldernaam"), twips(4200, 960, 2655, 255)));
    sFolder = TextBox(textBox(this, "sFolder", twips(3840, 1320, 3735, 285)));
    sFolder.widget()->setAccessibleName(QStringLiteral("Subfoldernaam"));
    sSet = CheckBox(checkBox(this, "sSet", false, QStringLiteral("SET"), twips(7680, 4200, 270, 255)));
    auto* startButton = new PictureButton(startPicture(), this);
    startButton->setObjectName(QStringLiteral("start"));
    startButton->setGeometry(twips(3840, 1680, 4575, 975));
    startButton->setAutoDefault(true);
    startButton->setAccessibleName(QStringLiteral("START"));
    startButton->setAccessibleDescription(QStringLiteral("Kopieer alle foto's van de camera"));
    start = CommandButton(startButton);
    auto* bar = place<QProgressBar>(this, "ProgressBar", twips(3840, 2880, 4575, 135));
    bar->setTextVisible(false);
    bar->setFocusPolicy(Qt::NoFocus);
    bar->setAccessibleName(QStringLiteral("Voortgang"));
    ProgressBar = zandrel::ProgressBar(bar);
    ProgressBar.setMax(100);
    ProgressBar.setValue(0);
    procent = Label(statusLabel(this, "procent", QStringLiteral("Procent"), twips(3840, 3240, 4455, 375)));
    Label3 = Label(label(this, "Label3", QStringLiteral("SET"), twips(7920, 4200, 375, 255)));
    static_cast<QLabel*>(Label3.widget())->setAlignment(Qt::AlignCenter);
    sAantal = Label(label(this, "sAantal", QStringLiteral("sAantal"), twips(1320, 360, 615, 255)));
    sMB = Label(label(this, "sMB", QStringLiteral("sMB"), twips(1320, 600, 615, 255)));
    sPreview = CheckBox(checkBox(this, "sPreview", true, QStringLiteral("Foto laten zien"), twips(3840, 720, 255, 195)));
    sFotoaan = Label(label(this, "sFotoaan", QStringLiteral("Foto laten zien"), twips(4200, 720, 2055, 255)));
    Fotoboek = CommandButton(button(this, "Fotoboek", QStringLiteral("Foto's"), twips(7680, 1320, 750, 285)));
    Allemaal = Label(label(this, "Allemaal", QStringLiteral("Totaal"), twips(240, 360, 975, 255)));
    sOpen = CheckBox(checkBox(this, "sOpen", false, QStringLiteral("Na kopiëren foto folder openen"), twips(3840, 480, 255, 195)));
    Label4 = Label(label(this, "Label4", QStringLiteral("Na kopiëren foto folder openen"), twips(4200, 480, 2415, 255)));
    Label5 = Label(label(this, "Label5", QStringLiteral("Foto folder"), twips(240, 4320, 1095, 255)));
    Versie = CommandButton(button(this, "Versie", QStringLiteral("?"), twips(8160, 120, 255, 255)));
    Versie.widget()->setAccessibleDescription(QStringLiteral("Versie-informatie"));

    auto* image = label(this, "Image1", QString(), twips(240, 1320, 3375, 2535));
    image->setFrameShape(QFrame::Box);
    image->setLineWidth(1);
    image->setScaledContents(true);
    image->setAccessibleName(QStringLiteral("Foto"));
    Image1 = Image(image);
    auto* line = place<QFrame>(this, "Line1", QRect(120 / kTwipsPerPixel, 4800 / kTwipsPerPixel, (8520 - 120) / kTwipsPerPixel, 1));
    line->setAutoFillBackground(true);
    line->setBackgroundRole(QPalette::WindowText);
    Line1 = Control(line);

    // Labels and the image lie beneath the buttons, boxes and the bar.
    for (QWidget* below : {Camerpath.widget(), MB.widget(), Message.widget(), Stoplicht.widget(),
                           Label1.widget(), Label2.widget(), procent.widget(), Label3.widget(),
                           sAantal.widget(), sMB.widget(), sFotoaan.widget(), Allemaal.widget(),
                           Label4.widget(), Label5.widget(), Image1.widget(), Line1.widget()})
        below->lower();

    const QWidget* tabOrder[] = {Cpath.widget(), Fpath.widget(), SETcamera.widget(), Refresh1.widget(),
                                 sDel.widget(), sAutodatum.widget(), sFolder.widget(), sSet.widget(),
                                 start.widget(), sPreview.widget(), Fotoboek.widget(), sOpen.widget(),
                                 Versie.widget()};
    for (size_t i = 0; i + 1 < std::size(tabOrder); ++i)
        setTabOrder(const_cast<QWidget*>(tabOrder[i]), const_cast<QWidget*>(tabOrder[i + 1]));
}

void Zandrel::connectEvents()
{
    auto onClick = [this](CommandButton& control, void (Zandrel::*handler)()) {
        connect(static_cast<QAbstractButton*>(control.widget()), &QAbstractButton::clicked, this,
                [this, handler] { runHandler(handler); });
    };
    // A check box's handler runs whenever its value changes, also when code sets it.
    auto onToggle = [this](CheckBox& control, void (Zandrel::*handler)()) {
        connect(static_cast<QCheckBox*>(control.widget()), &QCheckBox::toggled, this,
                [this, handler] { runHandler(handler); });
    };
    onClick(Refresh1, &Zandrel::Refresh1_Click);
    onClick(start, &Zandrel::start_Click);
    onClick(SETcamera, &Zandrel::SETcamera_Click);
    onClick(Fotoboek, &Zandrel::Fotoboek_Click);
    onClick(Versie, &Zandrel::Versie_Click);
    onToggle(sAutodatum, &Zandrel::sAutodatum_Click);
    onToggle(sSet, &Zandrel::sSet_Click);
    onToggle(sOpen, &Zandrel::sOpen_Click);
    onToggle(sPreview, &Zandrel::sPreview_Click);
}

void Zandrel::runHandler(void (Zandrel::*handler)())
{
    try {
        (this->*handler)();
    } catch (const PlatformError& error) {
        reportFailure(error.text());
    } catch (const std::exception& error) {
        reportFailure(QString::fromLocal8Bit(error.what()));
    }
}

void Zandrel::reportFailure(const QString& what)
{
    platform_.messageBox->Show(QStringLiteral("Dit kon niet worden afgemaakt:\r\n") + what,
                               MB_OK | MB_ICONERROR, QStringLiteral("Zandrel"));
}

void Zandrel::closeEvent(QCloseEvent* event)
{
    // A copy run under way finishes its current file first; it closes the window then.
    if (run_.active) {
        run_.stopRequested = true;
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace zandrel
