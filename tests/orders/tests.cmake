# Tests de src/orders
