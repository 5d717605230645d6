# Tests de src/cdapi
