#include "ui/padlock_icon.h"

#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace kerfo::ui {

namespace {

class PadlockEngine : public QIconEngine {
public:
    explicit PadlockEngine(Padlock kind) : m_kind(kind) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        // Drawn on a 32 x 32 grid, scaled to the requested rectangle.
        painter->translate(rect.topLeft());
        painter->scale(rect.width() / 32.0, rect.height() / 32.0);
        if (mode == QIcon::Disabled) {
            painter->setOpacity(0.4);
        }

        // The shackle: a thick grey arc; opened, it is lifted out of the body.
        QPen shackle(QColor(0x6e, 0x6e, 0x6e), 3.2, Qt::SolidLine, Qt::FlatCap);
        painter->setPen(shackle);
        painter->setBrush(Qt::NoBrush);
        QPainterPath arc;
        if (m_kind == Padlock::kClosed) {
            arc.moveTo(9.5, 15.0);
            arc.lineTo(9.5, 10.5);
            arc.arcTo(QRectF(9.5, 4.0, 13.0, 13.0), 180.0, -180.0);
            arc.lineTo(22.5, 15.0);
        } else {
            // One leg stays in the body, the other hangs free above it.
            arc.moveTo(9.5, 15.0);
            arc.lineTo(9.5, 7.5);
            arc.arcTo(QRectF(9.5, 1.0, 13.0, 13.0), 180.0, -180.0);
            arc.lineTo(22.5, 10.0);
        }
        painter->drawPath(arc);

        // The body: a rounded grey block, lighter at the top, with a dark rim.
        const QRectF body(5.0, 14.0, 22.0, 16.0);
        QLinearGradient fill(body.topLeft(), body.bottomLeft());
        fill.setColorAt(0.0, QColor(0xb4, 0xb4, 0xb4));
        fill.setColorAt(1.0, QColor(0x78, 0x78, 0x78));
        painter->setPen(QPen(QColor(0x4a, 0x4a, 0x4a), 1.0));
        painter->setBrush(fill);
        painter->drawRoundedRect(body.adjusted(0.5, 0.5, -0.5, -0.5), 2.5, 2.5);

        // The keyhole.
        const QPointF centre(body.center().x(), body.top() + 6.5);
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(0x33, 0x33, 0x33));
        painter->drawEllipse(centre, 2.2, 2.2);
        painter->drawRect(QRectF(centre.x() - 1.0, centre.y(), 2.0, 5.5));
        painter->restore();
    }

    // The default leaves the background uninitialised; the picture needs it clear.
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap picture(size);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return picture;
    }

    QIconEngine* clone() const override { return new PadlockEngine(m_kind); }

private:
    Padlock m_kind;
};

}  // namespace

QIcon padlockIcon(Padlock kind) {
    return QIcon(new PadlockEngine(kind));
}

}  // namespace kerfo::ui
