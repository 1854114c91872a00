#include "HomingAutomatique.h"

#include "PanneauSimulation.h"
#include "trace/Horloge.h"
#include "trace/Horodatage.h"

#include <algorithm>

HomingAutomatique::HomingAutomatique(PanneauSimulation& panneau_, SortieMessages& journal_,
                                     const Horloge& horloge_)
    : panneau(panneau_), journal(journal_), horloge(horloge_)
{
}

// ESC "Z" tag axis ...: the PLC's homing request.
void HomingAutomatique::requete(const QString& texte, double maintenant)
{
    if (!delai || texte.size() < 4 || texte[0] != QChar(27) || texte[1] != QLatin1Char('Z')
        || panneau.modeSimulation() != ModeSimulation::AutomateOmron)
        return;
    const QChar axe = texte[3];
    if (axe == QLatin1Char('X') || axe == QLatin1Char('Z'))
        enAttente.emplace_back(maintenant + *delai, axe);
}

void HomingAutomatique::temps(double maintenant)
{
    for (auto it = enAttente.begin(); it != enAttente.end();) {
        if (it->first > maintenant) {
            ++it;
            continue;
        }
        if (it->second == QLatin1Char('X'))
            panneau.setChk_HOMING_X_ok(true);
        else
            panneau.setChk_HOMING_Z_ok(true);
        journal.AfficheMessage(Horodatage(false, horloge) + QStringLiteral(" homing ") + it->second
                               + QStringLiteral(" fait (automatique)"));
        it = enAttente.erase(it);
    }
}
