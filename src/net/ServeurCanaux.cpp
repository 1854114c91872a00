#include "ServeurCanaux.h"

#include "PanneauServeur.h"
#include "trace/Horodatage.h"
#include "trace/LigneLongue.h"

#include <algorithm>

ServeurCanaux::ServeurCanaux(CoucheSocket& WSserveur_, PanneauServeur& panneau_,
                             const Horloge& horloge_, PasseEvenements laisserPasser, int canauxMax_)
    : WSserveur(WSserveur_), panneau(panneau_), horloge(horloge_),
      laisserPasserEvenements(std::move(laisserPasser)), canauxMax(std::min(canauxMax_, CanauxMax))
{
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
            panneau.AfficheMessage(QStringLiteral("connexion refusée : les ")
                                   + QString::number(canauxMax)
                                   + QStringLiteral(" canaux sont occupés"));
            return; // the socket layer closes a request nobody accepted
        }
        if (!WSserveur.Load(nbCanaux + 1)) {
            panneau.AfficheMessage(QStringLiteral("connexion refusée : création du canal ")
                                   + QString::number(nbCanaux + 1) + QStringLiteral(" impossible"));
            return;
        }
        ++nbCanaux;
        c = nbCanaux;
    }

    WSserveur.Accept(c, requestID);
    laisserPasserEvenements();

    panneau.AfficheMessage(LibelleEtatSocket(WSserveur.State(c)) + QStringLiteral(" sur canal ")
                           + QString::number(c) + QStringLiteral("   IP client : ")
                           + WSserveur.RemoteHostIP(c));
    canalCourant = c;
}

void ServeurCanaux::WSserveur_DataArrival(int Index, qint64 /*bytesTotal*/)
{
    const QString recu = WSserveur.GetData(Index);
    if (panneau.Chk_TraceIP()) {
        AfficheLisible(panneau,
                       QLatin1Char('<') + QString::number(Index) + QStringLiteral(" (")
                           + Horodatage(false, horloge) + QStringLiteral(") "),
                       recu);
    }
    canalCourant = Index;
    if (AnalyseChaineRecu)
        AnalyseChaineRecu(recu);
}

bool ServeurCanaux::EnvoieSurCanal(const QString& chaine)
{
    const int canal = canalCourant;
    if (canal > nbCanaux || canal < 1) {
        panneau.AfficheMessage(QStringLiteral("N° de canal demandé inconnu"));
        return false;
    }
    if (WSserveur.State(canal) == CoucheSocket::Connecte) {
        if (panneau.Chk_TraceIP()) {
            AfficheLisible(panneau, QLatin1Char('>') + QString::number(canal) + QLatin1Char(' '),
                           chaine);
        }
        WSserveur.SendData(canal, chaine);
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
    panneau.AfficheMessage(QStringLiteral("*** Erreur n° ") + QString::number(Number)
                           + QLatin1Char(' ') + Description + QStringLiteral(" sur socket ")
                           + QString::number(Index));
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
            WSserveur.SendData(i, QStringLiteral("ARRET du serveur en cours"));
            laisserPasserEvenements();
        }
        WSserveur.Close(i);
        laisserPasserEvenements();
        if (i > 0)
            WSserveur.Unload(i);
    }
}
