#include "MembreInconnu.h"

std::optional<MembreInconnu> membreInconnu(const QJsonObject& objet, const QStringList& connus,
                                           const QString& chemin)
{
    for (auto it = objet.begin(); it != objet.end(); ++it) {
        if (!connus.contains(it.key()))
            return MembreInconnu{chemin.isEmpty() ? it.key()
                                                  : chemin + QLatin1Char('.') + it.key()};
    }
    return std::nullopt;
}
