# Sphinx configuration of the Python API reference (scripts/docs.sh builds it
# with warnings as errors, importing the keld package built by CMake).
import keld

project = "keld"
author = "the keld developers"
copyright = "the keld developers, MIT License"
release = version = keld.__version__
extensions = ["sphinx.ext.autodoc", "sphinx.ext.napoleon"]
autodoc_member_order = "bysource"
autodoc_typehints = "description"
autodoc_default_options = {"members": True, "undoc-members": False, "show-inheritance": False}
html_theme = "alabaster"
html_static_path = []
exclude_patterns = ["_build"]
nitpicky = False
