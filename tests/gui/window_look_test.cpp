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

// A stored corner is kept while the title bar is reachable on some screen; otherwise the
// frame goes to the nearest screen, the least distance that brings it in.
TEST(ReachablePositionTest, TitleBarStaysOnAScreen) {
    const QRect left(0, 0, 1024, 768);
    const QRect right(1024, 0, 1280, 1024);
    struct Case {
        const char* name;
        QPoint corner;
        QList<QRect> screens;
        QPoint expected;
    };
    const Case cases[] = {
        {"on screen", {200, 150}, {left}, {200, 150}},
        {"corner", {0, 0}, {left}, {0, 0}},
        {"far right", {2000, 150}, {left}, {1024 - 300, 150}},
        {"far below", {200, 10000}, {left}, {200, 768 - 180}},
        {"title bar above the top", {200, -10}, {left}, {200, 0}},
        {"left of every screen", {-2000, 100}, {left, right}, {0, 100}},
        {"only a sliver showing", {1024 - 20, 100}, {left}, {1024 - 300, 100}},
        {"on the second screen", {1500, 900}, {left, right}, {1500, 900}},
        {"below the second screen", {1500, 3000}, {left, right}, {1500, 1024 - 180}},
        {"no screens", {-5000, -5000}, {}, {-5000, -5000}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ui::reachablePosition(QRect(c.corner, QSize(300, 180)), 24, c.screens), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace kerfo::test
