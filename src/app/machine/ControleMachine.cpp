#include "ControleMachine.h"

#include "PosteMachine.h"
#include "app/Arret.h"
#include "app/EnregistrementTrafic.h"
#include "app/controle/ApiControle.h"
#include "app/controle/RessourceAppareils.h"
#include "app/controle/RessourceAttente.h"
#include "app/controle/RessourceCanaux.h"
#include "app/controle/RessourceDefauts.h"
#include "app/controle/RessourceEtat.h"
#include "app/controle/RessourceEvenements.h"
#include "app/controle/RessourceHorloge.h"
#include "app/controle/RessourceJournalTrafic.h"
#include "app/controle/RessourceLog.h"
#include "app/controle/RessourceMetriques.h"
#include "app/controle/RessourceMinuteries.h"
#include "app/controle/RessourcePage.h"
#include "app/controle/RessourcePrefixee.h"
#include "app/controle/RessourceReinitialisation.h"
#include "app/controle/RessourceSante.h"
#include "app/controle/RessourceScenario.h"

#include "sim/MouvementAxes.h"

#include <QSet>

#include <algorithm>

namespace {

// One device's resources, under its prefixes.
void ajouteAppareil(ApiControle& api, PosteMachine& poste, const SourcesControleMachine& sources,
                    const QStringList& prefixes)
{
    const auto ajoute = [&](std::unique_ptr<RessourceControle> ressource) {
        api.ajoute(std::make_unique<RessourcePrefixee>(std::move(ressource), prefixes));
    };
    Attentes& attentes = api.attentes();
    Appareil& appareil = poste.appareil();
    ajoute(std::make_unique<RessourceEtat>(poste.champs(), poste.journal()));
    ajoute(std::make_unique<RessourceCanaux>(appareil.serveur(), appareil.sockets()));
    ajoute(std::make_unique<RessourceEvenements>(poste.journal()));
    auto ressourceLog = std::make_unique<RessourceLog>(
        poste.journal(), [&poste] { poste.etat().efface(); }, attentes);
    const HistoriqueJournal& lignes = ressourceLog->lignesNumerotees();
    ajoute(std::move(ressourceLog));
    HorlogeDispositif& horloge = sources.horloge;
    ajoute(std::make_unique<RessourceReinitialisation>(
        [&poste] {
            poste.etat().reinitialiseControles();
            poste.appareil().reinitialise();
        },
        [&horloge] { horloge.remetAZero(); }, poste.champs(), poste.journal()));
    ajoute(std::make_unique<RessourceMinuteries>(sources.retard));
    ajoute(std::make_unique<RessourceDefauts>(appareil.defauts(), poste.journal()));
    ajoute(std::make_unique<RessourceScenario>(poste.scenario()));
    ajoute(std::make_unique<RessourceAttente>(RessourceAttente::Sources{
        attentes, appareil.defauts(), lignes, poste.etat(), poste.champs(),
        [&appareil] { return clientsConnectes(appareil); }}));
    QObject::connect(&poste.journal(), &Journal::messageJournalise, &attentes, &Attentes::signale);
    QObject::connect(&appareil, &Appareil::evolution, &attentes, &Attentes::signale);
}

QJsonArray listeAppareils(const std::vector<std::unique_ptr<PosteMachine>>& postes)
{
    QJsonArray liste;
    for (const auto& poste : postes)
        liste.append(QJsonObject{{QStringLiteral("name"), poste->nom()},
                                 {QStringLiteral("mode"), poste->etat().Cmb_Simulate()},
                                 {QStringLiteral("port"), int(poste->appareil().portEcoute())},
                                 {QStringLiteral("clients"), clientsConnectes(poste->appareil())}});
    return liste;
}

} // namespace

int clientsConnectes(const Appareil& appareil)
{
    const CoucheSocket& sockets = appareil.sockets();
    int n = 0;
    for (int canal = 1; canal <= appareil.serveur().NbCanaux(); ++canal)
        n += sockets.existe(canal) && sockets.State(canal) == CoucheSocket::Connecte;
    return n;
}

