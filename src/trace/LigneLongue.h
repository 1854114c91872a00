#pragma once

#include <QString>

class SortieMessages;

// Log lines that carry received data. A text of megabytes would make a line the log can never
// keep (it is cut back to its marker at once): such a line is not built whole. The log takes
// it as too long, and the record of the session gets its beginning with the count of bytes
// left out.

// prefixe, then the data made readable, then suffixe.
void AfficheLisible(SortieMessages& sortie, const QString& prefixe, const QString& donnees,
                    const QString& suffixe = {});

// prefixe, then the data as received, then suffixe.
void AfficheBrut(SortieMessages& sortie, const QString& prefixe, const QString& donnees,
                 const QString& suffixe = {});
