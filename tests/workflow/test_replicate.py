"""The simulator started at an assigned warm-up count, and the answer given
to the estimator."""

import os
import subprocess

import numpy as np
import pytest

import outputs
import replicate
import study
from conftest import TINY_BASE


def frequencies_after(warmup, n, low, high):
    """The first n frequencies the simulator draws after `warmup` discarded
    draws: a 32-bit congruential generator whose 24 high bits make the draw,
    uniform(low, high) = (high - low) * u + low in single precision."""
    state, values = 183608127, []
    for i in range(warmup + n):
        state = (state * 69069 + 1) % 2**32
        if i >= warmup:
            u = np.float32((state >> 8) / 16777216)
            values.append(float((np.float32(high) - np.float32(low)) * u + np.float32(low)))
    return values


@pytest.mark.parametrize("warmup", [0, 5, 50, 123, 996])
def test_tarvox_starts_at_the_assigned_count(tmp_path, built, warmup):
    tarvox, _ = built
    base = {**TINY_BASE, "n_snp": 30, "nrec": 1, "freq_min": 0.0, "freq_max": 1.0}
    (tmp_path / "par_tarvox").write_text(study.par_tarvox_text(base))
    subprocess.run([tarvox], cwd=tmp_path, env=replicate.clock_environment(warmup), check=True,
                   stdout=subprocess.DEVNULL)
    written = outputs.read_setup(tmp_path / "SNP_setup").snp_freq

    def matches(k):
        return all(abs(w - f) <= 0.0051 for w, f in zip(written, frequencies_after(k, 30, 0.0, 1.0)))

    assert matches(warmup) and not matches(warmup + 1) and not matches(max(0, warmup - 1) if warmup else 1)


def test_clock_environment_keeps_an_earlier_preload(monkeypatch):
    monkeypatch.setenv("LD_PRELOAD", "/lib/other.so")
    env = replicate.clock_environment(7)
    assert env["FAKETIME"] == "2026-01-01 00:00:00.007"
    assert env["LD_PRELOAD"] == replicate.LIBFAKETIME + " /lib/other.so"
    assert os.path.exists(replicate.LIBFAKETIME)
    with pytest.raises(ValueError):
        replicate.clock_environment(1000)


def test_answer_is_the_own_ratio_or_the_number_given():
    setup = outputs.SnpSetup(2, 1, 10, 0, 4.0, 6.0, 1.0, [0.5, 0.1], [1.0, 0.0])
    assert replicate.answer_text(True, setup) == "1.02"  # 6 * (0.5 + 0.18) / 4
    assert replicate.answer_text(12.5, setup) == "12.5" and replicate.answer_text(0, setup) == "0"
    setup = setup._replace(var_a=0.0)  # a tiny var_a written as 0.00
    with pytest.raises(replicate.ReplicateError, match="give ratio as a number"):
        replicate.answer_text(True, setup)
