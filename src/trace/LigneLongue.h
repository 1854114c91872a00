#pragma once

#include <QString>

class SortieMessages;

// Log lines that carry received data. One arrival is at most 64 KiB, so such a line is always
// built whole: the record of the session (mirror, history) keeps every byte, and the message
// area, which cannot keep a line that long, is cut back as for any other line.

// prefixe, then the data made readable, then suffixe.
void AfficheLisible(SortieMessages& sortie, const QString& prefixe, const QString& donnees,
                    const QString& suffixe = {});

// prefixe, then the data as received, then suffixe.
void AfficheBrut(SortieMessages& sortie, const QString& prefixe, const QString& donnees,
                 const QString& suffixe = {});
