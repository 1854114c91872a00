#include "Programme.h"

#include "EnregistrementTrafic.h"
#include "controle/ApiControle.h"
#include "controle/ChampsControle.h"
#include "controle/RessourceAppareils.h"
#include "controle/RessourceAttente.h"
#include "controle/RessourceCanaux.h"
#include "controle/RessourceDefauts.h"
#include "controle/RessourceEtat.h"
#include "controle/RessourceEvenements.h"
#include "controle/RessourceHorloge.h"
#include "controle/RessourceJournalTrafic.h"
#include "controle/RessourceLog.h"
#include "controle/RessourceMetriques.h"
#include "controle/RessourceMinuteries.h"
#include "controle/RessourcePage.h"
#include "controle/RessourcePrefixee.h"
#include "controle/RessourceReinitialisation.h"
#include "controle/RessourceSante.h"
#include "controle/RessourceScenario.h"
#include "controle/Scenario.h"
#include "machine/ControleMachine.h"
#include "trace/MiroirSortie.h"

#include <QJsonArray>

// The control API of a run without MACHINE=: its one device's resources, and the process's.
void Programme::creeControle()
{
    apiControle = std::make_unique<ApiControle>();
    ChampsControle& champs = *champsControle;
    Attentes& attentes = apiControle->attentes();
    // The device's resources at the flat paths, and under /devices/default/ as a machine's.
    const auto ajoute = [this](std::unique_ptr<RessourceControle> ressource) {
        apiControle->ajoute(std::make_unique<RessourcePrefixee>(
            std::move(ressource),
            QStringList{QString(), QStringLiteral("/devices/") + nomAppareil()}));
    };
    ajoute(std::make_unique<RessourceEtat>(champs, journalMessages));
    ajoute(std::make_unique<RessourceCanaux>(appareilSimule.serveur(), appareilSimule.sockets()));
    ajoute(std::make_unique<RessourceEvenements>(journalMessages));
    auto ressourceLog = std::make_unique<RessourceLog>(
        journalMessages, [this] { etatAppareil.efface(); }, attentes);
    const HistoriqueJournal& lignes = ressourceLog->lignesNumerotees();
    ajoute(std::move(ressourceLog));
    ajoute(std::make_unique<RessourceReinitialisation>(
        [this] {
            etatAppareil.reinitialiseControles();
            appareilSimule.reinitialise();
        },
        [this] { appareilSimule.horloge().remetAZero(); }, champs, journalMessages));
    ajoute(std::make_unique<RessourceMinuteries>(appareilSimule.retardDeplacement()));
    apiControle->ajoute(
        std::make_unique<RessourceHorloge>(appareilSimule.horloge(), etatAppareil, champs));
    ajoute(std::make_unique<RessourceDefauts>(appareilSimule.defauts(), journalMessages));
    ajoute(std::make_unique<RessourceScenario>(*scenario));
    apiControle->ajoute(std::make_unique<RessourceJournalTrafic>(
        enregistrement ? &enregistrement->trafic() : nullptr, attentes));
    if (enregistrement) {
        enregistrement->surveille(*apiControle);
        QObject::connect(&enregistrement->trafic(), &JournalTrafic::ajoute, &attentes,
                         &Attentes::signale);
    }
    ajoute(std::make_unique<RessourceAttente>(
        RessourceAttente::Sources{attentes, appareilSimule.defauts(), lignes, etatAppareil, champs,
                                  [this] { return clientsConnectes(appareilSimule); }}));
    // The waits look again at what may have changed: a log line (connections and faults say
    // themselves there), a device tick or request, a traffic event.
    QObject::connect(&journalMessages, &Journal::messageJournalise, &attentes, &Attentes::signale);
    QObject::connect(&appareilSimule, &Appareil::evolution, &attentes, &Attentes::signale);
    // Pending waits are answered before the end.
    QObject::connect(&arretProgramme, &Arret::fermeture, apiControle.get(), &ApiControle::arrete);
    std::function<QJsonObject()> journal;
    if (enregistrement)
        journal = [this] { return enregistrement->sante(); };
    auto sante = std::make_unique<RessourceSante>([this] { return appareilSimule.portEcoute(); },
                                                  [this] { return etatAppareil.Cmb_Simulate(); },
                                                  std::move(journal));
    sante->setAppareils([] { return QStringList{nomAppareil()}; });
    apiControle->ajoute(std::move(sante));
    apiControle->ajoute(std::make_unique<RessourcePage>());
    std::vector<RessourceMetriques::Dispositif> dispositifs;
    dispositifs.push_back({nomAppareil(), appareilSimule, etatAppareil});
    apiControle->ajoute(std::make_unique<RessourceMetriques>(RessourceMetriques::Sources{
        std::move(dispositifs), [this] { return miroir ? miroir->bilan().lignesPerdues : 0; },
        [this] {
            return enregistrement ? enregistrement->trafic().etatFichier().perdus : qint64(0);
        }}));
    auto appareils = std::make_unique<RessourceAppareils>(
        [this] {
            return QJsonArray{
                QJsonObject{{QStringLiteral("name"), nomAppareil()},
                            {QStringLiteral("mode"), etatAppareil.Cmb_Simulate()},
                            {QStringLiteral("port"), int(appareilSimule.portEcoute())},
                            {QStringLiteral("clients"), clientsConnectes(appareilSimule)}}};
        },
        [](const QString& nom) { return nom == nomAppareil(); });
    const RessourceAppareils* vue = appareils.get();
    apiControle->setRepli([vue](const QString& chemin) { return vue->inconnu(chemin); });
    apiControle->ajoute(std::move(appareils));
}
