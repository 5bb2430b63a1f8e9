#!/usr/bin/python3
"""Cluster status command for Snakemake's generic cluster submission.

Snakemake calls it with the id `sbatch --parsable` printed and expects one
line: running, success or failed.  It asks the controller (scontrol), so it
needs no accounting database.  The controller forgets a job MinJobAge
(300 s by default) after its end; an id it does not know counts as failed,
so the job is run again rather than its outputs trusted.
"""

import subprocess
import sys

SUCCESS = {"COMPLETED"}
FAILED = {"BOOT_FAIL", "CANCELLED", "DEADLINE", "FAILED", "NODE_FAIL",
          "OUT_OF_MEMORY", "PREEMPTED", "REVOKED", "SPECIAL_EXIT", "TIMEOUT"}
UNKNOWN_JOB = "Invalid job id specified"


def status_of(state):
    """Snakemake's word for a Slurm job state; pending and ending count as running."""
    if state in SUCCESS:
        return "success"
    if state in FAILED:
        return "failed"
    return "running"


def job_state(job_id):
    """The job's JobState, None if the controller does not know the id, or
    raises OSError when the controller cannot be asked."""
    result = subprocess.run(["scontrol", "--oneliner", "show", "job", job_id],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        if UNKNOWN_JOB in result.stderr:
            return None
        raise OSError(result.stderr.strip() or f"scontrol exit {result.returncode}")
    for field in result.stdout.split():
        if field.startswith("JobState="):
            return field.split("=", 1)[1]
    raise OSError(f"no JobState for job {job_id}")


def main(argv):
    # --parsable prints "id" or "id;cluster".
    job_id = argv[1].split(";")[0]
    try:
        state = job_state(job_id)
    except OSError as error:
        # A busy or restarting controller: ask again at the next poll, since a
        # non-zero exit here would end the whole workflow.
        print(f"status.py: job {job_id}: {error}", file=sys.stderr)
        print("running")
        return 0
    if state is None:
        print(f"status.py: job {job_id} unknown to the controller", file=sys.stderr)
        print("failed")
        return 0
    print(status_of(state))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
