# The study's report: one self-contained HTML file, readable offline.

localrules: report


rule report:
    input:
        tables=["results/summary.tsv", "results/replicates.tsv"] + (["results/differences.tsv"] if DIFFERENCES else []),
        figures=["results/accuracy.png"] + (["results/differences.png"] if DIFFERENCES else []),
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
        "{params.command} {params.study:q} {params.name:q} {output:q} {input:q} 2> {log:q}"