std::unique_ptr<ApiControle> creeControleMachine(const SourcesControleMachine& sources)
{
    auto api = std::make_unique<ApiControle>();
    const auto& postes = sources.postes;
    for (std::size_t i = 0; i < postes.size(); ++i) {
        QStringList prefixes{QStringLiteral("/devices/") + postes[i]->nom()};
        if (i == 0)
            prefixes.prepend(QString());
        ajouteAppareil(*api, *postes[i], sources, prefixes);
    }
    PosteMachine& premier = *postes.front();
    auto horloge =
        std::make_unique<RessourceHorloge>(sources.horloge, premier.etat(), premier.champs());
    horloge->setArrivee([&postes] {
        return std::all_of(postes.begin(), postes.end(),
                           [](const auto& poste) { return axesEnPosition(poste->etat()).tous(); });
    });
    api->ajoute(std::move(horloge));
    Attentes& attentes = api->attentes();
    EnregistrementTrafic* enregistrement = sources.enregistrement;
    api->ajoute(std::make_unique<RessourceJournalTrafic>(
        enregistrement ? &enregistrement->trafic() : nullptr, attentes));
    if (enregistrement) {
        // A change made to one device is that device's event; the clock is the process's.
        const QString premierNom = premier.nom();
        JournalTrafic* trafic = &enregistrement->trafic();
        api->setObservateur([trafic, premierNom](const QString& methode, const QString& chemin,
                                                 const QByteArray& corps) {
            QString texte = methode + QLatin1Char(' ') + chemin;
            if (!corps.isEmpty())
                texte += QLatin1Char(' ') + QString::fromUtf8(corps);
            const QLatin1String sousAppareil("/devices/");
            const auto type = SortieEvenements::Type::Controle;
            if (chemin.startsWith(sousAppareil))
                trafic->evenementAppareil(
                    chemin.mid(sousAppareil.size()).section(QLatin1Char('/'), 0, 0), type, -1,
                    QString(), &texte);
            else if (chemin.startsWith(QStringLiteral("/clock")))
                trafic->evenement(type, texte);
            else
                trafic->evenementAppareil(premierNom, type, -1, QString(), &texte);
        });
        QObject::connect(&enregistrement->trafic(), &JournalTrafic::ajoute, &attentes,
                         &Attentes::signale);
    }
    QObject::connect(&sources.journal, &Journal::messageJournalise, &attentes, &Attentes::signale);
    QObject::connect(&sources.arret, &Arret::fermeture, api.get(), &ApiControle::arrete);

    QSet<QString> noms;
    for (const auto& poste : postes)
        noms.insert(poste->nom());
    auto appareils = std::make_unique<RessourceAppareils>(
        [&postes] { return listeAppareils(postes); },
        [noms](const QString& nom) { return noms.contains(nom); });
    const RessourceAppareils* vue = appareils.get();
    api->setRepli([vue](const QString& chemin) { return vue->inconnu(chemin); });
    api->ajoute(std::move(appareils));

    std::function<QJsonObject()> journal;
    if (enregistrement)
        journal = [enregistrement] { return enregistrement->sante(); };
    auto sante = std::make_unique<RessourceSante>(
        [&premier] { return premier.appareil().portEcoute(); },
        [&premier] { return premier.etat().Cmb_Simulate(); }, std::move(journal));
    sante->setAppareils([&postes] {
        QStringList liste;
        for (const auto& poste : postes)
            liste << poste->nom();
        return liste;
    });
    api->ajoute(std::move(sante));
    api->ajoute(std::make_unique<RessourcePage>());

    std::vector<RessourceMetriques::Dispositif> dispositifs;
    dispositifs.reserve(postes.size());
    for (const auto& poste : postes)
        dispositifs.push_back({poste->nom(), poste->appareil(), poste->etat()});
    api->ajoute(std::make_unique<RessourceMetriques>(RessourceMetriques::Sources{
        std::move(dispositifs), sources.lignesPerdues, [enregistrement] {
            return enregistrement ? enregistrement->trafic().etatFichier().perdus : qint64(0);
        }}));
    return api;
}
