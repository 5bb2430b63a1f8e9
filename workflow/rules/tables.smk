# The study's tables, from every replicate's record.

localrules: tables


rule tables:
    input:
        expand("runs/{point}/{rep}/replicate.json", point=POINTS, rep=REPLICATES),
    output:
        replicates="results/replicates.tsv",
        summary="results/summary.tsv",
    script:
        "../scripts/tables.py"
