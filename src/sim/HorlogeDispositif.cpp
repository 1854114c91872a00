#include "HorlogeDispositif.h"

#include <algorithm>
#include <cmath>

namespace {

// In scaled mode one timer event runs at most this many ticks, so that the window keeps
// answering; the rest follow at the next event, since device time goes on.
constexpr qint64 TicsMaxParEvenement = 10000;

} // namespace

HorlogeDispositif::HorlogeDispositif(std::function<void()> tic_, std::function<void()> ticReel_,
                                     QObject* parent)
    : QObject(parent), tic(std::move(tic_)), ticReel(std::move(ticReel_))
{
    Timer_Deplacement.setObjectName(QStringLiteral("Timer_Deplacement"));
    connect(&Timer_Deplacement, &QTimer::timeout, this, &HorlogeDispositif::rattrape);
    depuisBase.start();
    Timer_Deplacement.setInterval(PeriodeMs);
    Timer_Deplacement.start();
}

double HorlogeDispositif::tempsMs() const
{
    if (modeCourant == Mode::Echelle && facteurCourant > 0)
        return base + double(depuisBase.nsecsElapsed()) / 1e6 * facteurCourant;
    return base;
}

void HorlogeDispositif::tempsReel()
{
    regle(Mode::Reel, 1);
}

void HorlogeDispositif::echelle(double facteur)
{
    regle(facteur == 1 ? Mode::Reel : Mode::Echelle, facteur);
}

void HorlogeDispositif::pasAPas()
{
    regle(Mode::PasAPas, 0);
}

void HorlogeDispositif::remetAZero()
{
    nombreTics = 0;
    base = 0;
    depuisBase.restart();
}

void HorlogeDispositif::regle(Mode mode, double facteur)
{
    if (mode == modeCourant && facteur == facteurCourant)
        return;
    base = tempsMs();
    depuisBase.restart();
    modeCourant = mode;
    facteurCourant = facteur;
    Timer_Deplacement.stop();
    if (mode == Mode::Reel) {
        // As the window always had it: one tick per 100 ms timer event.
        Timer_Deplacement.setTimerType(Qt::CoarseTimer);
        Timer_Deplacement.setInterval(PeriodeMs);
        Timer_Deplacement.start();
    } else if (mode == Mode::Echelle && facteur > 0) {
        Timer_Deplacement.setTimerType(Qt::PreciseTimer);
        Timer_Deplacement.setInterval(
            std::clamp(int(std::lround(PeriodeMs / facteur)), 1, PeriodeMs));
        Timer_Deplacement.start();
    }
    emit changement();
}

void HorlogeDispositif::rattrape()
{
    if (modeCourant == Mode::Reel) {
        if (ticReel)
            ticReel();
        base += PeriodeMs;
    }
    const double temps = tempsMs();
    for (qint64 n = 0; n < TicsMaxParEvenement && prochainTic() <= temps; ++n)
        unTic();
    placeA(temps);
}

double HorlogeDispositif::prochainTic() const
{
    return double(nombreTics + 1) * PeriodeMs;
}

// A tick sees device time at the moment it falls on.
void HorlogeDispositif::unTic()
{
    placeA(prochainTic());
    ++nombreTics;
    tic();
}

void HorlogeDispositif::placeA(double temps)
{
    base += temps - tempsMs();
}

qint64 HorlogeDispositif::avance(double ms)
{
    const double cible = tempsMs() + ms;
    const qint64 avant = nombreTics;
    while (prochainTic() <= cible)
        unTic();
    placeA(cible);
    return nombreTics - avant;
}

HorlogeDispositif::Avancee HorlogeDispositif::avanceJusqua(const std::function<bool()>& arrive,
                                                           double maxMs)
{
    const double cible = tempsMs() + maxMs;
    const qint64 avant = nombreTics;
    while (!arrive()) {
        if (prochainTic() > cible) {
            placeA(cible);
            return {nombreTics - avant, false};
        }
        unTic();
    }
    // Device time stops on the tick that arrived.
    if (nombreTics > avant)
        placeA(double(nombreTics) * PeriodeMs);
    return {nombreTics - avant, true};
}

QString HorlogeDispositif::description() const
{
    switch (modeCourant) {
    case Mode::Reel: return QStringLiteral("temps réel");
    case Mode::PasAPas: return QStringLiteral("pas à pas");
    case Mode::Echelle: break;
    }
    return facteurCourant == 0 ? QStringLiteral("en pause")
                               : QStringLiteral("x") + QString::number(facteurCourant);
}

std::optional<std::pair<HorlogeDispositif::Mode, double>>
HorlogeDispositif::lit(const QString& valeur)
{
    const QString v = valeur.toUpper();
    if (v == QLatin1String("REAL"))
        return std::pair{Mode::Reel, 1.0};
    if (v == QLatin1String("STEP"))
        return std::pair{Mode::PasAPas, 0.0};
    if (!v.startsWith(QLatin1Char('X')))
        return std::nullopt;
    bool ok = false;
    const double facteur = v.mid(1).toDouble(&ok);
    if (!ok || !std::isfinite(facteur) || facteur < 0 || facteur > FacteurMax)
        return std::nullopt;
    return std::pair{facteur == 1 ? Mode::Reel : Mode::Echelle, facteur};
}
