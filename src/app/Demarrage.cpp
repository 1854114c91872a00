#include "Demarrage.h"

#include "AideLigneCommande.h"
#include "Appareil.h"
#include "Arret.h"
#include "FenetrePrincipale.h"
#include "LigneCommande.h"
#include "appareil/EtatAppareil.h"
#include "trace/Horloge.h"
#include "trace/Horodatage.h"

#include <QHostAddress>
#include <QMessageBox>
#include <QScopeGuard>

#include <cstdio>

Demarrage::Demarrage(EtatAppareil& etat_, FenetrePrincipale* fenetre_, Appareil& appareil_,
                     Arret& arret_, bool sansEcran_)
    : etat(etat_), fenetre(fenetre_), appareil(appareil_), arret(arret_), sansEcran(sansEcran_)
{
}

bool Demarrage::Form_Load(const LigneCommande& parametres)
{
    arret.setDemarrageEnCours(true);
    const auto fin = qScopeGuard([this] { arret.setDemarrageEnCours(false); });
    if (fenetre)
        fenetre->show();
    etat.AfficheMessage(QStringLiteral("clear"));
    if (fenetre)
        fenetre->setWindowTitle(QStringLiteral("Velorin v" VELORIN_VERSION));
    etat.setModeSimulation(ModeSimulation::AutomateOmron);
    etat.AfficheMessage(QStringLiteral("lecture des parametres ..."));

    for (const QString& inconnu : parametres.inconnus)
        etat.AfficheMessage(QStringLiteral("parametre inconnu ignoré : ") + inconnu);
    if (parametres.aide) {
        const QString aide = lignesAide().join(QLatin1Char('\n'));
        if (sansEcran || !fenetre)
            std::fprintf(stderr, "%s\n", aide.toUtf8().constData());
        else
            QMessageBox::information(fenetre, QStringLiteral("Velorin"), aide);
        if (arret.estDemande())
            return true;
    }
    // A port the system picks is only known once it listens: said then.
    const bool portLibre = parametres.portIP && portValide(*parametres.portIP) == 0;
    if (parametres.portIP) {
        etat.setTxt_PortIP(*parametres.portIP);
        if (!portLibre)
            etat.AfficheMessage(QStringLiteral("port TCPIP = ") + etat.Txt_PortIP());
    }
    if (parametres.mode && !etat.selectionneMode(*parametres.mode)) {
        etat.AfficheMessage(QStringLiteral("mode inconnu \"") + *parametres.mode
                            + QStringLiteral("\", le mode ") + etat.Cmb_Simulate()
                            + QStringLiteral(" est conservé"));
    }
    etat.retiensModeDeDepart();
    if (parametres.trace)
        etat.setChk_TraceIP(true);

    etat.AfficheMessage(QStringLiteral("initialisation ..."));
    appareil.serveur().initialise();

    CoucheSocketEpoll& WSserveur = appareil.sockets();
    const auto port = portValide(etat.Txt_PortIP());
    if (!port) {
        signaleEchec(QStringLiteral("port PORTIP invalide \"") + etat.Txt_PortIP()
                     + QStringLiteral("\" : un nombre de 0 à 65535 est attendu"));
        return false;
    }
    if (parametres.adresse) {
        QHostAddress adresse;
        if (!adresse.setAddress(*parametres.adresse)) {
            signaleEchec(QStringLiteral("adresse d'écoute BIND invalide \"") + *parametres.adresse
                         + QStringLiteral("\" : une adresse IPv4 ou IPv6 est attendue"));
            return false;
        }
        // "::" is every address, IPv6 and IPv4 alike, as most servers take it.
        WSserveur.setAdresseEcoute(adresse == QHostAddress(QHostAddress::AnyIPv6)
                                       ? QHostAddress(QHostAddress::Any)
                                       : adresse);
    }
    WSserveur.setLocalPort(0, *port);
    if (!WSserveur.Listen(0)) {
        signaleEchec(
            QStringLiteral("impossible d'ouvrir le port PORTIP ") + QString::number(*port)
            + (parametres.adresse ? QStringLiteral(" sur BIND ") + WSserveur.LocalIP(0) : QString())
            + QStringLiteral(" : ") + WSserveur.erreurListen());
        return false;
    }
    if (portLibre) {
        etat.setTxt_PortIP(QString::number(WSserveur.LocalPort(0)));
        etat.AfficheMessage(QStringLiteral("port TCPIP = ") + etat.Txt_PortIP());
    }
    etat.AfficheMessage(Horodatage(false, HorlogeSysteme::instance()) + QStringLiteral(" ouvre ")
                        + WSserveur.LocalIP(0) + QStringLiteral("  port ")
                        + QString::number(WSserveur.LocalPort(0)));
    // Timer1 already ticks every 1000 ms, as designed.
    etat.AfficheMessage(QStringLiteral("en attente de communication ..."));
    return true;
}

void Demarrage::signaleEchec(const QString& raison)
{
    const QString ligne =
        Horodatage(false, HorlogeSysteme::instance()) + QStringLiteral(" ") + raison;
    etat.AfficheMessage(ligne);
    const QString vue =
        nom.isEmpty() ? ligne : QLatin1Char('[') + nom + QStringLiteral("] ") + ligne;
    std::fprintf(stderr, "%s\n", vue.toUtf8().constData());
    std::fflush(stderr);
    arret.renonce();
}
