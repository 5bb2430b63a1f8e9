# One job per replicate: tarvox at the replicate's warm-up count, then kolber
# (and snp2plink), as a lean command that starts in milliseconds. On a cluster
# the jobs are submitted in groups (group-components in profiles/slurm).
import re

# The job's command and how the programs work, from outside the rule: a value
# in params would be a rerun trigger, and neither the checkout's place nor
# `scratch` is part of what a replicate is.
REPLICATE = " ".join([script("replicate.py", lean=True), "run"] + [
    option for option, on in (("--scratch", config["scratch"]), ("--keep-data", config["keep_data"]),
                               ("--export-plink", config["export_plink"])) if on])


rule replicate:
    output:
        setup="runs/{point}/{rep}/SNP_setup",
        results="runs/{point}/{rep}/SNP_results",
        record=f"runs/{{point}}/{{rep}}/{replicate.RECORD}",
        landed=[f"runs/{{point}}/{{rep}}/{name}"
                for name in replicate.landed_files(config["keep_data"], config["export_plink"])],
    log:
        [f"runs/{{point}}/{{rep}}/{replicate.LOGS[name]}"
         for name in ("tarvox", "kolber") + (("snp2plink",) if config["export_plink"] else ())],
    wildcard_constraints:
        point="|".join(re.escape(name) for name in POINTS),
        rep=r"rep_\d{3}",
    params:
        folder=lambda w: f"runs/{w.point}/{w.rep}",
        warmup=lambda w: study_file.warmup_count(study_file.replicate_number(w.rep)),
        ratio=lambda w: study_file.value_text(POINTS[w.point].ratio),
        parameters=lambda w: json.dumps(POINTS[w.point].parameters),
    resources:
        mem_mb=lambda w: study_file.memory_mb(POINTS[w.point].parameters),
    threads: 1
    group:
        "replicates"
    shell:
        "exec {REPLICATE} {params.folder:q} {params.warmup} {params.ratio} {params.parameters:q}"


# Replicate 1 of every grid point first: the replicate figures need it, and are
# then drawn while the other replicates run instead of after them.
use rule replicate as first_replicate with:
    wildcard_constraints:
        point="|".join(re.escape(name) for name in POINTS),
        rep="rep_001",
    priority: 1


ruleorder: first_replicate > replicate
