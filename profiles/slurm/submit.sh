#!/bin/sh
# sbatch for Snakemake's cluster submission, which passes the job script last:
#   submit.sh SBATCH_OPTION ... JOBSCRIPT
# One change to the job script: the Snakemake that runs a group of replicates
# in the job keeps going past a replicate that fails, as the study's own does,
# so the rest of the group still runs.
set -eu
for jobscript; do :; done
sed -i 's/ -m snakemake / -m snakemake --keep-going /' "$jobscript"
mkdir -p logs/slurm
exec sbatch "$@"
