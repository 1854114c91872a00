#pragma once

#include <QByteArray>

#include <functional>

// Opens a file named on the command line for writing (`drapeaux` as for open(2), mode 0644).
// A FIFO with no reader yet is waited for in short polls, between which `interrompu` is asked:
// a blocking open would wait for ever, whatever signal came. The descriptor is blocking once
// open. -1 with errno on failure; EINTR when `interrompu` ended the wait.
int ouvreEnEcriture(const QByteArray& nom, int drapeaux,
                    const std::function<bool()>& interrompu = {});
