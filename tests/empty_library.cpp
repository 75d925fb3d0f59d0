// A library without the probes, built like the probe library: for the
// hosts' tests (a library that lacks the probes) and for measuring what
// loading the probe library costs beyond loading any library. It is empty
// on purpose.
