#include "MouvementAxes.h"

#include "Nombres.h"
#include "PanneauSimulation.h"

#include <cmath>

namespace {

// Returns the new real position text, or the current one when the axis cannot move.
QString pasVers(const QString& demande, const QString& reelle, double pas)
{
    const auto dem = valeurDecimale(demande);
    const auto rel = valeurDecimale(reelle);
    if (!dem || !rel)
        return reelle; // a position that is not a number is left alone
    const double d = *dem - *rel;
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

void Timer_Deplacement_Timer(PanneauSimulation& panneau)
{
    if (panneau.Chk_HOMING_X_ok())
        panneau.setLbl_PosRelleX(pasVers(panneau.Lbl_PosDemX(), panneau.Lbl_PosRelleX(), 2000));
    if (panneau.Chk_HOMING_Z_ok())
        panneau.setLbl_PosRelleZ(pasVers(panneau.Lbl_PosDemZ(), panneau.Lbl_PosRelleZ(), 1500));
}
