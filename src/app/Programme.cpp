#include "Programme.h"

#include "EnregistrementTrafic.h"
#include "OuvertureMiroir.h"
#include "ReglagesTrafic.h"
#include "controle/ApiControle.h"
#include "controle/ChampsControle.h"
#include "controle/Scenario.h"
#include "trace/Horloge.h"
#include "trace/Horodatage.h"
#include "trace/LectureBornee.h"
#include "trace/MiroirSortie.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// A scenario is a page of settings and rules: anything past this is not one.
constexpr qint64 TailleMaxScenario = 1024 * 1024;

} // namespace

Programme::Programme(const LigneCommande& parametres_, bool sansEcran_)
    : parametres(parametres_), sansEcran(sansEcran_)
{
    if (parametres.fichierPret)
        pret.emplace(*parametres.fichierPret);
    // Each change of the device clock is said in the log and shown in the title.
    QObject::connect(
        &appareilSimule.horloge(), &HorlogeDispositif::changement, &etatAppareil, [this] {
            if (fenetrePrincipale)
                fenetrePrincipale->setWindowTitle(titre());
            journalMessages.AfficheMessage(Horodatage(false, HorlogeSysteme::instance())
                                           + QStringLiteral(" horloge : ")
                                           + appareilSimule.horloge().description());
        });
    if (fenetrePrincipale) {
        // The window's closing, whatever asked for it, is the program's shutdown.
        QObject::connect(fenetrePrincipale.get(), &FenetrePrincipale::fermetureDemandee,
                         &arretProgramme, &Arret::ferme);
        arretProgramme.setFermeFenetre([this] { fenetrePrincipale->close(); });
    }
    champsControle = std::make_unique<ChampsControle>(
        etatAppareil, appareilSimule.serveur(), [this] { return appareilSimule.portEcoute(); });
    scenario = std::make_unique<Scenario>(appareilSimule, *champsControle, journalMessages);
    if (parametres.journalTrafic)
        enregistrement =
            std::make_unique<EnregistrementTrafic>(journalMessages, etatAppareil, appareilSimule);
    // Made before start-up, so that the log's lines are numbered from the first.
    if (parametres.portControle)
        creeControle();
}

Programme::~Programme() = default;

bool Programme::demarre()
{
    // An earlier run's ready file goes first, whatever stops this start.
    QString raison;
    if (pret && !pret->prepare(raison)) {
        demarrage.signaleEchec(QStringLiteral("fichier READY inutilisable \"") + pret->fichier()
                               + QStringLiteral("\" : ") + raison);
        return false;
    }
    const auto horloge = parametres.horloge ? HorlogeDispositif::lit(*parametres.horloge)
                                            : std::pair{HorlogeDispositif::Mode::Reel, 1.0};
    if (!horloge) {
        demarrage.signaleEchec(QStringLiteral("horloge CLOCK invalide \"") + *parametres.horloge
                               + QStringLiteral("\" : REAL, STEP ou x suivi d'un facteur de 0 à ")
                               + QString::number(HorlogeDispositif::FacteurMax)
                               + QStringLiteral(" est attendu"));
        return false;
    }
    if (parametres.pauseArret) {
        const auto pause = Arret::pauseValide(*parametres.pauseArret);
        if (!pause) {
            demarrage.signaleEchec(
                QStringLiteral("SHUTDOWN_PAUSE_MS invalide \"") + *parametres.pauseArret
                + QStringLiteral("\" : un nombre de millisecondes de 0 à ")
                + QString::number(Arret::PauseMaxMs) + QStringLiteral(" est attendu"));
            return false;
        }
        arretProgramme.setPauseMs(*pause);
    }
    if (!ouvreMiroir() || (!arretProgramme.estDemande() && !ouvreTrafic()))
        return false;
    // A stop asked while a FIFO was waited for: nothing more starts.
    if (arretProgramme.estDemande())
        return true;
    if (!demarrage.Form_Load(parametres))
        return false;
    if (arretProgramme.estDemande())
        return true;
    if (enregistrement)
        enregistrement->ecoute(parametres.adresse.value_or(QStringLiteral("0.0.0.0"))
                               + QLatin1Char(':') + QString::number(appareilSimule.portEcoute()));
    if (horloge->first == HorlogeDispositif::Mode::PasAPas)
        appareilSimule.horloge().pasAPas();
    else
        appareilSimule.horloge().echelle(horloge->second);
    if (!reglagesDeDepart())
        return false;
    if (arretProgramme.estDemande())
        return true;
    if (apiControle) {
        auto garde = GardeControle::lit(parametres.hotesControle, parametres.jetonControle,
                                        parametres.fichierJetonControle,
                                        [this] { return arretProgramme.arretSignale(); });
        if (const auto* refus = std::get_if<QString>(&garde)) {
            demarrage.signaleEchec(*refus);
            return false;
        }
        apiControle->setGarde(std::get<GardeControle::Reglages>(garde));
    }
    if (apiControle
        && !apiControle->demarre(*parametres.portControle,
                                 parametres.adresseControle.value_or(QString()), journalMessages,
                                 raison)) {
        demarrage.signaleEchec(raison);
        return false;
    }
    if (pret
        && !pret->ecrit(
            {{QStringLiteral("pid"), QCoreApplication::applicationPid()},
             {QStringLiteral("port"), int(appareilSimule.portEcoute())},
             {QStringLiteral("control_port"),
              apiControle ? QJsonValue(int(apiControle->port())) : QJsonValue()},
             {QStringLiteral("version"), QStringLiteral(VELORIN_VERSION)},
             {QStringLiteral("mode"), etatAppareil.Cmb_Simulate()},
             {QStringLiteral("devices"),
              QJsonArray{QJsonObject{{QStringLiteral("name"), nomAppareil()},
                                     {QStringLiteral("port"), int(appareilSimule.portEcoute())},
                                     {QStringLiteral("mode"), etatAppareil.Cmb_Simulate()}}}}},
            raison)) {
        demarrage.signaleEchec(QStringLiteral("impossible d'écrire le fichier READY \"")
                               + pret->fichier() + QStringLiteral("\" : ") + raison);
        return false;
    }
    return true;
}

