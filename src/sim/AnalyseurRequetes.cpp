#include "AnalyseurRequetes.h"

#include "CanalReponse.h"
#include "PanneauSimulation.h"
#include "trace/Horodatage.h"
#include "trace/LigneLongue.h"

AnalyseurRequetes::AnalyseurRequetes(PanneauSimulation& panneau_, CanalReponse& canal_,
                                     const Horloge& horloge_)
    : panneau(panneau_), canal(canal_), horloge(horloge_), automate(panneau_, horloge_),
      lasers(panneau_, horloge_)
{
}

void AnalyseurRequetes::AnalyseChaineRecu(const QString& strData)
{
    // Read afresh for every text: the operator may switch between two requests.
    const ModeSimulation mode = panneau.modeSimulation();
    QString ChaineReponse;

    if (mode == ModeSimulation::ModeEcho) {
        ChaineReponse = strData;
        AfficheLisible(panneau, Horodatage(false, horloge) + QStringLiteral("mode ECHO -> "),
                       ChaineReponse);
    } else if (mode == ModeSimulation::ModeMuet) {
        AfficheLisible(panneau, Horodatage(false, horloge) + QStringLiteral("mode MUET recu= "),
                       strData);
    } else if (mode == ModeSimulation::AutomateOmron) {
        ChaineReponse = automate.traite(strData);
    } else if (mode == ModeSimulation::ModuleLasers) {
        ChaineReponse = lasers.traite(strData);
    }

    if (!ChaineReponse.isEmpty())
        canal.EnvoieSurCanal(ChaineReponse);
}
