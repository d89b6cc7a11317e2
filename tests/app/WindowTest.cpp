#include "support/TestWindow.h"

#include "app/Layout.h"
#include "app/StatusLabel.h"
#include "platform/portable/HiveRegistry.h"
#include "settings/SettingsKeys.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QToolTip>
#include <gtest/gtest.h>

namespace zandrel::test {
namespace {

// The widget class that each kind of the layout table stands for.
const char* widgetClass(const QString& kind)
{
    static const QHash<QString, const char*> classes = {{"label", "QLabel"},
                                                        {"status", "zandrel::StatusLabel"},
                                                        {"text", "QLineEdit"},
                                                        {"check", "QCheckBox"},
                                                        {"button", "QPushButton"},
                                                        {"picture", "zandrel::PictureButton"},
                                                        {"progress", "QProgressBar"},
                                                        {"image", "QLabel"},
                                                        {"line", "QFrame"}};
    return classes.value(kind, "unknown kind");
}

QString designText(QWidget* widget)
{
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    return QString();
}

TEST(Window, EveryControlHasItsDesignPlaceKindAndText)
{
    TestWindow t;
    for (const LayoutRow& row : windowLayout()) {
        SCOPED_TRACE(row.name.toStdString());
        auto* widget = t.window->findChild<QWidget*>(row.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_TRUE(widget->inherits(widgetClass(row.kind))) << row.kind.toStdString();
        EXPECT_EQ(widget->geometry(), QRect(row.left / 15, row.top / 15, row.width / 15, row.height / 15));
        // Boxes show their own name until the load fills them; a check box's
        // caption is what names it.
        const bool box = row.kind == "text" || row.kind == "check";
        EXPECT_EQ(designText(widget), box ? row.name : row.caption);
        if (row.kind == "check") {
            EXPECT_EQ(widget->accessibleName(), row.caption);
        }
    }
    auto* line = t.window->findChild<QWidget*>(QStringLiteral("Line1"));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->geometry(), QRect(8, 320, 560, 1));
    EXPECT_EQ(t.window->findChild<QWidget*>(QStringLiteral("Label4"))->geometry(), QRect(280, 32, 161, 17));
}

TEST(Window, EveryControlLiesInsideTheWindowAndNoneHidesAnother)
{
    TestWindow t;
    const QRect client(QPoint(0, 0), QSize(575, 358));
    std::vector<QWidget*> shown;
    for (QWidget* widget : t.window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        SCOPED_TRACE(widget->objectName().toStdString());
        EXPECT_TRUE(client.contains(widget->geometry()));
        if (widget->focusPolicy() != Qt::NoFocus && !widget->isHidden())
            shown.push_back(widget);
    }
    EXPECT_EQ(shown.size(), 12u) << "the controls a user can reach, Save hidden";
    for (size_t i = 0; i < shown.size(); ++i)
        for (size_t j = i + 1; j < shown.size(); ++j)
            EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry()))
                << shown[i]->objectName().toStdString() << " and " << shown[j]->objectName().toStdString();
}

TEST(Window, DesignStateBeforeLoad)
{
    TestWindow t;
    Zandrel& w = *t.window;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Zandrel"));
    EXPECT_EQ(w.size(), QSize(575, 358));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_FALSE(w.SETcamera.Enabled());
    EXPECT_FALSE(w.SETcamera.Visible());
    for (CheckBox* ticked : {&w.sDel, &w.sAutodatum, &w.sPreview})
        EXPECT_EQ(ticked->Value(), 1);
    EXPECT_EQ(w.sSet.Value(), 0);
    EXPECT_EQ(w.sOpen.Value(), 0);
    EXPECT_EQ(w.ProgressBar.Max(), 100.0f);
    EXPECT_EQ(w.ProgressBar.Value(), 0.0f);
    EXPECT_TRUE(w.Image1.Picture().isNull());
    for (Control* c : {static_cast<Control*>(&w.Cpath), static_cast<Control*>(&w.Refresh1),
                       static_cast<Control*>(&w.start), static_cast<Control*>(&w.Versie)})
        EXPECT_TRUE(c->Enabled() && c->Visible());
    // Only the box of a check box shows: it is too narrow for its caption.
    EXPECT_LE(w.sDel.widget()->width(), 17);
    EXPECT_EQ(w.sDel.widget()->accessibleName(), QStringLiteral("Na kopieren camera legen"));
    EXPECT_FALSE(w.windowIcon().isNull());
    EXPECT_TRUE(w.windowIcon().availableSizes().contains(QSize(16, 16)));
    EXPECT_TRUE(w.windowIcon().availableSizes().contains(QSize(32, 32)));
}

