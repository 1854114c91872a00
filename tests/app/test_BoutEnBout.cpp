#include "ClientHttp.h"
#include "ProcessusVelorin.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

const QString Stamp = QStringLiteral("\\d\\d:\\d\\d:\\d\\d\\.\\d");

class BoutEnBout : public ::testing::Test
{
protected:
    ProcessusVelorin velorin;
    const quint16 port = ProcessusVelorin::portLibre();
};

TEST_F(BoutEnBout, StartsHeadlessAndLogsItsStartToStdout)
{
    // No display and no log key: the mirror is on all the same.
    velorin.lance({QStringLiteral("portip=%1").arg(port)});
    ASSERT_TRUE(velorin.attendLigne(QStringLiteral("en attente de communication ...")));
    ASSERT_GE(velorin.lignes.size(), 5);
    EXPECT_EQ(velorin.lignes.at(0), QStringLiteral("lecture des parametres ..."));
    EXPECT_EQ(velorin.lignes.at(1), QStringLiteral("port TCPIP = %1").arg(port));
    EXPECT_EQ(velorin.lignes.at(2), QStringLiteral("initialisation ..."));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^%1 ouvre [0-9.]+  port %2$").arg(Stamp).arg(port))
                    .match(velorin.lignes.at(3))
                    .hasMatch());
    EXPECT_EQ(velorin.lignes.at(4), QStringLiteral("en attente de communication ..."));
}

TEST_F(BoutEnBout, PlcAnswersAndMovesItsAxesOverRealTcp)
{
    ASSERT_TRUE(velorin.demarre(port));
    Hote hote;
    ASSERT_TRUE(hote.connecte(port));
    ASSERT_TRUE(velorin.attendLigne(QStringLiteral("port connecté sur canal 1   IP client : 127.0.0.1")));

    EXPECT_EQ(hote.echange("\x1bP1\r", 20), QByteArray("\x1b" "10000000000000000a\r"));
    EXPECT_TRUE(velorin.attendMotif(QStringLiteral("^%1 demande position --> 0 / 0 a$").arg(Stamp)));
    EXPECT_EQ(hote.echange("\x1bV1\r", 18), QByteArray("\x1b" "1version Velorin\r"));
    // Without homing, a move to a non-zero place is refused but stands.
    EXPECT_EQ(hote.echange("\x1b" "D10" "00012000" "00003000" "\r", 10),
              QByteArray("\x1b" "1POM NOk\r"));
    EXPECT_EQ(hote.echange("\x1bP1\r", 20), QByteArray("\x1b" "10000000000000000d\r"));
}

TEST_F(BoutEnBout, StdoutCarriesEveryByteOfALogLine)
{
    ASSERT_TRUE(velorin.demarre(port));
    Hote hote;
    ASSERT_TRUE(hote.connecte(port));
    EXPECT_EQ(hote.echange(QByteArray("\x1bM1\0\x1b\r", 6), 4), QByteArray("\x1b" "1Ok\r"));
    ASSERT_TRUE(velorin.attendMotif(QStringLiteral(" demande JOG ")));
    const QString ligne = velorin.lignes.filter(QStringLiteral(" demande JOG ")).first();
    EXPECT_TRUE(ligne.endsWith(QStringLiteral(" demande JOG ") + QChar(0) + QChar(27) + QChar(13)
                               + QStringLiteral("  --> Ok")))
        << ligne.toStdString();
}

TEST_F(BoutEnBout, LaserModuleAnswersChecksummedFrames)
{
    ASSERT_TRUE(velorin.demarre(port, {QStringLiteral("mode=moduleLASERS")}));
    Hote hote;
    ASSERT_TRUE(hote.connecte(port));
    EXPECT_EQ(hote.echange("\x1bM10121\r", 9), QByteArray("/10500" "0A\r"));
    EXPECT_EQ(hote.echange("\x1bV179\r", 37),
              QByteArray("/1version Simulation module Lasers" "54\r"));
    EXPECT_TRUE(velorin.attendMotif(
        QStringLiteral("^%1 lecture mesure laser n° 1 -> 10500$").arg(Stamp)));
}

