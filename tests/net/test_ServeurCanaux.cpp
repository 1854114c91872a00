#include "net/CoucheSocketFactice.h"
#include "net/ServeurCanaux.h"
#include "support/HorlogeFigee.h"
#include "trace/SortieEvenements.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A pool over the fake socket array, with the fake event pass.
struct Banc
{
    CoucheSocketFactice couche;
    PanneauServeurFactice panneau;
    HorlogeFigee horloge;
    int canauxMax = ServeurCanaux::CanauxMax;
    ServeurCanaux serveur{couche, panneau, horloge, [this] { couche.passe(); }, canauxMax};
    qintptr prochaineDemande = 500;

    qintptr demande()
    {
        const qintptr id = prochaineDemande++;
        serveur.WSserveur_ConnectionRequest(0, id);
        return id;
    }

    // One channel per state (each request finds the others connected and makes a new one),
    // then each put in its state, and what the set-up logged forgotten.
    explicit Banc(const std::vector<int>& etats = {}, int plafond = ServeurCanaux::CanauxMax)
        : canauxMax(plafond)
    {
        for (std::size_t i = 0; i < etats.size(); ++i)
            demande();
        for (std::size_t i = 0; i < etats.size(); ++i)
            couche.etats[int(i) + 1] = etats[i];
        couche.operations.clear();
        couche.passes = 0;
        panneau.lignes.clear();
    }
};

QString accepte(int canal, qintptr id)
{
    return QStringLiteral("Accept %1 %2").arg(canal).arg(id);
}

TEST(Acceptation, ReleasesLeaversThenTakesTheLowestClosedOrANewChannel)
{
    const struct
    {
        const char* nom;
        std::vector<int> etats;
        int choisi;
        QStringList liberes;
    } cas[] = {
        {"firstClientCreatesChannelOne", {}, 1, {}},
        {"leaverReleasedAndReused", {8}, 1, {"1"}},
        {"allConnectedMakesANewOne", {7, 7}, 3, {}},
        {"lowestClosedFirst", {0, 0, 7}, 1, {}},
        {"errorNeitherClosedNorReused", {9}, 2, {}},
        {"releasedBeatsAHigherClosedOne", {7, 8, 0}, 2, {"2"}},
        {"everyLeaverReleasedLowestTaken", {8, 7, 8}, 1, {"1", "3"}},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.nom);
        Banc b(c.etats);
        const int nb = b.serveur.NbCanaux();
        const qintptr id = b.demande();

        QStringList operations, lignes;
        for (const QString& i : c.liberes) {
            operations << "Close " + i;
            lignes << "Liberation du canal " + i;
        }
        if (c.choisi > nb)
            operations << QStringLiteral("Load %1").arg(c.choisi);
        operations << accepte(c.choisi, id);
        lignes
            << QStringLiteral("port connecté sur canal %1   IP client : 10.0.0.%1").arg(c.choisi);
        EXPECT_EQ(b.couche.operations, operations);
        EXPECT_EQ(b.panneau.lignes, lignes);
        EXPECT_EQ(b.serveur.NbCanaux(), std::max(nb, c.choisi));
        EXPECT_EQ(b.serveur.CanalCourant(), c.choisi);
    }
}

TEST(Acceptation, NestedRequestDuringReleaseTakesTheChosenChannel)
{
    // Channel 1 is closed and chosen; releasing channel 2 lets nested requests in first.
    const struct
    {
        const char* nom;
        int imbriquees;
        int choixExterne;
    } cas[] = {{"outerTakesTheReleasedOne", 1, 2}, {"bothTakenOuterMakesANewOne", 2, 3}};
    for (const auto& c : cas) {
        SCOPED_TRACE(c.nom);
        Banc b({0, 8});
        b.couche.crochet = [&] {
            for (int k = 0; k < c.imbriquees; ++k)
                b.serveur.WSserveur_ConnectionRequest(0, 900 + k);
        };
        const qintptr id = b.demande();

        QStringList operations{"Close 2", accepte(1, 900)};
        if (c.imbriquees == 2)
            operations << accepte(2, 901) << "Load 3";
        operations << accepte(c.choixExterne, id);
        EXPECT_EQ(b.couche.operations, operations);
        EXPECT_EQ(b.couche.State(c.choixExterne), CoucheSocket::Connecte);
        EXPECT_EQ(b.serveur.CanalCourant(), c.choixExterne);
    }
}

TEST(Acceptation, DataArrivingRightAfterAcceptIsAnsweredOnTheNewChannel)
{
    Banc b;
    b.couche.recus[1] = QStringLiteral("X");
    b.couche.crochet = [&] { b.serveur.WSserveur_DataArrival(1, 1); };
    b.serveur.setAnalyse([&](const QString& recu) { b.serveur.EnvoieSurCanal(recu + recu); });
    b.demande();
    EXPECT_EQ(b.couche.envoyes[1], QStringList{"XX"});
    EXPECT_EQ(b.serveur.CanalCourant(), 1);
}

