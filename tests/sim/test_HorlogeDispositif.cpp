#include "sim/HorlogeDispositif.h"
#include "sim/MouvementAxes.h"
#include "support/PanneauFactice.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

namespace {

using Positions = std::pair<QString, QString>;

// A PLC asked to move X to 12000 and Z to -3000, and the clock that drives its axes, with the
// positions after each tick.
struct Banc
{
    PanneauFactice panneau;
    QList<Positions> apresChaqueTic;
    HorlogeDispositif horloge{[this] {
        Timer_Deplacement_Timer(panneau);
        apresChaqueTic << Positions{panneau.posRelleX, panneau.posRelleZ};
    }};

    explicit Banc(bool homes = true)
    {
        panneau.homingX = panneau.homingZ = homes;
        panneau.posDemX = QStringLiteral("00012000");
        panneau.posDemZ = QStringLiteral("-0003000");
    }
};

bool attendre(const std::function<bool()>& condition)
{
    const QDeadlineTimer limite(60000);
    while (!condition() && !limite.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    return condition();
}

// Runs the event loop for as many periods of a real 100 ms timer.
void laissePasser(int periodes)
{
    int vues = 0;
    QTimer reference;
    QObject::connect(&reference, &QTimer::timeout, [&] { ++vues; });
    reference.start(HorlogeDispositif::PeriodeMs);
    attendre([&] { return vues >= periodes; });
}

const QList<Positions> Trajet = {
    {"2000", "-1500"},     {"4000", "-0003000"},     {"6000", "-0003000"},     {"8000", "-0003000"},
    {"10000", "-0003000"}, {"00012000", "-0003000"}, {"00012000", "-0003000"},
};

// The tick is the same whatever drives it: real time, x50 and stepping leave the axes at the
// same places after each tick.
TEST(HorlogeDispositif, EveryModeGivesTheSamePositionsTickByTick)
{
    const auto sept = [](const QList<Positions>& p) { return p.mid(0, 7); };
    Banc reel;
    ASSERT_TRUE(attendre([&] { return reel.horloge.tics() >= 7; }));
    EXPECT_EQ(sept(reel.apresChaqueTic), Trajet);

    Banc rapide;
    rapide.horloge.echelle(50);
    ASSERT_TRUE(attendre([&] { return rapide.horloge.tics() >= 7; }));
    EXPECT_EQ(sept(rapide.apresChaqueTic), Trajet);

    Banc pas;
    pas.horloge.pasAPas();
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(pas.horloge.avance(HorlogeDispositif::PeriodeMs), 1);
    EXPECT_EQ(pas.apresChaqueTic, Trajet);
    EXPECT_EQ(pas.horloge.tempsMs(), 700);
}

// Stepped or paused, no tick comes on its own; what is asked runs before the call returns.
TEST(HorlogeDispositif, SteppedAndPausedClocksOnlyTickWhenAsked)
{
    for (bool enPause : {false, true}) {
        Banc b;
        if (enPause)
            b.horloge.echelle(0);
        else
            b.horloge.pasAPas();
        laissePasser(3);
        EXPECT_EQ(b.horloge.tics(), 0) << enPause;
        EXPECT_EQ(b.horloge.avance(250), 2) << enPause;
        EXPECT_EQ(b.panneau.posRelleX, QStringLiteral("4000")) << enPause;
    }
}

// What is left of a period is carried to the next call, never lost nor counted twice.
TEST(HorlogeDispositif, RemaindersAreCarried)
{
    const struct
    {
        QList<double> pas;
        qint64 tics;
    } cas[] = {
        {{50, 50}, 1}, {{30, 30, 30, 10}, 1}, {{99.5, 0.5}, 1}, {{0, 0}, 0}, {{250, 50}, 3},
    };
    for (const auto& c : cas) {
        Banc b;
        b.horloge.pasAPas();
        qint64 tics = 0;
        for (double ms : c.pas)
            tics += b.horloge.avance(ms);
        EXPECT_EQ(tics, c.tics);
        EXPECT_EQ(b.horloge.tics(), c.tics);
    }
}

// "until arrived" stops on the tick that arrives, or at the limit of device time.
TEST(HorlogeDispositif, UntilArrivedStopsAtArrivalOrAtTheLimit)
{
    Banc b;
    b.horloge.pasAPas();
    const auto arrive = [&] { return axesEnPosition(b.panneau).tous(); };
    const auto loin = b.horloge.avanceJusqua(arrive, 250);
    EXPECT_EQ(loin.tics, 2);
    EXPECT_FALSE(loin.arrive);
    EXPECT_EQ(b.horloge.tempsMs(), 250);

    const auto la = b.horloge.avanceJusqua(arrive, HorlogeDispositif::AvanceMaxMs);
    EXPECT_EQ(la.tics, 4);
    EXPECT_TRUE(la.arrive);
    EXPECT_EQ(b.horloge.tempsMs(), 600) << "device time stops on the tick that arrived";
    EXPECT_EQ(b.horloge.avanceJusqua(arrive, 1000).tics, 0) << "already there";
}

// An axis that is not homed never moves, whatever drives the clock.
TEST(HorlogeDispositif, UnhomedAxesNeverMove)
{
    Banc reel(false);
    ASSERT_TRUE(attendre([&] { return reel.horloge.tics() >= 3; }));
    Banc rapide(false);
    rapide.horloge.echelle(1000);
    ASSERT_TRUE(attendre([&] { return rapide.horloge.tics() >= 50; }));
    Banc pas(false);
    pas.horloge.pasAPas();
    const auto jusqua =
        pas.horloge.avanceJusqua([&] { return axesEnPosition(pas.panneau).tous(); }, 5000);
    EXPECT_EQ(jusqua.tics, 50);
    EXPECT_FALSE(jusqua.arrive);
    for (Banc* b : {&reel, &rapide, &pas}) {
        EXPECT_EQ(b->panneau.posRelleX, QStringLiteral("0"));
        EXPECT_EQ(b->panneau.posRelleZ, QStringLiteral("0"));
    }
}

TEST(HorlogeDispositif, CommandLineValues)
{
    using M = HorlogeDispositif::Mode;
    const struct
    {
        const char* valeur;
        std::optional<std::pair<M, double>> attendu;
    } cas[] = {
        {"REAL", std::pair{M::Reel, 1.0}},
        {"step", std::pair{M::PasAPas, 0.0}},
        {"x10", std::pair{M::Echelle, 10.0}},
        {"X0", std::pair{M::Echelle, 0.0}},
        {"x1", std::pair{M::Reel, 1.0}},
        {"x0.5", std::pair{M::Echelle, 0.5}},
        {"x10000", std::pair{M::Echelle, 10000.0}},
        {"x10001", std::nullopt},
        {"x-1", std::nullopt},
        {"xnan", std::nullopt},
        {"xinf", std::nullopt},
        {"x", std::nullopt},
        {"10", std::nullopt},
        {"", std::nullopt},
        {"fast", std::nullopt},
    };
    for (const auto& c : cas)
        EXPECT_EQ(HorlogeDispositif::lit(QLatin1String(c.valeur)), c.attendu) << c.valeur;
}

} // namespace
