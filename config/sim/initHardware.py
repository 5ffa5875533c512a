#!/usr/bin/env python3
"""Board initialisation of the simulated station: the dummy boards need none.

Called as "./initHardware.py CtrlBoard" or "./initHardware.py AdcBoard<N>" whenever a board is
opened or recovered; a non-zero exit status would count as a failed initialisation.
"""
import sys

board = sys.argv[1] if len(sys.argv) > 1 else "(no board given)"
print(f"simulated station: nothing to initialise for {board}")
sys.exit(0)
