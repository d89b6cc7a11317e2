#include "app/Zandrel.h"

#include "app/Artwork.h"
#include "app/FittedCheckBox.h"
#include "app/Layout.h"
#include "app/PictureButton.h"
#include "app/StatusLabel.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace zandrel {

namespace {

template <typename W, typename... Args>
W* place(QWidget* parent, const LayoutRow& row, Args&&... args)
{
    auto* widget = new W(std::forward<Args>(args)..., parent);
    widget->setObjectName(row.name);
    widget->setGeometry(row.pixels());
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

// Linux's fontconfig answers "MS Sans Serif" with DejaVu Sans; Windows' own is a
// bitmap font that does not scale to this size, so DejaVu Sans is asked for there.
QFont statusFont()
{
    const QString classic = QStringLiteral("MS Sans Serif");
    QFont font(QFontDatabase::isSmoothlyScalable(classic) ? classic : QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(13.5);
    return font;
}

QWidget* label(QWidget* parent, const LayoutRow& row)
{
    auto* widget = place<QLabel>(parent, row);
    widget->setText(row.caption);
    widget->setFocusPolicy(Qt::NoFocus);
    return widget;
}

QWidget* statusLabel(QWidget* parent, const LayoutRow& row)
{
    auto* widget = place<StatusLabel>(parent, row);
    widget->setText(row.caption);
    widget->setFocusPolicy(Qt::NoFocus);
    widget->setFont(statusFont());
    widget->setAlignment(Qt::AlignCenter);
    return widget;
}

QWidget* textBox(QWidget* parent, const LayoutRow& row)
{
    auto* widget = place<QLineEdit>(parent, row);
    widget->setText(row.name);
    return widget;
}

// Only the box itself shows; the label beside it tells what it is for, also to a
// screen reader.
QWidget* checkBox(QWidget* parent, const LayoutRow& row)
{
    auto* widget = place<QCheckBox>(parent, row);
    widget->setText(row.name);
    widget->setAccessibleName(row.caption);
    fitIndicator(widget);
    return widget;
}

QWidget* button(QWidget* parent, const LayoutRow& row)
{
    auto* widget = place<QPushButton>(parent, row);
    widget->setText(row.caption);
    widget->setAutoDefault(true);  // Enter presses the button that has the focus
    return widget;
}

QWidget* pictureButton(QWidget* parent, const LayoutRow& row)
{
    auto* widget = place<PictureButton>(parent, row, startPicture());
    widget->setAutoDefault(true);
    return widget;
}

QWidget* progressBar(QWidget* parent, const LayoutRow& row)
{
    auto* widget = place<QProgressBar>(parent, row);
    widget->setTextVisible(false);
    widget->setFocusPolicy(Qt::NoFocus);
    return widget;
}

QWidget* image(QWidget* parent, const LayoutRow& row)
{
    auto* widget = static_cast<QLabel*>(label(parent, row));
    widget->setFrameShape(QFrame::Box);
    widget->setLineWidth(1);
    widget->setScaledContents(true);
    return widget;
}

QWidget* line(QWidget* parent, const LayoutRow& row)
{
    auto* widget = place<QFrame>(parent, row);
    widget->setAutoFillBackground(true);
    widget->setBackgroundRole(QPalette::WindowText);
    return widget;
}

QWidget* build(QWidget* parent, const LayoutRow& row)
{
    using Builder = QWidget* (*)(QWidget*, const LayoutRow&);
    static const QHash<QString, Builder> builders = {{QStringLiteral("label"), label},
                                                     {QStringLiteral("status"), statusLabel},
                                                     {QStringLiteral("text"), textBox},
                                                     {QStringLiteral("check"), checkBox},
                                                     {QStringLiteral("button"), button},
                                                     {QStringLiteral("picture"), pictureButton},
                                                     {QStringLiteral("progress"), progressBar},
                                                     {QStringLiteral("image"), image},
                                                     {QStringLiteral("line"), line}};
    const Builder builder = builders.value(row.kind);
    if (!builder)
        qFatal("Unknown kind of control in the window layout: %s", qPrintable(row.kind));
    return builder(parent, row);
}

// Builds the controls of the layout table in its order. Labels, the image and
// the line lie beneath the buttons, boxes and the bar; the keyboard visits the
// controls that take the focus in the table's order.
void buildControls(QWidget* window)
{
    std::vector<QWidget*> below, tabOrder;
    for (const LayoutRow& row : windowLayout()) {
        QWidget* widget = build(window, row);
        if (takesFocus(row))
            tabOrder.push_back(widget);
        else if (row.kind != QLatin1String("progress"))
            below.push_back(widget);
    }
    for (QWidget* widget : below)
        widget->lower();
    for (size_t i = 0; i + 1 < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i], tabOrder[i + 1]);
}

// The control the layout table names, of the kind the window expects.
template <typename W>
W* built(QWidget* window, const char* name)
{
    auto* widget = window->findChild<W*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
    if (!widget)
        qFatal("The window layout lacks the control %s of its kind", name);
    return widget;
}

// What the table does not say: first values, names for a screen reader, the
// lamp and the SET caption.
void setDesignState(Zandrel& w)
{
    // A screen reader names each folder box after the caption to its left.
    w.Cpath.widget()->setAccessibleName(QStringLiteral("Camera folder"));
    w.Fpath.widget()->setAccessibleName(QStringLiteral("Foto folder"));
    w.sFolder.widget()->setAccessibleName(QStringLiteral("Subfoldernaam"));
    w.SETcamera.setEnabled(false);
    w.SETcamera.setVisible(false);
    w.Stoplicht.widget()->setAutoFillBackground(true);
    w.Stoplicht.widget()->setAccessibleName(QStringLiteral("Stoplicht"));
    w.Stoplicht.widget()->setProperty("zandrelLamp", true);  // tells its colour in words, see Controls.cpp
    for (CheckBox* ticked : {&w.sDel, &w.sAutodatum, &w.sPreview})
        ticked->setValue(1);
    w.start.widget()->setAccessibleName(QStringLiteral("START"));
    w.start.widget()->setAccessibleDescription(QStringLiteral("Kopieer alle foto's van de camera"));
    w.ProgressBar.widget()->setAccessibleName(QStringLiteral("Voortgang"));
    w.ProgressBar.setMax(100);
    w.ProgressBar.setValue(0);
    static_cast<QLabel*>(w.Label3.widget())->setAlignment(Qt::AlignCenter);
    w.Versie.widget()->setAccessibleDescription(QStringLiteral("Versie-informatie"));
    w.Image1.widget()->setAccessibleName(QStringLiteral("Foto"));
}

}  // namespace

Zandrel::Zandrel(Platform platform, QWidget* parent) : QWidget(parent), platform_(std::move(platform))
{
    setObjectName(QStringLiteral("Zandrel"));
    setWindowTitle(QStringLiteral("Zandrel"));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
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
    buildControls(this);
    Camerpath = Label(built<QLabel>(this, "Camerpath"));
    Cpath = TextBox(built<QLineEdit>(this, "Cpath"));
    Fpath = TextBox(built<QLineEdit>(this, "Fpath"));
    SETcamera = CommandButton(built<QPushButton>(this, "SETcamera"));
    MB = Label(built<QLabel>(this, "MB"));
    Refresh1 = CommandButton(built<QPushButton>(this, "Refresh1"));
    Message = Label(built<StatusLabel>(this, "Message"));
    Stoplicht = Label(built<QLabel>(this, "Stoplicht"));
    sDel = CheckBox(built<QCheckBox>(this, "sDel"));
    sAutodatum = CheckBox(built<QCheckBox>(this, "sAutodatum"));
    Label1 = Label(built<QLabel>(this, "Label1"));
    Label2 = Label(built<QLabel>(this, "Label2"));
    sFolder = TextBox(built<QLineEdit>(this, "sFolder"));
    sSet = CheckBox(built<QCheckBox>(this, "sSet"));
    start = CommandButton(built<PictureButton>(this, "start"));
    ProgressBar = zandrel::ProgressBar(built<QProgressBar>(this, "ProgressBar"));
    procent = Label(built<StatusLabel>(this, "procent"));
    Label3 = Label(built<QLabel>(this, "Label3"));
    sAantal = Label(built<QLabel>(this, "sAantal"));
    sMB = Label(built<QLabel>(this, "sMB"));
    sPreview = CheckBox(built<QCheckBox>(this, "sPreview"));
    sFotoaan = Label(built<QLabel>(this, "sFotoaan"));
    Fotoboek = CommandButton(built<QPushButton>(this, "Fotoboek"));
    Allemaal = Label(built<QLabel>(this, "Allemaal"));
    sOpen = CheckBox(built<QCheckBox>(this, "sOpen"));
    Label4 = Label(built<QLabel>(this, "Label4"));
    Label5 = Label(built<QLabel>(this, "Label5"));
    Versie = CommandButton(built<QPushButton>(this, "Versie"));
    Image1 = Image(built<QLabel>(this, "Image1"));
    Line1 = Control(built<QFrame>(this, "Line1"));
    setDesignState(*this);
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
    platform_.messageBox->Show(QStringLiteral("Dit kon niet worden afgemaakt:\r\n") + what, MB_OK | MB_ICONERROR,
                               QStringLiteral("Zandrel"));
}

void Zandrel::closeEvent(QCloseEvent* event)
{
    // A copy run under way stops without waiting for the files still to come,
    // and closes the window when it has.
    if (run_.active) {
        run_.closing = true;
        run_.stop = true;
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace zandrel
