#pragma once

#include <QStringList>

// What the command line accepts, one line per key: printed by --help, shown by the "?" key and
// written into the log by the "?" button.
QStringList lignesAide();

// "velorin X.Y.Z", as --version prints it.
QString texteVersion();
