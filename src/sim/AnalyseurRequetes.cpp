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
    // The selector is the only store of the mode: read it afresh for every text.
    const QString ModeSimulation = panneau.Cmb_Simulate().toUpper();
    QString ChaineReponse;

    if (ModeSimulation == QLatin1String("MODEECHO")) {
        ChaineReponse = strData;
        AfficheLisible(panneau, Horodatage(false, horloge) + QStringLiteral("mode ECHO -> "),
                       ChaineReponse);
    } else if (ModeSimulation == QLatin1String("MODEMUET")) {
        AfficheLisible(panneau, Horodatage(false, horloge) + QStringLiteral("mode MUET recu= "),
                       strData);
    } else if (ModeSimulation == QLatin1String("AUTOMATEOMRON")) {
        ChaineReponse = automate.traite(strData);
    } else if (ModeSimulation == QLatin1String("MODULELASERS")) {
        ChaineReponse = lasers.traite(strData);
    }

    if (!ChaineReponse.isEmpty())
        canal.EnvoieSurCanal(ChaineReponse);
}
