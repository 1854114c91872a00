#include "Icones.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>

namespace {

// Both pictures are drawn on a 48-pixel grid and scaled to each size.
using Dessin = void (*)(QPainter&);

void puce(QPainter& p)
{
    // Pins: four on each side, silver.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(190, 190, 200));
    for (int k = 0; k < 4; ++k) {
        const double v = 12 + k * 7.5;
        p.drawRect(QRectF(v, 2, 4, 8));
        p.drawRect(QRectF(v, 38, 4, 8));
        p.drawRect(QRectF(2, v, 8, 4));
        p.drawRect(QRectF(38, v, 8, 4));
    }
    // Body, with the notch dot that marks pin 1.
    p.setBrush(QColor(40, 44, 52));
    p.setPen(QPen(QColor(20, 20, 24), 1.5));
    p.drawRoundedRect(QRectF(9, 9, 30, 30), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 124, 132));
    p.drawEllipse(QPointF(15, 15), 2.5, 2.5);
    // The die, gold.
    p.setBrush(QColor(214, 170, 60));
    p.drawRect(QRectF(19, 19, 10, 10));
}

void fleche(QPainter& p, QPointF centre, double rayon, double debutDeg, double etendueDeg)
{
    QPainterPath arc;
    const QRectF cadre(centre.x() - rayon, centre.y() - rayon, 2 * rayon, 2 * rayon);
    arc.arcMoveTo(cadre, debutDeg);
    arc.arcTo(cadre, debutDeg, etendueDeg);
    p.setBrush(Qt::NoBrush);
    p.drawPath(arc);

    // Arrow head at the end of the arc, pointing along it.
    const double fin = qDegreesToRadians(debutDeg + etendueDeg);
    const QPointF bout(centre.x() + rayon * std::cos(fin), centre.y() - rayon * std::sin(fin));
    const double sens = etendueDeg > 0 ? 1 : -1;
    const QPointF tangente(-std::sin(fin) * sens, -std::cos(fin) * sens);
    const QPointF normale(tangente.y(), -tangente.x());
    QPolygonF tete;
    tete << bout + tangente * 4 << bout + normale * 3.5 << bout - normale * 3.5;
    p.setBrush(p.pen().color());
    p.drawPolygon(tete);
}

void corbeille(QPainter& p)
{
    // Bin body, tapering down, with ribs; then the lid and its handle.
    p.setPen(QPen(QColor(70, 74, 80), 1.5));
    p.setBrush(QColor(170, 176, 184));
    QPolygonF corps;
    corps << QPointF(10, 14) << QPointF(38, 14) << QPointF(35, 45) << QPointF(13, 45);
    p.drawPolygon(corps);
    p.drawRoundedRect(QRectF(7, 9, 34, 5), 1.5, 1.5);
    p.drawRoundedRect(QRectF(19, 5, 10, 4), 1.5, 1.5);

    // Three green arrows chasing each other round the front of the bin.
    QPen vert(QColor(20, 150, 50), 3.2, Qt::SolidLine, Qt::FlatCap);
    p.setPen(vert);
    const QPointF centre(24, 30);
    for (int k = 0; k < 3; ++k)
        fleche(p, centre, 8.5, 100 + k * 120, 85);
}

QIcon icone(Dessin dessin)
{
    QIcon resultat;
    for (int taille : {16, 32, 48}) {
        QPixmap image(taille, taille);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(taille / 48.0, taille / 48.0);
        dessin(p);
        p.end();
        resultat.addPixmap(image);
    }
    return resultat;
}

} // namespace

QIcon iconePuce()
{
    return icone(&puce);
}

QIcon iconeCorbeille()
{
    return icone(&corbeille);
}
