#pragma once

#include "AnneauNumerote.h"

#include <QObject>
#include <QString>
#include <QStringList>

class Journal;

// Numbers every line appended to the log in the session, from 1, whatever clears and cut-backs
// do to the message area, and keeps the most recent ones so that a script can ask for the
// lines after the last one it saw. Only the newest lines are kept (bounded in count and size).
class HistoriqueJournal : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype LignesMax = 10000;
    static constexpr qsizetype CaracteresMax = 4 * 1024 * 1024;

    explicit HistoriqueJournal(const Journal& journal, QObject* parent = nullptr);

    // Number of lines appended so far.
    qint64 total() const { return anneau.total(); }
    // Number of the oldest line still kept (total() + 1 when none is).
    qint64 premierGarde() const { return anneau.premierGarde(); }
    // The kept lines numbered above `apres` (any number from 0 up, however large).
    QStringList depuis(qint64 apres) const { return anneau.depuis(apres); }
    // The number of the first of those lines, and how many lines above `apres` are no longer
    // kept.
    qint64 premierApres(qint64 apres) const { return anneau.premierApres(apres); }
    qint64 perduesApres(qint64 apres) const { return anneau.perduesApres(apres); }

private:
    AnneauNumerote<QString> anneau{LignesMax, CaracteresMax};
};
