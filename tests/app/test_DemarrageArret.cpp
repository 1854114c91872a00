#include "ProcessusVelorin.h"
#include "app/ArretSurSignal.h"
#include "app/FenetrePrincipale.h"
#include "app/LigneCommande.h"
#include "app/Programme.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <csignal>

namespace {

bool attend(const std::function<bool()>& condition)
{
    return ProcessusVelorin::attend(condition);
}

class Demarrage : public ::testing::Test
{
protected:
    std::unique_ptr<Programme> programme;
    quint16 port = 0;

    // Starts as the program does, on a port the system picks.
    bool charge(const QString& autres = {})
    {
        programme = std::make_unique<Programme>(
            LigneCommande::lire(QStringLiteral("portip=0 ") + autres), false);
        const bool ok = programme->demarre();
        port = programme->appareil().portEcoute();
        return ok;
    }
    FenetrePrincipale& fenetre() { return *programme->fenetre(); }

    QStringList lignes() const
    {
        QStringList l = programme->journal().contenu().split(QStringLiteral("\r\n"));
        l.removeLast();
        return l;
    }
    bool journalContient(const QString& ligne)
    {
        return attend([&] { return lignes().contains(ligne); });
    }
};

TEST_F(Demarrage, LogsEachStepAndListensOnThePortAndModeAsked)
{
    ASSERT_TRUE(charge(QStringLiteral("mode=modeecho")));
    EXPECT_EQ(fenetre().windowTitle(), QStringLiteral("Velorin v" VELORIN_VERSION));
    EXPECT_EQ(programme->etat().Cmb_Simulate(), QStringLiteral("modeECHO"));
    const QStringList l = lignes();
    ASSERT_EQ(l.size(), 5) << l.join(QLatin1Char('|')).toStdString();
    // The port the system picked is known, and said, once it listens.
    EXPECT_EQ(l.at(0), QStringLiteral("lecture des parametres ..."));
    EXPECT_EQ(l.at(1), QStringLiteral("initialisation ..."));
    EXPECT_EQ(l.at(2), QStringLiteral("port TCPIP = %1").arg(port));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d ouvre "
                                                  "\\d+\\.\\d+\\.\\d+\\.\\d+  port %1$")
                                       .arg(port))
                    .match(l.at(3))
                    .hasMatch())
        << l.at(3).toStdString();
    EXPECT_EQ(l.at(4), QStringLiteral("en attente de communication ..."));

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    EXPECT_TRUE(client.waitForConnected(5000));
}

TEST_F(Demarrage, UnknownModeKeepsThePlcAndSaysSo)
{
    ASSERT_TRUE(charge(QStringLiteral("mode=robot")));
    EXPECT_EQ(programme->etat().Cmb_Simulate(), QStringLiteral("automateOMRON"));
    EXPECT_TRUE(lignes().contains(
        QStringLiteral("mode inconnu \"ROBOT\", le mode automateOMRON est conservé")));
}

TEST_F(Demarrage, RefusesABadOrBusyPortInsteadOfPretendingToListen)
{
    QTcpServer occupe;
    ASSERT_TRUE(occupe.listen(QHostAddress::AnyIPv4, 0));
    const struct
    {
        QString ligne;
        const char* attendu;
    } cas[] = {
        {QStringLiteral("portip=abc"), "port PORTIP invalide \"ABC\""},
        {QStringLiteral("portip="), "port PORTIP invalide \"\""},
        {QStringLiteral("portip=-1"), "port PORTIP invalide \"-1\""},
        {QStringLiteral("portip=0 bind=machine"), "adresse d'écoute BIND invalide \"machine\""},
        {QStringLiteral("portip=65536"), "port PORTIP invalide \"65536\""},
        {QStringLiteral("portip=%1").arg(occupe.serverPort()),
         "impossible d'ouvrir le port PORTIP"},
    };
    for (const auto& c : cas) {
        Programme autre(LigneCommande::lire(c.ligne), false);
        EXPECT_FALSE(autre.demarre()) << c.ligne.toStdString();
        EXPECT_TRUE(autre.journal().contenu().contains(QString::fromUtf8(c.attendu)))
            << autre.journal().contenu().toStdString();
        EXPECT_FALSE(autre.journal().contenu().contains(QLatin1String("en attente")));
    }
}

