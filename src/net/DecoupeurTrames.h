#pragma once

#include <QString>
#include <QStringList>

#include <map>

// Requests gathered per channel up to the CR that ends each, as the real machine reads them:
// a request split across writes is whole once its CR comes, several in one write are taken one
// by one. Bytes after the last CR wait for the next arrival. Bounded: past 64 KiB without a CR,
// what was gathered is dropped.
class DecoupeurTrames
{
public:
    static constexpr qsizetype TailleMax = 64 * 1024;

    struct Resultat
    {
        QStringList requetes;
        qsizetype ecartes = 0; // bytes dropped for want of a CR
    };

    // What arrived on the channel's connection `connexion` (a new connection starts afresh).
    Resultat decoupe(int canal, quint64 connexion, const QString& recu);

private:
    struct Tampon
    {
        quint64 connexion = 0;
        QString octets;
    };
    std::map<int, Tampon> tampons;
};
