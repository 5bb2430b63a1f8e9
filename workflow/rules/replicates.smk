# One job per replicate: tarvox at the replicate's warm-up count, then kolber
# (and snp2plink), as a lean command that starts in milliseconds; and one job
# per sampler of each replicate, on the replicate's SNP_data made again where
# it runs. On a cluster the jobs are submitted in groups (group-components in
# profiles/slurm).
import re

# The jobs' commands and how the programs work, from outside the rules: a value
# in params would be a rerun trigger, and neither the checkout's place nor
# `scratch` is part of what a replicate is.
OPTIONS = [option for option, on in (("--scratch", config["scratch"]), ("--keep-data", config["keep_data"])) if on]
# The replicate records its SNP_data's digest for the samplers to check theirs against.
REPLICATE = " ".join([script("replicate.py", lean=True), "run", *OPTIONS]
                     + (["--export-plink"] if config["export_plink"] else []) + (["--digest"] if SAMPLERS else []))
SAMPLER = " ".join([script("replicate.py", lean=True), "method", *OPTIONS])
POINT_NAMES = "|".join(re.escape(name) for name in POINTS)


rule replicate:
    output:
        results=[f"runs/{{point}}/{{rep}}/{name}" for name in replicate.result_files(SNPBLUP)],
        record=f"runs/{{point}}/{{rep}}/{replicate.RECORD}",
        landed=[f"runs/{{point}}/{{rep}}/{name}"
                for name in replicate.landed_files(config["keep_data"], config["export_plink"])],
    log:
        [f"runs/{{point}}/{{rep}}/{replicate.LOGS[name]}"
         for name in ("tarvox",) + (("kolber",) if SNPBLUP else ()) + (("snp2plink",) if config["export_plink"] else ())],
    wildcard_constraints:
        point=POINT_NAMES,
        rep=r"rep_\d{3}",
    params:
        folder=lambda w: f"runs/{w.point}/{w.rep}",
        warmup=lambda w: study_file.warmup_count(study_file.replicate_number(w.rep)),
        ratio=ratio_argument,
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
        point=POINT_NAMES,
        rep="rep_001",
    priority: 1


ruleorder: first_replicate > replicate


if SAMPLERS:

    # A sampler's job waits for its replicate, but a finished one does not run
    # again when the replicate does (ancient): the replicate's SNP_data is made
    # the same each time, which the job checks by its digest, and the tables
    # refuse a method whose data differ from its replicate's.
    rule sampler:
        input:
            ancient(f"runs/{{point}}/{{rep}}/{replicate.RECORD}"),
        output:
            [f"runs/{{point}}/{{rep}}/{name}" for name in replicate.method_files("{method}")],
        log:
            f"runs/{{point}}/{{rep}}/{{method}}/{replicate.METHOD_LOG}",
        wildcard_constraints:
            point=POINT_NAMES,
            rep=r"rep_\d{3}",
            method="|".join(SAMPLERS),
        params:
            folder=lambda w: f"runs/{w.point}/{w.rep}",
            warmup=lambda w: study_file.warmup_count(study_file.replicate_number(w.rep)),
            parameters=lambda w: json.dumps(POINTS[w.point].parameters),
            settings=lambda w: json.dumps(SAMPLERS[w.method].run_settings(study_file.replicate_number(w.rep))),
        resources:
            mem_mb=lambda w: study_file.memory_mb(POINTS[w.point].parameters),
        threads: 1
        group:
            "replicates"
        shell:
            "exec {SAMPLER} {params.folder:q} {wildcards.method} {params.warmup} {params.parameters:q}"
            " {params.settings:q}"

    use rule sampler as first_sampler with:
        wildcard_constraints:
            point=POINT_NAMES,
            rep="rep_001",
            method="|".join(SAMPLERS),
        priority: 1

    ruleorder: first_sampler > sampler