TEST_F(Demarrage, RoadOfOneRequestWithTheTraceOn)
{
    ASSERT_TRUE(charge());
    fenetre().findChild<QCheckBox*>(QStringLiteral("Chk_TraceIP"))->setChecked(true);

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(client.waitForConnected(5000));
    ASSERT_TRUE(
        journalContient(QStringLiteral("port connecté sur canal 1   IP client : 127.0.0.1")));

    client.write("\x1bP1\r");
    ASSERT_TRUE(attend([&] { return client.bytesAvailable() >= 20; }));
    EXPECT_EQ(client.readAll(), QByteArray("\03310000000000000000a\r"));

    const QStringList l = lignes();
    qsizetype debut = 0;
    while (debut < l.size() && !l.at(debut).startsWith(QLatin1String("<1 ")))
        ++debut;
    ASSERT_LE(debut + 2, l.size() - 1);
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^<1 \\(\\d\\d:\\d\\d:\\d\\d\\.\\d\\) Esc/P1Cr/$"))
            .match(l.at(debut))
            .hasMatch());
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d demande position --> 0 / 0 a$"))
                    .match(l.at(debut + 1))
                    .hasMatch());
    EXPECT_EQ(l.at(debut + 2), QStringLiteral(">1 Esc/10000000000000000aCr/"));
}

TEST_F(Demarrage, TheLinkLabelCountsConnectedChannels)
{
    ASSERT_TRUE(charge());
    programme->appareil().serveur().Timer1_Timer();
    EXPECT_EQ(fenetre()
                  .findChild<QWidget*>(QStringLiteral("Lbl_LiaisonValide"))
                  ->property("text")
                  .toString(),
              QStringLiteral("Aucune liaison TCPIP"));
    QTcpSocket a, b;
    a.connectToHost(QHostAddress::LocalHost, port);
    b.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(
        journalContient(QStringLiteral("port connecté sur canal 2   IP client : 127.0.0.1")));
    programme->appareil().serveur().Timer1_Timer();
    EXPECT_EQ(fenetre()
                  .findChild<QWidget*>(QStringLiteral("Lbl_LiaisonValide"))
                  ->property("text")
                  .toString(),
              QStringLiteral("2 liaison(s) valide(s)"));
}

// A signal while the "?" box waits for the operator closes the box, and start-up goes no
// further: nothing listens, and the usual shutdown follows.
TEST_F(Demarrage, ASignalWhileTheHelpBoxIsOpenClosesItAndEndsTheStart)
{
    programme =
        std::make_unique<Programme>(LigneCommande::lire(QStringLiteral("portip=0 ?")), false);
    ArretSurSignal signaux;
    QObject::connect(&signaux, &ArretSurSignal::arretDemande, &programme->arret(),
                     &Arret::demandeArret);
    bool boiteVue = false;
    QTimer guetteur;
    QObject::connect(&guetteur, &QTimer::timeout, [&] {
        if (QApplication::activeModalWidget() != nullptr && !boiteVue) {
            boiteVue = true;
            ::raise(SIGTERM);
        }
    });
    guetteur.start(10);
    ASSERT_TRUE(programme->demarre());
    EXPECT_TRUE(boiteVue);
    EXPECT_TRUE(programme->arret().estDemande());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(programme->appareil().sockets().State(0), CoucheSocket::Ferme);
    EXPECT_FALSE(lignes().contains(QStringLiteral("initialisation ...")));
}

// Where no window can be shown, none is made, nor any other widget: the device serves, the
// log is kept, and a stop still runs the whole shutdown.
TEST(SansFenetre, AHeadlessRunMakesNoWidgetYetServesAndStops)
{
    ASSERT_TRUE(QApplication::allWidgets().isEmpty());
    Programme programme(LigneCommande::lire(QStringLiteral("portip=0 control=0 mode=modeecho")),
                        true);
    ASSERT_TRUE(programme.demarre());
    EXPECT_EQ(programme.fenetre(), nullptr);
    EXPECT_EQ(programme.etat().Cmb_Simulate(), QStringLiteral("modeECHO"));
    EXPECT_EQ(programme.etat().Txt_PortIP(), QString::number(programme.appareil().portEcoute()));

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, programme.appareil().portEcoute());
    QByteArray recu;
    ASSERT_TRUE(attend([&] {
        if (client.state() == QAbstractSocket::ConnectedState && recu.isEmpty()
            && client.bytesToWrite() == 0 && client.property("envoye").isNull()) {
            client.write("bonjour");
            client.setProperty("envoye", true);
        }
        recu += client.readAll();
        return recu == "bonjour";
    }));

    programme.arret().setPauseMs(0);
    programme.arret().demandeArret();
    EXPECT_EQ(programme.appareil().sockets().State(0), CoucheSocket::Ferme);
    EXPECT_TRUE(
        programme.journal().contenu().contains(QStringLiteral("en attente de communication")));
    EXPECT_TRUE(QApplication::allWidgets().isEmpty());
}

} // namespace
