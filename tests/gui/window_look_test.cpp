// How the windows look on the desktop: colours chosen against the palette, and where a
// stored position opens the window.
#include <QLabel>

#include "gui/window_fixture.h"
#include "ui/about_box.h"
#include "ui/palette_colours.h"
#include "ui/window_placement.h"

namespace kerfo::test {
namespace {

class WindowLookTest : public WindowTest {};

// The two blues must read on a light and on a dark window, and stay blue.
TEST_F(WindowLookTest, BluesAndRulesReadOnLightAndDarkPalettes) {
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark palette" : "light palette");
        AppLook look;
        if (dark) {
            look.dark();
        }
        open(write("notes.txt", "x"));
        const QColor background = window->palette().color(QPalette::Window);
        const QColor focused = lblPassword1()->palette().color(QPalette::Active, QPalette::WindowText);

        ui::FrmAbout box(window.get(), services());
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
        const QColor link = box.findChild<QLabel*>("lblurl")->palette().color(QPalette::WindowText);
        for (const QColor& blue : {focused, link}) {
            EXPECT_GE(ui::contrastRatio(blue, background), ui::kMinTextContrast) << blue.name().toStdString();
            EXPECT_EQ(blue.toHsl().hslHue(), 240) << blue.name().toStdString();
        }
        if (!dark) {
            EXPECT_EQ(link, QColor(0x00, 0x00, 0xC0));
        }
        // The rule's dark line: the design's purple only where it shows against the window.
        const QImage picture = box.grab().toImage();
        QWidget* firstRule = nullptr;
        for (QWidget* child : box.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->accessibleName() == "separator") {
                firstRule = child;
                break;
            }
        }
        ASSERT_NE(firstRule, nullptr);
        const QColor line = picture.pixelColor(firstRule->geometry().topLeft() + QPoint(4, 0));
        EXPECT_EQ(line, dark ? box.palette().color(QPalette::Shadow) : QColor(0x40, 0x00, 0x40));
        window.reset();
    }
}

}  // namespace
}  // namespace kerfo::test
