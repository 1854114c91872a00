#include "ClientHttp.h"
#include "ProcessusVelorin.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <csignal>

namespace {

const QString Stamp = QStringLiteral("\\d\\d:\\d\\d:\\d\\d\\.\\d");

class BoutEnBout : public ::testing::Test
{
protected:
    ProcessusVelorin velorin;
};

// What a rig sees: the ready file once every port listens, and the start in the mirror, which
// is on without any key when no window can be shown, also when the rig chose the offscreen
// platform itself; and nothing from Qt on standard error.
TEST_F(BoutEnBout, ARigKnowsItServesFromItsReadyFileAndReadsItsStartOnStdout)
{
    QProcessEnvironment env = ProcessusVelorin::sansEcran();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    velorin.lance({QStringLiteral("portip=0"), QStringLiteral("READY=") + velorin.fichierPret(),
                   QStringLiteral("trace=on"), QStringLiteral("portpi=1")},
                  env);
    ASSERT_TRUE(velorin.attend([&] { return QFile::exists(velorin.fichierPret()); }));
    QFile fichier(velorin.fichierPret());
    ASSERT_TRUE(fichier.open(QIODevice::ReadOnly));
    const QJsonObject pret = QJsonDocument::fromJson(fichier.readAll()).object();
    const qint64 port = pret.value(QStringLiteral("port")).toInteger();
    EXPECT_EQ(pret.value(QStringLiteral("pid")).toInteger(), velorin.processus.processId());
    EXPECT_GT(port, 0);
    EXPECT_TRUE(pret.value(QStringLiteral("control_port")).isNull());
    EXPECT_EQ(pret.value(QStringLiteral("version")).toString(), QStringLiteral(VELORIN_VERSION));
    EXPECT_EQ(pret.value(QStringLiteral("mode")).toString(), QStringLiteral("automateOMRON"));

    ASSERT_TRUE(velorin.attendLigne(QStringLiteral("en attente de communication ...")));
    const QStringList attendu = {QStringLiteral("lecture des parametres ..."),
                                 QStringLiteral("parametre inconnu ignoré : portpi=1"),
                                 QStringLiteral("initialisation ..."),
                                 QStringLiteral("port TCPIP = %1").arg(port)};
    EXPECT_EQ(velorin.lignes.mid(0, 4), attendu);
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^%1 ouvre [0-9.]+  port %2$").arg(Stamp).arg(port))
            .match(velorin.lignes.value(4))
            .hasMatch());
    EXPECT_EQ(velorin.lignes.value(5), QStringLiteral("en attente de communication ..."));

    // TRACE=ON ticked "flux IP": the request is traced.
    Hote hote;
    ASSERT_TRUE(hote.connecte(quint16(port)));
    EXPECT_EQ(hote.echange("\x1bV1\r", 18), QByteArray("\0331version Velorin\r"));
    EXPECT_TRUE(velorin.attendMotif(QStringLiteral("^<1 \\(%1\\) Esc/V1Cr/$").arg(Stamp)));
    ::kill(pid_t(velorin.processus.processId()), SIGTERM);
    ASSERT_TRUE(velorin.termine());
    EXPECT_EQ(velorin.processus.readAllStandardError(), QByteArray());
}

TEST_F(BoutEnBout, PlcAnswersAndMovesItsAxesOverRealTcp)
{
    ASSERT_TRUE(velorin.demarre());
    Hote hote;
    ASSERT_TRUE(hote.connecte(velorin.port));
    ASSERT_TRUE(
        velorin.attendLigne(QStringLiteral("port connecté sur canal 1   IP client : 127.0.0.1")));

    EXPECT_EQ(hote.echange("\x1bP1\r", 20), QByteArray("\03310000000000000000a\r"));
    EXPECT_TRUE(
        velorin.attendMotif(QStringLiteral("^%1 demande position --> 0 / 0 a$").arg(Stamp)));
    EXPECT_EQ(hote.echange("\x1bV1\r", 18), QByteArray("\0331version Velorin\r"));
    // Without homing, a move to a non-zero place is refused but stands.
    EXPECT_EQ(hote.echange("\033D100001200000003000\r", 10), QByteArray("\0331POM NOk\r"));
    EXPECT_EQ(hote.echange("\x1bP1\r", 20), QByteArray("\03310000000000000000d\r"));
}

