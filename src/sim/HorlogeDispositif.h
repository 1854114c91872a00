#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

// The device's clock: what drives the axis motion, the only tick that changes the device. It
// runs in real time (a 100 ms timer, as the window always had), scaled (x factor, 0 pausing
// it), or stepped (no tick until asked). Device time is counted in ms from the start; a tick
// falls on every multiple of 100 ms of it, so k ticks leave the axes where k ticks leave them,
// whatever drove them. Log time stamps stay wall-clock time.
class HorlogeDispositif : public QObject
{
    Q_OBJECT

public:
    static constexpr int PeriodeMs = 100;
    static constexpr double FacteurMax = 10000;
    // The most device time one request may ask to run.
    static constexpr double AvanceMaxMs = 24.0 * 3600 * 1000;

    enum class Mode { Reel, Echelle, PasAPas };

    // `tic` is one tick of the axis motion; `ticReel` is told of each real-time timer event
    // first (to measure how late it came).
    HorlogeDispositif(std::function<void()> tic, std::function<void()> ticReel = {},
                      QObject* parent = nullptr);

    void tempsReel();
    // Any factor from 0 (paused) to FacteurMax; 1 is real time.
    void echelle(double facteur);
    void pasAPas();
    // Device time and the tick count back to 0, the mode kept.
    void remetAZero();

    Mode mode() const { return modeCourant; }
    double facteur() const { return modeCourant == Mode::PasAPas ? 0.0 : facteurCourant; }
    qint64 tics() const { return nombreTics; }
    double tempsMs() const;

    // Runs the ticks that fall within `ms` of device time, before it returns (what is left of
    // a period is carried to the next call); the number of ticks run.
    qint64 avance(double ms);
    // Ticks one by one until `arrive` holds (checked before each) or `maxMs` of device time have
    // gone; the ticks run and whether it arrived.
    struct Avancee
    {
        qint64 tics;
        bool arrive;
    };
    Avancee avanceJusqua(const std::function<bool()>& arrive, double maxMs);

    // How it runs, in the log's words: "temps réel", "x100", "en pause", "pas à pas".
    QString description() const;
    // The same read from a command-line value (REAL, STEP, X<factor>), or nothing.
    static std::optional<std::pair<Mode, double>> lit(const QString& valeur);

signals:
    // The mode or the factor changed.
    void changement();

private:
    void regle(Mode mode, double facteur);
    void rattrape();
    double prochainTic() const;
    void unTic();
    // Sets device time, whatever the mode.
    void placeA(double temps);

    std::function<void()> tic;
    std::function<void()> ticReel;
    Mode modeCourant = Mode::Reel;
    double facteurCourant = 1;
    qint64 nombreTics = 0;
    double base = 0;          // device time at the last rebase
    QElapsedTimer depuisBase; // real time since then (scaled mode)
    QTimer Timer_Deplacement; // real time and scaled mode
};
