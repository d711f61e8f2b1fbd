#include "app/Images.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <array>

namespace {
const QColor kInk(40, 40, 40);
const QColor kPaper(250, 250, 245);
const QColor kFolder(230, 186, 70);
const QColor kBlue(45, 105, 190);
const QColor kGreen(40, 150, 70);
const QColor kRed(200, 60, 50);

void Document(QPainter& p, QRectF r) {
    QPainterPath path;
    const qreal fold = r.width() * 0.35;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawPath(path);
    p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
    p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
}

void Folder(QPainter& p, QRectF r, bool open) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kFolder.darker(115));
    p.drawRect(QRectF(r.left(), r.top(), r.width() * 0.45, r.height() * 0.25));
    p.drawRect(QRectF(r.left(), r.top() + r.height() * 0.2, r.width(), r.height() * 0.8));
    if (open) {
        p.setBrush(kFolder.lighter(120));
        QPolygonF front;
        front << QPointF(r.left() + 2, r.top() + r.height() * 0.45)
              << QPointF(r.right() + 1, r.top() + r.height() * 0.45)
              << QPointF(r.right() - 1, r.bottom()) << QPointF(r.left(), r.bottom());
        p.drawPolygon(front);
    }
}

void Arrow(QPainter& p, QPointF from, QPointF to, const QColor& colour) {
    p.setPen(QPen(colour, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    const QPointF d = (to - from) / std::max(1.0, std::hypot((to - from).x(), (to - from).y()));
    const QPointF n(-d.y(), d.x());
    QPolygonF head;
    head << to + d * 1.5 << to - d * 3 + n * 3 << to - d * 3 - n * 3;
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(head);
}

void Box(QPainter& p, QRectF r) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kBlue.lighter(130));
    p.drawRect(r.adjusted(0, r.height() * 0.3, 0, 0));
    p.setBrush(kBlue.lighter(160));
    QPolygonF lid;
    lid << QPointF(r.left(), r.top() + r.height() * 0.3)
        << QPointF(r.left() + r.width() * 0.2, r.top())
        << QPointF(r.right() - r.width() * 0.2, r.top())
        << QPointF(r.right(), r.top() + r.height() * 0.3);
    p.drawPolygon(lid);
    p.setPen(QPen(kPaper, 1));
    p.drawLine(QPointF(r.center().x(), r.top() + r.height() * 0.3),
               QPointF(r.center().x(), r.bottom()));
}

void Cubes(QPainter& p, QRectF r) {
    const qreal s = r.width() / 2 - 0.5;
    const std::array<QPointF, 3> at = {QPointF(r.left(), r.top() + s),
                                       QPointF(r.left() + s + 1, r.top() + s),
                                       QPointF(r.left() + s / 2, r.top())};
    const std::array<QColor, 3> colours = {kBlue, kGreen, kRed};
    for (size_t i = 0; i < at.size(); ++i) {
        p.setPen(QPen(kInk, 1));
        p.setBrush(colours[i]);
        p.drawRect(QRectF(at[i], QSizeF(s, s)));
    }
}

void Letters(QPainter& p, QRectF r, const QString& text, const QColor& colour) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawRoundedRect(r, 2, 2);
    QFont font("Sans Serif");
    font.setPixelSize(static_cast<int>(r.height() * 0.65));
    font.setBold(true);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(r, Qt::AlignCenter, text);
}

// Coordinates on a grid of 16 by 16 units, scaled to the picture's size.
struct TGrid {
    qreal U;
    [[nodiscard]] QRectF operator()(qreal x, qreal y, qreal w, qreal h) const {
        return QRectF(x * U, y * U, w * U, h * U);
    }
    [[nodiscard]] QPointF operator()(qreal x, qreal y) const { return QPointF(x * U, y * U); }
};

