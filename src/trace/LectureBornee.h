#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <variant>

// A file named on the command line read whole, within a bound: a regular file, a device, a pipe
// or a FIFO (read to its end, whenever its writer comes). Nothing in it blocks where a signal
// could not end it: the file is opened without waiting for a writer, then read in short polls
// between which `interrompu` is asked.
struct LectureBornee
{
    // Past `tailleMax` bytes the file is refused, without reading more of it.
    qint64 tailleMax = 0;
    // Asked about every DelaiPollMs while nothing comes; true ends the reading.
    std::function<bool()> interrompu;

    static constexpr int DelaiPollMs = 100;

    // Why a file was not read: its text is ready to follow "\"<path>\" : ".
    struct Echec
    {
        enum class Cause { Illisible, TropGrand, Interrompue } cause;
        QString message;
    };

    std::variant<QByteArray, Echec> lit(const QString& chemin) const;
};