TEST(Acceptation, ChannelNotConnectedAfterAcceptIsLoggedWithItsState)
{
    Banc b({7, 7});
    b.couche.crochet = [&] { b.couche.etats[3] = CoucheSocket::Erreur; };
    b.demande();
    EXPECT_EQ(b.panneau.lignes,
              QStringList{QStringLiteral("port Erreur sur canal 3   IP client : 10.0.0.3")});
    EXPECT_EQ(b.serveur.CanalCourant(), 3);
}

TEST(Acceptation, ChannelThatCannotBeCreatedRefusesTheRequest)
{
    Banc b({7});
    b.serveur.setCanalCourant(1);
    b.couche.chargementImpossible = true;
    b.demande();
    EXPECT_EQ(b.couche.operations, QStringList{"Load 2"});
    ASSERT_EQ(b.panneau.lignes.size(), 1);
    EXPECT_TRUE(b.panneau.lignes[0].contains(QLatin1String("canal 2")));
    EXPECT_EQ(b.serveur.NbCanaux(), 1);
    EXPECT_EQ(b.serveur.CanalCourant(), 1);
}

TEST(Acceptation, NoFreeChannelUnderTheCeilingRefusesTheRequest)
{
    Banc b({7, 9}, 2);
    b.demande();
    EXPECT_TRUE(b.couche.operations.isEmpty()) << "neither created nor accepted";
    EXPECT_EQ(b.panneau.lignes,
              QStringList{QStringLiteral("connexion refusée : les 2 canaux sont occupés")});
    EXPECT_EQ(b.serveur.NbCanaux(), 2);

    // Once a client has left, its channel takes the next request again.
    b.couche.etats[1] = CoucheSocket::FermetureParHomologue;
    b.demande();
    EXPECT_EQ(b.serveur.CanalCourant(), 1);
}

TEST(LiaisonsValides, OnlyConnectedChannelsCount)
{
    const struct
    {
        const char* nom;
        std::vector<int> etats;
        const char* legende;
        quint32 fond;
    } cas[] = {
        {"noChannelYet", {}, "Aucune liaison TCPIP", 0xFF0000},
        {"leaversErrorsAndClosedOnes", {8, 9, 0}, "Aucune liaison TCPIP", 0xFF0000},
        {"twoAmongOthers", {7, 8, 7, 0}, "2 liaison(s) valide(s)", 0x00FF00},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.nom);
        Banc b(c.etats);
        b.serveur.Timer1_Timer();
        EXPECT_EQ(b.panneau.legende, QString::fromUtf8(c.legende));
        EXPECT_EQ(b.panneau.fond, c.fond);
    }
}

TEST(LibelleEtatSocket, EveryStateAndTheUnknownOnes)
{
    const char* libelles[] = {"port fermé",
                              "port ouvert",
                              "port à l'ecoute",
                              "port connection en attente",
                              "port hote en cours de resolution",
                              "port hote resolu",
                              "port en cours de connection",
                              "port connecté",
                              "port Connexion en cours de fermeture par l'homologue",
                              "port Erreur"};
    for (int etat = 0; etat < 10; ++etat)
        EXPECT_EQ(ServeurCanaux::LibelleEtatSocket(etat), QString::fromUtf8(libelles[etat]));
    EXPECT_EQ(ServeurCanaux::LibelleEtatSocket(10), QStringLiteral("state n° 10 Etat inconnu"));
    EXPECT_EQ(ServeurCanaux::LibelleEtatSocket(-1), QStringLiteral("state n° -1 Etat inconnu"));
}

TEST(Reception, ArrivalIsTracedOnDemandAndAnalysedOnItsChannel)
{
    for (bool trace : {true, false}) {
        SCOPED_TRACE(trace);
        Banc b({7, 7});
        b.panneau.traceIP = trace;
        b.couche.recus[2] = QStringLiteral("\x1bV\r");
        int canalVu = -1;
        QString texteVu;
        b.serveur.setAnalyse([&](const QString& recu) {
            canalVu = b.serveur.CanalCourant();
            texteVu = recu;
            b.serveur.EnvoieSurCanal(QStringLiteral("A\r"));
        });
        b.serveur.WSserveur_DataArrival(2, 3);

        EXPECT_EQ(canalVu, 2);
        EXPECT_EQ(texteVu, QStringLiteral("\x1bV\r"));
        EXPECT_TRUE(b.couche.recus.empty()) << "the bytes are taken from the socket";
        EXPECT_EQ(b.couche.envoyes[2], QStringList{"A\r"});
        EXPECT_EQ(b.panneau.lignes,
                  trace ? QStringList({"<2 (08:54:28.3) Esc/VCr/", ">2 ACr/"}) : QStringList());
    }
}

