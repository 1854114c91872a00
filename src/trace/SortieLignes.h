#pragma once

#include "EcrivainSortie.h"

#include <QByteArray>
#include <QObject>
#include <QStringEncoder>
#include <QTimer>

#include <functional>
#include <memory>

// Writes lines to a descriptor (standard output, a file, a pipe), in UTF-8, each followed by
// "\n". Lines are gathered while the program is busy and handed over together before the event
// loop next waits (within 100 ms when it never gets to wait). A thread of its own writes them,
// so a reader that does not read never holds the program: up to a bound, lines wait for it;
// past it whole lines are dropped and counted, and one line says how many once there is room
// again. A descriptor that refuses writes (a closed pipe) ends the output.
class SortieLignes : public QObject
{
    Q_OBJECT

public:
    struct Reglages
    {
        qsizetype limite = EcrivainSortie::LimiteParDefaut;
        // The line, "\n" included, that says how many lines were dropped.
        std::function<QByteArray(qint64)> ligneDePerte;
        EcrivainSortie::Rotation rotation = {};
        // Write errors lose lines instead of ending the output (see RepriseSortie);
        // `changement` is then called, on this object's thread, when they start or stop.
        bool reprise = false;
        std::function<void()> changement = {};
    };

    SortieLignes(int descripteur, bool proprietaire, Reglages reglages, QObject* parent = nullptr);
    ~SortieLignes() override;

    void ecrit(const QString& ligne);
    // A line already in UTF-8, without its "\n".
    void ecritOctets(QByteArrayView ligne);
    // Hands over what has been gathered.
    void vide();
    // Lines dropped since the last loss line was written.
    qint64 lignesPerdues() const { return perdues; }
    // False once the descriptor has refused a write: the output has ended.
    bool actif() const { return ecrivain != nullptr; }
    // With reprise: whether writes fail now, and every line lost so far, for want of room or
    // to a failed write.
    BilanSortie bilan() const;
    // The end: what is gathered handed over, the writer waited for as at destruction; the
    // returned bilan is final.
    BilanSortie ferme();

private:
    void arrete();
    void ajoute();
    void comptePerte(qint64 lignes);

    qsizetype limite;
    std::function<QByteArray(qint64)> ligneDePerte;
    std::unique_ptr<EcrivainSortie> ecrivain;
    QByteArray enAttente;
    QTimer auPlusTard;
    QStringEncoder encodeur{QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
    qint64 perdues = 0;
    qint64 perduesEnTout = 0;
    BilanSortie bilanFinal;
    bool parPasse = false; // an event loop empties the gathered lines before it waits
};