TEST_F(BoutEnBout, StdoutCarriesEveryByteOfALogLine)
{
    ASSERT_TRUE(velorin.demarre());
    Hote hote;
    ASSERT_TRUE(hote.connecte(velorin.port));
    EXPECT_EQ(hote.echange(QByteArray("\x1bM1\0\x1b\r", 6), 4), QByteArray("\0331Ok\r"));
    ASSERT_TRUE(velorin.attendMotif(QStringLiteral(" demande JOG ")));
    const QString ligne = velorin.lignes.filter(QStringLiteral(" demande JOG ")).first();
    EXPECT_TRUE(ligne.endsWith(QStringLiteral(" demande JOG ") + QChar(0) + QChar(27) + QChar(13)
                               + QStringLiteral("  --> Ok")))
        << ligne.toStdString();
}

TEST_F(BoutEnBout, LaserModuleAnswersChecksummedFrames)
{
    ASSERT_TRUE(velorin.demarre({QStringLiteral("mode=moduleLASERS")}));
    Hote hote;
    ASSERT_TRUE(hote.connecte(velorin.port));
    EXPECT_EQ(hote.echange("\x1bM10121\r", 9), QByteArray("/105000A\r"));
    EXPECT_EQ(hote.echange("\x1bV179\r", 37), QByteArray("/1version Simulation module Lasers54\r"));
    EXPECT_TRUE(
        velorin.attendMotif(QStringLiteral("^%1 lecture mesure laser n° 1 -> 10500$").arg(Stamp)));
}

TEST_F(BoutEnBout, EchoSendsEveryByteBackOnItsOwnChannel)
{
    ASSERT_TRUE(velorin.demarre({QStringLiteral("mode=modeecho")}));
    QByteArray tous;
    for (int c = 0; c < 256; ++c)
        tous += char(c);
    Hote a, b, c;
    ASSERT_TRUE(a.connecte(velorin.port));
    ASSERT_TRUE(b.connecte(velorin.port));
    ASSERT_TRUE(c.connecte(velorin.port));
    ASSERT_TRUE(
        velorin.attendLigne(QStringLiteral("port connecté sur canal 3   IP client : 127.0.0.1")));
    EXPECT_EQ(b.echange("deux", 4), QByteArray("deux"));
    EXPECT_EQ(a.echange(tous, 256), tous);
    EXPECT_EQ(c.echange("trois", 5), QByteArray("trois"));
    EXPECT_TRUE(a.socket.bytesAvailable() == 0 && c.socket.bytesAvailable() == 0);
    // The log line keeps every byte as it is: ESC and NUL are spelled out, not lost.
    EXPECT_TRUE(
        velorin.attendMotif(QStringLiteral("^%1mode ECHO -> Nul/Soh/Stx/Etx/&4&").arg(Stamp)));
}

TEST_F(BoutEnBout, MuteOnlyLogs)
{
    ASSERT_TRUE(velorin.demarre({QStringLiteral("mode=MODEMUET")}));
    Hote hote;
    ASSERT_TRUE(hote.connecte(velorin.port));
    hote.socket.write("\x1bV1\r");
    ASSERT_TRUE(velorin.attendMotif(QStringLiteral("^%1mode MUET recu= Esc/V1Cr/$").arg(Stamp)));
    // A reply would have been sent before the line was written out: it would be here by now.
    QCoreApplication::processEvents();
    EXPECT_EQ(hote.socket.bytesAvailable(), 0);
}

