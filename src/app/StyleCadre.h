#pragma once

#include <QProxyStyle>

// The desktop's own style, with a frame's caption moved in from the frame's left edge, as
// classic dialogs draw it.
class StyleCadre : public QProxyStyle
{
    Q_OBJECT

public:
    StyleCadre(int retraitLegende, QObject* parent);

    QRect subControlRect(ComplexControl controle, const QStyleOptionComplex* option,
                         SubControl partie, const QWidget* widget) const override;

private:
    int retrait;
};
