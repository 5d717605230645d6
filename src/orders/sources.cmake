# Fichiers de src/orders
