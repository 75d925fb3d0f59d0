// quellot-call --generate N [--seed S]: a call list of N calls over every
// probe and every class of value, the same bytes for the same seed on every
// target, for running many values through a client and checking them.
#pragma once

#include <cstdint>
#include <cstdio>

// Writes the list to `out`: a comment that says how it was made, and then
// the calls in groups of 1,000, each headed by a comment.
void generate_calls(uint64_t count, uint64_t seed, std::FILE *out);
