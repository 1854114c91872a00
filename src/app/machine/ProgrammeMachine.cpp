#include "ProgrammeMachine.h"

#include "ControleMachine.h"
#include "FenetreMachine.h"
#include "app/AideLigneCommande.h"
#include "app/EnregistrementTrafic.h"
#include "app/OuvertureMiroir.h"
#include "app/controle/ApiControle.h"
#include "trace/Horloge.h"
#include "trace/Horodatage.h"
#include "trace/LectureBornee.h"
#include "trace/MiroirSortie.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QJsonArray>
#include <QMessageBox>

#include <cstdio>

namespace {

QString stamp()
{
    return Horodatage(false, HorlogeSysteme::instance());
}

} // namespace

ProgrammeMachine::ProgrammeMachine(const LigneCommande& parametres_, bool sansEcran_)
    : parametres(parametres_), sansEcran(sansEcran_),
      horloge([this] { tic(); },
              [this] { retardDeplacement.tic(HorlogeSysteme::instance().millisecondes()); }),
      arretProgramme([this] {
          for (const auto& poste : postes)
              poste->appareil().serveur().fermeture();
      })
{
    if (parametres.fichierPret)
        pret.emplace(*parametres.fichierPret);
    QObject::connect(&horloge, &HorlogeDispositif::changement, &journalMessages, [this] {
        journalMessages.AfficheMessage(stamp() + QStringLiteral(" horloge : ")
                                       + horloge.description());
    });
}

ProgrammeMachine::~ProgrammeMachine()
{
    // The API's resources and the window look at the devices: they go first.
    apiControle.reset();
    fenetreMachine.reset();
}

// One timer for the whole machine: each tick moves every device's axes by the same time.
void ProgrammeMachine::tic()
{
    for (const auto& poste : postes)
        poste->appareil().tic();
}

bool ProgrammeMachine::echec(const QString& raison)
{
    const QString ligne = stamp() + QLatin1Char(' ') + raison;
    journalMessages.AfficheMessage(ligne);
    std::fprintf(stderr, "%s\n", ligne.toUtf8().constData());
    std::fflush(stderr);
    arretProgramme.renonce();
    return false;
}

// The keys that set up one device have their place in the machine file.
bool ProgrammeMachine::litMachine()
{
    const std::pair<const char*, const std::optional<QString>*> unAppareil[] = {
        {"PORTIP=", &parametres.portIP},
        {"MODE=", &parametres.mode},
        {"BIND=", &parametres.adresse},
        {"FRAMING=", &parametres.decoupage},
        {"PROXY=", &parametres.relais},
        {"PLAYBACK=", &parametres.rejeu},
        {"PLAYBACK_FALLBACK=", &parametres.rejeuSinon},
        {"SCENARIO=", &parametres.scenario}};
    for (const auto& [cle, valeur] : unAppareil) {
        if (*valeur)
            return echec(QLatin1String(cle)
                         + QStringLiteral(" ne va pas avec MACHINE= : chaque appareil se règle "
                                          "dans le fichier MACHINE"));
    }
    const QString& chemin = *parametres.machine;
    const auto lu = LectureBornee{
        DescriptionMachine::TailleMax, [this] {
            return arretProgramme.arretSignale();
        }}.lit(chemin);
    const QString tete =
        QStringLiteral("fichier MACHINE invalide \"") + chemin + QStringLiteral("\" : ");
    if (const auto* refus = std::get_if<LectureBornee::Echec>(&lu)) {
        if (refus->cause == LectureBornee::Echec::Cause::Interrompue)
            return true;
        return echec(QStringLiteral("impossible de lire le fichier MACHINE \"") + chemin
                     + QStringLiteral("\" : ") + refus->message);
    }
    auto machine = DescriptionMachine::lit(std::get<QByteArray>(lu));
    if (const auto* refus = std::get_if<DescriptionMachine::Refus>(&machine))
        return echec(tete
                     + (refus->champ.isEmpty() ? QString() : refus->champ + QStringLiteral(" : "))
                     + refus->raison);
    description = std::move(std::get<DescriptionMachine>(machine));
    return true;
}

