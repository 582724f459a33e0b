#include "ui/about_box.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

#include "texts/texts.h"
#include "ui/palette_colours.h"
#include "window/about_model.h"

namespace kerfo::ui {

namespace {

// 15 twips make one logical pixel; Qt scales logical pixels to the screen.
constexpr int kTwipsPerPixel = 15;

constexpr int px(int twips) {
    return twips / kTwipsPerPixel;
}

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The client area's design size, and the margin the design keeps on the left of every
// control, kept on the right too when the box has to widen.
constexpr int kBoxWidthTwips = 3300;
constexpr int kBoxHeightTwips = 4395;
constexpr int kMarginTwips = 360;
// The rules end this far from the right edge of the box.
constexpr int kRuleEndGapTwips = kBoxWidthTwips - 2985;

// The heading's and the version line's design sizes, next to a 9 pt body text.
constexpr double kTitlePoints = 13.5;
constexpr double kTitleToBody = 1.5;
constexpr double kVersionPoints = 9.75;

// An etched rule: a dark one-pixel line and, one pixel below it, a light two-pixel line
// in the 3-D highlight colour, both chosen against the palette (see palette_colours.h).
class EtchedRule : public QWidget {
public:
    explicit EtchedRule(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        // A decoration, not a control: screen readers skip it.
        setAccessibleName(QStringLiteral("separator"));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const EtchColours colours = etchColours(palette());
        QPainter painter(this);
        painter.fillRect(0, 0, width(), 1, colours.dark);
        painter.fillRect(0, 1, width(), 2, colours.light);
    }
};

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

double bodyPoints(const QFont& font) {
    return font.pointSizeF() > 0 ? font.pointSizeF() : QFontInfo(font).pointSizeF();
}

}  // namespace

QFont headingFont(const QFont& body) {
    QFont font = body;
    font.setPointSizeF(std::max(kTitlePoints, kTitleToBody * bodyPoints(body)));
    return font;
}

QFont versionFont(const QFont& body) {
    QFont font = body;
    font.setPointSizeF(std::max(kVersionPoints, bodyPoints(body)));
    font.setBold(true);
    return font;
}

QString versionLine(int major, int minor, int revision) {
    return qs(window::versionLine(major, minor, revision));
}

QString copyrightLine(int year) {
    return qs(window::copyrightLine(year));
}

FrmAbout::FrmAbout(QWidget* mainWindow, const Services& services)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_mainWindow(mainWindow),
      m_services(services) {
    setObjectName(QStringLiteral("frmabout"));
    setWindowTitle(qs(texts::kAboutCaption));
    setWindowIcon(QIcon());
    setWindowModality(Qt::ApplicationModal);

    // Top to bottom, each at its design place in twips: left, top, width, height.
    m_lblprogtitle = makeLabel(this, "lblprogtitle", QString());
    m_lblprogtitle->setFont(headingFont(font()));
    m_items.push_back({m_lblprogtitle, {360, 345, 3675, 330}, false});
    m_lblversion = makeLabel(this, "lblversion", QString());
    m_lblversion->setFont(versionFont(font()));
    m_items.push_back({m_lblversion, {360, 675, 3675, 195}, false});
    m_lblcopyright = makeLabel(this, "lblcopyright", QString());
    m_items.push_back({m_lblcopyright, {360, 930, 795, 195}, true});
    m_items.push_back({makeLabel(this, "lblcopyright2", qs(texts::kCopyrightHolder)), {360, 1140, 2580, 240}, false});
    m_items.push_back({new EtchedRule(this), {360, 1545, 2985 - 360, 45}, false});
    m_items.push_back({makeLabel(this, "lbltext1", qs(texts::kFreeUseLine1)), {360, 1695, 3675, 195}, false});
    m_items.push_back({makeLabel(this, "lbltext2", qs(texts::kFreeUseLine2)), {360, 1890, 2460, 195}, true});
    m_items.push_back({makeLabel(this, "lbltext3", qs(texts::kPlayAndEnjoy)), {360, 2085, 1110, 195}, true});
    m_items.push_back({new EtchedRule(this), {360, 2415, 2985 - 360, 45}, false});
    m_items.push_back({makeLabel(this, "lbltext4", qs(texts::kForUpdates)), {360, 2700, 2265, 195}, true});
    m_items.push_back({makeLabel(this, "lbltext5", qs(texts::kVisitHomepage)), {360, 2895, 1545, 195}, true});
    m_lblurl = makeLabel(this, "lblurl", qs(texts::kHomePage));
    m_items.push_back({m_lblurl, {360, 3105, 1740, 195}, true});
    QPalette linkPalette = m_lblurl->palette();
    linkPalette.setColor(QPalette::WindowText, readableBlue(palette().color(QPalette::Window)));
    m_lblurl->setPalette(linkPalette);
    m_lblurl->setMouseTracking(true);
    m_lblurl->installEventFilter(this);

    m_cmdok = new QPushButton(qs(texts::kOk), this);
    m_cmdok->setObjectName(QStringLiteral("cmdok"));
    m_items.push_back({m_cmdok, {360, 3600, 1590, 390}, false});
    // Enter and Space press Ok through its focus only: it is neither the default nor
    // the cancel button, so Esc leaves the box open.
    m_cmdok->setDefault(false);
    connect(m_cmdok, &QPushButton::clicked, this, &QDialog::close);

    fillTexts();
    layOut();
    m_cmdok->setFocus();
}

void FrmAbout::layOut() {
    // Widen the box first if some text is longer than the design allows for.
    int boxWidth = px(kBoxWidthTwips);
    for (const Item& item : m_items) {
        if (qobject_cast<QLabel*>(item.widget) || qobject_cast<QPushButton*>(item.widget)) {
            boxWidth = std::max(boxWidth, px(item.design.left()) + item.widget->sizeHint().width() + px(kMarginTwips));
        }
    }
    // Then top to bottom: each control keeps its design place and size, grown to its text;
    // whatever one grows by in height moves everything below it down by as much.
    int shift = 0;
    for (const Item& item : m_items) {
        const QRect design(px(item.design.left()), px(item.design.top()), px(item.design.width()),
                           px(item.design.height()));
        QWidget* widget = item.widget;
        QRect place(design.left(), design.top() + shift, design.width(), design.height());
        if (dynamic_cast<EtchedRule*>(widget) != nullptr) {
            place.setWidth(boxWidth - px(kRuleEndGapTwips) - place.left());
            place.setHeight(3);
        } else {
            const QSize text = widget->sizeHint();
            // A design width past the box's edge was clipped by the box: the width the user
            // sees is what stays.
            const int designWidth = item.sizedToText ? 0 : std::min(design.width(), boxWidth - design.left());
            place.setWidth(std::max(designWidth, text.width()));
            place.setHeight(std::max(design.height(), text.height()));
            shift += place.height() - design.height();
        }
        widget->setGeometry(place);
    }
    setFixedSize(boxWidth, px(kBoxHeightTwips) + shift);
}

void FrmAbout::fillTexts() {
    m_lblprogtitle->setText(qs(texts::kAppTitle));
    m_lblversion->setText(versionLine(KERFO_VERSION_MAJOR, KERFO_VERSION_MINOR, KERFO_VERSION_PATCH));
    m_lblcopyright->setText(copyrightLine(m_services.clock->today().year()));
}

void FrmAbout::linkClicked() {
    m_mainWindow->setWindowState((m_mainWindow->windowState() & ~Qt::WindowActive) | Qt::WindowMinimized);
    m_services.links->open(QUrl(qs(texts::kHomePage)));
    close();
}

void FrmAbout::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool FrmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_lblurl) {
        if (event->type() == QEvent::MouseMove) {
            m_lblurl->setCursor(Qt::PointingHandCursor);
        } else if (event->type() == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && m_lblurl->rect().contains(mouse->position().toPoint())) {
                linkClicked();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kerfo::ui
