#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringEncoder>
#include <QTimer>

#include <memory>

class EcrivainSortie;
class Journal;

// Writes every line appended to the log to a descriptor (standard output or a file), in UTF-8,
// each followed by "\n". It is not cut back with the log, so it keeps the whole session; a
// clear writes nothing.
// Lines are gathered while the program is busy and handed over together before the event loop
// next waits (within 100 ms when it never gets to wait). A thread of the mirror's own writes
// them, so a reader that does not read never holds the program: up to a bound, lines wait for
// it; past it whole lines are dropped and counted, and one line says how many once there is
// room again. A descriptor that refuses writes (a closed pipe) ends the mirror.
class MiroirSortie : public QObject
{
    Q_OBJECT

public:
    MiroirSortie(const Journal& journal, int descripteur, bool proprietaire = false,
                 qsizetype limite = 8 * 1024 * 1024, QObject* parent = nullptr);
    ~MiroirSortie() override;

    // Hands over what has been gathered.
    void vide();
    // Lines dropped since the last loss line was written.
    qint64 lignesPerdues() const { return perdues; }
    // False once the descriptor has refused a write: the mirror has ended.
    bool actif() const { return ecrivain != nullptr; }

    static QByteArray ligneDePerte(qint64 lignes);

private:
    void ecrit(const QString& message);
    void arrete();

    const Journal* journal;
    qsizetype limite;
    std::unique_ptr<EcrivainSortie> ecrivain;
    QByteArray enAttente;
    QTimer auPlusTard;
    QStringEncoder encodeur{QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
    qint64 perdues = 0;
    bool parPasse = false; // an event loop empties the gathered lines before it waits
};
