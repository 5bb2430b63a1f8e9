import pytest

from warmup import MAX_REPLICATES, SEQUENCE, required_gap, warmup_count


def test_counts_are_distinct_multiples_of_four_within_the_clock():
    assert len(SEQUENCE) == MAX_REPLICATES == len(set(SEQUENCE))
    assert all(c % 4 == 0 and 0 <= c <= 999 for c in SEQUENCE)


def test_every_study_size_keeps_its_counts_apart():
    for replicates in range(2, MAX_REPLICATES + 1):
        counts = sorted(SEQUENCE[:replicates])
        gap = min(b - a for a, b in zip(counts, counts[1:]))
        assert gap >= required_gap(replicates), f"{replicates} replicates come {gap} apart"


def test_adding_replicates_keeps_the_earlier_counts():
    assert [warmup_count(r) for r in range(1, 21)] == list(SEQUENCE[:20])
    assert warmup_count(1) == 0 and warmup_count(2) == 996 and warmup_count(3) == 496


@pytest.mark.parametrize("replicate", [0, -1, MAX_REPLICATES + 1])
def test_replicates_outside_the_sequence_are_refused(replicate):
    with pytest.raises(ValueError):
        warmup_count(replicate)
