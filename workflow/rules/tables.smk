# The study's tables, from every replicate's and every sampler's record.

localrules: tables


rule tables:
    input:
        expand(f"runs/{{point}}/{{rep}}/{replicate.RECORD}", point=POINTS, rep=REPLICATES),
        expand(f"runs/{{point}}/{{rep}}/{{method}}/{replicate.METHOD_RECORD}", point=POINTS, rep=REPLICATES,
               method=SAMPLERS),
    output:
        replicates="results/replicates.tsv",
        summary="results/summary.tsv",
        differences=["results/differences.tsv"] if DIFFERENCES else [],
    log:
        "logs/tables.log",
    params:
        command=script("tables.py", lean=True),
        study=STUDY_JSON,
    shell:
        "{params.command} {params.study:q} {output.replicates:q} {output.summary:q} {output.differences:q}"
        " 2> {log:q}"