TEST_F(BoutEnBout, ChannelIsReusedAfterItsClientLeaves)
{
    ASSERT_TRUE(velorin.demarre({QStringLiteral("mode=modeecho"), QStringLiteral("control=0")}));
    ClientHttp http(velorin.portControle());
    {
        Hote parti;
        ASSERT_TRUE(parti.connecte(velorin.port));
        ASSERT_TRUE(velorin.attendLigne(
            QStringLiteral("port connecté sur canal 1   IP client : 127.0.0.1")));
        EXPECT_EQ(parti.echange("x", 1), QByteArray("x"));
        parti.socket.disconnectFromHost();
        // Velorin has seen the peer go before the next client comes.
        ASSERT_TRUE(velorin.attend([&] {
            const QJsonArray canaux =
                http.get(QStringLiteral("/channels")).json.value("channels").toArray();
            return !canaux.isEmpty()
                   && canaux.at(0).toObject().value("state").toInt() == 8; // the client has gone
        }));
    }
    Hote suivant;
    ASSERT_TRUE(suivant.connecte(velorin.port));
    ASSERT_TRUE(velorin.attendLigne(QStringLiteral("Liberation du canal 1")));
    ASSERT_TRUE(
        velorin.attendLigne(QStringLiteral("port connecté sur canal 1   IP client : 127.0.0.1")));
    EXPECT_EQ(suivant.echange("y", 1), QByteArray("y"));
}

TEST_F(BoutEnBout, AClientThatLeavesBeforeItsReplyDoesNotHurtTheServer)
{
    ASSERT_TRUE(velorin.demarre({QStringLiteral("mode=modeecho")}));
    for (int i = 0; i < 20; ++i) {
        Hote fuyard;
        ASSERT_TRUE(fuyard.connecte(velorin.port));
        fuyard.socket.write(QByteArray(1000, 'z'));
        fuyard.socket.flush();
        fuyard.socket.abort();
    }
    Hote hote;
    ASSERT_TRUE(hote.connecte(velorin.port));
    EXPECT_EQ(hote.echange("encore", 6), QByteArray("encore"));
    EXPECT_EQ(velorin.processus.state(), QProcess::Running);
}

