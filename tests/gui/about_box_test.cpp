// The about box: its texts filled at load, layout, focus and keys, and the link.
#include <vector>

#include "gui/window_fixture.h"
#include "support/modal_box.h"
#include "ui/about_box.h"

namespace kerfo::test {
namespace {

class AboutBoxTest : public WindowTest {
protected:
    template <typename T>
    static T* in(QWidget* box, const char* name) {
        T* found = box->findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    std::unique_ptr<ui::FrmAbout> showBox() {
        auto box = std::make_unique<ui::FrmAbout>(window.get(), services());
        box->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(box.get()));
        return box;
    }
};

TEST_F(AboutBoxTest, TextsAreFilledWhenTheBoxLoads) {
    open(write("notes.txt", "x"));
    auto box = showBox();
    EXPECT_EQ(box->windowTitle(), "About");
    EXPECT_EQ(in<QLabel>(box.get(), "lblprogtitle")->text(), "Kerfo");
    EXPECT_EQ(in<QLabel>(box.get(), "lblversion")->text(), "Version 1.0.2");
    EXPECT_EQ(in<QLabel>(box.get(), "lblcopyright")->text(), QString::fromUtf8("Copyright \u00a9 2024 - 2031"));
    EXPECT_EQ(in<QLabel>(box.get(), "lbltext3")->text(), "Play and enjoy!");
    EXPECT_EQ(in<QLabel>(box.get(), "lbltext4")->text(), "For updates and other freeware,");
    EXPECT_EQ(in<QLabel>(box.get(), "lbltext5")->text(), "Visit my homepage at");
    EXPECT_EQ(in<QPushButton>(box.get(), "cmdok")->text(), "&Ok");
    EXPECT_FALSE(in<QLabel>(box.get(), "lblcopyright2")->text().isEmpty());
    // The copyright line is sized to its text, not kept at its design width.
    QLabel* copyright = in<QLabel>(box.get(), "lblcopyright");
    EXPECT_GE(copyright->width(), copyright->sizeHint().width());
}

TEST_F(AboutBoxTest, LayoutIsTheTwipLayoutAtFifteenTwipsAPixel) {
    // A body font as small as the design's: only the heading (13.5 pt) and the version line
    // (9.75 pt), which this platform's font may draw taller than the design's 22 and 13
    // pixels, push the rest down.
    AppLook look;
    look.pointSize(6);
    open(write("notes.txt", "x"));
    auto box = showBox();
    QLabel* title = in<QLabel>(box.get(), "lblprogtitle");
    EXPECT_EQ(title->pos(), QPoint(24, 23));
    const int grown = title->height() - 22 + in<QLabel>(box.get(), "lblversion")->height() - 13;
    EXPECT_GE(grown, 0);
    EXPECT_EQ(box->size(), QSize(220, 293 + grown));
    EXPECT_EQ(in<QPushButton>(box.get(), "cmdok")->geometry(), QRect(24, 240 + grown, 106, 26));
    EXPECT_EQ(in<QLabel>(box.get(), "lblurl")->pos(), QPoint(24, 207 + grown));
    EXPECT_DOUBLE_EQ(title->font().pointSizeF(), 13.5);
    EXPECT_TRUE(in<QLabel>(box.get(), "lblversion")->font().bold());

    // The etched rules: dark line, then the light one below it, from x 24 to x 199.
    const QImage picture = box->grab().toImage();
    const QColor light = box->palette().color(QPalette::Light);
    for (int y : {103 + grown, 161 + grown}) {
        EXPECT_EQ(picture.pixelColor(30, y), QColor(0x40, 0x00, 0x40)) << y;
        EXPECT_EQ(picture.pixelColor(198, y), QColor(0x40, 0x00, 0x40)) << y;
        EXPECT_EQ(picture.pixelColor(30, y + 1), light) << y;
        EXPECT_EQ(picture.pixelColor(30, y + 2), light) << y;
        EXPECT_NE(picture.pixelColor(200, y), QColor(0x40, 0x00, 0x40)) << y;
    }
}

// Desktop font sizes from the common to the large: the box grows instead of cutting text off.
// The same cases run again at scale factor 2 (see CMakeLists.txt).
TEST_F(AboutBoxTest, EveryTextShowsWholeAtAnyFontSize) {
    open(write("notes.txt", "x"));
    for (const double points : {9.0, 10.0, 11.0, 16.0}) {
        SCOPED_TRACE(testing::Message() << points << " pt");
        AppLook look;
        look.pointSize(points);
        auto box = showBox();
        const QRect inside = box->rect();
        std::vector<QWidget*> controls;
        for (QLabel* label : box->findChildren<QLabel*>()) {
            controls.push_back(label);
            const QSize text = label->sizeHint();
            EXPECT_LE(text.width(), label->width()) << label->objectName().toStdString();
            EXPECT_LE(text.height(), label->height()) << label->objectName().toStdString();
        }
        QPushButton* ok = in<QPushButton>(box.get(), "cmdok");
        EXPECT_LE(ok->sizeHint().width(), ok->width());
        EXPECT_LE(ok->sizeHint().height(), ok->height());
        controls.push_back(ok);
        for (QWidget* control : box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            EXPECT_TRUE(inside.contains(control->geometry())) << control->objectName().toStdString();
        }
        for (std::size_t i = 0; i < controls.size(); ++i) {
            for (std::size_t j = i + 1; j < controls.size(); ++j) {
                EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
                    << controls[i]->objectName().toStdString() << " and " << controls[j]->objectName().toStdString();
            }
        }
        const QFontInfo heading(in<QLabel>(box.get(), "lblprogtitle")->font());
        EXPECT_GE(heading.pointSizeF(), QFontInfo(in<QLabel>(box.get(), "lbltext1")->font()).pointSizeF());
        EXPECT_EQ(box->focusWidget(), ok);
    }
}

TEST_F(AboutBoxTest, OkIsTheOnlyFocusAndEscDoesNothing) {
    open(write("notes.txt", "x"));
    auto box = showBox();
    QPushButton* ok = in<QPushButton>(box.get(), "cmdok");
    EXPECT_EQ(box->focusWidget(), ok);
    for (QWidget* control : box->findChildren<QWidget*>()) {
        if (control != ok) {
            EXPECT_EQ(control->focusPolicy(), Qt::NoFocus) << control->objectName().toStdString();
        }
    }

    QTest::keyClick(box.get(), Qt::Key_Escape);
    EXPECT_TRUE(box->isVisible());
    QTest::keyClick(ok, Qt::Key_Return);
    EXPECT_FALSE(box->isVisible());

    box = showBox();
    QTest::keyClick(box->focusWidget(), Qt::Key_Space);
    EXPECT_FALSE(box->isVisible());

    box = showBox();
    QTest::keyClick(box.get(), Qt::Key_O, Qt::AltModifier);
    // A mnemonic presses the button visibly, so the click comes a moment later.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !box->isVisible(); }, 2000));
}

TEST_F(AboutBoxTest, LinkIsBlueWithAHandAndOpensThePageOnClick) {
    open(write("notes.txt", "x"));
    auto box = showBox();
    QLabel* url = in<QLabel>(box.get(), "lblurl");
    EXPECT_EQ(url->palette().color(QPalette::WindowText), QColor(0x00, 0x00, 0xC0));
    EXPECT_FALSE(url->testAttribute(Qt::WA_SetCursor));
    hover(url, QPoint(3, 3));
    EXPECT_EQ(url->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(links.opened.empty());

    QTest::mouseClick(url, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    ASSERT_EQ(links.opened.size(), 1u);
    EXPECT_EQ(links.opened[0].toString(), url->text());
    EXPECT_TRUE(links.opened[0].isValid());
    EXPECT_TRUE(window->windowState() & Qt::WindowMinimized);
    EXPECT_FALSE(box->isVisible());
    EXPECT_TRUE(exit.codes.empty());
}

TEST_F(AboutBoxTest, AboutButtonOpensAFreshModalBoxEachTime) {
    open(write("notes.txt", "x"));
    int opened = 0;
    whenModal([&](QWidget* box) {
        ++opened;
        EXPECT_EQ(box->objectName(), "frmabout");
        EXPECT_EQ(box->parentWidget(), nullptr);
        EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
        EXPECT_EQ(in<QLabel>(box, "lblcopyright")->text(), QString::fromUtf8("Copyright \u00a9 2024 - 2031"));
        QTest::keyClick(in<QPushButton>(box, "cmdok"), Qt::Key_Return);
    });
    QTest::mouseClick(cmdAbout(), Qt::LeftButton);
    EXPECT_EQ(opened, 1);

    // Opened again after midnight on New Year's Eve: the new year.
    clock.date = QDate(2032, 1, 1);
    whenModal([&](QWidget* box) {
        ++opened;
        EXPECT_EQ(in<QLabel>(box, "lblcopyright")->text(), QString::fromUtf8("Copyright \u00a9 2024 - 2032"));
    });
    QTest::mouseClick(cmdAbout(), Qt::LeftButton);
    EXPECT_EQ(opened, 2);
    // The main window is untouched by the box.
    EXPECT_TRUE(cmdEncrypt()->isEnabled());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(exit.codes.empty());
}

}  // namespace
}  // namespace kerfo::test
