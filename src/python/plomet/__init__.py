"""Outlines the shape of JSON, JSON5 and broken JSON text.

The integrations with Spark and Dask are the submodules plomet.spark and
plomet.dask; importing plomet needs neither engine."""
from plomet._plomet import Shape, __all__, analyze_json
