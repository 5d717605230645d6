# Fichiers de src/cdapi
