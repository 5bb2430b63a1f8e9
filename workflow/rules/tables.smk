# The study's tables, from every replicate's record.

localrules: tables


rule tables:
    input:
        expand(f"runs/{{point}}/{{rep}}/{replicate.RECORD}", point=POINTS, rep=REPLICATES),
    output:
        replicates="results/replicates.tsv",
        summary="results/summary.tsv",
    log:
        "logs/tables.log",
    params:
        command=script("tables.py", lean=True),
        study=STUDY_JSON,
    shell:
        "{params.command} {params.study:q} {output.replicates:q} {output.summary:q} 2> {log:q}"
