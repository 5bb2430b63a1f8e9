# Accuracy (and the paired differences) against the first swept parameter, and
# replicate 1 of every grid point in detail (one job each, so matplotlib
# starts once per job).

localrules: accuracy_figure, replicate_figures


rule accuracy_figure:
    input:
        summary="results/summary.tsv",
        replicates="results/replicates.tsv",
        differences=["results/differences.tsv"] if DIFFERENCES else [],
    output:
        png="results/accuracy.png",
        svg="results/accuracy.svg",
        differences=["results/differences.png", "results/differences.svg"] if DIFFERENCES else [],
    log:
        "logs/accuracy_figure.log",
    params:
        command=script("figures.py"),
        study=STUDY_JSON,
    shell:
        "{params.command} accuracy {params.study:q} {input.summary:q} {input.replicates:q}"
        " {output.png:q} {output.svg:q} {input.differences:q} {output.differences:q} 2> {log:q}"


rule replicate_figures:
    input:
        [f"runs/{point}/rep_001/{name}" for point in POINTS
         for name in replicate.figure_files(SNPBLUP, SAMPLERS)],
    output:
        expand("results/replicate_001/{point}.png", point=POINTS),
    log:
        "logs/replicate_figures.log",
    params:
        command=script("figures.py"),
        study=STUDY_JSON,
        folder=lambda w, output: os.path.dirname(output[0]),
    priority: 1
    shell:
        "{params.command} replicates {params.study:q} {params.folder:q} 2> {log:q}"
