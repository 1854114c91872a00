#pragma once

#include "net/CoucheSocketEpoll.h"
#include "net/Planificateur.h"
#include "net/RelaisAmont.h"
#include "net/ServeurCanaux.h"
#include "sim/AnalyseurRequetes.h"
#include "sim/HomingAutomatique.h"
#include "sim/HorlogeDispositif.h"
#include "sim/MoteurDefauts.h"
#include "sim/ReponsesEnregistrees.h"
#include "trace/Horloge.h"
#include "trace/RetardTic.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

class PanneauServeur;
class PanneauSimulation;

// The device that serves: the socket array and its channel pool, the analysis of each received
// text, the clock of the axis motion and the timer of the link label, and what a test may make
// the device do beside (faults, homing by itself, requests gathered up to CR). The simulated
// device's state is its model's (EtatAppareil), reached through the panels.
class Appareil : public QObject
{
    Q_OBJECT

public:
    Appareil(PanneauSimulation& simulation, PanneauServeur& panneauServeur,
             QObject* parent = nullptr);
    // One device of a machine: `commune` is the process's clock, which ticks every device
    // (through tic()) from one timer, and `boucle` the process's epoll set, which watches every
    // device's sockets through one descriptor.
    Appareil(PanneauSimulation& simulation, PanneauServeur& panneauServeur,
             HorlogeDispositif& commune, BoucleEpoll& boucle, QObject* parent = nullptr);
    ~Appareil() override;

    CoucheSocketEpoll& sockets() { return WSserveur; }
    const CoucheSocketEpoll& sockets() const { return WSserveur; }
    ServeurCanaux& serveur() { return serveurCanaux; }
    const ServeurCanaux& serveur() const { return serveurCanaux; }
    // How late Timer_Deplacement's ticks come in real time: the window's responsiveness under
    // load.
    RetardTic& retardDeplacement() { return retardTimerDeplacement; }
    // What drives the axis motion.
    HorlogeDispositif& horloge() { return *horlogeDispositif; }
    const HorlogeDispositif& horloge() const { return *horlogeDispositif; }
    MoteurDefauts& defauts() { return moteurDefauts; }
    HomingAutomatique& homingAutomatique() { return homing; }
    quint16 portEcoute() const { return quint16(WSserveur.LocalPort(0)); }

    // In the PLC and laser modes, requests gathered up to CR instead of one per arrival.
    void setTramesParCR(bool actif) { tramesParCR = actif; }

    // PROXY=: clients are relayed to that device, and the simulation no longer answers.
    void relaie(const QString& hote, quint16 port, SortieMessages& journal);
    // PLAYBACK=: requests take the recorded replies; those never recorded get none, or the
    // simulation's with `simulationSinon`. Each of them is said in the log.
    void rejoue(std::unique_ptr<ReponsesEnregistrees> reponses, bool simulationSinon,
                SortieMessages& journal);

    // What the port counts, for GET /metrics.
    const CompteursAppareil& compteurs() const { return compteursPort; }
    // Clients connected now.
    int clients() const;
    // Nothing is counted: what the benchmarks compare counting with.
    void neCompteRien() { serveurCanaux.setCompteurs(nullptr); }

    // The channels never consult the fault engine: what the benchmarks compare it with.
    void neConsultePasLesDefauts() { serveurCanaux.setDefauts(nullptr, nullptr); }

    // The chute positions' sequence from its start, as after a start of the program, no fault
    // rule left, and a playback back to its first replies.
    void reinitialise();

    // One tick of device time: the axes move, then what was waiting for that time happens.
    void tic();

signals:
    // Device time ticked, or a request was analysed: what the device shows may have changed.
    void evolution();

private:
    Appareil(PanneauSimulation& simulation, PanneauServeur& panneauServeur,
             HorlogeDispositif* commune, BoucleEpoll* boucle, QObject* parent);
    void analyse(const QString& texte);

    PanneauSimulation& simulation;
    // The wall clock: stamps, delays, the late ticks; handed to each part that reads it.
    const Horloge& horlogeMur = HorlogeSysteme::instance();
    CompteursAppareil compteursPort;
    CoucheSocketEpoll WSserveur;
    ServeurCanaux serveurCanaux;
    AnalyseurRequetes analyseur;
    RetardTic retardTimerDeplacement{HorlogeDispositif::PeriodeMs};
    // Its own clock, unless it shares the process's.
    std::unique_ptr<HorlogeDispositif> horlogePropre;
    HorlogeDispositif* horlogeDispositif;
    MoteurDefauts moteurDefauts;
    HomingAutomatique homing;
    PlanificateurQt planificateur;
    QTimer Timer1;
    bool tramesParCR = false;
    std::unique_ptr<RelaisAmont> relais;
    std::unique_ptr<ReponsesEnregistrees> rejeu;
    bool simulationSinonRejeu = false;
    SortieMessages* journalRejeu = nullptr;
};
