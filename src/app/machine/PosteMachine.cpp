#include "PosteMachine.h"

#include "app/LigneCommande.h"
#include "app/ReglagesTrafic.h"
#include "trace/JournalTrafic.h"

#include <QJsonArray>

PosteMachine::PosteMachine(const DescriptionAppareil& description_, HorlogeDispositif& horloge,
                           BoucleEpoll& boucle, Arret& arret)
    : description(description_), appareilSimule(etatAppareil, etatAppareil, horloge, boucle),
      demarrage(etatAppareil, nullptr, appareilSimule, arret, true),
      champsControle(etatAppareil, appareilSimule.serveur(),
                     [this] { return appareilSimule.portEcoute(); })
{
    demarrage.setNom(description.nom);
}

PosteMachine::~PosteMachine()
{
    appareilSimule.serveur().setJournalTrafic(nullptr);
    appareilSimule.defauts().setJournalTrafic(nullptr);
}

std::optional<ChampsControle::Refus> PosteMachine::verifieEtat() const
{
    return champsControle.verifie(description.etat);
}

void PosteMachine::enregistreDans(JournalTrafic& journal)
{
    evenements = std::make_unique<SortieEvenementsAppareil>(journal, description.nom);
    appareilSimule.serveur().setJournalTrafic(evenements.get());
    appareilSimule.defauts().setJournalTrafic(evenements.get());
    using T = SortieEvenements::Type;
    QObject::connect(&journalAppareil, &Journal::messageJournalise, &journal,
                     [this](const QString& ligne) { evenements->evenement(T::Log, ligne); });
    QObject::connect(&etatAppareil, &EtatAppareil::modeChange, &journal,
                     [this] { evenements->evenement(T::Mode, etatAppareil.Cmb_Simulate()); });
}

std::optional<QString> PosteMachine::prepareTrafic(const std::function<bool()>& interrompu)
{
    LigneCommande parametres;
    parametres.relais = description.relais;
    parametres.rejeu = description.rejeu;
    parametres.rejeuSinon = description.rejeuSinon;
    return appliqueReglagesTrafic(parametres, appareilSimule, nullptr, journalAppareil, interrompu,
                                  description.nom);
}

bool PosteMachine::demarre(bool trace, std::optional<quint64> graine)
{
    LigneCommande parametres;
    parametres.portIP = QString::number(description.port);
    parametres.mode = description.mode;
    parametres.adresse = description.adresse;
    parametres.trace = trace;
    if (!demarrage.Form_Load(parametres))
        return false;
    if (graine)
        appareilSimule.defauts().graine(*graine);
    QJsonObject reglages;
    if (!description.etat.isEmpty())
        reglages.insert(QStringLiteral("state"), description.etat);
    if (description.tramesParCR)
        reglages.insert(QStringLiteral("framing"),
                        *description.tramesParCR ? QStringLiteral("CR") : QStringLiteral("NONE"));
    if (description.homingMs)
        reglages.insert(QStringLiteral("auto_homing"),
                        QJsonObject{{QStringLiteral("delay_ms"), *description.homingMs}});
    if (description.fautes)
        reglages.insert(QStringLiteral("faults"), *description.fautes);
    if (reglages.isEmpty())
        return true;
    // Checked whole before anything listened: what is left to refuse is what only shows when
    // applied, said naming the device's member.
    if (const auto refus = scenarioAppareil.applique(reglages)) {
        demarrage.signaleEchec(
            QStringLiteral("appareil devices[%1] : champ ").arg(description.index) + refus->champ
            + QStringLiteral(" : ") + refus->raison);
        return false;
    }
    return true;
}
