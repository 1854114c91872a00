#include "MiroirSortie.h"

#include "Journal.h"

MiroirSortie::MiroirSortie(const Journal& journal, std::FILE* flux_, QObject* parent)
    : QObject(parent), flux(flux_)
{
    connect(&journal, &Journal::messageJournalise, this, &MiroirSortie::ecrit);
}

void MiroirSortie::ecrit(const QString& message)
{
    // Written by length, not as a C string: a NUL or ESC received in a frame goes out as it is.
    QByteArray ligne = message.toUtf8();
    ligne += '\n';
    std::fwrite(ligne.constData(), 1, size_t(ligne.size()), flux);
    std::fflush(flux);
}
