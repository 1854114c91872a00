#include "ServeurCanaux.h"

#include "trace/Horloge.h"

#include "PanneauServeur.h"
#include "Planificateur.h"
#include "Relais.h"
#include "SortieDefaillante.h"
#include "trace/Horodatage.h"
#include "trace/LigneLongue.h"
#include "trace/SortieEvenements.h"

#include <algorithm>
#include <utility>

ServeurCanaux::ServeurCanaux(CoucheSocket& WSserveur_, PanneauServeur& panneau_,
                             const Horloge& horloge_, PasseEvenements laisserPasser, int canauxMax_)
    : WSserveur(WSserveur_), panneau(panneau_), horloge(horloge_),
      laisserPasserEvenements(std::move(laisserPasser)), canauxMax(std::min(canauxMax_, CanauxMax))
{
}

ServeurCanaux::~ServeurCanaux() = default;

bool ServeurCanaux::traceVisible() const
{
    return relais != nullptr || panneau.Chk_TraceIP();
}

void ServeurCanaux::envoieTrace(int canal, const QString& octets)
{
    if (traceVisible())
        AfficheLisible(panneau, QLatin1Char('>') + QString::number(canal) + QLatin1Char(' '),
                       octets);
    if (trafic != nullptr)
        trafic->evenement(SortieEvenements::Type::Envoi, canal, pairs[canal], octets);
    if (compteurs != nullptr) {
        ++compteurs->reponses;
        compteurs->octetsEnvoyes += quint64(octets.size());
        if (std::size_t(canal) < arrivees.size() && arrivees[canal] >= 0)
            compteurs->delaiReponse.observe(horloge.millisecondes() - arrivees[canal]);
    }
    WSserveur.SendData(canal, octets);
}

void ServeurCanaux::noteFermeture(int canal, const QString& comment)
{
    if (trafic != nullptr && canal > 0 && WSserveur.State(canal) == CoucheSocket::Connecte)
        trafic->evenement(SortieEvenements::Type::Fermeture, canal, pairs[canal], comment);
}

void ServeurCanaux::envoieAuClient(int canal, const QString& octets)
{
    if (WSserveur.State(canal) == CoucheSocket::Connecte)
        envoieTrace(canal, octets);
}

void ServeurCanaux::coupeClient(int canal, const QString& raison)
{
    if (WSserveur.State(canal) != CoucheSocket::Connecte)
        return;
    if (trafic != nullptr)
        trafic->evenement(SortieEvenements::Type::Erreur, canal, pairs[canal], raison);
    noteFermeture(canal, QStringLiteral("fermée par Velorin"));
    WSserveur.Close(canal);
    laisserPasserEvenements();
}

void ServeurCanaux::WSserveur_Close(int Index)
{
    if (trafic != nullptr)
        trafic->evenement(SortieEvenements::Type::Fermeture, Index, pairs[Index],
                          QStringLiteral("fermée par le client"));
    if (relais != nullptr)
        relais->ferme(Index);
}

void ServeurCanaux::WSserveur_SendProgress(int Index, qint64 bytesRemaining)
{
    if (relais != nullptr)
        relais->sortieClient(Index, bytesRemaining);
}

void ServeurCanaux::initialise()
{
    nbCanaux = 0;
    canalCourant = 0;
}

QString ServeurCanaux::LibelleEtatSocket(int etat)
{
    switch (etat) {
    case CoucheSocket::Ferme: return QStringLiteral("port fermé");
    case CoucheSocket::Ouvert: return QStringLiteral("port ouvert");
    case CoucheSocket::AEcoute: return QStringLiteral("port à l'ecoute");
    case CoucheSocket::ConnexionEnAttente: return QStringLiteral("port connection en attente");
    case CoucheSocket::ResolutionHote: return QStringLiteral("port hote en cours de resolution");
    case CoucheSocket::HoteResolu: return QStringLiteral("port hote resolu");
    case CoucheSocket::ConnexionEnCours: return QStringLiteral("port en cours de connection");
    case CoucheSocket::Connecte: return QStringLiteral("port connecté");
    case CoucheSocket::FermetureParHomologue:
        return QStringLiteral("port Connexion en cours de fermeture par l'homologue");
    case CoucheSocket::Erreur: return QStringLiteral("port Erreur");
    default:
        return QStringLiteral("state n° ") + QString::number(etat)
               + QStringLiteral(" Etat inconnu");
    }
}

int ServeurCanaux::premierCanalLibre() const
{
    for (int i = 1; i <= nbCanaux; ++i) {
        if (WSserveur.State(i) == CoucheSocket::Ferme)
            return i;
    }
    return 0;
}

