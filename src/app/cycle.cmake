# Cycle de traitement et contrôle du temps des tiroirs
