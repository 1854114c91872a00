#pragma once

#include <QObject>

#include <cstdio>

class Journal;

// Writes every line appended to the log to a stream at once, in UTF-8, each followed by "\n".
// It is not cut back with the log, so it keeps the whole session; a clear writes nothing.
class MiroirSortie : public QObject
{
    Q_OBJECT

public:
    MiroirSortie(const Journal& journal, std::FILE* flux, QObject* parent = nullptr);

private:
    void ecrit(const QString& message);

    std::FILE* flux;
};