void ServeurCanaux::WSserveur_ConnectionRequest(int /*Index*/, qintptr requestID)
{
    // Release the channels whose client has left, and note the lowest closed one.
    const int n = nbCanaux;
    int c = 0;
    for (int i = 1; i <= n; ++i) {
        if (WSserveur.State(i) == CoucheSocket::FermetureParHomologue) {
            panneau.AfficheMessage(QStringLiteral("Liberation du canal ") + QString::number(i));
            WSserveur.Close(i);
            laisserPasserEvenements();
        }
        if (WSserveur.State(i) == CoucheSocket::Ferme && c == 0)
            c = i;
    }

    // A connection request handled during a release pass may have taken the chosen channel:
    // choose again by the same rule.
    if (c != 0 && WSserveur.State(c) != CoucheSocket::Ferme)
        c = premierCanalLibre();

    if (c == 0) {
        if (nbCanaux >= canauxMax) {
            if (compteurs != nullptr)
                ++compteurs->connexionsRefusees;
            panneau.AfficheMessage(QStringLiteral("connexion refusée : les ")
                                   + QString::number(canauxMax)
                                   + QStringLiteral(" canaux sont occupés"));
            return; // the socket layer closes a request nobody accepted
        }
        if (!WSserveur.Load(nbCanaux + 1)) {
            if (compteurs != nullptr)
                ++compteurs->connexionsRefusees;
            panneau.AfficheMessage(QStringLiteral("connexion refusée : création du canal ")
                                   + QString::number(nbCanaux + 1) + QStringLiteral(" impossible"));
            return;
        }
        ++nbCanaux;
        c = nbCanaux;
    }

    WSserveur.Accept(c, requestID);
    ++connexions[c];
    if (std::size_t(c) < arrivees.size())
        arrivees[c] = -1;
    if (compteurs != nullptr && WSserveur.State(c) == CoucheSocket::Connecte)
        ++compteurs->connexionsOuvertes;
    // A relay that leads back to Velorin would take a channel for each of its own connections,
    // each opening the next: the loop is cut at its first turn.
    if (relais != nullptr && WSserveur.State(c) == CoucheSocket::Connecte
        && relais->estAmont(WSserveur.RemoteHostIP(c), WSserveur.RemotePort(c))) {
        panneau.AfficheMessage(QStringLiteral("connexion refusée sur canal ") + QString::number(c)
                               + QStringLiteral(" : le PROXY mène à Velorin lui-même"));
        if (compteurs != nullptr)
            ++compteurs->connexionsRefusees;
        WSserveur.Close(c);
        laisserPasserEvenements();
        return;
    }
    // A connection the rules decide on is not read before they have: what its client sends at
    // once waits for the decision, which comes after the events below.
    const quint64 connexion = connexions[c];
    const bool enDecision = defauts != nullptr && defauts->surveilleConnexions()
                            && WSserveur.State(c) == CoucheSocket::Connecte;
    if (enDecision)
        WSserveur.SuspendLecture(c, true);
    // Journaled and relayed before events run: what the client sent may arrive in them.
    if (WSserveur.State(c) == CoucheSocket::Connecte) {
        if (trafic != nullptr) {
            const QString adresse = WSserveur.RemoteHostIP(c);
            pairs[c] =
                (adresse.contains(QLatin1Char(':')) ? QLatin1Char('[') + adresse + QLatin1Char(']')
                                                    : adresse)
                + QLatin1Char(':') + QString::number(WSserveur.RemotePort(c));
            trafic->evenement(SortieEvenements::Type::Connexion, c, pairs[c], nullptr);
        }
        if (relais != nullptr)
            relais->ouvre(c);
    }
    laisserPasserEvenements();

    panneau.AfficheMessage(LibelleEtatSocket(WSserveur.State(c)) + QStringLiteral(" sur canal ")
                           + QString::number(c) + QStringLiteral("   IP client : ")
                           + WSserveur.RemoteHostIP(c));
    canalCourant = c;
    // The channel may carry another connection by now, decided on in the events. One whose
    // client has already gone is decided on all the same: refused, what it sent is never read.
    if (enDecision && connexions[c] == connexion)
        connexionDefaillante(c, connexion);
}

void ServeurCanaux::WSserveur_DataArrival(int Index, qint64 /*bytesTotal*/)
{
    const QString recu = WSserveur.GetData(Index);
    if (compteurs != nullptr) {
        compteurs->octetsRecus += quint64(recu.size());
        if (std::size_t(Index) >= arrivees.size())
            arrivees.resize(std::size_t(Index) + 1, -1);
        arrivees[Index] = horloge.millisecondes();
    }
    if (traceVisible()) {
        AfficheLisible(panneau,
                       QLatin1Char('<') + QString::number(Index) + QStringLiteral(" (")
                           + Horodatage(false, horloge) + QStringLiteral(") "),
                       recu);
    }
    if (trafic != nullptr)
        trafic->evenement(SortieEvenements::Type::Reception, Index, pairs[Index], recu);
    if (relais != nullptr) {
        relais->transmet(Index, recu);
        return;
    }
    if (!tramesParCR || !tramesParCR()) {
        analyse(Index, recu);
        return;
    }
    const DecoupeurTrames::Resultat trames = decoupeur.decoupe(Index, connexions[Index], recu);
    if (trames.ecartes > 0)
        panneau.AfficheMessage(Horodatage(false, horloge)
                               + QStringLiteral(" %1 octets sans CR ignorés sur canal %2")
                                     .arg(trames.ecartes)
                                     .arg(Index));
    analyseEnSuite(Index, connexions[Index], trames.requetes);
}