// What the file gives the process, unless the command line gives it, then checked whole
// before anything listens.
bool ProgrammeMachine::prendReglages()
{
    const QString tete = QStringLiteral("fichier MACHINE invalide \"") + *parametres.machine
                         + QStringLiteral("\" : ");
    const auto reprend = [](std::optional<QString>& cle, const std::optional<QString>& fichier) {
        if (!cle)
            cle = fichier;
    };
    reprend(parametres.horloge, description->horloge);
    reprend(parametres.journalTrafic, description->journal);
    reprend(parametres.tailleJournalTrafic, description->tailleJournal);
    reprend(parametres.portControle, description->portControle);
    reprend(parametres.adresseControle, description->adresseControle);
    if (!parametres.graine && description->graine)
        parametres.graine = QString::number(*description->graine);
    if (parametres.horloge && !HorlogeDispositif::lit(*parametres.horloge))
        return echec(QStringLiteral("horloge CLOCK invalide \"") + *parametres.horloge
                     + QStringLiteral("\" : REAL, STEP ou x suivi d'un facteur de 0 à ")
                     + QString::number(HorlogeDispositif::FacteurMax)
                     + QStringLiteral(" est attendu"));
    if (parametres.graine && !graineTexte(*parametres.graine))
        return echec(QStringLiteral("graine SEED invalide \"") + *parametres.graine
                     + QStringLiteral("\" : un nombre entier de 0 à 2^53 est attendu"));
    if (parametres.tailleJournalTrafic
        && !EnregistrementTrafic::tailleValide(*parametres.tailleJournalTrafic))
        return echec((description->tailleJournal == parametres.tailleJournalTrafic
                          ? tete + QStringLiteral("journal_max")
                          : QStringLiteral("taille JOURNAL_MAX invalide \"")
                                + *parametres.tailleJournalTrafic + QLatin1Char('"'))
                     + QStringLiteral(" : un nombre d'octets de 4096 à 2^50 est attendu, suivi "
                                      "de K, M ou G au besoin"));
    if (parametres.pauseArret) {
        const auto pause = Arret::pauseValide(*parametres.pauseArret);
        if (!pause)
            return echec(QStringLiteral("SHUTDOWN_PAUSE_MS invalide \"") + *parametres.pauseArret
                         + QStringLiteral("\" : un nombre de millisecondes de 0 à ")
                         + QString::number(Arret::PauseMaxMs) + QStringLiteral(" est attendu"));
        arretProgramme.setPauseMs(*pause);
    }
    QHostAddress adresse;
    for (const DescriptionAppareil& appareil : description->appareils) {
        if (appareil.adresse && !adresse.setAddress(*appareil.adresse))
            return echec(tete + QStringLiteral("devices[%1].bind").arg(appareil.index)
                         + QStringLiteral(" : une adresse IPv4 ou IPv6 est attendue"));
    }
    return true;
}

bool ProgrammeMachine::creePostes()
{
    postes.reserve(description->appareils.size());
    for (const DescriptionAppareil& appareil : description->appareils) {
        auto poste = std::make_unique<PosteMachine>(appareil, horloge, boucle, arretProgramme);
        if (const auto refus = poste->verifieEtat())
            return echec(QStringLiteral("fichier MACHINE invalide \"") + *parametres.machine
                         + QStringLiteral("\" : devices[%1].state.").arg(appareil.index)
                         + refus->champ + QStringLiteral(" : ") + refus->raison);
        postes.push_back(std::move(poste));
    }
    return true;
}