TEST_F(BoutEnBout, EchoSendsEveryByteBackOnItsOwnChannel)
{
    ASSERT_TRUE(velorin.demarre(port, {QStringLiteral("mode=modeecho")}));
    QByteArray tous;
    for (int c = 0; c < 256; ++c)
        tous += char(c);
    Hote a, b, c;
    ASSERT_TRUE(a.connecte(port));
    ASSERT_TRUE(b.connecte(port));
    ASSERT_TRUE(c.connecte(port));
    ASSERT_TRUE(velorin.attendLigne(QStringLiteral("port connecté sur canal 3   IP client : 127.0.0.1")));
    EXPECT_EQ(b.echange("deux", 4), QByteArray("deux"));
    EXPECT_EQ(a.echange(tous, 256), tous);
    EXPECT_EQ(c.echange("trois", 5), QByteArray("trois"));
    EXPECT_TRUE(a.socket.bytesAvailable() == 0 && c.socket.bytesAvailable() == 0);
    // The log line keeps every byte as it is: ESC and NUL are spelled out, not lost.
    EXPECT_TRUE(velorin.attendMotif(QStringLiteral("^%1mode ECHO -> Nul/Soh/Stx/Etx/&4&").arg(Stamp)));
}

TEST_F(BoutEnBout, MuteOnlyLogs)
{
    ASSERT_TRUE(velorin.demarre(port, {QStringLiteral("mode=MODEMUET")}));
    Hote hote;
    ASSERT_TRUE(hote.connecte(port));
    hote.socket.write("\x1bV1\r");
    ASSERT_TRUE(velorin.attendMotif(QStringLiteral("^%1mode MUET recu= Esc/V1Cr/$").arg(Stamp)));
    QTest::qWait(100);
    EXPECT_EQ(hote.socket.bytesAvailable(), 0);
}

TEST_F(BoutEnBout, ChannelIsReusedAfterItsClientLeaves)
{
    ASSERT_TRUE(velorin.demarre(port, {QStringLiteral("mode=modeecho")}));
    {
        Hote parti;
        ASSERT_TRUE(parti.connecte(port));
        ASSERT_TRUE(velorin.attendLigne(QStringLiteral("port connecté sur canal 1   IP client : 127.0.0.1")));
        EXPECT_EQ(parti.echange("x", 1), QByteArray("x"));
        parti.socket.disconnectFromHost();
        // Give Velorin time to see the peer go before the next client comes.
        QTest::qWait(200);
    }
    Hote suivant;
    ASSERT_TRUE(suivant.connecte(port));
    ASSERT_TRUE(velorin.attendLigne(QStringLiteral("Liberation du canal 1")));
    ASSERT_TRUE(velorin.attendLigne(QStringLiteral("port connecté sur canal 1   IP client : 127.0.0.1")));
    EXPECT_EQ(suivant.echange("y", 1), QByteArray("y"));
}

TEST_F(BoutEnBout, AClientThatLeavesBeforeItsReplyDoesNotHurtTheServer)
{
    ASSERT_TRUE(velorin.demarre(port, {QStringLiteral("mode=modeecho")}));
    for (int i = 0; i < 20; ++i) {
        Hote fuyard;
        ASSERT_TRUE(fuyard.connecte(port));
        fuyard.socket.write(QByteArray(1000, 'z'));
        fuyard.socket.flush();
        fuyard.socket.abort();
    }
    Hote hote;
    ASSERT_TRUE(hote.connecte(port));
    EXPECT_EQ(hote.echange("encore", 6), QByteArray("encore"));
    EXPECT_EQ(velorin.processus.state(), QProcess::Running);
}