// The pictures of the commands; false for another picture.
bool PaintCommand(QPainter& p, int index, const TGrid& grid) {
    const qreal u = grid.U;
    const TGrid& R = grid;
    const TGrid& P = grid;
    switch (index) {
    case imgOpen:
        Folder(p, R(0.5, 3.5, 14, 11), true);
        return true;
    case imgExtract:
        Document(p, R(2.5, 0.5, 9, 11));
        p.setPen(QPen(kInk, 1));
        p.setBrush(kFolder);
        p.drawRect(R(0.5, 11.5, 15, 4));
        Arrow(p, P(11, 3), P(11, 10), kGreen);
        return true;
    case imgExtractAll:
        Document(p, R(4.5, 0.5, 8, 9));
        Document(p, R(1.5, 2.5, 8, 9));
        p.setPen(QPen(kInk, 1));
        p.setBrush(kFolder);
        p.drawRect(R(0.5, 11.5, 15, 4));
        Arrow(p, P(13, 2), P(13, 10), kGreen);
        return true;
    case imgEditVLM:
        Document(p, R(1.5, 0.5, 10, 14));
        p.setPen(QPen(kRed, 3 * u, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(P(6, 13), P(14, 4));
        p.setPen(QPen(kInk, 1));
        p.drawLine(P(5, 14.5), P(6, 13));
        return true;
    case imgAbout:
        p.setPen(QPen(kInk, 1));
        p.setBrush(kBlue);
        p.drawEllipse(R(0.5, 0.5, 15, 15));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(R(7, 3, 2.2, 2.2));
        p.drawRect(R(7, 6.5, 2.2, 6.5));
        return true;
    default:
        return false;
    }
}

// The pictures of the project's nodes and of the rows; false for another picture.
bool PaintPage(QPainter& p, int index, const TGrid& grid) {
    const qreal u = grid.U;
    const TGrid& R = grid;
    const TGrid& P = grid;
    switch (index) {
    case imgSetup:
        Box(p, R(1.5, 2.5, 13, 12));
        return true;
    case imgFiles:
        Document(p, R(4.5, 0.5, 9, 11));
        Document(p, R(2.5, 4.5, 9, 11));
        return true;
    case imgShortcuts:
    case imgShortcutRow:
        Document(p, R(3.5, 0.5, 10, 14));
        p.setPen(QPen(kInk, 1));
        p.setBrush(Qt::white);
        p.drawRect(R(0.5, 8.5, 7, 7));
        Arrow(p, P(2, 14), P(6, 10), kBlue);
        return true;
    case imgRegistry:
        Cubes(p, R(0.5, 1.5, 15, 14));
        return true;
    case imgRegKey:
        Folder(p, R(0.5, 2.5, 15, 12), false);
        return true;
    case imgRegKeySelected:
        Folder(p, R(0.5, 2.5, 15, 12), true);
        return true;
    case imgFileRow:
        Document(p, R(2.5, 0.5, 11, 15));
        p.setPen(QPen(kBlue, 1));
        for (qreal y = 6.5; y < 14; y += 2.5)
            p.drawLine(P(4.5, y), P(11.5, y));
        return true;
    case imgRegString:
        Letters(p, R(0.5, 2.5, 15, 11), "ab", kRed);
        return true;
    case imgRegNumber:
        Letters(p, R(0.5, 2.5, 15, 11), "01", kBlue);
        return true;
    case imgProvisioning:
        // A document of settings with a padlock: what it changes about the device's security.
        Document(p, R(1.5, 0.5, 10, 13));
        p.setPen(QPen(kBlue, 1));
        for (qreal y = 5.5; y < 12; y += 2.5)
            p.drawLine(P(3.5, y), P(9.5, y));
        p.setPen(QPen(kInk, 1.5 * u));
        p.setBrush(Qt::NoBrush);
        p.drawArc(R(9.5, 6.5, 5, 6), 0, 180 * 16);
        p.setPen(QPen(kInk, 1));
        p.setBrush(kFolder);
        p.drawRect(R(8.5, 9.5, 7, 6));
        return true;
    case imgSignature:
        // A seal with its ribbons.
        p.setPen(Qt::NoPen);
        p.setBrush(kRed.darker(120));
        p.drawPolygon(QPolygonF({P(5, 8), P(3, 15.5), P(5.5, 14), P(7, 15.5), P(8, 9)}));
        p.drawPolygon(QPolygonF({P(8, 9), P(9, 15.5), P(10.5, 14), P(13, 15.5), P(11, 8)}));
        p.setPen(QPen(kInk, 1));
        p.setBrush(kRed);
        p.drawEllipse(R(2.5, 0.5, 11, 11));
        p.setBrush(kRed.lighter(140));
        p.drawEllipse(R(5, 3, 6, 6));
        return true;
    case imgPrograms:
        // A program's window: title bar and a body.
        p.setPen(QPen(kInk, 1));
        p.setBrush(kPaper);
        p.drawRect(R(0.5, 2.5, 15, 12));
        p.setBrush(kBlue);
        p.drawRect(R(0.5, 2.5, 15, 3));
        p.setPen(QPen(kGreen, 1.5 * u));
        p.drawLine(P(3, 8.5), P(9, 8.5));
        p.drawLine(P(3, 11.5), P(7, 11.5));
        return true;
    default:
        return false;
    }
}

// The marks of findings and of compared rows; false for another picture.
bool PaintMark(QPainter& p, int index, const TGrid& grid) {
    const qreal u = grid.U;
    const TGrid& R = grid;
    const TGrid& P = grid;
    switch (index) {
    case imgWarning:
        // A red triangle with an exclamation mark.
        p.setPen(QPen(kInk, 1));
        p.setBrush(kRed);
        p.drawPolygon(QPolygonF({P(8, 0.5), P(15.5, 15), P(0.5, 15)}));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(R(7, 5, 2, 5.5));
        p.drawRect(R(7, 12, 2, 2));
        return true;
    case imgNotice:
        // A yellow disc with an exclamation mark.
        p.setPen(QPen(kInk, 1));
        p.setBrush(kFolder);
        p.drawEllipse(R(0.5, 0.5, 15, 15));
        p.setPen(Qt::NoPen);
        p.setBrush(kInk);
        p.drawRect(R(7, 3, 2, 6.5));
        p.drawRect(R(7, 11, 2, 2));
        return true;
    case imgInfo:
        // A small grey disc with an "i": worth knowing, nothing more.
        p.setPen(QPen(kInk, 1));
        p.setBrush(QColor(0xd0, 0xd0, 0xd0));
        p.drawEllipse(R(1.5, 1.5, 13, 13));
        p.setPen(Qt::NoPen);
        p.setBrush(kInk);
        p.drawEllipse(R(7, 3.5, 2, 2));
        p.drawRect(R(7, 6.5, 2, 6));
        return true;
    case imgAdded:
    case imgRemoved:
    case imgChanged: {
        const QColor colour = index == imgAdded ? kGreen : index == imgRemoved ? kRed : kBlue;
        p.setPen(QPen(colour.darker(130), 1));
        p.setBrush(colour);
        p.drawEllipse(R(1.5, 1.5, 13, 13));
        p.setPen(QPen(Qt::white, 2 * u, Qt::SolidLine, Qt::RoundCap));
        if (index != imgChanged) p.drawLine(P(5, 8), P(11, 8));
        if (index == imgAdded) p.drawLine(P(8, 5), P(8, 11));
        if (index == imgChanged) {
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawEllipse(R(6, 6, 4, 4));
        }
        return true;
    }
    default:
        return false;
    }
}

void Paint(QPainter& p, int index, qreal size) {
    const TGrid grid{size / 16};
    if (!PaintCommand(p, index, grid) && !PaintPage(p, index, grid)) PaintMark(p, index, grid);
}

QPixmap Picture(int index, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    Paint(painter, index, size);
    return pixmap;
}
} // namespace

const QIcon& ImageListIcon(int index) {
    static const std::array<QIcon, imgCount> icons = [] {
        std::array<QIcon, imgCount> result;
        for (int i = 0; i < imgCount; ++i) {
            result[i].addPixmap(Picture(i, 16));
            result[i].addPixmap(Picture(i, 32));
        }
        return result;
    }();
    static const QIcon none;
    return index >= 0 && index < imgCount ? icons[index] : none;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 64})
        icon.addPixmap(Picture(imgSetup, size));
    return icon;
}
