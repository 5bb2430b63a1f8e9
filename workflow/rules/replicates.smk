# One job per replicate: tarvox at the replicate's warm-up count, then kolber.
import re

SNP_DATA = (lambda path: path) if config["keep_data"] else temp


rule replicate:
    output:
        setup="runs/{point}/{rep}/SNP_setup",
        results="runs/{point}/{rep}/SNP_results",
        record="runs/{point}/{rep}/replicate.json",
        data=SNP_DATA("runs/{point}/{rep}/SNP_data"),
    log:
        tarvox="runs/{point}/{rep}/tarvox.log",
        kolber="runs/{point}/{rep}/kolber.log",
    wildcard_constraints:
        point="|".join(re.escape(name) for name in POINTS),
        rep=r"rep_\d{3}",
    params:
        par_tarvox=lambda w: study_file.par_tarvox_text(POINTS[w.point].parameters),
        warmup=lambda w: study_file.warmup_count(study_file.replicate_number(w.rep)),
        ratio=lambda w: POINTS[w.point].ratio,
    resources:
        mem_mb=lambda w: study_file.memory_mb(POINTS[w.point].parameters),
    threads: 1
    script:
        "../scripts/replicate.py"
