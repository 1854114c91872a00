// Velorin in a real X server, used through it as an operator would: pointer and keyboard
// through xdotool, what is shown read from screenshots of the screen.
#include "../app/ClientHttp.h"
#include "../app/ProcessusVelorin.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <csignal>

namespace {

const QString Stamp = QStringLiteral("\\d\\d:\\d\\d:\\d\\d\\.\\d");

QString xdotool(const QStringList& arguments)
{
    QProcess outil;
    outil.start(QStringLiteral("xdotool"), arguments);
    outil.waitForFinished(10000);
    return QString::fromLatin1(outil.readAllStandardOutput()).trimmed();
}

// The scale the program is run at: 1 for a 96-dpi screen, 1.5 for 144 dpi.
class Bureau : public ::testing::TestWithParam<double>
{
protected:
    ProcessusVelorin velorin;
    quint16 port = 0;
    std::unique_ptr<ClientHttp> controle;
    QString fenetre;

    void SetUp() override
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::number(GetParam()));
        // The control API only reads here: it tells whether a click has been taken.
        ASSERT_TRUE(velorin.demarre({QStringLiteral("control=0")}, env));
        port = velorin.port;
        controle = std::make_unique<ClientHttp>(velorin.portControle());
        ASSERT_TRUE(ProcessusVelorin::attend([&] {
            fenetre =
                xdotool({"search", "--onlyvisible", "--name", "^Velorin v" VELORIN_VERSION "$"})
                    .section(QLatin1Char('\n'), 0, 0);
            return !fenetre.isEmpty();
        }));
        // Shown and painted: the message area has its colour on the screen.
        ASSERT_TRUE(attendPixel(600, 4000, 0xFFFFC0, AttenteMs));
    }

    void TearDown() override
    {
        if (HasFailure()) {
            const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
            QDir().mkpath(QStringLiteral(VELORIN_ARTEFACTS));
            ecran().save(QStringLiteral(VELORIN_ARTEFACTS "/%1-%2.png")
                             .arg(QString::fromLatin1(test->name())
                                      .replace(QLatin1Char('/'), QLatin1Char('_')))
                             .arg(GetParam()));
        }
    }

    // Where the window's client area is on the screen.
    QPoint origine()
    {
        const QStringList lignes =
            xdotool({"getwindowgeometry", "--shell", fenetre}).split(QLatin1Char('\n'));
        QPoint p;
        for (const QString& l : lignes) {
            if (l.startsWith(QLatin1String("X=")))
                p.setX(l.mid(2).toInt());
            if (l.startsWith(QLatin1String("Y=")))
                p.setY(l.mid(2).toInt());
        }
        return p;
    }
    QSize taille()
    {
        const QString sortie = xdotool({"getwindowgeometry", "--shell", fenetre});
        int l = 0, h = 0;
        for (const QString& ligne : sortie.split(QLatin1Char('\n'))) {
            if (ligne.startsWith(QLatin1String("WIDTH=")))
                l = ligne.mid(6).toInt();
            if (ligne.startsWith(QLatin1String("HEIGHT=")))
                h = ligne.mid(7).toInt();
        }
        return {l, h};
    }
    // Screen pixels of a place in the window given in twips (15 to a pixel at 96 dpi).
    QPoint ecranDe(int x, int y) { return origine() + QPoint(pixels(x), pixels(y)); }
    int pixels(int twips) const { return int(twips / 15.0 * GetParam()); }

    void clique(int x, int y)
    {
        const QPoint p = ecranDe(x, y);
        xdotool({"mousemove", QString::number(p.x()), QString::number(p.y()), "click", "1"});
        QTest::qWait(150);
    }
    // Clicks a check box and waits until the window has taken it.
    void coche(int x, int y, const char* nom)
    {
        const auto coche = [&] {
            return controle->get(QStringLiteral("/state")).json.value(QLatin1String(nom)).toBool();
        };
        for (int essai = 0; essai < 3 && !coche(); ++essai) {
            clique(x, y);
            ProcessusVelorin::attend(coche, 1000);
        }
        ASSERT_TRUE(coche()) << nom;
    }

    void touches(const QStringList& noms)
    {
        for (const QString& nom : noms)
            xdotool({"key", nom});
        QTest::qWait(150);
    }

    QImage ecran() { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); }
    QRgb pixel(int x, int y)
    {
        const QPoint p = ecranDe(x, y);
        return ecran().pixel(p) & 0xFFFFFF;
    }
    bool attendPixel(int x, int y, QRgb attendu, int ms = AttenteMs)
    {
        return ProcessusVelorin::attend([&] { return pixel(x, y) == attendu; }, ms);
    }

    // Picks a mode the way an operator does: open the list, move to the item, take it.
    void choisitMode(int rang)
    {
        clique(360 + 1000, 360 + 150);
        QStringList bas;
        for (int i = 0; i < 4; ++i)
            bas << QStringLiteral("Up");
        for (int i = 0; i < rang; ++i)
            bas << QStringLiteral("Down");
        touches(bas << QStringLiteral("Return"));
    }
};

TEST_P(Bureau, TraceSwitchShowsBothDirections)
{
    coche(2280 + 60, 0 + 120, "Chk_TraceIP");
    Hote hote;
    ASSERT_TRUE(hote.connecte(port));
    EXPECT_EQ(hote.echange("\x1bV1\r", 18), QByteArray("\0331version Velorin\r"));
    EXPECT_TRUE(velorin.attendMotif(QStringLiteral("^<1 \\(%1\\) Esc/V1Cr/$").arg(Stamp)));
    EXPECT_TRUE(velorin.attendLigne(QStringLiteral(">1 Esc/1version VelorinCr/")));
}

