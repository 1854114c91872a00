#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class Journal;
class MiroirSortie;
struct LigneCommande;

// Where the log's mirror goes: LOG= says, or standard output when no window can be shown.
// Sets `miroir` (left empty when there is none, or when `interrompu` cut the opening short)
// and returns the reason when LOG= names a file that cannot be opened.
std::optional<QString> ouvreMiroirJournal(const LigneCommande& parametres, bool sansEcran,
                                          Journal& journal, const std::function<bool()>& interrompu,
                                          std::unique_ptr<MiroirSortie>& miroir);
