"""The programs' build: brought up to date before a study, recorded in every
replicate, and never a reason to run a finished replicate again."""

import hashlib
import json
import os
import subprocess

import pytest
import yaml

import programs
import replicate
from conftest import REPO, TINY_BASE, run_study


def fake_build(repo, contents):
    for name, text in contents.items():
        path = programs.binary(repo, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)


def record_build(repo, commit="abc", modified=False):
    names = list(programs.NAMES)
    built = {"commit": commit, "modified": modified,
             "sha256": {n: programs.digest(programs.binary(repo, n)) for n in names},
             "identity": {n: programs._identity(programs.binary(repo, n)) for n in names}}
    with open(os.path.join(programs.build_folder(repo), programs.BUILD_RECORD), "w") as f:
        json.dump(built, f)


@pytest.mark.parametrize("change, commit", [
    (None, "abc"),                       # as built
    ("touch", "abc"),                    # a new mtime, the same bytes: still that build
    ("rewrite", ""),                     # built by other means: the commit is not known
])
def test_provenance_names_the_build_of_the_programs_as_they_are(tmp_path, change, commit):
    fake_build(tmp_path, {n: f"{n} 1" for n in programs.NAMES})
    record_build(tmp_path)
    tarvox = programs.binary(tmp_path, "tarvox")
    if change == "touch":
        os.utime(tarvox, ns=(1, 1))
    elif change == "rewrite":
        fake_build(tmp_path, {"tarvox": "tarvox 2"})
    found = programs.provenance(tmp_path, ("tarvox", "kolber"))
    assert found["commit"] == commit and found["modified"] == (False if commit else None)
    assert found["sha256"] == {n: hashlib.sha256(open(programs.binary(tmp_path, n), "rb").read()).hexdigest()
                               for n in ("tarvox", "kolber")}


def test_without_a_build_record_the_digests_stand_alone(tmp_path):
    fake_build(tmp_path, {"tarvox": "t", "kolber": "k"})
    assert programs.provenance(tmp_path, ("tarvox",)) == {
        "commit": "", "modified": None, "sha256": {"tarvox": hashlib.sha256(b"t").hexdigest()}}


def test_source_state_is_the_commit_and_whether_tracked_files_differ(tmp_path):
    assert programs.source_state(tmp_path) == ("", None)  # not a checkout
    git = lambda *args: subprocess.run(["git", "-C", str(tmp_path), *args], check=True, stdout=subprocess.PIPE,
                                       text=True).stdout.strip()
    git("init", "-q")
    (tmp_path / "a").write_text("1")
    git("add", "a")
    git("-c", "user.name=t", "-c", "user.email=t@t", "commit", "-qm", "a")
    (tmp_path / "untracked").write_text("not the programs' source")
    assert programs.source_state(tmp_path) == (git("rev-parse", "HEAD"), False)
    (tmp_path / "a").write_text("2")
    assert programs.source_state(tmp_path) == (git("rev-parse", "HEAD"), True)


def test_replicates_record_their_build_and_are_not_run_again_when_it_changes(tmp_path, built):
    study = tmp_path / "s.yaml"
    study.write_text(yaml.safe_dump({"replicates": 1, "base": TINY_BASE}))
    run_study(tmp_path / "out", study)
    record = json.loads((tmp_path / "out" / "runs" / "base" / "rep_001" / replicate.RECORD).read_text())
    commit, modified = programs.source_state(REPO)
    assert record["build"]["commit"] == commit and record["build"]["modified"] == modified
    for name in ("tarvox", "kolber"):
        assert record["build"]["sha256"][name] == programs.digest(programs.binary(REPO, name))
    # Programs newer than every replicate (a rebuild) run nothing again.
    os.utime(programs.binary(REPO, "kolber"))
    assert "Nothing to be done" in run_study(tmp_path / "out", study).stdout
    # Before any job runs, the build brings a missing program back.
    os.unlink(programs.binary(REPO, "kolber"))
    study.write_text(yaml.safe_dump({"replicates": 2, "base": TINY_BASE}))
    grown = run_study(tmp_path / "out", study)
    assert "brought tarvox, kolber, snp2plink and snpbayes up to date" in grown.stdout
    second = json.loads((tmp_path / "out" / "runs" / "base" / "rep_002" / replicate.RECORD).read_text())
    assert second["build"]["sha256"]["kolber"] == programs.digest(programs.binary(REPO, "kolber"))
