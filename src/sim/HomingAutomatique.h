#pragma once

#include <QChar>
#include <QString>

#include <optional>
#include <vector>

class Horloge;
class PanneauSimulation;
class SortieMessages;

// A PLC whose homing completes by itself: after a homing request for X or Z, that axis' flag
// ticks once the given device time has gone, so a host's start sequence (home, wait for the
// homing registers, move) runs headless. Off unless a delay is set.
class HomingAutomatique
{
public:
    // `horloge` stamps the log lines.
    HomingAutomatique(PanneauSimulation& panneau, SortieMessages& journal, const Horloge& horloge);

    void regle(std::optional<double> delaiMs) { delai = delaiMs; }
    std::optional<double> delaiMs() const { return delai; }

    // A request about to be analysed, at that device time.
    void requete(const QString& texte, double maintenant);
    // Device time went on: the flags that are due tick.
    void temps(double maintenant);
    // A reset: the homings asked before it never complete.
    void oublie() { enAttente.clear(); }

private:
    PanneauSimulation& panneau;
    SortieMessages& journal;
    const Horloge& horloge;
    std::optional<double> delai;
    std::vector<std::pair<double, QChar>> enAttente; // when, which axis
};
