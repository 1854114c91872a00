#include "Appareil.h"

#include "net/PanneauServeur.h"
#include "sim/MouvementAxes.h"
#include "sim/PanneauSimulation.h"
#include "trace/Horloge.h"
#include "trace/Horodatage.h"
#include "trace/Lisible.h"

#include <QCoreApplication>

Appareil::Appareil(PanneauSimulation& simulation_, PanneauServeur& panneauServeur, QObject* parent)
    : Appareil(simulation_, panneauServeur, nullptr, nullptr, parent)
{
}

Appareil::Appareil(PanneauSimulation& simulation_, PanneauServeur& panneauServeur,
                   HorlogeDispositif& commune, BoucleEpoll& boucle, QObject* parent)
    : Appareil(simulation_, panneauServeur, &commune, &boucle, parent)
{
}

Appareil::Appareil(PanneauSimulation& simulation_, PanneauServeur& panneauServeur,
                   HorlogeDispositif* commune, BoucleEpoll* boucle, QObject* parent)
    : QObject(parent), simulation(simulation_), WSserveur(boucle),
      serveurCanaux(WSserveur, panneauServeur, horlogeMur,
                    [] { QCoreApplication::processEvents(); }),
      analyseur(simulation_, serveurCanaux, horlogeMur),
      horlogePropre(commune != nullptr
                        ? nullptr
                        : std::make_unique<HorlogeDispositif>(
                            [this] { tic(); },
                            [this] { retardTimerDeplacement.tic(horlogeMur.millisecondes()); })),
      horlogeDispositif(commune != nullptr ? commune : horlogePropre.get()),
      moteurDefauts(
          simulation_, simulation_, [this] { return horlogeDispositif->tempsMs(); }, horlogeMur),
      homing(simulation_, simulation_, horlogeMur)
{
    serveurCanaux.setAnalyse([this](const QString& texte) { analyse(texte); });
    serveurCanaux.setDefauts(&moteurDefauts, &planificateur);
    serveurCanaux.setCompteurs(&compteursPort);
    serveurCanaux.setTramesParCR([this] {
        if (!tramesParCR)
            return false;
        const ModeSimulation mode = simulation.modeSimulation();
        return mode == ModeSimulation::AutomateOmron || mode == ModeSimulation::ModuleLasers;
    });
    analyseur.setDefauts(&moteurDefauts);
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
    serveurCanaux.setRelais(nullptr);
}

void Appareil::analyse(const QString& texte)
{
    if (rejeu) {
        if (const auto reponse = rejeu->reponse(texte)) {
            if (!reponse->isEmpty())
                serveurCanaux.EnvoieSurCanal(*reponse);
            return;
        }
        journalRejeu->AfficheMessage(
            Horodatage(false, horlogeMur) + QStringLiteral(" requête absente du journal rejoué : ")
            + trsfChaineRecuEnLisible(texte)
            + (simulationSinonRejeu ? QStringLiteral(", la simulation répond")
                                    : QStringLiteral(", pas de réponse")));
        if (!simulationSinonRejeu)
            return;
    }
    homing.requete(texte, horlogeDispositif->tempsMs());
    analyseur.AnalyseChaineRecu(texte);
    emit evolution();
}

int Appareil::clients() const
{
    int n = 0;
    for (int canal = 1; canal <= serveurCanaux.NbCanaux(); ++canal)
        n += WSserveur.existe(canal) && WSserveur.State(canal) == CoucheSocket::Connecte;
    return n;
}

void Appareil::relaie(const QString& hote, quint16 port, SortieMessages& journal)
{
    relais = std::make_unique<RelaisAmont>(hote, port, serveurCanaux, journal, horlogeMur);
    serveurCanaux.setRelais(relais.get());
}

void Appareil::rejoue(std::unique_ptr<ReponsesEnregistrees> reponses, bool simulationSinon,
                      SortieMessages& journal)
{
    rejeu = std::move(reponses);
    simulationSinonRejeu = simulationSinon;
    journalRejeu = &journal;
}

void Appareil::tic()
{
    Timer_Deplacement_Timer(simulation, moteurDefauts.actif() ? &moteurDefauts : nullptr);
    const double maintenant = horlogeDispositif->tempsMs();
    homing.temps(maintenant);
    moteurDefauts.temps();
    emit evolution();
}

void Appareil::reinitialise()
{
    analyseur.reinitialise();
    moteurDefauts.vide(true);
    homing.oublie();
    if (rejeu)
        rejeu->rembobine();
}
