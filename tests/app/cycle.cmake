# Tests du cycle de traitement