// Each device's lines in the process's log, headed by its name, for the mirror: the window
// and the control API read each device's own log, so without a mirror nothing would read them.
void ProgrammeMachine::relaieLignesAppareils()
{
    for (const auto& poste : postes) {
        const QString tete = QLatin1Char('[') + poste->nom() + QStringLiteral("] ");
        QObject::connect(&poste->journal(), &Journal::messageJournalise, &journalMessages,
                         [this, tete](const QString& ligne) {
                             relaiEnCours = true;
                             journalMessages.AfficheMessage(tete + ligne);
                             relaiEnCours = false;
                         });
    }
}

void ProgrammeMachine::creeFenetre()
{
    fenetreMachine = std::make_unique<FenetreMachine>(postes, *parametres.machine);
    // The window's closing, whatever asked for it, is the program's shutdown.
    QObject::connect(fenetreMachine.get(), &FenetreMachine::fermetureDemandee, &arretProgramme,
                     &Arret::ferme);
    arretProgramme.setFermeFenetre([this] { fenetreMachine->close(); });
    fenetreMachine->show();
}

bool ProgrammeMachine::demarre()
{
    QString raison;
    if (pret && !pret->prepare(raison))
        return echec(QStringLiteral("fichier READY inutilisable \"") + pret->fichier()
                     + QStringLiteral("\" : ") + raison);
    if (!litMachine() || (description && (!prendReglages() || !creePostes())))
        return false;
    if (arretProgramme.estDemande() || !description)
        return true;
    if (!sansEcran)
        creeFenetre();
    if (!ouvreMiroir() || (!arretProgramme.estDemande() && !ouvreTrafic()))
        return false;
    if (arretProgramme.estDemande())
        return true;
    if (miroir)
        relaieLignesAppareils();
    // Made before the devices start, so that their log lines are numbered from the first.
    if (parametres.portControle)
        apiControle = creeControleMachine(SourcesControleMachine{
            postes, horloge, retardDeplacement, journalMessages, enregistrement.get(),
            arretProgramme, [this] { return miroir ? miroir->bilan().lignesPerdues : 0; }});
    const auto interrompu = [this] { return arretProgramme.arretSignale(); };
    for (const auto& poste : postes) {
        const auto refus = poste->prepareTrafic(interrompu);
        if (refus && refus->isEmpty())
            return true;
        if (refus)
            return echec(QStringLiteral("appareil \"") + poste->nom() + QStringLiteral("\" : ")
                         + *refus);
    }
    for (const QString& inconnu : parametres.inconnus)
        journalMessages.AfficheMessage(QStringLiteral("parametre inconnu ignoré : ") + inconnu);
    if (parametres.aide) {
        const QString aide = lignesAide().join(QLatin1Char('\n'));
        if (!fenetreMachine)
            std::fprintf(stderr, "%s\n", aide.toUtf8().constData());
        else
            QMessageBox::information(fenetreMachine.get(), QStringLiteral("Velorin"), aide);
        if (arretProgramme.estDemande())
            return true;
    }
    const auto graine = parametres.graine ? graineTexte(*parametres.graine) : std::nullopt;
    for (const auto& poste : postes) {
        if (!poste->demarre(parametres.trace, graine))
            return false;
        if (enregistrement)
            SortieEvenementsAppareil(enregistrement->trafic(), poste->nom())
                .evenement(SortieEvenements::Type::Ecoute, 0,
                           poste->decrit().adresse.value_or(QStringLiteral("0.0.0.0"))
                               + QLatin1Char(':') + QString::number(poste->appareil().portEcoute()),
                           nullptr);
        if (arretProgramme.estDemande())
            break;
    }
    if (arretProgramme.estDemande())
        return true;
    const auto lue = parametres.horloge ? HorlogeDispositif::lit(*parametres.horloge)
                                        : std::pair{HorlogeDispositif::Mode::Reel, 1.0};
    if (lue->first == HorlogeDispositif::Mode::PasAPas)
        horloge.pasAPas();
    else
        horloge.echelle(lue->second);
    if (apiControle) {
        auto garde = GardeControle::lit(parametres.hotesControle, parametres.jetonControle,
                                        parametres.fichierJetonControle,
                                        [this] { return arretProgramme.arretSignale(); });
        if (const auto* refus = std::get_if<QString>(&garde))
            return echec(*refus);
        apiControle->setGarde(std::get<GardeControle::Reglages>(garde));
    }
    if (apiControle
        && !apiControle->demarre(*parametres.portControle,
                                 parametres.adresseControle.value_or(QString()), journalMessages,
                                 raison))
        return echec(raison);
    return ecritPret();
}

