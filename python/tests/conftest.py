"""The package's own tests take it from this tree, and the programs from $VELORIN and
$VELORIN_REJOUE (ctest gives the ones just built)."""

import os
import sys

RACINE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
if RACINE not in sys.path:
    sys.path.insert(0, RACINE)
