// Velorin whose channels never consult the fault engine: the fault engine's cost is measured
// against it (bench/run.sh, defauts-64).
#include "app/Appareil.h"
#include "app/Lancement.h"
#include "app/Programme.h"

int main(int argc, char* argv[])
{
    return lanceVelorin(
        argc, argv, [](Programme& programme) { programme.appareil().neConsultePasLesDefauts(); });
}
