#include "Demarrage.h"

#include "AideLigneCommande.h"
#include "Appareil.h"
#include "Arret.h"
#include "FenetrePrincipale.h"
#include "LigneCommande.h"
#include "trace/Horloge.h"
#include "trace/Horodatage.h"

#include <QHostAddress>
#include <QMessageBox>
#include <QScopeGuard>

#include <cstdio>

Demarrage::Demarrage(FenetrePrincipale& fenetre_, Appareil& appareil_, Arret& arret_,
                     bool sansEcran_)
    : fenetre(fenetre_), appareil(appareil_), arret(arret_), sansEcran(sansEcran_)
{
}

bool Demarrage::Form_Load(const LigneCommande& parametres)
{
    arret.setDemarrageEnCours(true);
    const auto fin = qScopeGuard([this] { arret.setDemarrageEnCours(false); });
    fenetre.show();
    fenetre.AfficheMessage(QStringLiteral("clear"));
    fenetre.setWindowTitle(QStringLiteral("Velorin v" VELORIN_VERSION));
    fenetre.selectionneMode(QStringLiteral("automateOMRON"));
    fenetre.AfficheMessage(QStringLiteral("lecture des parametres ..."));

    for (const QString& inconnu : parametres.inconnus)
        fenetre.AfficheMessage(QStringLiteral("parametre inconnu ignoré : ") + inconnu);
    if (parametres.aide) {
        const QString aide = lignesAide().join(QLatin1Char('\n'));
        if (sansEcran)
            std::fprintf(stderr, "%s\n", aide.toUtf8().constData());
        else
            QMessageBox::information(&fenetre, QStringLiteral("Velorin"), aide);
        if (arret.estDemande())
            return true;
    }
    // A port the system picks is only known once it listens: said then.
    const bool portLibre = parametres.portIP && portValide(*parametres.portIP) == 0;
    if (parametres.portIP) {
        fenetre.setTxt_PortIP(*parametres.portIP);
        if (!portLibre)
            fenetre.AfficheMessage(QStringLiteral("port TCPIP = ") + fenetre.Txt_PortIP());
    }
    if (parametres.mode && !fenetre.selectionneMode(*parametres.mode)) {
        fenetre.AfficheMessage(QStringLiteral("mode inconnu \"") + *parametres.mode
                               + QStringLiteral("\", le mode ") + fenetre.Cmb_Simulate()
                               + QStringLiteral(" est conservé"));
    }
    if (parametres.trace)
        fenetre.setChk_TraceIP(true);

    fenetre.AfficheMessage(QStringLiteral("initialisation ..."));
    appareil.serveur().initialise();

    CoucheSocketQt& WSserveur = appareil.sockets();
    const auto port = portValide(fenetre.Txt_PortIP());
    if (!port) {
        signaleEchec(QStringLiteral("port PORTIP invalide \"") + fenetre.Txt_PortIP()
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
        fenetre.setTxt_PortIP(QString::number(WSserveur.LocalPort(0)));
        fenetre.AfficheMessage(QStringLiteral("port TCPIP = ") + fenetre.Txt_PortIP());
    }
    fenetre.AfficheMessage(Horodatage(false, HorlogeSysteme::instance()) + QStringLiteral(" ouvre ")
                           + WSserveur.LocalIP(0) + QStringLiteral("  port ")
                           + QString::number(WSserveur.LocalPort(0)));
    // Timer1 already ticks every 1000 ms, as designed.
    fenetre.AfficheMessage(QStringLiteral("en attente de communication ..."));
    return true;
}

void Demarrage::signaleEchec(const QString& raison)
{
    const QString ligne =
        Horodatage(false, HorlogeSysteme::instance()) + QStringLiteral(" ") + raison;
    fenetre.AfficheMessage(ligne);
    std::fprintf(stderr, "%s\n", ligne.toUtf8().constData());
    std::fflush(stderr);
    arret.renonce();
}
