# The study's report: one self-contained HTML file, readable offline.

localrules: report


rule report:
    input:
        summary="results/summary.tsv",
        replicates="results/replicates.tsv",
        accuracy="results/accuracy.png",
        replicate_figures=expand("results/replicate_001/{point}.png", point=POINTS),
    output:
        "results/report.html",
    log:
        "logs/report.log",
    params:
        command=script("report.py"),
        study=STUDY_JSON,
        name=STUDY_NAME,
    shell:
        "{params.command} {params.study:q} {params.name:q} {input.summary:q} {input.replicates:q} {input.accuracy:q}"
        " {output:q} {input.replicate_figures:q} 2> {log:q}"