bool ProgrammeMachine::ecritPret()
{
    if (!pret)
        return true;
    QJsonArray appareils;
    for (const auto& poste : postes)
        appareils.append(QJsonObject{{QStringLiteral("name"), poste->nom()},
                                     {QStringLiteral("port"), int(poste->appareil().portEcoute())},
                                     {QStringLiteral("mode"), poste->etat().Cmb_Simulate()}});
    PosteMachine& premier = *postes.front();
    QString raison;
    if (!pret->ecrit({{QStringLiteral("pid"), QCoreApplication::applicationPid()},
                      {QStringLiteral("port"), int(premier.appareil().portEcoute())},
                      {QStringLiteral("control_port"),
                       apiControle ? QJsonValue(int(apiControle->port())) : QJsonValue()},
                      {QStringLiteral("version"), QStringLiteral(VELORIN_VERSION)},
                      {QStringLiteral("mode"), premier.etat().Cmb_Simulate()},
                      {QStringLiteral("devices"), appareils}},
                     raison))
        return echec(QStringLiteral("impossible d'écrire le fichier READY \"") + pret->fichier()
                     + QStringLiteral("\" : ") + raison);
    return true;
}

int ProgrammeMachine::execute()
{
    if (!demarre())
        return 1;
    int statut = 0;
    if (arretProgramme.estDemande())
        arretProgramme.termine();
    else
        statut = QCoreApplication::exec();
    if (enregistrement && enregistrement->termine() > 0 && statut == 0)
        return 3;
    return statut;
}

// JOURNAL= and JOURNAL_MAX= for the process.
bool ProgrammeMachine::ouvreTrafic()
{
    const auto interrompu = [this] { return arretProgramme.arretSignale(); };
    if (parametres.journalTrafic) {
        enregistrement = std::make_unique<EnregistrementTrafic>(journalMessages);
        QString raison;
        const qint64 taille =
            parametres.tailleJournalTrafic
                ? *EnregistrementTrafic::tailleValide(*parametres.tailleJournalTrafic)
                : JournalTrafic::TailleFichierParDefaut;
        if (!enregistrement->ouvre(*parametres.journalTrafic, taille, raison, interrompu)) {
            if (interrompu())
                return true;
            return echec(QStringLiteral("impossible d'ouvrir le fichier JOURNAL \"")
                         + *parametres.journalTrafic + QStringLiteral("\" : ") + raison);
        }
        JournalTrafic& trafic = enregistrement->trafic();
        using T = SortieEvenements::Type;
        // The process's own lines; a device's reach the journal naming it.
        QObject::connect(&journalMessages, &Journal::messageJournalise, &trafic,
                         [this, &trafic](const QString& ligne) {
                             if (!relaiEnCours)
                                 trafic.evenement(T::Log, ligne);
                         });
        QObject::connect(&horloge, &HorlogeDispositif::changement, &trafic,
                         [this, &trafic] { trafic.evenement(T::Horloge, horloge.description()); });
        for (const auto& poste : postes)
            poste->enregistreDans(trafic);
    } else if (parametres.tailleJournalTrafic) {
        journalMessages.AfficheMessage(QStringLiteral("JOURNAL_MAX= sans JOURNAL= : ignoré"));
    }
    return true;
}

bool ProgrammeMachine::ouvreMiroir()
{
    const auto refus = ouvreMiroirJournal(
        parametres, sansEcran, journalMessages, [this] { return arretProgramme.arretSignale(); },
        miroir);
    if (refus && !arretProgramme.estDemande())
        return echec(*refus);
    return true;
}