TEST(Window, TabOrderSkipsLabelsImageLineAndBar)
{
    TestWindow t;
    Zandrel& w = *t.window;
    std::vector<QWidget*> expected;
    for (const LayoutRow& row : windowLayout())
        if (row.kind == "text" || row.kind == "check" || row.kind == "button" || row.kind == "picture")
            expected.push_back(w.findChild<QWidget*>(row.name));
    ASSERT_EQ(expected.size(), 13u);
    EXPECT_EQ(expected.front(), w.Cpath.widget());
    EXPECT_EQ(expected.back(), w.Versie.widget());
    std::vector<QWidget*> chain;
    for (QWidget* next = w.Cpath.widget(); chain.size() < expected.size(); next = next->nextInFocusChain())
        if (next->focusPolicy() != Qt::NoFocus)
            chain.push_back(next);
    EXPECT_EQ(chain, expected);
    for (Control* c :
         {static_cast<Control*>(&w.Message), static_cast<Control*>(&w.Image1), static_cast<Control*>(&w.ProgressBar),
          static_cast<Control*>(&w.Line1), static_cast<Control*>(&w.Stoplicht)})
        EXPECT_EQ(c->widget()->focusPolicy(), Qt::NoFocus) << c->widget()->objectName().toStdString();
}

TEST(Window, StatusLinesUseTheLargerCentredFont)
{
    TestWindow t;
    for (Label* label : {&t.window->Message, &t.window->procent}) {
        auto* widget = static_cast<QLabel*>(label->widget());
        EXPECT_DOUBLE_EQ(widget->font().pointSizeF(), 13.5);
        EXPECT_TRUE(widget->alignment() & Qt::AlignHCenter);
    }
    EXPECT_EQ(t.window->font().pointSize(), 8);
}

TEST(Controls, ColoursRoundTripAsNumbers)
{
    TestWindow t;
    Zandrel& w = *t.window;
    w.Stoplicht.setBackColor(Green);
    EXPECT_EQ(w.Stoplicht.BackColor(), Green);
    EXPECT_EQ(w.Stoplicht.widget()->palette().color(QPalette::Window), QColor(0, 255, 0));
    w.Fpath.setBackColor(Red);
    w.Fpath.setForeColor(White);
    EXPECT_EQ(w.Fpath.widget()->palette().color(QPalette::Base), QColor(255, 0, 0));
    EXPECT_EQ(w.Fpath.widget()->palette().color(QPalette::Text), QColor(255, 255, 255));
    // 0x00BBGGRR: blue is the high byte.
    w.Stoplicht.setBackColor(0x00FF0000);
    EXPECT_EQ(w.Stoplicht.widget()->palette().color(QPalette::Window), QColor(0, 0, 255));
    w.Fpath.setBackColor(SystemWindowColour);
    EXPECT_EQ(w.Fpath.BackColor(), SystemWindowColour);
    EXPECT_EQ(w.Fpath.widget()->palette().color(QPalette::Base), w.palette().color(QPalette::Base));
}

TEST(Controls, ProgressBarNeverBusyNorOverfull)
{
    TestWindow t;
    auto& bar = t.window->ProgressBar;
    auto* widget = static_cast<QProgressBar*>(bar.widget());
    bar.setMax(0);
    bar.setValue(0);
    EXPECT_LT(widget->minimum(), widget->maximum()) << "a 0..0 range animates as busy";
    EXPECT_EQ(widget->value(), widget->minimum());
    bar.setMax(4);
    bar.setValue(2);
    EXPECT_EQ(widget->value(), (widget->minimum() + widget->maximum()) / 2);
    bar.setValue(7);
    EXPECT_EQ(bar.Value(), 7.0f);
    EXPECT_EQ(widget->value(), widget->maximum());
}

