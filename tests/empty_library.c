/* A library with no probes in it, for the hosts' tests and benchmarks. */
int quellot_empty_library_marker(void);
int quellot_empty_library_marker(void) { return 0; }
