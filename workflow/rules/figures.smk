# Accuracy against the first swept parameter, and replicate 1 of every grid
# point in detail (one job, so matplotlib starts once).

localrules: accuracy_figure, replicate_figures


rule accuracy_figure:
    input:
        summary="results/summary.tsv",
        replicates="results/replicates.tsv",
    output:
        png="results/accuracy.png",
        svg="results/accuracy.svg",
    log:
        "logs/accuracy_figure.log",
    params:
        command=script("figures.py"),
        study=STUDY_JSON,
    shell:
        "{params.command} accuracy {params.study:q} {input.summary:q} {input.replicates:q}"
        " {output.png:q} {output.svg:q} 2> {log:q}"


rule replicate_figures:
    input:
        [f"runs/{point}/rep_001/{name}" for point in POINTS for name in replicate.RESULT_FILES],
    output:
        expand("results/replicate_001/{point}.png", point=POINTS),
    log:
        "logs/replicate_figures.log",
    params:
        command=script("figures.py"),
        study=STUDY_JSON,
        # SNP_setup, SNP_results and the figure of each grid point in turn.
        files=lambda w, input, output: [f for i, png in enumerate(output) for f in (*input[2 * i:2 * i + 2], png)],
    priority: 1
    shell:
        "{params.command} replicates {params.study:q} {params.files:q} 2> {log:q}"