TEST_P(Bureau, HomingTickedByHandLetsTheAxesTravel)
{
    coche(3000 + 120 + 60, 600 + 120, "Chk_HOMING_X_ok");
    coche(3000 + 1560 + 60, 600 + 120, "Chk_HOMING_Z_ok");
    Hote hote;
    ASSERT_TRUE(hote.connecte(port));
    EXPECT_EQ(hote.echange("\033D100001200000003000\r", 5), QByteArray("\0331Ok\r"));
    QSet<QByteArray> vus;
    QByteArray reponse;
    ASSERT_TRUE(ProcessusVelorin::attend([&] {
        reponse = hote.echange("\x1bP1\r", 20);
        vus.insert(reponse.mid(2, 8));
        return reponse.endsWith("a\r");
    }));
    EXPECT_EQ(reponse, QByteArray("\03310001200000003000a\r"));
    const QSet<QByteArray> chemin = {"00000000", "00002000", "00004000", "00006000",
                                     "00008000", "00010000", "00012000"};
    EXPECT_TRUE(chemin.contains(vus)) << "only whole steps of 2000 on the way";
    EXPECT_GE(vus.size(), 3);
}

TEST_P(Bureau, TypedLaserValueIsTheNextAnswer)
{
    choisitMode(1);
    ASSERT_TRUE(attendPixel(600, 4000, 0xC0FFC0)) << "the laser mode's green";
    clique(3000 + 1800 + 300, 240 + 140);
    touches({QStringLiteral("ctrl+a")});
    xdotool({"type", "--delay", "20", "1234"});
    ASSERT_TRUE(ProcessusVelorin::attend([&] {
        return controle->get(QStringLiteral("/state")).json.value("Txt_ValeurLu").toString()
               == QLatin1String("1234");
    }));
    Hote hote;
    ASSERT_TRUE(hote.connecte(port));
    EXPECT_EQ(hote.echange("\x1bM10121\r", 9), QByteArray("/1123405\r"));
}

TEST_P(Bureau, EachModeColoursTheMessageAreaAndShowsItsFrame)
{
    const struct
    {
        int rang;
        QRgb fond;
        bool omron;
        bool lasers;
    } modes[] = {{1, 0xC0FFC0, false, true},
                 {2, 0xFFC0FF, false, false},
                 {3, 0xC0C0FF, false, false},
                 {0, 0xFFFFC0, true, false}};
    for (const auto& m : modes) {
        choisitMode(m.rang);
        EXPECT_TRUE(attendPixel(600, 4000, m.fond))
            << m.rang << " " << std::hex << pixel(600, 4000);
        // The real X position's background is only there with the PLC's frame; the laser value's
        // white box only with the lasers' frame, which takes the same place.
        EXPECT_EQ(pixel(3000 + 1560 + 40, 120 + 60) == 0xFFE0C0, m.omron) << m.rang;
        EXPECT_EQ(pixel(3000 + 1800 + 600, 240 + 140) == 0xFFFFFF, m.lasers) << m.rang;
    }
}

TEST_P(Bureau, LinkLabelTurnsGreenWhenAClientConnects)
{
    EXPECT_TRUE(attendPixel(60, 675 + 120, 0xFF0000));
    Hote hote;
    ASSERT_TRUE(hote.connecte(port));
    EXPECT_TRUE(attendPixel(60, 675 + 120, 0x00FF00, 2500));
}

TEST_P(Bureau, HelpAndClearButtons)
{
    clique(120, 120);
    EXPECT_TRUE(velorin.attendLigne(QStringLiteral("parametres d'appel:")));
    EXPECT_EQ(velorin.lignes.count(QString(80, QLatin1Char('*'))), 2);
    clique(1800 + 180, 180);
    EXPECT_TRUE(velorin.attendMotif(QStringLiteral("^%1 clear$").arg(Stamp)));
}

TEST_P(Bureau, TooSmallSpringsBack)
{
    xdotool({"windowsize", fenetre, "60", "40"});
    EXPECT_TRUE(ProcessusVelorin::attend([&] {
        const QSize s = taille();
        return s.width() >= pixels(4300) - 1 && s.height() >= pixels(2500) - 1;
    })) << taille().width()
        << "x" << taille().height();
}

TEST_P(Bureau, ExitButtonShutsDown)
{
    Hote hote;
    ASSERT_TRUE(hote.connecte(port));
    ASSERT_TRUE(velorin.attendMotif(QStringLiteral("^port connecté sur canal 1")));
    clique(5880 + 300, 360);
    ASSERT_TRUE(velorin.termine());
    EXPECT_EQ(velorin.processus.exitCode(), 0);
    EXPECT_TRUE(
        velorin.lignes.contains(QStringLiteral("fermeture de la liaison n° 1  port connecté")));
    hote.socket.waitForReadyRead(1000);
    EXPECT_EQ(hote.recu + hote.socket.readAll(), QByteArray("ARRET du serveur en cours"));
}

INSTANTIATE_TEST_SUITE_P(Echelles, Bureau, ::testing::Values(1.0, 1.5), [](const auto& echelle) {
    return echelle.param == 1.0 ? std::string("dpi96") : std::string("dpi144");
});

} // namespace
