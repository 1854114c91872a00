#pragma once

#include <QString>

// What the device answers as. The texts the mode selector shows are the names of these values,
// and a name is taken in any letter case; the names are compared here and nowhere else.
enum class ModeSimulation { Aucun, AutomateOmron, ModuleLasers, ModeMuet, ModeEcho };

// "automateOMRON", "moduleLASERS", "modeMUET", "modeECHO"; empty for no mode.
QString nomMode(ModeSimulation mode);
// The mode of that name in any letter case; Aucun for an empty or unknown name.
ModeSimulation modeDeNom(const QString& nom);
