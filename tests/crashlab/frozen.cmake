# The road's handling without the process heap: frozen module records, threads kept still under the heap and loader locks.