TEST_F(BoutEnBout, SigtermWarnsClientsClosesAndExitsCleanly)
{
    ASSERT_TRUE(velorin.demarre(port));
    Hote hote;
    ASSERT_TRUE(hote.connecte(port));
    ASSERT_TRUE(velorin.attendLigne(QStringLiteral("port connecté sur canal 1   IP client : 127.0.0.1")));

    ::kill(pid_t(velorin.processus.processId()), SIGTERM);
    ASSERT_TRUE(ProcessusVelorin::attend([&] {
        hote.recu += hote.socket.readAll();
        return hote.socket.state() == QAbstractSocket::UnconnectedState;
    }));
    EXPECT_EQ(hote.recu, QByteArray("ARRET du serveur en cours"));
    ASSERT_TRUE(velorin.termine());
    EXPECT_EQ(velorin.processus.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(velorin.processus.exitCode(), 0);
    const QStringList attendu = {QStringLiteral("fermeture demandée"),
                                 QStringLiteral("fermeture de la liaison n° 0  port à l'ecoute"),
                                 QStringLiteral("fermeture de la liaison n° 1  port connecté")};
    EXPECT_EQ(velorin.lignes.mid(velorin.lignes.size() - 3), attendu);
}

TEST_F(BoutEnBout, SigintEndsLikeClosingTheWindow)
{
    ASSERT_TRUE(velorin.demarre(port));
    ::kill(pid_t(velorin.processus.processId()), SIGINT);
    ASSERT_TRUE(velorin.termine());
    EXPECT_EQ(velorin.processus.exitCode(), 0);
    EXPECT_TRUE(velorin.lignes.contains(QStringLiteral("fermeture demandée")));
}

TEST_F(BoutEnBout, BadOrBusyPortEndsWithStatus1AndSaysWhy)
{
    QTcpServer occupe;
    ASSERT_TRUE(occupe.listen(QHostAddress::AnyIPv4, 0));
    const struct
    {
        QString argument;
        const char* raison;
    } cas[] = {{QStringLiteral("portip=abc"), "port TCPIP invalide"},
               {QStringLiteral("portip=70000"), "port TCPIP invalide"},
               {QStringLiteral("portip=%1").arg(occupe.serverPort()), "impossible d'ouvrir le port"}};
    for (const auto& c : cas) {
        ProcessusVelorin rate;
        rate.lance({c.argument, QStringLiteral("log=stdout")});
        ASSERT_TRUE(rate.termine()) << c.argument.toStdString();
        EXPECT_EQ(rate.processus.exitCode(), 1) << c.argument.toStdString();
        const QString erreur = QString::fromUtf8(rate.processus.readAllStandardError());
        EXPECT_TRUE(erreur.contains(QLatin1String(c.raison))) << erreur.toStdString();
        EXPECT_FALSE(rate.lignes.filter(QLatin1String(c.raison)).isEmpty());
        EXPECT_FALSE(rate.lignes.contains(QStringLiteral("en attente de communication ...")));
    }
}

// What a test rig does headless: set the flags through the control API, move, poll until there.
TEST_F(BoutEnBout, AScriptDrivesAWholeMoveThroughTheControlApi)
{
    const quint16 portControle = ProcessusVelorin::portLibre();
    ASSERT_TRUE(velorin.demarre(port, {QStringLiteral("control=%1").arg(portControle)}));
    ASSERT_TRUE(velorin.attendMotif(
        QStringLiteral("^%1 ouvre controle HTTP 127.0.0.1  port %2$").arg(Stamp).arg(portControle)));
    ClientHttp http(portControle);
    ASSERT_EQ(http.patch(R"({"Chk_HOMING_X_ok": true, "Chk_HOMING_Z_ok": true})").statut, 200);

    Hote hote;
    ASSERT_TRUE(hote.connecte(port));
    EXPECT_EQ(hote.echange("\x1b" "D10" "00012000" "00003000" "\r", 5), QByteArray("\x1b" "1Ok\r"));
    QByteArray reponse;
    ASSERT_TRUE(ProcessusVelorin::attend([&] {
        reponse = hote.echange("\x1bP1\r", 20);
        return reponse.endsWith("a\r");
    }));
    EXPECT_EQ(reponse, QByteArray("\x1b" "10001200000003000a\r"));
    EXPECT_EQ(http.get(QStringLiteral("/state")).json.value("Lbl_PosRelleX").toString(),
              QStringLiteral("00012000"));
}

TEST_F(BoutEnBout, HelpKeyWithoutADisplayGoesToStandardErrorAndStartUpGoesOn)
{
    ASSERT_TRUE(velorin.demarre(port, {QStringLiteral("/?")}));
    EXPECT_TRUE(velorin.processus.readAllStandardError().contains("velorin [PORTIP=port]"));
}

} // namespace
