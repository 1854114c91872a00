#include "ModeSimulation.h"

#include <array>
#include <utility>

namespace {

const std::array<std::pair<ModeSimulation, QLatin1StringView>, 4> Noms = {{
    {ModeSimulation::AutomateOmron, QLatin1StringView("automateOMRON")},
    {ModeSimulation::ModuleLasers, QLatin1StringView("moduleLASERS")},
    {ModeSimulation::ModeMuet, QLatin1StringView("modeMUET")},
    {ModeSimulation::ModeEcho, QLatin1StringView("modeECHO")},
}};

} // namespace

QString nomMode(ModeSimulation mode)
{
    for (const auto& [valeur, nom] : Noms) {
        if (valeur == mode)
            return nom;
    }
    return {};
}

ModeSimulation modeDeNom(const QString& nom)
{
    for (const auto& [valeur, texte] : Noms) {
        if (nom.compare(texte, Qt::CaseInsensitive) == 0)
            return valeur;
    }
    return ModeSimulation::Aucun;
}
