"""The estimators a study compares: their names, their settings with the
defaults, the check of the study file's `methods`, and each sampler's seed.

`methods` lists estimators, each a name or a one-key mapping of a name to its
settings; absent, it is [snpblup]:
    methods: [snpblup, bayescpi, {bayesr: {iterations: 5000}},
              {bayescpi: {label: bayescpi_fixed, pi: 0.99, fix_pi: true}}]
snpblup is kolber, run in the replicate's own job; each sampler (a method of
snpbayes) is a job of its own per replicate, in the replicate's folder
`label/`. The checked study holds every entry as {name: {settings, label
included}} with the defaults filled in.
"""

import re

SNPBLUP = "snpblup"
SAMPLERS = ("bayescpi", "bayesr", "brr")
NAMES = (SNPBLUP,) + SAMPLERS
DEFAULT = [SNPBLUP]
# The samplers' defaults in a study: fewer iterations than snpbayes' 10 000,
# as a study's figure is the accuracy, which settles long before the
# hyper-parameters' effective sample sizes grow large (see the README).
ITERATIONS = 3000
THIN = 10
PI = 0.5
MAX_COUNT = 1_000_000_000  # snpbayes' limit of iterations, burn-in and thinning
# The settings each method accepts; a sampler's burn_in defaults to a fifth of
# its iterations, as snpbayes' does.
SETTINGS = {
    SNPBLUP: ("label", "ratio"),
    "bayescpi": ("label", "iterations", "burn_in", "thin", "pi", "fix_pi"),
    "bayesr": ("label", "iterations", "burn_in", "thin"),
    "brr": ("label", "iterations", "burn_in", "thin"),
}
# A label names the method's folder in each replicate's folder, its files and
# its rows: it may not be the name of a replicate's own file.
LABEL = re.compile(r"[a-z][a-z0-9_]{0,31}\Z")
RESERVED_LABELS = ("par_tarvox",)


class Method:
    """One entry of a checked study's `methods`."""

    def __init__(self, entry):
        [(self.name, self.settings)] = entry.items()
        self.label = self.settings["label"]
        self.sampler = self.name != SNPBLUP

    def seed(self, replicate):
        """The sampler's seed in replicate number `replicate`: the first 8 bytes
        of SHA-256("label:replicate"), the same at every grid point and kept
        when replicates or methods are added."""
        import hashlib

        return int.from_bytes(hashlib.sha256(f"{self.label}:{replicate}".encode()).digest()[:8], "big")

    def run_settings(self, replicate):
        """What a run of snpbayes is given in replicate `replicate`."""
        run = {"method": self.name, **{k: v for k, v in self.settings.items() if k != "label"}}
        return {**run, "seed": self.seed(replicate)}


def of(study):
    """The methods of a checked study, in its order."""
    return [Method(entry) for entry in study["methods"]]


def sampler(name, label=None):
    """A sampler's entry with every default filled in."""
    return {name: _sampler_settings(name, {}, f"the {name} entry", label or name)}


def ratio_estimator(study):
    """The brr run that estimates snpblup's ratio (ratio: estimated): the first
    brr entry of `methods`, or brr with the default settings."""
    return next((m for m in of(study) if m.name == "brr"), Method(sampler("brr")))


def _whole(v):
    return isinstance(v, int) and not isinstance(v, bool)


def _count_problem(v, low):
    if not _whole(v) or not low <= v <= MAX_COUNT:
        return f"a whole number from {low} to {MAX_COUNT} is accepted"
    return None


def _sampler_settings(name, given, where, label):
    settings = {"label": label, "iterations": given.get("iterations", ITERATIONS)}
    problem = _count_problem(settings["iterations"], 1)
    if problem:
        raise ValueError(f"{where}.iterations = {settings['iterations']!r}: {problem}")
    settings["burn_in"] = given.get("burn_in", settings["iterations"] // 5)
    burn_in = settings["burn_in"]
    if _count_problem(burn_in, 0) or burn_in >= settings["iterations"]:
        raise ValueError(f"{where}.burn_in = {burn_in!r}: a whole number from 0 to iterations - 1 = "
                         f"{settings['iterations'] - 1} is accepted (the iterations after it are kept)")
    settings["thin"] = given.get("thin", THIN)
    problem = _count_problem(settings["thin"], 1)
    if problem:
        raise ValueError(f"{where}.thin = {settings['thin']!r}: {problem}")
    if name == "bayescpi":
        settings["pi"] = given.get("pi", PI)
        pi = settings["pi"]
        if isinstance(pi, bool) or not isinstance(pi, (int, float)) or not 0 < pi < 1:
            raise ValueError(f"{where}.pi = {pi!r}: a probability above 0 and below 1 is accepted "
                             "(the probability that a SNP has no effect)")
        settings["fix_pi"] = given.get("fix_pi", False)
        if not isinstance(settings["fix_pi"], bool):
            raise ValueError(f"{where}.fix_pi = {settings['fix_pi']!r}: true or false is accepted")
    return settings


def _entry(i, entry):
    """(name, given settings) of entry number i (1-based) as written."""
    where = f"methods[{i}]"
    accepted = f"a method name ({', '.join(NAMES)}) or a mapping of one name to its settings is accepted"
    if isinstance(entry, str) and entry in NAMES:
        return entry, {}
    if not isinstance(entry, dict) or len(entry) != 1:
        raise ValueError(f"{where} = {entry!r}: {accepted}")
    [(name, given)] = entry.items()
    if name not in NAMES:
        raise ValueError(f"{where}: unknown method '{name}': {accepted}")
    given = {} if given is None else given
    if not isinstance(given, dict):
        raise ValueError(f"{where}.{name} = {given!r}: a mapping of settings ({', '.join(SETTINGS[name])}) "
                         "is accepted")
    unknown = [k for k in given if k not in SETTINGS[name]]
    if unknown:
        raise ValueError(f"{where}.{name}: unknown key '{unknown[0]}': accepted are {', '.join(SETTINGS[name])}")
    return name, given


def check(entries):
    """The entries of `methods` with every setting filled in but snpblup's
    ratio, which the study checks; raises ValueError naming the key."""
    if not isinstance(entries, list) or not entries:
        raise ValueError(f"methods = {entries!r}: a list of at least one method ({', '.join(NAMES)}) is accepted")
    checked, labels = [], {}
    for i, entry in enumerate(entries, 1):
        name, given = _entry(i, entry)
        where = f"methods[{i}].{name}"
        label = given.get("label", name)
        if not isinstance(label, str) or not LABEL.match(label) or label in RESERVED_LABELS:
            raise ValueError(f"{where}.label = {label!r}: a name of lower-case letters, digits and _ (up to 32, "
                             "a letter first) is accepted, other than " + ", ".join(RESERVED_LABELS))
        if label in labels:
            raise ValueError(f"{where}: the label '{label}' is taken by methods[{labels[label]}]: give each entry "
                             "a label of its own (label: ...)")
        labels[label] = i
        if name == SNPBLUP:
            if any(SNPBLUP in e for e in checked):
                raise ValueError(f"{where}: snpblup is given twice: kolber runs once per replicate (sweep the "
                                 "ratio to compare ratios)")
            checked.append({name: {**given, "label": label}})
        else:
            checked.append({name: _sampler_settings(name, given, where, label)})
    return checked
