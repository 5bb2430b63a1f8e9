# Accuracy against the first swept parameter, and one replicate per grid
# point in detail.

localrules: accuracy_figure, replicate_figure


rule accuracy_figure:
    input:
        replicates="results/replicates.tsv",
        summary="results/summary.tsv",
    output:
        png="results/accuracy.png",
        svg="results/accuracy.svg",
    script:
        "../scripts/figures.py"


rule replicate_figure:
    input:
        setup="runs/{point}/rep_001/SNP_setup",
        results="runs/{point}/rep_001/SNP_results",
    output:
        png="results/replicate_001/{point}.png",
    script:
        "../scripts/figures.py"