// --- as a person meets the window -------------------------------------------

QString spokenName(const Control& control)
{
    return QAccessible::queryAccessibleInterface(control.widget())->text(QAccessible::Name);
}

// A window whose camera and photo folders exist, checked once.
struct ReadyWindow : TestWindow {
    ReadyWindow()
    {
        makeFolder(QStringLiteral("camera"));
        makeFile(QStringLiteral("camera/IMG_0001.JPG"), "jpeg");
        fillHive(path(QStringLiteral("camera")), makeFolder(QStringLiteral("foto")));
    }
    void fillHive(const QString& camera, const QString& photos)
    {
        storeFolders(*this, camera, photos);
        window->Refresh1_Click();
    }
};

TEST(Labels, ShowNamesAsTheyAreNeverAsMarkup)
{
    ReadyWindow t;
    const QString photos = QStringLiteral("/x/<b>nope</b>");
    t.fillHive(t.path(QStringLiteral("camera")), photos);
    const QString expected = QStringLiteral("'/x/<b>nope</b>'  bestaat niet");
    EXPECT_EQ(t.window->Message.Caption(), expected);
    EXPECT_EQ(spokenName(t.window->Message), expected) << "read as markup, blanks collapsed";
    // The run shows camera file names in the same labels; every one of them takes text as it is.
    for (QLabel* label : t.window->findChildren<QLabel*>())
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
}

TEST(Labels, ALongStatusLineKeepsBothEndsAndTellsTheRestOnRequest)
{
    ReadyWindow t;
    const QString photos = QStringLiteral("/home/anna/this/is/a/rather/long/destination/path/that/does/not/exist");
    t.fillHive(t.path(QStringLiteral("camera")), photos);
    const QString full = QStringLiteral("'") + photos + QStringLiteral("'  bestaat niet");
    auto* line = static_cast<StatusLabel*>(t.window->Message.widget());
    const QString shown = line->shownText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("'/home/anna/"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("/exist'  bestaat niet"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_LE(line->fontMetrics().horizontalAdvance(shown), line->contentsRect().width());
    EXPECT_EQ(t.window->Message.Caption(), full) << "procedures read back what they wrote";
    EXPECT_EQ(spokenName(t.window->Message), full);
    t.window->show();
    QHelpEvent hover(QEvent::ToolTip, line->rect().center(), line->mapToGlobal(line->rect().center()));
    QApplication::sendEvent(line, &hover);
    EXPECT_EQ(QToolTip::text(), full);
    QToolTip::hideText();
}

TEST(Keyboard, EnterPressesTheFocusedButton)
{
    ReadyWindow t;
    Zandrel& w = *t.window;
    w.Start();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), w.Refresh1.widget());
    QDir(t.path(QStringLiteral("camera"))).removeRecursively();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(w.Refresh1.widget(), &enter);
    EXPECT_EQ(w.Message.Caption(), QStringLiteral("Camera niet aangesloten")) << "Enter did not press Refresh";
}

void clickAt(QWidget* widget)
{
    const QPointF inside(widget->width() / 2.0, widget->height() / 2.0);
    for (const auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, inside, widget->mapToGlobal(inside), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }
}

TEST(Keyboard, ACaptionClickTicksItsBoxThroughTheBoxsOwnHandler)
{
    TestWindow t;
    Zandrel& w = *t.window;
    showSomePreview(w);
    clickAt(w.sFotoaan.widget());
    EXPECT_EQ(w.sPreview.Value(), 0);
    EXPECT_TRUE(w.Image1.Picture().isNull()) << "sPreview_Click did not run";
    w.DisableControls();
    clickAt(w.Label1.widget());
    EXPECT_EQ(w.sDel.Value(), 1) << "a locked box was ticked through its caption";
}

