#include "Lancement.h"

int main(int argc, char* argv[])
{
    return lanceVelorin(argc, argv);
}
