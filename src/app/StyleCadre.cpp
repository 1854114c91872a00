#include "StyleCadre.h"

StyleCadre::StyleCadre(int retraitLegende, QObject* parent) : retrait(retraitLegende)
{
    setParent(parent);
}

QRect StyleCadre::subControlRect(ComplexControl controle, const QStyleOptionComplex* option,
                                 SubControl partie, const QWidget* widget) const
{
    QRect rect = QProxyStyle::subControlRect(controle, option, partie, widget);
    if (controle == CC_GroupBox && (partie == SC_GroupBoxLabel || partie == SC_GroupBoxCheckBox))
        rect.translate(retrait, 0);
    return rect;
}
