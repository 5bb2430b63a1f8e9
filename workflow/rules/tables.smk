# The study's tables, from every replicate's record.

localrules: tables

TABLES = script("tables.py", lean=True)


rule tables:
    input:
        expand("runs/{point}/{rep}/replicate.json", point=POINTS, rep=REPLICATES),
    output:
        replicates="results/replicates.tsv",
        summary="results/summary.tsv",
    log:
        "logs/tables.log",
    params:
        study=STUDY_JSON,
    shell:
        "{TABLES} {params.study:q} {output.replicates:q} {output.summary:q} 2> {log:q}"
