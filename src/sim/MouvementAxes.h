#pragma once

class PanneauSimulation;

// One tick of the axis motion: each homed axis moves one step (2000 on X, 1500 on Z) toward
// its demand, or takes the demand's text when it is at most one step away. X before Z.
void Timer_Deplacement_Timer(PanneauSimulation& panneau);
