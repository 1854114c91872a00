#pragma once

#include <QString>

class ContraintesAppareil;
class PanneauSimulation;

// One tick of the axis motion: each homed axis moves one step (2000 on X, 1500 on Z) toward
// its demand, or takes the demand's text when it is at most one step away. X before Z. The
// PLC's faults, if any, may shorten a step or hold an axis.
void Timer_Deplacement_Timer(PanneauSimulation& panneau, ContraintesAppareil* defauts = nullptr);

// Whether each axis stands at its demand, compared as numbers (a caption that is not a number
// reads as 0), as the position request reports it.
struct AxesEnPosition
{
    bool x;
    bool z;
    bool tous() const { return x && z; }
};
AxesEnPosition axesEnPosition(const PanneauSimulation& panneau);

// Numeric value of a position caption; the PLC itself only ever writes numbers there.
double valeurPosition(const QString& texte);