bool ServeurCanaux::EnvoieSurCanal(const QString& chaine)
{
    const int canal = canalCourant;
    if (canal > nbCanaux || canal < 1) {
        panneau.AfficheMessage(QStringLiteral("N° de canal demandé inconnu"));
        return false;
    }
    if (WSserveur.State(canal) == CoucheSocket::Connecte) {
        // A faulted reply, or one that must wait behind held output on its channel.
        if (sortieDefaillante
            && (decisionCourante != nullptr
                || sortieDefaillante->occupe(canal, connexions[canal]))) {
            reponseDecidee = true;
            sortieDefaillante->envoie(canal, connexions[canal], chaine,
                                      decisionCourante != nullptr ? *decisionCourante
                                                                  : DecisionReponse{});
            return true;
        }
        envoieTrace(canal, chaine);
        return true;
    }

    // The client has gone. CanalCourant becomes 0, and what follows applies to the element it
    // now names, the listener; the failed channel stays as it is until a connection releases
    // it.
    canalCourant = 0;
    const int etat = WSserveur.State(canalCourant);
    panneau.AfficheMessage(LibelleEtatSocket(etat));
    if (etat != CoucheSocket::AEcoute) {
        panneau.AfficheMessage(QStringLiteral("close"));
        WSserveur.Close(canalCourant);
        laisserPasserEvenements();
    }
    return false;
}

void ServeurCanaux::WSserveur_Error(int Index, int Number, const QString& Description)
{
    if (trafic != nullptr)
        trafic->evenement(SortieEvenements::Type::Erreur, Index, pairs[Index],
                          QString::number(Number) + QLatin1Char(' ') + Description);
    // The socket array has closed a client that stopped reading: Velorin closed it.
    if (trafic != nullptr && Index > 0 && Number == CoucheSocket::ErreurClientBloque)
        trafic->evenement(SortieEvenements::Type::Fermeture, Index, pairs[Index],
                          QStringLiteral("fermée par Velorin"));
    panneau.AfficheMessage(QStringLiteral("*** Erreur n° ") + QString::number(Number)
                           + QLatin1Char(' ') + Description + QStringLiteral(" sur socket ")
                           + QString::number(Index));
    // A client the socket layer has closed (one that stopped reading, say): its device's
    // connection goes with it.
    if (relais != nullptr && Index > 0 && WSserveur.State(Index) != CoucheSocket::Connecte)
        relais->ferme(Index);
}

void ServeurCanaux::Timer1_Timer()
{
    int valides = 0;
    for (int i = 1; i <= nbCanaux; ++i) {
        if (WSserveur.State(i) == CoucheSocket::Connecte)
            ++valides;
    }
    if (valides == 0)
        panneau.setLbl_LiaisonValide(QStringLiteral("Aucune liaison TCPIP"), 0xFF0000);
    else
        panneau.setLbl_LiaisonValide(
            QString::number(valides) + QStringLiteral(" liaison(s) valide(s)"), 0x00FF00);
}

void ServeurCanaux::fermeture()
{
    panneau.AfficheMessage(QStringLiteral("fermeture demandée"));
    const int n = nbCanaux;
    for (int i = 0; i <= n; ++i) {
        if (WSserveur.State(i) == CoucheSocket::Ferme)
            continue;
        panneau.AfficheMessage(QStringLiteral("fermeture de la liaison n° ") + QString::number(i)
                               + QStringLiteral("  ") + LibelleEtatSocket(WSserveur.State(i)));
        if (WSserveur.State(i) == CoucheSocket::Connecte) {
            if (trafic != nullptr && i > 0)
                trafic->evenement(SortieEvenements::Type::AvisVelorin, i, pairs[i],
                                  QStringLiteral("ARRET du serveur en cours"));
            WSserveur.SendData(i, QStringLiteral("ARRET du serveur en cours"));
            laisserPasserEvenements();
        }
        if (relais != nullptr && i > 0)
            relais->ferme(i);
        noteFermeture(i, QStringLiteral("fermée par Velorin"));
        WSserveur.Close(i);
        laisserPasserEvenements();
        if (i > 0)
            WSserveur.Unload(i);
    }
}