// The darkest and lightest readings of a text drawn on its ground, as a contrast ratio.
double contrast(const QImage& image)
{
    double low = 1, high = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const double l = 0.2126 * c.redF() * c.redF() + 0.7152 * c.greenF() * c.greenF()
                + 0.0722 * c.blueF() * c.blueF();
            low = std::min(low, l);
            high = std::max(high, l);
        }
    return (high + 0.05) / (low + 0.05);
}

QPalette darkPalette()
{
    QPalette dark(QColor(0x30, 0x30, 0x30));
    dark.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE));
    dark.setColor(QPalette::Text, QColor(0xEE, 0xEE, 0xEE));
    dark.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x1E));
    return dark;
}

// The text of a box, without its frame.
QImage inner(QWidget* widget) { return widget->grab(widget->rect().adjusted(4, 4, -4, -4)).toImage(); }

TEST(Colours, EveryTextStaysReadableOnLightAndDarkThemes)
{
    const QPalette original = QApplication::palette();
    for (const QPalette& theme : {original, darkPalette()}) {
        QApplication::setPalette(theme);
        ReadyWindow t;
        Zandrel& w = *t.window;
        SCOPED_TRACE(theme.color(QPalette::Window).name().toStdString());
        w.sSet.setValue(1);  // a locked box may look faint; an editable one may not
        EXPECT_GE(contrast(inner(w.Fpath.widget())), 4.5) << "an existing photo folder";
        w.sSet.setValue(0);
        EXPECT_EQ(w.Message.Caption(), QStringLiteral(" Klaar om te kopiëren"));
        EXPECT_EQ(w.Message.ForeColor(), Black);
        EXPECT_GE(contrast(inner(w.Message.widget())), 4.5) << "the ready line";
        EXPECT_GE(contrast(inner(w.sAantal.widget())), 4.5) << "the count";
        t.fillHive(t.path(QStringLiteral("camera")), t.path(QStringLiteral("weg")));
        EXPECT_EQ(w.Fpath.widget()->palette().color(QPalette::Base), QColor(Qt::red));
        EXPECT_GE(contrast(inner(w.Fpath.widget())), 3.5) << "a missing photo folder, white on red";
        const QString shots = QFileInfo(qEnvironmentVariable("ZANDREL_BINARY")).dir().filePath("e2e-screenshots");
        if (theme != original && qEnvironmentVariableIsSet("ZANDREL_BINARY") && QDir().mkpath(shots)) {
            w.sAutodatum_Click();
            t.fillHive(t.path(QStringLiteral("camera")), t.path(QStringLiteral("foto")));
            w.grab().save(QDir(shots).filePath(QStringLiteral("dark-palette.png")));
        }
    }
    QApplication::setPalette(original);
}

TEST(StartUp, SettingsOutOfReachShowNoDesignTextAndOfferNoRun)
{
    TestWindow t;
    const std::unique_ptr<Zandrel> window = windowOn(t, std::make_shared<HiveRegistryService>(QString()));
    Zandrel& w = *window;
    w.Start();
    ASSERT_EQ(t.messageBox->shown.size(), 1u);
    EXPECT_TRUE(t.messageBox->shown[0].prompt.contains(QStringLiteral("HOME")));
    for (QWidget* control : w.findChildren<QWidget*>()) {
        if (qobject_cast<QCheckBox*>(control))
            continue;  // a box's own caption never shows
        const QString text = designText(control);
        EXPECT_TRUE(text.isEmpty() || text.compare(control->objectName(), Qt::CaseInsensitive) != 0)
            << control->objectName().toStdString() << " shows its design text";
    }
    EXPECT_EQ(w.Cpath.Text(), QStringLiteral("Unknown"));
    EXPECT_EQ(w.Fpath.Text(), QStringLiteral("Unknown"));
    EXPECT_FALSE(w.Cpath.Enabled() || w.Fpath.Enabled());
    EXPECT_EQ(w.sAantal.Caption(), QStringLiteral("0"));
    EXPECT_EQ(w.Stoplicht.BackColor(), Red);
    EXPECT_FALSE(w.Message.Caption().isEmpty());
    EXPECT_FALSE(w.start.Enabled());
    EXPECT_FALSE(w.Fotoboek.Enabled());
}

}  // namespace
}  // namespace zandrel::test