TEST_F(BoutEnBout, SigtermWarnsClientsClosesAndExitsCleanly)
{
    ASSERT_TRUE(velorin.demarre());
    Hote hote;
    ASSERT_TRUE(hote.connecte(velorin.port));
    ASSERT_TRUE(
        velorin.attendLigne(QStringLiteral("port connecté sur canal 1   IP client : 127.0.0.1")));

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

TEST(BoutEnBoutSignaux, SigintAndSighupEndLikeClosingTheWindow)
{
    for (int signal : {SIGINT, SIGHUP}) {
        ProcessusVelorin velorin;
        ASSERT_TRUE(velorin.demarre());
        ::kill(pid_t(velorin.processus.processId()), signal);
        ASSERT_TRUE(velorin.termine()) << signal;
        EXPECT_EQ(velorin.processus.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(velorin.processus.exitCode(), 0) << signal;
        EXPECT_TRUE(velorin.lignes.contains(QStringLiteral("fermeture demandée"))) << signal;
    }
}

// Whatever stops the start, the rig is told why on standard error, the status is 1, and no
// ready file appears, not even one an earlier run left there.
TEST_F(BoutEnBout, AStartThatFailsEndsWithStatus1SaysWhyAndWritesNoReadyFile)
{
    QTcpServer occupe;
    ASSERT_TRUE(occupe.listen(QHostAddress::AnyIPv4, 0));
    const QString absent = velorin.dossier.filePath(QStringLiteral("absent/x"));
    // Each reason names the key to mend, as the operator typed it.
    const struct
    {
        QStringList arguments;
        const char* raison;
    } cas[] = {
        {{QStringLiteral("portip=abc")}, "port PORTIP invalide"},
        {{QStringLiteral("portip=70000")}, "port PORTIP invalide"},
        {{QStringLiteral("portip=%1").arg(occupe.serverPort())},
         "impossible d'ouvrir le port PORTIP"},
        {{QStringLiteral("portip=0"), QStringLiteral("bind=ici")},
         "adresse d'écoute BIND invalide"},
        {{QStringLiteral("portip=0"), QStringLiteral("control=x")},
         "port de controle CONTROL invalide"},
        {{QStringLiteral("portip=0"), QStringLiteral("control=0"),
          QStringLiteral("control_bind=ici")},
         "adresse de controle CONTROL_BIND invalide"},
        // Reached from other machines, the control API drives the device: not without a token.
        {{QStringLiteral("portip=0"), QStringLiteral("control=0"),
          QStringLiteral("control_bind=0.0.0.0")},
         "CONTROL_BIND 0.0.0.0 hors de la boucle locale sans jeton"},
        {{QStringLiteral("portip=0"), QStringLiteral("control=0"),
          QStringLiteral("control_token_file=") + absent},
         "fichier de jeton CONTROL_TOKEN_FILE illisible"},
        {{QStringLiteral("portip=0"), QStringLiteral("control=0"),
          QStringLiteral("control_hosts=a,,b")},
         "noms de controle CONTROL_HOSTS invalides"},
        {{QStringLiteral("portip=0"), QStringLiteral("log=") + absent},
         "impossible d'ouvrir le fichier LOG"},
        {{QStringLiteral("portip=0"), QStringLiteral("ready=") + absent},
         "fichier READY inutilisable"},
        {{QStringLiteral("portip=0"), QStringLiteral("clock=x-1")}, "horloge CLOCK invalide"},
        {{QStringLiteral("portip=0"), QStringLiteral("seed=x")}, "graine SEED invalide"},
        // One bound for seeds wherever they are given: a JSON number holds no more.
        {{QStringLiteral("portip=0"), QStringLiteral("seed=9007199254740993")},
         "graine SEED invalide"},
        {{QStringLiteral("portip=0"), QStringLiteral("seed=+5")}, "graine SEED invalide"},
        // The one host:port grammar, as velorin-rejoue reads it.
        {{QStringLiteral("portip=0"), QStringLiteral("proxy=127.0.0.1:+80")},
         "adresse PROXY invalide"},
        {{QStringLiteral("portip=0"), QStringLiteral("framing=lf")}, "découpage FRAMING invalide"},
        {{QStringLiteral("portip=0"), QStringLiteral("scenario=") + absent},
         "scénario SCENARIO invalide"},
        {{QStringLiteral("portip=0"), QStringLiteral("journal=") + absent},
         "impossible d'ouvrir le fichier JOURNAL"},
        {{QStringLiteral("portip=0"), QStringLiteral("playback=") + absent},
         "journal PLAYBACK invalide"},
    };
    for (const auto& c : cas) {
        ProcessusVelorin rate;
        const bool pretAilleurs =
            c.arguments.join(QLatin1Char(' ')).contains(QLatin1String("ready="));
        QStringList arguments = c.arguments + QStringList{QStringLiteral("log=stdout")};
        if (!pretAilleurs) {
            QFile ancien(rate.fichierPret());
            ASSERT_TRUE(ancien.open(QIODevice::WriteOnly));
            arguments << QStringLiteral("ready=") + rate.fichierPret();
        }
        rate.lance(arguments);
        const std::string nom = c.arguments.join(QLatin1Char(' ')).toStdString();
        ASSERT_TRUE(rate.termine()) << nom;
        EXPECT_EQ(rate.processus.exitCode(), 1) << nom;
        const QString erreur = QString::fromUtf8(rate.processus.readAllStandardError());
        EXPECT_TRUE(erreur.contains(QString::fromUtf8(c.raison))) << nom << erreur.toStdString();
        EXPECT_FALSE(QFile::exists(rate.fichierPret())) << nom;
    }
}

// A rig in a container reaches the device over IPv6 and the control API from outside, which
// takes a token; the latter is said in the log, once.
TEST_F(BoutEnBout, BindChoosesTheAddressesAndAnOpenControlApiIsSaid)
{
    if (!QTcpServer().listen(QHostAddress::LocalHostIPv6, 0))
        GTEST_SKIP() << "no IPv6 loopback here";
    ASSERT_TRUE(velorin.demarre({QStringLiteral("bind=::1"), QStringLiteral("control=0"),
                                 QStringLiteral("control_bind=0.0.0.0"),
                                 QStringLiteral("control_token=s3cret")}));
    EXPECT_TRUE(velorin.attendMotif(
        QStringLiteral("^%1 ouvre ::1  port %2$").arg(Stamp).arg(velorin.port)));
    EXPECT_EQ(
        velorin.lignes.filter(QStringLiteral("attention : le controle HTTP écoute sur 0.0.0.0"))
            .size(),
        1);
    QTcpSocket v6;
    v6.connectToHost(QHostAddress::LocalHostIPv6, velorin.port);
    EXPECT_TRUE(velorin.attend([&] { return v6.state() == QAbstractSocket::ConnectedState; }));
    // The same number on IPv4 is free for any other program to take (tests run side by side):
    // what matters is that this connection never reaches Velorin.
    QTcpSocket v4;
    v4.connectToHost(QHostAddress::LocalHost, velorin.port);
    EXPECT_TRUE(velorin.attend([&] {
        return v4.state() == QAbstractSocket::UnconnectedState
               || v4.state() == QAbstractSocket::ConnectedState;
    }));
    ClientHttp http(velorin.portControle(), "s3cret");
    EXPECT_EQ(http.get(QStringLiteral("/health")).json.value("port").toInt(), velorin.port);
    const auto canaux = [&] {
        return http.get(QStringLiteral("/channels")).json.value("channels").toArray().size();
    };
    EXPECT_TRUE(velorin.attend([&] { return canaux() >= 1; }));
    EXPECT_EQ(canaux(), 1);
}

// LOG=file appends the session to the file, and stdout stays silent.
TEST_F(BoutEnBout, LogToAFileAppends)
{
    const QString chemin = velorin.dossier.filePath(QStringLiteral("session.log"));
    QFile fichier(chemin);
    ASSERT_TRUE(fichier.open(QIODevice::WriteOnly));
    fichier.write("avant\n");
    fichier.close();
    velorin.lance({QStringLiteral("portip=0"), QStringLiteral("log=") + chemin,
                   QStringLiteral("ready=") + velorin.fichierPret()});
    ASSERT_TRUE(velorin.attend([&] { return QFile::exists(velorin.fichierPret()); }));
    ::kill(pid_t(velorin.processus.processId()), SIGTERM);
    ASSERT_TRUE(velorin.termine());
    ASSERT_TRUE(fichier.open(QIODevice::ReadOnly));
    const QList<QByteArray> lignes = fichier.readAll().split('\n');
    EXPECT_EQ(lignes.value(0), "avant");
    EXPECT_EQ(lignes.value(1), "lecture des parametres ...");
    EXPECT_TRUE(lignes.contains("fermeture demandée"));
    EXPECT_TRUE(velorin.lignes.isEmpty());
}

// What a test rig does headless: set the flags through the control API, move, poll until there.
TEST_F(BoutEnBout, AScriptDrivesAWholeMoveThroughTheControlApi)
{
    ASSERT_TRUE(velorin.demarre({QStringLiteral("control=0")}));
    ASSERT_TRUE(velorin.attendMotif(QStringLiteral("^%1 ouvre controle HTTP 127.0.0.1  port %2$")
                                        .arg(Stamp)
                                        .arg(velorin.portControle())));
    ClientHttp http(velorin.portControle());
    const QJsonObject sante = http.get(QStringLiteral("/health")).json;
    EXPECT_EQ(sante.value("pid").toInteger(), velorin.processus.processId());
    EXPECT_EQ(sante.value("port").toInt(), velorin.port);
    EXPECT_EQ(sante.value("mode").toString(), QStringLiteral("automateOMRON"));
    ASSERT_EQ(http.patch(R"({"Chk_HOMING_X_ok": true, "Chk_HOMING_Z_ok": true})").statut, 200);

    Hote hote;
    ASSERT_TRUE(hote.connecte(velorin.port));
    EXPECT_EQ(hote.echange("\033D100001200000003000\r", 5), QByteArray("\0331Ok\r"));
    QByteArray reponse;
    ASSERT_TRUE(ProcessusVelorin::attend([&] {
        reponse = hote.echange("\x1bP1\r", 20);
        return reponse.endsWith("a\r");
    }));
    EXPECT_EQ(reponse, QByteArray("\03310001200000003000a\r"));
    EXPECT_EQ(http.get(QStringLiteral("/state")).json.value("Lbl_PosRelleX").toString(),
              QStringLiteral("00012000"));
}

// With the stepped clock, a headless test brings both axes to their demands in one call, then
// steps an exact sequence tick by tick.
TEST_F(BoutEnBout, OneCallBringsTheAxesToTheirDemandsAndStepsAreExact)
{
    ASSERT_TRUE(velorin.demarre({QStringLiteral("control=0"), QStringLiteral("clock=step")}));
    ClientHttp http(velorin.portControle());
    ASSERT_EQ(http.patch(R"({"Chk_HOMING_X_ok": true, "Chk_HOMING_Z_ok": true})").statut, 200);
    Hote hote;
    ASSERT_TRUE(hote.connecte(velorin.port));
    EXPECT_EQ(hote.echange("\033D1000012000-0003000\r", 5), QByteArray("\0331Ok\r"));
    const QJsonObject arrivee = http.envoie("POST", QStringLiteral("/clock/advance"),
                                            R"({"until": "arrived", "max_ms": 60000})")
                                    .json;
    EXPECT_TRUE(arrivee.value("arrived").toBool());
    EXPECT_EQ(arrivee.value("ticks_run").toInt(), 6);
    EXPECT_EQ(hote.echange("\x1bP1\r", 20), QByteArray("\033100012000000-3000a\r"));

    EXPECT_EQ(hote.echange("\033D1000000000-0003000\r", 5), QByteArray("\0331Ok\r"));
    const QJsonObject unTic =
        http.envoie("POST", QStringLiteral("/clock/advance"), R"({"ms": 100})").json;
    EXPECT_EQ(unTic.value("Lbl_PosRelleX").toString(), QStringLiteral("10000"));
    EXPECT_EQ(unTic.value("ticks").toInt(), 7);
    EXPECT_EQ(hote.echange("\x1bP1\r", 20), QByteArray("\033100010000000-3000c\r"));
    EXPECT_TRUE(velorin.attendMotif(QStringLiteral("^%1 horloge : pas à pas$").arg(Stamp)));
}

TEST_F(BoutEnBout, HelpKeyWithoutADisplayGoesToStandardErrorAndStartUpGoesOn)
{
    ASSERT_TRUE(velorin.demarre({QStringLiteral("/?")}));
    QByteArray erreur;
    EXPECT_TRUE(velorin.attend([&] {
        erreur += velorin.processus.readAllStandardError();
        return erreur.contains("velorin [PORTIP=port]");
    }));
}

// Without a display the program is no GUI at all: no platform plugin is loaded, whichever way
// the offscreen platform was chosen, and it serves all the same.
TEST_F(BoutEnBout, WithoutADisplayNoGuiIsLoaded)
{
    const struct
    {
        const char* nom;
        QStringList arguments;
        bool platformeDansEnv;
    } cas[] = {
        {"no display at all", {}, false},
        {"QT_QPA_PLATFORM=offscreen", {}, true},
        {"-platform minimal", {QStringLiteral("-platform"), QStringLiteral("minimal")}, false},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.nom);
        ProcessusVelorin v;
        QProcessEnvironment env = ProcessusVelorin::sansEcran();
        if (c.platformeDansEnv)
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        ASSERT_TRUE(v.demarre(c.arguments, env));
        QFile carte(QStringLiteral("/proc/%1/maps").arg(v.processus.processId()));
        ASSERT_TRUE(carte.open(QIODevice::ReadOnly));
        const QByteArray projections = carte.readAll();
        EXPECT_FALSE(projections.contains("/platforms/libq")) << "a platform plugin is loaded";
        EXPECT_FALSE(projections.contains("libQt6XcbQpa"));
        Hote hote;
        ASSERT_TRUE(hote.connecte(v.port));
        EXPECT_EQ(hote.echange("\x1bV1\r", 18), QByteArray("\0331version Velorin\r"));
        EXPECT_FALSE(v.lignes.contains(QStringLiteral("parametre inconnu ignoré : -platform")));
    }
}

} // namespace
