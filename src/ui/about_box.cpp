#include "ui/about_box.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

#include "platform/texts.h"
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

// An etched rule: a dark one-pixel line and, one pixel below it, a light two-pixel line
// in the 3-D highlight colour.
class EtchedRule : public QWidget {
public:
    EtchedRule(int leftTwips, int rightTwips, int topTwips, QWidget* parent) : QWidget(parent) {
        setGeometry(px(leftTwips), px(topTwips), px(rightTwips) - px(leftTwips), 3);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(0, 0, width(), 1, QColor(0x40, 0x00, 0x40));
        painter.fillRect(0, 1, width(), 2, palette().color(QPalette::Light));
    }
};

// A label at its place in twips. `autoSize` labels take the width of their text; the
// height never cuts the text off, whatever the platform font.
QLabel* placeLabel(QWidget* parent, const char* name, const QString& text, int left, int top, int width,
                   int height, bool autoSize) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    const QSize hint = label->sizeHint();
    label->setGeometry(px(left), px(top), autoSize ? hint.width() : px(width), std::max(px(height), hint.height()));
    return label;
}

}  // namespace

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
    setFixedSize(px(3300), px(4395));

    m_lblprogtitle = placeLabel(this, "lblprogtitle", QString(), 360, 345, 3675, 330, false);
    QFont titleFont = m_lblprogtitle->font();
    titleFont.setPointSizeF(13.5);
    m_lblprogtitle->setFont(titleFont);
    m_lblversion = placeLabel(this, "lblversion", QString(), 360, 675, 3675, 195, false);
    QFont versionFont = m_lblversion->font();
    versionFont.setPointSizeF(9.75);
    versionFont.setBold(true);
    m_lblversion->setFont(versionFont);
    m_lblcopyright = placeLabel(this, "lblcopyright", QString(), 360, 930, 795, 195, false);
    placeLabel(this, "lblcopyright2", qs(texts::kCopyrightHolder), 360, 1140, 2580, 240, false);
    new EtchedRule(360, 2985, 1545, this);
    placeLabel(this, "lbltext1", qs(texts::kFreeUseLine1), 360, 1695, 3675, 195, false);
    placeLabel(this, "lbltext2", qs(texts::kFreeUseLine2), 360, 1890, 2460, 195, true);
    placeLabel(this, "lbltext3", qs(texts::kPlayAndEnjoy), 360, 2085, 1110, 195, true);
    new EtchedRule(360, 2985, 2415, this);
    placeLabel(this, "lbltext4", qs(texts::kForUpdates), 360, 2700, 2265, 195, true);
    placeLabel(this, "lbltext5", qs(texts::kVisitHomepage), 360, 2895, 1545, 195, true);
    m_lblurl = placeLabel(this, "lblurl", qs(texts::kHomePage), 360, 3105, 1740, 195, true);
    QPalette linkPalette = m_lblurl->palette();
    linkPalette.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0xC0));
    m_lblurl->setPalette(linkPalette);
    m_lblurl->setMouseTracking(true);
    m_lblurl->installEventFilter(this);

    m_cmdok = new QPushButton(qs(texts::kOk), this);
    m_cmdok->setObjectName(QStringLiteral("cmdok"));
    m_cmdok->setGeometry(px(360), px(3600), px(1590), px(390));
    // Enter and Space press Ok through its focus only: it is neither the default nor
    // the cancel button, so Esc leaves the box open.
    m_cmdok->setDefault(false);
    connect(m_cmdok, &QPushButton::clicked, this, &QDialog::close);

    fillTexts();
    m_cmdok->setFocus();
}

void FrmAbout::fillTexts() {
    m_lblprogtitle->setText(qs(texts::kAppTitle));
    m_lblversion->setText(versionLine(KERFO_VERSION_MAJOR, KERFO_VERSION_MINOR, KERFO_VERSION_PATCH));
    m_lblcopyright->setText(copyrightLine(m_services.clock->today().year()));
    // Sized to its text: it widens to the full line.
    m_lblcopyright->resize(m_lblcopyright->sizeHint().width(), m_lblcopyright->height());
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
