// The tool's own pictures, drawn in code so that no binary artwork lives in the repository.
#include "app/Artwork.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace velquin::app {

namespace {

const QColor kSheetGreen(33, 115, 70);
const QColor kFolderYellow(240, 196, 72);
const QColor kFolderEdge(176, 130, 30);
const QColor kPaper(252, 252, 250);
const QColor kInk(60, 60, 60);

// All drawing happens on a 48-unit canvas scaled to the requested size.
void sheet(QPainter& p, QRectF r)
{
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(kPaper);
    p.drawRect(r);
    p.fillRect(QRectF(r.left(), r.top(), r.width(), r.height() * 0.22), kSheetGreen);
    p.setPen(QPen(QColor(150, 170, 155), 1));
    for (int i = 1; i < 4; ++i)
    {
        qreal y = r.top() + r.height() * (0.22 + 0.195 * i);
        p.drawLine(QPointF(r.left() + 1, y), QPointF(r.right() - 1, y));
    }
    for (int i = 1; i < 3; ++i)
    {
        qreal x = r.left() + r.width() * i / 3.0;
        p.drawLine(QPointF(x, r.top() + r.height() * 0.22), QPointF(x, r.bottom() - 1));
    }
}

void folder(QPainter& p, QRectF r)
{
    QPainterPath tab;
    tab.addRoundedRect(QRectF(r.left(), r.top(), r.width() * 0.45, r.height() * 0.3), 2, 2);
    p.setPen(QPen(kFolderEdge, 1.5));
    p.setBrush(kFolderEdge.lighter(150));
    p.drawPath(tab);
    p.setBrush(kFolderYellow);
    p.drawRoundedRect(QRectF(r.left(), r.top() + r.height() * 0.18, r.width(), r.height() * 0.82), 2, 2);
}

void badge(QPainter& p, QPointF centre, qreal radius, const QColor& colour, bool plus)
{
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(centre, radius, radius);
    p.setPen(QPen(Qt::white, radius * 0.35, Qt::SolidLine, Qt::RoundCap));
    qreal a = radius * 0.55;
    if (plus)
    {
        p.drawLine(centre + QPointF(-a, 0), centre + QPointF(a, 0));
        p.drawLine(centre + QPointF(0, -a), centre + QPointF(0, a));
    }
    else
    {
        p.drawLine(centre + QPointF(-a, -a), centre + QPointF(a, a));
        p.drawLine(centre + QPointF(-a, a), centre + QPointF(a, -a));
    }
}

void arrow(QPainter& p, QPointF from, QPointF to, const QColor& colour, qreal width)
{
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
    QLineF line(from, to);
    QLineF head = line;
    head.setLength(line.length() - width * 1.2);
    p.drawLine(head);
    QLineF normal = line.normalVector();
    normal.setLength(width * 1.4);
    QPointF side(normal.dx(), normal.dy());
    QPointF back = head.p2();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(QPolygonF({to, back + side, back - side}));
}

void questionBalloon(QPainter& p)
{
    QPainterPath balloon;
    balloon.addRoundedRect(QRectF(4, 4, 40, 30), 10, 10);
    balloon.moveTo(14, 32);
    balloon.lineTo(10, 44);
    balloon.lineTo(24, 33);
    p.setPen(QPen(QColor(30, 80, 160), 2.5));
    p.setBrush(QColor(235, 242, 255));
    p.drawPath(balloon.simplified());
    QFont f;
    f.setBold(true);
    f.setPixelSize(26);
    p.setFont(f);
    p.setPen(QColor(30, 80, 160));
    p.drawText(QRectF(4, 4, 40, 30), Qt::AlignCenter, QStringLiteral("?"));
}

void paint(QPainter& p, Picture picture)
{
    switch (picture)
    {
    case Picture::Product:
        sheet(p, QRectF(3, 3, 30, 38));
        arrow(p, QPointF(20, 26), QPointF(38, 26), QColor(230, 120, 20), 4);
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(QColor(255, 246, 220));
        p.drawRect(QRectF(30, 12, 16, 33));
        p.setPen(QColor(200, 90, 10));
        {
            QFont f;
            f.setBold(true);
            f.setPixelSize(7);
            p.setFont(f);
        }
        p.drawText(QRectF(30, 36, 16, 9), Qt::AlignCenter, QStringLiteral("XML"));
        break;
    case Picture::AddFolder:
        folder(p, QRectF(3, 9, 36, 30));
        badge(p, QPointF(36, 36), 9, kSheetGreen, true);
        break;
    case Picture::AddExcel:
        sheet(p, QRectF(5, 4, 30, 38));
        badge(p, QPointF(36, 36), 9, kSheetGreen, true);
        break;
    case Picture::RemoveFile:
        sheet(p, QRectF(5, 4, 30, 38));
        badge(p, QPointF(36, 36), 9, QColor(200, 40, 40), false);
        break;
    case Picture::Convert:
        sheet(p, QRectF(2, 4, 22, 30));
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(QColor(255, 246, 220));
        p.drawRect(QRectF(24, 14, 22, 30));
        arrow(p, QPointF(12, 40), QPointF(32, 30), QColor(230, 120, 20), 4);
        break;
    case Picture::Help:
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 100, 200));
        p.drawEllipse(QRectF(4, 4, 40, 40));
        {
            QFont f;
            f.setBold(true);
            f.setPixelSize(30);
            p.setFont(f);
        }
        p.setPen(Qt::white);
        p.drawText(QRectF(4, 4, 40, 40), Qt::AlignCenter, QStringLiteral("?"));
        break;
    case Picture::HomePage:
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(QColor(200, 60, 40));
        p.drawPolygon(QPolygonF({QPointF(24, 4), QPointF(45, 22), QPointF(3, 22)}));
        p.setBrush(kPaper);
        p.drawRect(QRectF(9, 22, 30, 22));
        p.setBrush(QColor(110, 70, 40));
        p.drawRect(QRectF(20, 30, 9, 14));
        break;
    case Picture::Exit:
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(QColor(150, 100, 60));
        p.drawRect(QRectF(8, 4, 22, 40));
        arrow(p, QPointF(20, 24), QPointF(45, 24), QColor(200, 40, 40), 4);
        break;
    case Picture::ArrowUp:
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 100, 200));
        p.drawPolygon(QPolygonF({QPointF(24, 6), QPointF(44, 30), QPointF(32, 30), QPointF(32, 44), QPointF(16, 44),
                                 QPointF(16, 30), QPointF(4, 30)}));
        break;
    case Picture::ArrowDown:
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 100, 200));
        p.drawPolygon(QPolygonF({QPointF(24, 42), QPointF(44, 18), QPointF(32, 18), QPointF(32, 4), QPointF(16, 4),
                                 QPointF(16, 18), QPointF(4, 18)}));
        break;
    }
}

QPixmap drawOn(int size, void (*body)(QPainter&))
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);
    body(p);
    return pixmap;
}

void workbookImage(QPainter& p)
{
    sheet(p, QRectF(6, 3, 36, 42));
}

void folderImage(QPainter& p)
{
    folder(p, QRectF(3, 8, 42, 34));
}

} // namespace

QPixmap drawPicture(Picture picture, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);
    paint(p, picture);
    return pixmap;
}

QIcon pictureIcon(Picture picture, int size)
{
    return QIcon(drawPicture(picture, size));
}

QList<QIcon> listImages()
{
    return {QIcon(drawOn(16, workbookImage)), QIcon(drawOn(16, folderImage)), QIcon(drawOn(16, questionBalloon))};
}

} // namespace velquin::app
