// Velorin whose device port counts nothing for GET /metrics: the counting's cost is measured
// against it (bench/compare_binaires.py --reference build/bench/velorin_sans_compteurs).
#include "app/Appareil.h"
#include "app/Lancement.h"
#include "app/Programme.h"

int main(int argc, char* argv[])
{
    return lanceVelorin(argc, argv,
                        [](Programme& programme) { programme.appareil().neCompteRien(); });
}
