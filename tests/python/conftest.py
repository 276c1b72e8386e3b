"""Shared pytest set-up: the packaging marker and its opt-out."""
import os

import pytest


def pytest_configure(config):
    config.addinivalue_line(
        "markers",
        "packaging: builds and installs the wheel (slow); skipped when PLOMET_SKIP_PACKAGING=1",
    )


def pytest_collection_modifyitems(config, items):
    if os.environ.get("PLOMET_SKIP_PACKAGING") != "1":
        return
    skip = pytest.mark.skip(reason="PLOMET_SKIP_PACKAGING=1")
    for item in items:
        if "packaging" in item.keywords:
            item.add_marker(skip)
