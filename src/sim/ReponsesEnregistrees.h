#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

struct Conversation;

// The replies a recorded session gives to each request, for playback. A request recorded
// several times takes its replies in the recorded order, the last one again once they are all
// given; an empty reply is a request the device did not answer.
class ReponsesEnregistrees
{
public:
    explicit ReponsesEnregistrees(const QList<Conversation>& conversations);

    // The recorded reply to the request's exact bytes, or nothing if it was never recorded.
    std::optional<QString> reponse(const QString& requete);
    qsizetype nombreRequetes() const { return parRequete.size(); }
    // Every request takes its first recorded reply again.
    void rembobine();

private:
    struct Reponses
    {
        QList<QString> dansLOrdre;
        qsizetype suivante = 0;
    };
    QHash<QString, Reponses> parRequete;
};
