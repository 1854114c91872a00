#include "ReponsesEnregistrees.h"

#include "trace/LectureJournal.h"

#include <algorithm>
#include <map>

ReponsesEnregistrees::ReponsesEnregistrees(const QList<Conversation>& conversations)
{
    // Exchanges of every connection, in the order they were recorded.
    std::map<qint64, const Echange*> parLigne;
    for (const Conversation& conversation : conversations) {
        for (const Echange& echange : conversation.echanges) {
            if (!echange.requete.isEmpty())
                parLigne.emplace(echange.ligne, &echange);
        }
    }
    for (const auto& [ligne, echange] : parLigne)
        parRequete[echange->requete].dansLOrdre << echange->reponse;
}

std::optional<QString> ReponsesEnregistrees::reponse(const QString& requete)
{
    const auto it = parRequete.find(requete);
    if (it == parRequete.end())
        return std::nullopt;
    Reponses& r = it.value();
    const QString& reponse = r.dansLOrdre.at(r.suivante);
    r.suivante = std::min(r.suivante + 1, r.dansLOrdre.size() - 1);
    return reponse;
}

void ReponsesEnregistrees::rembobine()
{
    for (Reponses& r : parRequete)
        r.suivante = 0;
}
