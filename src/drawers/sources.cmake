# Fichiers de src/drawers