// SEED=, FRAMING= and SCENARIO=, once the window is up (a scenario sets its controls).
bool Programme::reglagesDeDepart()
{
    if (parametres.graine) {
        const auto graine = graineTexte(*parametres.graine);
        if (!graine) {
            demarrage.signaleEchec(
                QStringLiteral("graine SEED invalide \"") + *parametres.graine
                + QStringLiteral("\" : un nombre entier de 0 à 2^53 est attendu"));
            return false;
        }
        appareilSimule.defauts().graine(*graine);
    }
    if (parametres.decoupage) {
        const auto parCR = decoupageParCR(*parametres.decoupage);
        if (!parCR) {
            demarrage.signaleEchec(QStringLiteral("découpage FRAMING invalide \"")
                                   + *parametres.decoupage
                                   + QStringLiteral("\" : CR ou NONE est attendu"));
            return false;
        }
        appareilSimule.setTramesParCR(*parCR);
    }
    if (!parametres.scenario)
        return true;
    const auto echec = [&](const QString& raison) {
        demarrage.signaleEchec(QStringLiteral("scénario SCENARIO invalide \"")
                               + *parametres.scenario + QStringLiteral("\" : ") + raison);
        return false;
    };
    const auto lu =
        LectureBornee{TailleMaxScenario, [this] { return arretProgramme.arretSignale(); }}.lit(
            *parametres.scenario);
    if (const auto* refus = std::get_if<LectureBornee::Echec>(&lu)) {
        if (refus->cause != LectureBornee::Echec::Cause::Interrompue)
            return echec(refus->message);
        journalMessages.AfficheMessage(
            QStringLiteral("arrêt demandé pendant la lecture du fichier SCENARIO"));
        return true;
    }
    QJsonParseError analyse;
    const QJsonDocument document = QJsonDocument::fromJson(std::get<QByteArray>(lu), &analyse);
    if (analyse.error != QJsonParseError::NoError)
        return echec(QStringLiteral("JSON illisible à l'octet %1 : %2")
                         .arg(analyse.offset)
                         .arg(analyse.errorString()));
    if (!document.isObject())
        return echec(QStringLiteral("un objet JSON est attendu"));
    if (const auto refus = scenario->applique(document.object()))
        return echec(QStringLiteral("champ ") + refus->champ + QStringLiteral(" : ")
                     + refus->raison);
    return true;
}

// "Velorin v" and the version, and how the device clock runs when it is not real time.
QString Programme::titre() const
{
    QString base = QStringLiteral("Velorin v" VELORIN_VERSION);
    const HorlogeDispositif& horloge = appareilSimule.horloge();
    if (horloge.mode() == HorlogeDispositif::Mode::Reel)
        return base;
    return base + QStringLiteral(" — horloge ") + horloge.description();
}

int Programme::execute()
{
    if (!demarre())
        return 1;
    // A stop asked during start-up: the usual shutdown, then the end.
    int statut = 0;
    if (arretProgramme.estDemande())
        arretProgramme.termine();
    else
        statut = QCoreApplication::exec();
    // A journal that lost events is no record of the whole run: the status says so.
    if (enregistrement && enregistrement->termine() > 0 && statut == 0)
        return StatutJournalIncomplet;
    return statut;
}

// JOURNAL=, PROXY= and PLAYBACK=, before the device listens.
bool Programme::ouvreTrafic()
{
    const auto refus =
        appliqueReglagesTrafic(parametres, appareilSimule, enregistrement.get(), journalMessages,
                               [this] { return arretProgramme.arretSignale(); });
    if (refus && !refus->isEmpty())
        demarrage.signaleEchec(*refus);
    return !refus || refus->isEmpty();
}

bool Programme::ouvreMiroir()
{
    const auto refus = ouvreMiroirJournal(
        parametres, sansEcran, journalMessages, [this] { return arretProgramme.arretSignale(); },
        miroir);
    if (refus && !arretProgramme.estDemande()) {
        demarrage.signaleEchec(*refus);
        return false;
    }
    return true;
}
