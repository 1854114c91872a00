#include "Appareil.h"

#include "net/PanneauServeur.h"
#include "sim/MouvementAxes.h"
#include "sim/PanneauSimulation.h"
#include "trace/Horloge.h"

#include <QCoreApplication>

Appareil::Appareil(PanneauSimulation& simulation, PanneauServeur& panneauServeur, QObject* parent)
    : QObject(parent), serveurCanaux(WSserveur, panneauServeur, HorlogeSysteme::instance(),
                                     [] { QCoreApplication::processEvents(); }),
      analyseur(simulation, serveurCanaux, HorlogeSysteme::instance()),
      horlogeDispositif(
          [&simulation] { Timer_Deplacement_Timer(simulation); },
          [this] { retardTimerDeplacement.tic(HorlogeSysteme::instance().millisecondes()); })
{
    serveurCanaux.setAnalyse([this](const QString& texte) { analyseur.AnalyseChaineRecu(texte); });
    WSserveur.setEvenements(&serveurCanaux);

    // Both timers run from the start, as the window's own did (the device clock in real time).
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(1000);
    connect(&Timer1, &QTimer::timeout, this, [this] { serveurCanaux.Timer1_Timer(); });
    Timer1.start();
}

Appareil::~Appareil()
{
    WSserveur.setEvenements(nullptr);
}