TEST(Envoi, ChannelOutOfRangeIsUnknown)
{
    for (int canal : {0, -1, 3}) {
        SCOPED_TRACE(canal);
        Banc b({7, 7});
        b.serveur.setCanalCourant(canal);
        EXPECT_FALSE(b.serveur.EnvoieSurCanal(QStringLiteral("A")));
        EXPECT_EQ(b.panneau.lignes, QStringList{QStringLiteral("N° de canal demandé inconnu")});
        EXPECT_TRUE(b.couche.operations.isEmpty());
        EXPECT_EQ(b.serveur.CanalCourant(), canal);
    }
}

TEST(Envoi, ClientGoneDropsTheReplyAndClosesTheListenerOnlyIfNotListening)
{
    // Once CanalCourant is reset, the failure handling applies to the listener.
    const struct
    {
        int etatEcoute;
        QStringList lignes;
        QStringList operations;
    } cas[] = {{2, {"port à l'ecoute"}, {}},
               {0, {"port fermé", "close"}, {"Close 0"}},
               {9, {"port Erreur", "close"}, {"Close 0"}}};
    for (const auto& c : cas) {
        SCOPED_TRACE(c.etatEcoute);
        Banc b({8});
        b.couche.etats[0] = c.etatEcoute;
        b.serveur.setCanalCourant(1);
        EXPECT_FALSE(b.serveur.EnvoieSurCanal(QStringLiteral("A")));
        EXPECT_EQ(b.panneau.lignes, c.lignes);
        EXPECT_EQ(b.couche.operations, c.operations);
        EXPECT_EQ(b.serveur.CanalCourant(), 0);
        EXPECT_EQ(b.couche.State(1), CoucheSocket::FermetureParHomologue);
    }
}

TEST(ErreurSocket, LoggedAndNothingElse)
{
    Banc b({7, 7, 7});
    b.serveur.WSserveur_Error(3, 10053, QStringLiteral("Connection reset"));
    EXPECT_EQ(b.panneau.lignes,
              QStringList{QStringLiteral("*** Erreur n° 10053 Connection reset sur socket 3")});
    EXPECT_TRUE(b.couche.operations.isEmpty());
    EXPECT_EQ(b.serveur.CanalCourant(), 3) << "left as the last accept set it";
}

// The journal's record of a socket error: an error event, and a close that says who closed.
TEST(ErreurSocket, JournaledWithWhoClosedTheChannel)
{
    struct Evenements : SortieEvenements
    {
        QStringList vus;
        void evenement(Type type, int canal, const QString&, const QString* donnees) override
        {
            if (type == Type::Erreur || type == Type::Fermeture)
                vus << QStringLiteral("%1 %2 %3")
                           .arg(type == Type::Erreur ? "error" : "close")
                           .arg(canal)
                           .arg(donnees != nullptr ? *donnees : QString());
        }
    };
    const struct
    {
        const char* nom;
        int numero;
        QStringList attendus;
    } cas[] = {
        {"aResetIsTheClientsOwnClose", 10053, {"error 1 10053 x"}},
        {"aClientThatStoppedReadingIsClosedByVelorin",
         CoucheSocket::ErreurClientBloque,
         {"error 1 10055 x", "close 1 fermée par Velorin"}},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.nom);
        Banc b({7});
        Evenements journal;
        b.serveur.setJournalTrafic(&journal);
        b.couche.etats[1] = CoucheSocket::Ferme; // the array has dropped it already
        b.serveur.WSserveur_Error(1, c.numero, QStringLiteral("x"));
        EXPECT_EQ(journal.vus, c.attendus);
    }
}

TEST(Fermeture, WarnsConnectedClientsClosesEverythingDestroysChannels)
{
    Banc b({7, 0, 8, 9, 7});
    // A request arriving once the listener is closed, on a channel not closed yet, is answered.
    b.couche.recus[5] = QStringLiteral("ping");
    b.couche.crochet = [&] { b.serveur.WSserveur_DataArrival(5, 4); };
    b.serveur.setAnalyse([&](const QString& recu) { b.serveur.EnvoieSurCanal(recu); });
    b.serveur.fermeture();
    EXPECT_EQ(
        b.panneau.lignes,
        QStringList(
            {"fermeture demandée", "fermeture de la liaison n° 0  port à l'ecoute",
             "fermeture de la liaison n° 1  port connecté",
             "fermeture de la liaison n° 3  port Connexion en cours de fermeture par l'homologue",
             "fermeture de la liaison n° 4  port Erreur",
             "fermeture de la liaison n° 5  port connecté"}));
    EXPECT_EQ(b.couche.operations, QStringList({"Close 0", "SendData 5", "SendData 1", "Close 1",
                                                "Unload 1", "Close 3", "Unload 3", "Close 4",
                                                "Unload 4", "SendData 5", "Close 5", "Unload 5"}));
    EXPECT_EQ(b.couche.envoyes[1], QStringList{"ARRET du serveur en cours"});
    EXPECT_EQ(b.couche.envoyes[5], QStringList({"ping", "ARRET du serveur en cours"}));
    EXPECT_EQ(b.couche.passes, 7) << "after each warning and each close";
}

} // namespace
