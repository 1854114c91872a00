#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringEncoder>
#include <QTimer>

#include <cstdio>

class Journal;

// Writes every line appended to the log to a stream, in UTF-8, each followed by "\n". It is
// not cut back with the log, so it keeps the whole session; a clear writes nothing.
// Lines are gathered while the program is busy and written together, in one system call,
// before the event loop next waits (within 100 ms when it never gets to wait): one write per
// pass instead of one per line.
class MiroirSortie : public QObject
{
    Q_OBJECT

public:
    MiroirSortie(const Journal& journal, std::FILE* flux, QObject* parent = nullptr);
    ~MiroirSortie() override;

    // Writes out what has been gathered.
    void vide();

private:
    void ecrit(const QString& message);

    std::FILE* flux;
    QByteArray enAttente;
    QTimer auPlusTard;
    QStringEncoder encodeur{QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
    bool parPasse = false; // an event loop empties the gathered lines before it waits
};
