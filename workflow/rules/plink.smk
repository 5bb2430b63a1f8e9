# A replicate's PLINK 1 binary fileset, from the SNP_data its job left.

PLINK_FILES = ("bed", "bim", "fam", "bv", "train", "indep", "effects")


rule plink_export:
    input:
        setup="runs/{point}/{rep}/SNP_setup",
        data="runs/{point}/{rep}/SNP_data",
    output:
        multiext("runs/{point}/{rep}/plink", *(f".{ext}" for ext in PLINK_FILES)),
    log:
        "runs/{point}/{rep}/snp2plink.log",
    params:
        folder=lambda w: f"runs/{w.point}/{w.rep}",
        snp2plink=programs.exporter(REPO),
    shell:
        "cd {params.folder:q} && {params.snp2plink:q} plink > snp2plink.log 2>&1 || {{ cat snp2plink.log >&2; exit 1; }}"
