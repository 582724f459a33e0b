#include "ui/window_placement.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace kerfo::ui {

namespace {

constexpr char kPendingFrame[] = "kerfoPendingFrame";
constexpr char kLastShownFrame[] = "kerfoLastShownFrame";

QMargins marginsOf(const QWidget& window) {
    // Asked of the native window each time: the widget's own copy of the frame's size can
    // still be empty while the window manager has framed the window already.
    const QWindow* native = window.windowHandle();
    return native ? native->frameMargins() : QMargins();
}

QPoint cornerOnScreen(const QWidget& window) {
    const QMargins frame = marginsOf(window);
    return window.geometry().topLeft() - QPoint(frame.left(), frame.top());
}

// How long a shown window waits for the window manager to say how big its frame is before
// it takes the frame to be none; and how often it asks meanwhile.
constexpr int kFrameWaitMs = 5000;
constexpr int kFrameAskMs = 20;

// Follows a window placed by moveFrameTo. Until a window is on screen nobody knows how big
// its frame will be, so moveFrameTo can only put the client area at the corner asked for;
// as soon as the window manager has framed the window, this moves it once more so that the
// frame's corner lands there. Some window managers (KWin) show the window before they say
// how big its frame is: the corner then stays pending, asked after every few milliseconds,
// until the frame is known or it is clear that none comes.
// And as the window leaves the screen it notes the corner: afterwards the window manager
// has taken the frame away and the corner can no longer be worked out, but a save after
// the close needs the one the user saw.
class FrameSync : public QObject {
public:
    FrameSync(QWidget& widget, QWindow& native)
        : QObject(&native), m_widget(widget), m_native(native) {
        setObjectName(QStringLiteral("kerfoFrameSync"));
        native.installEventFilter(this);
        m_ask.setInterval(kFrameAskMs);
        connect(&m_ask, &QTimer::timeout, this, [this] { settle(); });
    }

    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::Expose:
                if (m_native.isExposed() && m_widget.property(kPendingFrame).isValid()) {
                    if (!m_ask.isActive()) {
                        m_waiting.start();
                        m_ask.start();
                    }
                    settle();
                }
                break;
            case QEvent::Show:
                m_widget.setProperty(kLastShownFrame, QVariant());
                break;
            case QEvent::Hide:
                m_widget.setProperty(kLastShownFrame, framePosition(m_widget));
                stopWaiting();
                break;
            default:
                break;
        }
        return false;
    }

private:
    // Moves the window so that its frame's corner is the pending one, once the frame is known.
    void settle() {
        const QVariant pending = m_widget.property(kPendingFrame);
        if (!pending.isValid()) {
            m_ask.stop();
            return;
        }
        // Known once it has a title bar: while a window manager is still taking the window
        // in, the toolkit may report a frame whose top is not in place yet.
        const QMargins frame = m_native.frameMargins();
        if (frame.top() > 0) {
            stopWaiting();
            m_widget.setGeometry(
                QRect(pending.toPoint() + QPoint(frame.left(), frame.top()), m_widget.size()));
        } else if (m_waiting.hasExpired(kFrameWaitMs)) {
            // No frame (no window manager, or one that draws no title bar): the client
            // area's corner stands for the frame's, and it is in place already.
            stopWaiting();
        }
    }

    void stopWaiting() {
        m_ask.stop();
        m_widget.setProperty(kPendingFrame, QVariant());
    }

    QWidget& m_widget;
    QWindow& m_native;
    QTimer m_ask;
    QElapsedTimer m_waiting;
};

}  // namespace

QPoint framePosition(const QWidget& window) {
    // Until the window is framed, the corner asked for is where the frame goes, while the
    // client area is still where moveFrameTo put it (without a window manager, a user's
    // tool may have moved it since).
    const QVariant pending = window.property(kPendingFrame);
    if (pending.isValid() &&
        (!window.isVisible() || window.geometry().topLeft() == pending.toPoint())) {
        return pending.toPoint();
    }
    const QVariant lastShown = window.property(kLastShownFrame);
    if (lastShown.isValid() && !window.isVisible()) {
        return lastShown.toPoint();
    }
    return cornerOnScreen(window);
}

void moveFrameTo(QWidget& window, QPoint topLeft) {
    window.setProperty(kPendingFrame, QVariant());
    window.setProperty(kLastShownFrame, QVariant());
    if (window.isVisible()) {
        const QMargins frame = marginsOf(window);
        window.setGeometry(QRect(topLeft + QPoint(frame.left(), frame.top()), window.size()));
        return;
    }
    // Not shown yet: the client area goes to the point for now, and FrameSync finishes the
    // move once the frame is known.
    window.move(topLeft);
    window.winId();
    if (QWindow* native = window.windowHandle()) {
        window.setProperty(kPendingFrame, topLeft);
        if (!native->findChild<FrameSync*>(QStringLiteral("kerfoFrameSync"), Qt::FindDirectChildrenOnly)) {
            new FrameSync(window, *native);
        }
    }
}

window::Frame frameOf(QWidget& window) {
    QRect frame = window.frameGeometry();
    int titleBar = window.geometry().top() - frame.top();
    if (titleBar <= 0) {
        // No frame yet: the window's own size, with a title bar to come above its client area.
        window.ensurePolished();
        if (QLayout* layout = window.layout()) {
            layout->activate();
        }
        titleBar = kAssumedTitleBarHeight;
        frame = QRect(framePosition(window),
                      window.size() + QSize(2 * kAssumedBorder, titleBar + kAssumedBorder));
    }
    return {{frame.left(), frame.top(), frame.width(), frame.height()}, titleBar};
}

std::vector<window::Rect> screenAreas() {
    std::vector<window::Rect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect area = screen->availableGeometry();
        areas.push_back({area.left(), area.top(), area.width(), area.height()});
    }
    return areas;
}

}  // namespace kerfo::ui
