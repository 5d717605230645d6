# Tests de src/drawers
