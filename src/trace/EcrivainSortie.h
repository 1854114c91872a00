#pragma once

#include <QByteArray>

#include <functional>
#include <memory>

// A file bounded in size: once the next line would pass `tailleMax`, the writer's thread
// closes it and `rouvre` gives the descriptor to go on with (-1: keep the old one).
struct RotationSortie
{
    qsizetype tailleMax = 0;  // 0: no bound
    qsizetype dejaEcrits = 0; // what the file held when it was opened
    std::function<int()> rouvre;
};

// For a file whose losses matter (the traffic journal): a write that fails loses the lines it
// was writing, counted, and the writer goes on with the next ones. A line goes whole or not at
// all: one cut short in a regular file is taken back off its end.
struct RepriseSortie
{
    bool active = false;
    // Called on the writer's thread when writes start failing, and when they work again.
    std::function<void()> changement;
};

// What a writer with RepriseSortie has lost.
struct BilanSortie
{
    int erreur = 0;           // errno of the failing writes; 0 while writes work
    qint64 lignesPerdues = 0; // lost to failed writes, and at the end to a writer left behind
};

// Writes bytes to a descriptor from a thread of its own, so that whoever produces them never
// waits on the reader: a pipe nobody reads, a slow disk, a terminal held by Ctrl-S. What waits
// to be written is bounded; past the bound `depose` refuses and the caller decides what to
// drop. The descriptor is left as it is (blocking): it may be shared with other processes.
class EcrivainSortie
{
public:
    static constexpr qsizetype LimiteParDefaut = 8 * 1024 * 1024;
    // At the end, how long the writer may go without writing anything before it is left, and
    // how long it may take in all to drain what is queued.
    static constexpr int DelaiFinMs = 700;
    static constexpr int DelaiFinMaxMs = 10000;

    // With `proprietaire`, the descriptor is closed once the writer is done with it.
    EcrivainSortie(int descripteur, bool proprietaire, qsizetype limite = LimiteParDefaut,
                   RotationSortie rotation = {}, RepriseSortie reprise = {});

    using Rotation = RotationSortie;
    // Lets the writer write what is queued while it gets on with it (DelaiFinMs without a byte
    // written, or DelaiFinMaxMs in all, and it is left): a reader that never reads cannot hold
    // the program's end.
    ~EcrivainSortie();
    // What the destructor does, once: afterwards the bilan is final (lines never written
    // counted as lost) and `changement` is no longer called.
    BilanSortie finit();

    EcrivainSortie(const EcrivainSortie&) = delete;
    EcrivainSortie& operator=(const EcrivainSortie&) = delete;

    // Queues the bytes whole, or nothing when they would pass the bound (unless `horsLimite`)
    // or writing has ended.
    bool depose(const char* octets, qsizetype taille, bool horsLimite = false);
    // Bytes that may still be queued.
    qsizetype place() const;
    // The descriptor refused a write (a closed pipe, a full disk): nothing more is written.
    bool termine() const;
    BilanSortie bilan() const;

    struct Etat;

private:
    std::shared_ptr<Etat> etat;
};
