#pragma once

#include "net/CoucheSocketQt.h"
#include "net/ServeurCanaux.h"
#include "sim/AnalyseurRequetes.h"
#include "sim/HorlogeDispositif.h"
#include "trace/RetardTic.h"

#include <QObject>
#include <QTimer>

class PanneauServeur;
class PanneauSimulation;

// The device behind the window: the socket array and its channel pool, the analysis of each
// received text, and the two timers. It keeps no state of its own beyond the channels: the
// simulated device's state is in the window's controls, reached through the panels.
class Appareil : public QObject
{
    Q_OBJECT

public:
    Appareil(PanneauSimulation& simulation, PanneauServeur& panneauServeur,
             QObject* parent = nullptr);
    ~Appareil() override;

    CoucheSocketQt& sockets() { return WSserveur; }
    const CoucheSocketQt& sockets() const { return WSserveur; }
    ServeurCanaux& serveur() { return serveurCanaux; }
    const ServeurCanaux& serveur() const { return serveurCanaux; }
    // How late Timer_Deplacement's ticks come in real time: the window's responsiveness under
    // load.
    RetardTic& retardDeplacement() { return retardTimerDeplacement; }
    // What drives the axis motion.
    HorlogeDispositif& horloge() { return horlogeDispositif; }
    const HorlogeDispositif& horloge() const { return horlogeDispositif; }
    quint16 portEcoute() const { return quint16(WSserveur.LocalPort(0)); }

    // The chute positions' sequence from its start, as after a start of the program.
    void reinitialise() { analyseur.reinitialise(); }

private:
    CoucheSocketQt WSserveur;
    ServeurCanaux serveurCanaux;
    AnalyseurRequetes analyseur;
    RetardTic retardTimerDeplacement{HorlogeDispositif::PeriodeMs};
    HorlogeDispositif horlogeDispositif;
    QTimer Timer1;
};
