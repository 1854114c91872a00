#pragma once

#include <QString>

#include <functional>
#include <optional>

class Appareil;
class EnregistrementTrafic;
struct LigneCommande;
class SortieMessages;

// JOURNAL=, JOURNAL_MAX=, PROXY=, PLAYBACK= and PLAYBACK_FALLBACK= put into the device before it
// listens: the journal's file opened, the relay or the recorded replies in place. The reason
// start-up must stop, or nothing; an empty reason when `interrompu` ended the wait for a file (said
// in the log). A machine's device gives its name: from a journal that names it, it plays back its
// own conversations only.
std::optional<QString> appliqueReglagesTrafic(const LigneCommande& parametres, Appareil& appareil,
                                              EnregistrementTrafic* enregistrement,
                                              SortieMessages& journal,
                                              const std::function<bool()>& interrompu = {},
                                              const QString& nomAppareil = {});
