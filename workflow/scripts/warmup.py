"""Warm-up counts of the simulator's clock, assigned instead of left to the clock.

The simulator discards k draws (0 <= k <= 999) before its first value; counts a
few apart give correlated studies. Replicate r runs at the r-th count of one
fixed sequence: each new count is the multiple of 4 farthest from all earlier
ones (ties to the smallest), so earlier replicates keep their counts when a
study grows and the counts stay spread for every number of replicates.
"""

import functools

MAX_REPLICATES = 250
CANDIDATES = range(0, 1000, 4)  # exactly MAX_REPLICATES counts


@functools.cache
def _sequence():
    counts = [0]
    distance = {c: c for c in CANDIDATES}  # to the nearest count taken so far
    del distance[0]
    while distance:
        best = max(distance, key=lambda c: (distance[c], -c))
        counts.append(best)
        del distance[best]
        for c in distance:
            distance[c] = min(distance[c], abs(c - best))
    return tuple(counts)


def __getattr__(name):
    # SEQUENCE is made on first use: a replicate's job imports this module
    # through the study's and never needs it.
    if name == "SEQUENCE":
        return _sequence()
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")


def warmup_count(replicate):
    """Warm-up count of replicate number `replicate` (1-based)."""
    if not 1 <= replicate <= MAX_REPLICATES:
        raise ValueError(f"replicate {replicate} is outside 1..{MAX_REPLICATES}")
    return _sequence()[replicate - 1]


def required_gap(replicates):
    """Smallest distance the first `replicates` counts keep between any two."""
    return max(4, 1000 // (3 * replicates))
