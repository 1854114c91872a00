#include "MouvementAxes.h"

#include "MoteurDefauts.h"
#include "Nombres.h"
#include "PanneauSimulation.h"

#include <cmath>

namespace {

// Returns the new real position text, or the current one when the axis cannot move. A PLC
// fault may shorten the step, or hold the axis at a position on its way.
QString pasVers(const QString& demande, const QString& reelle, double pas, QChar axe,
                ContraintesAppareil* defauts)
{
    const auto dem = valeurDecimale(demande);
    const auto rel = valeurDecimale(reelle);
    if (!dem || !rel)
        return reelle; // a position that is not a number is left alone
    const double d = *dem - *rel;
    if (defauts != nullptr && d != 0) {
        pas *= defauts->fractionPas(axe);
        if (const auto arret = defauts->arret(axe)) {
            const double vers = std::fabs(d) <= pas ? *dem : *rel + (d > 0 ? pas : -pas);
            if ((*arret - *rel) * (vers - *arret) >= 0 && (*arret - *rel) * d >= 0)
                return *arret == *rel ? reelle : texteDecimal(*arret);
        }
    }
    if (std::fabs(d) <= pas)
        return demande; // copied as it stands, leading zeros included
    return texteDecimal(*rel + (d > 0 ? pas : -pas));
}

} // namespace

double valeurPosition(const QString& texte)
{
    return valeurDecimale(texte).value_or(0.0);
}

AxesEnPosition axesEnPosition(const PanneauSimulation& panneau)
{
    return {valeurPosition(panneau.Lbl_PosDemX()) == valeurPosition(panneau.Lbl_PosRelleX()),
            valeurPosition(panneau.Lbl_PosDemZ()) == valeurPosition(panneau.Lbl_PosRelleZ())};
}

void Timer_Deplacement_Timer(PanneauSimulation& panneau, ContraintesAppareil* defauts)
{
    if (panneau.Chk_HOMING_X_ok())
        panneau.setLbl_PosRelleX(pasVers(panneau.Lbl_PosDemX(), panneau.Lbl_PosRelleX(), 2000,
                                         QLatin1Char('X'), defauts));
    if (panneau.Chk_HOMING_Z_ok())
        panneau.setLbl_PosRelleZ(pasVers(panneau.Lbl_PosDemZ(), panneau.Lbl_PosRelleZ(), 1500,
                                         QLatin1Char('Z'), defauts));
}
