#pragma once

#include "SortieLignes.h"

class Journal;

// Writes every line appended to the log to a descriptor (standard output or a file). It is not
// cut back with the log, so it keeps the whole session; a clear writes nothing. A reader that
// does not read never holds the program (see SortieLignes).
class MiroirSortie : public SortieLignes
{
    Q_OBJECT

public:
    MiroirSortie(const Journal& journal, int descripteur, bool proprietaire = false,
                 qsizetype limite = EcrivainSortie::LimiteParDefaut, QObject* parent = nullptr);

    static QByteArray ligneDePerte(qint64 lignes);
};
