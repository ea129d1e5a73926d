"""The Python code that TREVASK's tools and tests share: its resources and PE images, where the builds put
things, and TREVASK.EXE run under Wine as a user would run it."""
