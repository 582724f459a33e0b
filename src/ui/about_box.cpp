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

// Twips to logical pixels; Qt scales logical pixels to the screen.
int px(int twips) {
    return window::twipsToPixelsAt(twips, 96);
}

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The heading's size next to the body text, when the body is larger than the design's.
constexpr double kTitleToBody = 1.5;

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
    font.setPointSizeF(std::max(window::kAboutTitlePoints, kTitleToBody * bodyPoints(body)));
    return font;
}

QFont versionFont(const QFont& body) {
    QFont font = body;
    font.setPointSizeF(std::max(window::kAboutVersionPoints, bodyPoints(body)));
    font.setBold(true);
    return font;
}

FrmAbout::FrmAbout(QWidget* mainWindow, const Services& services)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_mainWindow(mainWindow),
      m_services(services) {
    setObjectName(QStringLiteral("frmabout"));
    setWindowTitle(qs(texts::kAboutCaption));
    setWindowIcon(QIcon());
    setWindowModality(Qt::ApplicationModal);

    // Top to bottom, each at its design place in twips: the labels and the rules by their
    // tops, then Ok.
    std::size_t rule = 0;
    for (const window::AboutLabel& label : window::kAboutLabels) {
        for (; rule < window::kAboutRules.size() && window::kAboutRules[rule].top < label.top;
             ++rule) {
            const window::AboutRule& r = window::kAboutRules[rule];
            m_items.push_back({new EtchedRule(this),
                               {r.left, r.top, r.right - r.left, window::kAboutRuleHeight},
                               false});
        }
        QLabel* made = makeLabel(this, label.name, qs(label.text));
        if (label.font == window::AboutFont::kTitle) {
            made->setFont(headingFont(font()));
        } else if (label.font == window::AboutFont::kVersion) {
            made->setFont(versionFont(font()));
        }
        m_items.push_back(
            {made, {label.left, label.top, label.width, label.height}, label.autoSize});
    }
    m_lblprogtitle = findChild<QLabel*>(QStringLiteral("lblprogtitle"));
    m_lblversion = findChild<QLabel*>(QStringLiteral("lblversion"));
    m_lblcopyright = findChild<QLabel*>(QStringLiteral("lblcopyright"));
    // The last label is the link.
    m_lblurl = static_cast<QLabel*>(m_items.back().widget);
    QPalette linkPalette = m_lblurl->palette();
    linkPalette.setColor(QPalette::WindowText, readableBlue(palette().color(QPalette::Window)));
    m_lblurl->setPalette(linkPalette);
    m_lblurl->setMouseTracking(true);
    m_lblurl->installEventFilter(this);

    m_cmdok = new QPushButton(qs(texts::kOk), this);
    m_cmdok->setObjectName(QStringLiteral("cmdok"));
    m_items.push_back(
        {m_cmdok, {window::kOkLeft, window::kOkTop, window::kOkWidth, window::kOkHeight}, false});
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
    int boxWidth = px(window::kAboutWidth);
    for (const Item& item : m_items) {
        if (qobject_cast<QLabel*>(item.widget) || qobject_cast<QPushButton*>(item.widget)) {
            boxWidth = std::max(boxWidth, px(item.design.left()) + item.widget->sizeHint().width() +
                                              px(window::kAboutMargin));
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
            // The rule keeps its gap to the box's right edge when the box widens.
            place.setWidth(boxWidth -
                           px(window::kAboutWidth - (item.design.left() + item.design.width())) -
                           place.left());
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
    setFixedSize(boxWidth, px(window::kAboutHeight) + shift);
}

void FrmAbout::fillTexts() {
    m_lblprogtitle->setText(qs(texts::kAppTitle));
    m_lblversion->setText(
        qs(window::versionLine(KERFO_VERSION_MAJOR, KERFO_VERSION_MINOR, KERFO_VERSION_PATCH)));
    m_lblcopyright->setText(qs(window::copyrightLine(m_services.clock->today().year())));
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
